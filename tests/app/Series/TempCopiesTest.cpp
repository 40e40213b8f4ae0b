#include "app/Series/TempCopies.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "tests/app/TestApp.h"

namespace {

// A fresh $TMPDIR and a removable medium with two folders.
class TempCopiesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        for (const char* sub : {"stick/a", "stick/b", "elsewhere"}) {
            QDir(root_.path()).mkpath(sub);
        }
    }

    QString Stick(const QString& name) const { return root_.path() + "/stick/" + name; }
    QString PrivateDir() const {
        return root_.path() + "/tmp/orvane-viewer-" + QString::number(::geteuid());
    }

    QTemporaryDir root_;
    ScopedTmpDir tmp_{root_.path() + "/tmp"};
};

TEST_F(TempCopiesTest, PrivateFolderIsClosedToOthersAndPlantedSymlinksAreRefused) {
    ASSERT_EQ(GetTmpFolder(), PrivateDir());
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(PrivateDir()).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // The per-user folder itself replaced by a link...
    ASSERT_TRUE(QDir(PrivateDir()).removeRecursively());
    ASSERT_TRUE(QFile::link(root_.path() + "/elsewhere", PrivateDir()));
    EXPECT_THROW(GetTmpFolder(), TempFolderError);
    QFile::remove(PrivateDir());

    // ...and the copy folder inside it: what the link points at is left alone.
    const QString folder = GetTmpFolder() + "/PellimorTmp";
    ASSERT_TRUE(QFile::link(root_.path() + "/elsewhere", folder));
    WriteFileBytes(root_.path() + "/elsewhere/keep.jpg", "precious");
    TTempCopies copies(folder);
    EXPECT_THROW(copies.Prepare(), TempFolderError);
    EXPECT_TRUE(QFile::exists(root_.path() + "/elsewhere/keep.jpg"));
    WriteFileBytes(Stick("a/x.jpg"), "x");
    EXPECT_THROW(copies.CopyToTemp(Stick("a/x.jpg")), TempFolderError);
}

TEST_F(TempCopiesTest, AMissingTemporaryDirectoryIsMadeWithItsParents) {
    const QString missing = root_.path() + "/no/such/tmp";
    qputenv("TMPDIR", QFile::encodeName(missing));
    EXPECT_EQ(GetTmpFolder(), missing + "/orvane-viewer-" + QString::number(::geteuid()));
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    EXPECT_TRUE(copies.FolderExists());

    // Gone again while the program runs: the next copy makes the whole path once more.
    ASSERT_TRUE(QDir(root_.path() + "/no").removeRecursively());
    WriteFileBytes(Stick("a/x.jpg"), "x");
    EXPECT_TRUE(copies.CopyToTemp(Stick("a/x.jpg")));
    EXPECT_TRUE(copies.CopyOf(Stick("a/x.jpg")));
}

// A copy is made once and replaced by a new copy of the same picture; pictures of one name
// from two folders get two copies; deleting one leaves the other and never the original; a
// picture already inside the folder is read where it is.
TEST_F(TempCopiesTest, CopyLifecycle) {
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    const QString a = Stick("a/p.jpg");
    const QString b = Stick("b/p.jpg");
    WriteFileBytes(a, "first");
    WriteFileBytes(b, "from b");
    ASSERT_TRUE(copies.CopyToTemp(a));
    ASSERT_TRUE(copies.CopyToTemp(b));
    const auto copyA = copies.CopyOf(a);
    const auto copyB = copies.CopyOf(b);
    ASSERT_TRUE(copyA && copyB);
    EXPECT_NE(*copyA, *copyB);
    EXPECT_EQ(FileBytes(*copyA), "first");
    WriteFileBytes(a, "second");
    ASSERT_TRUE(copies.CopyToTemp(a));
    EXPECT_EQ(copies.CopyOf(a), copyA);
    EXPECT_EQ(FileBytes(*copyA), "second");

    copies.DeleteCopy(a);
    EXPECT_FALSE(QFile::exists(*copyA));
    EXPECT_FALSE(copies.CopyOf(a));
    EXPECT_EQ(FileBytes(a), "second");
    EXPECT_EQ(FileBytes(*copyB), "from b");
    EXPECT_FALSE(copies.CopyToTemp(Stick("a/missing.jpg")));
    EXPECT_FALSE(copies.CopyOf(Stick("a/missing.jpg")));

    const QString inside = copies.Folder() + "/own.jpg";
    WriteFileBytes(inside, "keep me");
    EXPECT_TRUE(copies.CopyToTemp(inside));
    EXPECT_EQ(FileBytes(inside), "keep me");
    EXPECT_EQ(QDir(copies.Folder()).entryList(QDir::Files).size(), 2);  // b's copy and own.jpg
    copies.RemoveFolder();
    EXPECT_FALSE(QFileInfo::exists(copies.Folder()));
}

// Every running program has a folder of its own, and a start clears only the folders of
// programs that are gone, however they ended; the close takes the parent only when no
// other program is left in it.
TEST_F(TempCopiesTest, AStartClearsOnlyTheFoldersOfProgramsThatAreGone) {
    const QString parent = GetTmpFolder() + "/PellimorTmp";
    const QString picture = Stick("a/p.jpg");
    WriteFileBytes(picture, "p");
    const pid_t killed = ::fork();
    if (killed == 0) {
        TTempCopies copies(parent);
        copies.Prepare();
        copies.CopyToTemp(picture);
        ::raise(SIGKILL);
    }
    ASSERT_GT(killed, 0);
    ::waitpid(killed, nullptr, 0);
    ASSERT_EQ(QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);

    TTempCopies running(parent);
    running.Prepare();
    ASSERT_TRUE(running.CopyToTemp(picture));
    TTempCopies second(parent);
    second.Prepare();
    const auto folders = [&parent] {
        QStringList names = QDir(parent).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (QString& name : names) {
            name = parent + '/' + name;
        }
        return QSet<QString>(names.begin(), names.end());
    };
    EXPECT_EQ(folders(), (QSet<QString>{running.Folder(), second.Folder()}));
    EXPECT_EQ(FileBytes(running.CopyOf(picture).value_or("")), "p");

    second.RemoveFolder();
    EXPECT_EQ(folders(), QSet<QString>{running.Folder()});
    EXPECT_EQ(FileBytes(running.CopyOf(picture).value_or("")), "p");
    running.RemoveFolder();
    EXPECT_FALSE(QFileInfo::exists(parent));
}

}  // namespace
