#include "app/TempCopies.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Points $TMPDIR at a fresh folder for one test and puts the old value back.
class TempCopiesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        hadTmpDir_ = qEnvironmentVariableIsSet("TMPDIR");
        oldTmpDir_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(Tmp()));
        QDir(root_.path()).mkpath("tmp");
        QDir(root_.path()).mkpath("stick/a");
        QDir(root_.path()).mkpath("stick/b");
    }
    void TearDown() override {
        if (hadTmpDir_) {
            qputenv("TMPDIR", oldTmpDir_);
        } else {
            qunsetenv("TMPDIR");
        }
    }

    QString Tmp() const { return root_.path() + "/tmp"; }
    QString Stick(const QString& name) const { return root_.path() + "/stick/" + name; }
    QString PrivateDir() const { return Tmp() + "/orvane-viewer-" + QString::number(::geteuid()); }

    QTemporaryDir root_;
    bool hadTmpDir_ = false;
    QByteArray oldTmpDir_;
};

TEST_F(TempCopiesTest, PrivateFolderIsCreatedClosedToOthers) {
    const QString folder = GetTmpFolder();
    EXPECT_EQ(folder, PrivateDir());
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(TempCopiesTest, PlantedSymlinksAreRefused) {
    QDir(root_.path()).mkpath("elsewhere");
    // The per-user folder itself replaced by a link...
    ASSERT_TRUE(QFile::link(root_.path() + "/elsewhere", PrivateDir()));
    EXPECT_THROW(GetTmpFolder(), TempFolderError);
    QFile::remove(PrivateDir());

    // ...and the copy folder inside it.
    const QString folder = GetTmpFolder() + "/PellimorTmp";
    ASSERT_TRUE(QFile::link(root_.path() + "/elsewhere", folder));
    WriteFile(root_.path() + "/elsewhere/keep.jpg", "precious");
    TTempCopies copies(folder);
    EXPECT_THROW(copies.Prepare(), TempFolderError);
    EXPECT_TRUE(QFile::exists(root_.path() + "/elsewhere/keep.jpg"));
    WriteFile(Stick("a/x.jpg"), "x");
    EXPECT_THROW(copies.CopyToTemp(Stick("a/x.jpg")), TempFolderError);
}

TEST_F(TempCopiesTest, MissingTemporaryDirectoryFailsWithTheStartUpMessage) {
    qputenv("TMPDIR", QFile::encodeName(root_.path() + "/no/such/dir"));
    try {
        GetTmpFolder();
        FAIL() << "expected TempFolderError";
    } catch (const TempFolderError& error) {
        EXPECT_STREQ(error.what(), "Cannot create temp directory.");
    }
}

TEST_F(TempCopiesTest, LeftoversAreEmptiedButSubfoldersStay) {
    const QString folder = GetTmpFolder() + "/PellimorTmp";
    QDir().mkpath(folder + "/sub");
    WriteFile(folder + "/old1.jpg", "1");
    WriteFile(folder + "/old2.jpeg", "2");
    ASSERT_TRUE(QFile::link(folder + "/old1.jpg", folder + "/link.jpg"));

    TTempCopies copies(folder);
    copies.Prepare();
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              QStringList{"sub"});
}

TEST_F(TempCopiesTest, CopyLifecycle) {
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    WriteFile(Stick("a/IMG_1.JPG"), "first");
    ASSERT_TRUE(copies.CopyToTemp(Stick("a/IMG_1.JPG")));
    const auto copy = copies.CopyOf(Stick("a/IMG_1.JPG"));
    ASSERT_TRUE(copy);
    EXPECT_EQ(ReadFile(*copy), "first");
    EXPECT_EQ(QFileInfo(*copy).fileName(), "IMG_1.JPG");  // real name, case kept

    // Copying again replaces the same copy.
    WriteFile(Stick("a/IMG_1.JPG"), "second");
    ASSERT_TRUE(copies.CopyToTemp(Stick("a/IMG_1.JPG")));
    EXPECT_EQ(copies.CopyOf(Stick("a/IMG_1.JPG")), copy);
    EXPECT_EQ(ReadFile(*copy), "second");

    copies.DeleteCopy(Stick("a/IMG_1.JPG"));
    EXPECT_FALSE(QFile::exists(*copy));
    EXPECT_FALSE(copies.CopyOf(Stick("a/IMG_1.JPG")));
    EXPECT_TRUE(QFile::exists(Stick("a/IMG_1.JPG")));  // the original is never touched

    ASSERT_TRUE(copies.CopyToTemp(Stick("a/IMG_1.JPG")));
    copies.RemoveFolder();
    EXPECT_FALSE(QFileInfo::exists(copies.Folder()));
}

TEST_F(TempCopiesTest, SameNameFromTwoFoldersKeepsTwoCopies) {
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    WriteFile(Stick("a/p.jpg"), "from a");
    WriteFile(Stick("b/p.jpg"), "from b");
    ASSERT_TRUE(copies.CopyToTemp(Stick("a/p.jpg")));
    ASSERT_TRUE(copies.CopyToTemp(Stick("b/p.jpg")));
    const auto copyA = copies.CopyOf(Stick("a/p.jpg"));
    const auto copyB = copies.CopyOf(Stick("b/p.jpg"));
    ASSERT_TRUE(copyA && copyB);
    EXPECT_NE(*copyA, *copyB);
    EXPECT_EQ(ReadFile(*copyA), "from a");
    EXPECT_EQ(ReadFile(*copyB), "from b");

    // Removing one picture's copy leaves the other in place.
    copies.DeleteCopy(Stick("a/p.jpg"));
    EXPECT_EQ(ReadFile(*copyB), "from b");
}

TEST_F(TempCopiesTest, CopyDeletedBehindOurBackIsNotOffered) {
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    WriteFile(Stick("a/p.jpg"), "p");
    ASSERT_TRUE(copies.CopyToTemp(Stick("a/p.jpg")));
    QFile::remove(*copies.CopyOf(Stick("a/p.jpg")));
    EXPECT_FALSE(copies.CopyOf(Stick("a/p.jpg")));
}

TEST_F(TempCopiesTest, APictureInsideTheFolderIsNotCopiedOntoItself) {
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    const QString inside = copies.Folder() + "/own.jpg";
    WriteFile(inside, "keep me");
    EXPECT_TRUE(copies.CopyToTemp(inside));
    EXPECT_EQ(ReadFile(inside), "keep me");
    EXPECT_EQ(QDir(copies.Folder()).entryList(QDir::Files), QStringList{"own.jpg"});
}

TEST_F(TempCopiesTest, FailedCopyReportsFalse) {
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    EXPECT_FALSE(copies.CopyToTemp(Stick("a/missing.jpg")));
    EXPECT_FALSE(copies.CopyOf(Stick("a/missing.jpg")));
}

TEST_F(TempCopiesTest, FolderRemovedMidRunIsMadeAgainOnTheNextCopy) {
    TTempCopies copies(GetTmpFolder() + "/PellimorTmp");
    copies.Prepare();
    QDir(PrivateDir()).removeRecursively();
    WriteFile(Stick("a/p.jpg"), "p");
    EXPECT_TRUE(copies.CopyToTemp(Stick("a/p.jpg")));
    EXPECT_TRUE(copies.FolderExists());
}

}  // namespace
