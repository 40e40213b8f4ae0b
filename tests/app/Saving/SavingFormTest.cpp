#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/Dialogs/ConfigForm.h"
#include "app/Saving/SaveCommand.h"
#include "app/Saving/SavingForm.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/QtPrinters.h"
#include "tests/app/TestApp.h"

using platform::MsgButton;

namespace {

class SavingFormTest : public ::testing::Test {
  protected:
    SavingFormTest() {
        form_.Config = &config_;
        config_.DestDirEdit->setText(Dest());
        config_.PrefixEdit->setText("img");
        config_.SufixEdit->clear();
        config_.DigitsTB->setValue(3);
        config_.FromEdit->setText("1");
        form_.FormShow();
        form_.PictureCount = 3;
    }

    QString Dest() const { return dir_.path() + "/"; }
    bool Exists(const QString& relative) const { return QFileInfo::exists(Dest() + relative); }

    // The single box shown since the last call, or "" when none was.
    QString TakeMessage() {
        const auto questions = messages_.Questions();
        const QString text = questions.size() > seen_ ? questions.back().text : QString();
        EXPECT_LE(questions.size(), seen_ + 1) << "more than one box";
        seen_ = questions.size();
        return text;
    }

    QApplication& app_ = EnsureApp();  // before the dialogs
    QTemporaryDir dir_;
    TConfigForm config_;
    TSavingForm form_;
    platform::ScriptedMessageService messages_;
    platform::ScopedMessageService scope_{messages_};
    size_t seen_ = 0;
};

struct OkCase {
    const char* addPath;
    const char* prefix;
    const char* from;
    const char* suffix;
    int digits;
    int count;
    const char* begin;
    const char* message;  // null: passes; "%d" stands for the destination without its '/'
    const char* focus;
};

TEST_F(SavingFormTest, OkChecksEveryEntryBeforeMakingFolders) {
    const OkCase cases[] = {
        {"a\\b", "img", "1", "", 3, 3, "1", "Can't create directory: '%d/a\\b'", "AddPath"},
        {"a:b", "img", "1", "", 3, 3, "1", "Can't create directory: '%d/a:b'", "AddPath"},
        {"sub", "a:b", "1", "", 3, 3, "1", "Invalid character in the 3D image name!", "PrefixEdit"},
        {"sub", "img", "abc", "", 3, 3, "1", "Invalid value!", "FromEdit"},
        {"sub", "img", "1", "x#", 3, 3, "1", "Invalid character in the 3D image name!",
         "SufixEdit"},
        {"sub", "img", "1", "", 2, 120, "1", "Set more characters!", "DigitsTB"},
        {"sub", "img", "1", "", 3, 120, "0", "Value must be entered between 1 and 120",
         "BeginEdit"},
        {"sub", "img", "1", "", 3, 120, "121", "Value must be entered between 1 and 120",
         "BeginEdit"},
        {"sub", "img", "1", "", 3, 120, "1a", "Value must be numeric", "BeginEdit"},
        {"", "img", "0", "", 3, 120, "", nullptr, "OkButton"},
        {"/sub", "img", "1", "", 3, 120, "120", nullptr, "OkButton"},
    };
    for (const OkCase& c : cases) {
        SCOPED_TRACE(std::string(c.addPath) + " " + c.prefix + " " + c.from + " " + c.begin);
        form_.setResult(0);
        form_.OkButton->setFocus();
        form_.AddPath->setText(c.addPath);
        form_.PrefixEdit->setText(c.prefix);
        form_.FromEdit->setText(c.from);
        form_.SufixEdit->setText(c.suffix);
        form_.DigitsTB->setValue(c.digits);
        form_.PictureCount = c.count;
        form_.BeginEdit->setText(c.begin);
        form_.OkButtonClick();
        const QString message = TakeMessage();
        EXPECT_EQ(form_.focusWidget()->objectName(), c.focus);
        if (c.message == nullptr) {
            EXPECT_EQ(message, "");
            EXPECT_EQ(form_.result(), 1);
        } else {
            EXPECT_EQ(message, QString(c.message).replace("%d", dir_.path()));
            EXPECT_NE(form_.result(), 1);
            EXPECT_FALSE(Exists("sub") || Exists("a")) << "no folder made for a refused entry";
        }
    }
    EXPECT_TRUE(Exists("sub")) << "a leading '/' still means below the destination";
}

TEST_F(SavingFormTest, LongestNameUsesTheLastCounterAndLongestExtension) {
    // A target folder so deep that "img9.jpg" just fits under PATH_MAX and one byte more
    // does not.
    const qsizetype folderBytes = 4095 - 8;
    const qsizetype addBytes = folderBytes - Dest().size() - 1;
    QString add;
    while (addBytes - add.size() > 201) {
        add += QString(200, u'd') + u'/';
    }
    add += QString(addBytes - add.size(), u'd');
    ASSERT_EQ(TargetFolder(Dest(), add).size(), folderBytes);
    form_.AddPath->setText(add);
    form_.FromEdit->setText("9");
    form_.DigitsTB->setValue(1);
    const struct {
        int count;
        const char* extension;
        bool fits;
    } cases[] = {{1, ".jpg", true}, {2, ".jpg", false}, {1, ".jpeg", false}};
    for (const auto& c : cases) {
        form_.setResult(0);
        form_.PictureCount = c.count;
        form_.LongestExtension = c.extension;
        form_.OkButtonClick();
        const QString message = TakeMessage();
        EXPECT_EQ(message.endsWith("'\nPath too long."), !c.fits) << c.count << c.extension;
        EXPECT_EQ(form_.result() == 1, c.fits);
    }
    form_.AddPath->setText(QString(256, u'n'));
    form_.OkButtonClick();
    EXPECT_TRUE(TakeMessage().endsWith("Path too long."));
}

// After the checks: the destination must exist; below it the date folder is made only when
// the path uses it, and a level that cannot be made is named (the date folder with its
// cause, never the destination as missing).
TEST_F(SavingFormTest, FoldersAreMadeBelowAnExistingDestinationOrNamedWithTheFocusThere) {
    const QString today = DateFolderName(QDate::currentDate());
    const auto submit = [&](const QString& destination, const QString& add) {
        form_.DestDirEdit->setText(destination);
        form_.AddPath->setText(add);
        form_.setResult(0);
        form_.OkButtonClick();
        return TakeMessage();
    };
    EXPECT_EQ(submit(Dest() + "gone/", "sub"),
              "Can't find directory: '" + Dest() + "gone/' !\nShoose another.");
    EXPECT_EQ(form_.focusWidget(), form_.DestDirButton);
    EXPECT_FALSE(Exists("gone"));
    WriteFileBytes(Dest() + "plain", "");  // a regular file where a folder level should go
    EXPECT_EQ(submit(Dest(), "plain/sub"), "Can't create directory: '" + Dest() + "plain/sub/'");
    EXPECT_EQ(form_.focusWidget(), form_.AddPath);
    EXPECT_EQ(form_.AddPath->selectedText(), "plain/sub");

    EXPECT_EQ(submit(Dest(), "other/place"), "");
    EXPECT_EQ(form_.result(), 1);
    EXPECT_TRUE(Exists("other/place"));
    EXPECT_FALSE(Exists(today));
    EXPECT_EQ(submit(Dest(), today + "/10-00-00"), "");
    EXPECT_TRUE(Exists(today + "/10-00-00"));

    ASSERT_TRUE(QDir(Dest() + today).removeRecursively());
    WriteFileBytes(Dest() + today, "");  // a file where the date folder should go
    EXPECT_EQ(submit(Dest(), today + "/10-00-00"),
              "Can't create directory: '" + Dest() + today + "/'\nFile exists.");
    EXPECT_EQ(form_.focusWidget(), form_.DestDirButton);
    // The program's temporary folder, here reached through a link: its files go when the
    // program closes or the next one starts.
    form_.TemporaryFolder = Dest() + "tmp/PellimorTmp";
    ASSERT_TRUE(QDir().mkpath(form_.TemporaryFolder + "/1-a"));
    ASSERT_TRUE(QFile::link(form_.TemporaryFolder, Dest() + "link"));
    EXPECT_EQ(submit(Dest() + "link/1-a/", ""),
              "Can't save into '" + Dest() +
                  "link/1-a': it lies in the program's temporary folder, which is emptied when "
                  "the program closes.\nChoose another.");
    EXPECT_EQ(form_.focusWidget(), form_.DestDirButton);
    EXPECT_NE(form_.result(), 1);
    // A folder whose name merely begins with the temporary folder's lies beside it.
    ASSERT_TRUE(QDir().mkpath(form_.TemporaryFolder + "Old"));
    EXPECT_EQ(submit(form_.TemporaryFolder + "Old/", "sub"), "");
    EXPECT_EQ(form_.result(), 1);
}

TEST_F(SavingFormTest, BeginFromCheckedOnLeavingAndOnEnter) {
    form_.show();
    form_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form_));
    form_.BeginEdit->setFocus();
    form_.BeginEdit->setText("7");
    form_.PrefixEdit->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(TakeMessage(), "Value must be entered between 1 and 3");
    EXPECT_EQ(messages_.Questions().back().caption, "Warning !");
    EXPECT_EQ(form_.focusWidget(), form_.BeginEdit);
    EXPECT_EQ(form_.BeginEdit->selectedText(), "7");
    // Towards the buttons nothing is shown: Cancel drops the value, and OK (Enter
    // included) checks it itself.
    form_.CancelButton->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(TakeMessage(), "");
    form_.BeginEdit->setFocus();
    QTest::keyClick(form_.BeginEdit, Qt::Key_Return);
    EXPECT_EQ(TakeMessage(), "Value must be entered between 1 and 3");
    EXPECT_TRUE(form_.isVisible());
    form_.BeginEdit->setText("3");
    QTest::keyClick(form_.BeginEdit, Qt::Key_Return);
    EXPECT_EQ(TakeMessage(), "");
    EXPECT_FALSE(form_.isVisible());
    EXPECT_EQ(form_.result(), 1);
}

class SaveCommandTest : public SavingFormTest {
  protected:
    SaveCommandTest() {
        QDir(dir_.path()).mkpath("src");
        for (const char* name : {"a.jpg", "b.JPG"}) {
            series_.append(dir_.path() + "/src/" + name);
            WriteFileBytes(series_.back(), name);
        }
        config_.DestDirEdit->setText(Dest());
    }
    QStringList series_;
};

// The sample shows the extension the first picture of the package gets; the copies are
// made off the UI thread.
TEST_F(SaveCommandTest, OkSavesIntoTheTimeStampedFolder) {
    QString stamp;
    QStringList samples;
    OnNextModal([&](QWidget* dialog) {
        stamp = form_.AddPath->text();
        EXPECT_EQ(form_.PictureCount, 2);
        samples.append(form_.SampleEdit->text());
        form_.BeginEdit->setText("2");
        samples.append(form_.SampleEdit->text());
        ClickChild(dialog, "OkButton");
    });
    EXPECT_TRUE(SaveSeriesAsPackage(series_, form_));
    EXPECT_EQ(samples, QStringList({"img001.jpg", "img001.JPG"}));
    ASSERT_TRUE(stamp.startsWith(DateFolderName(QDate::currentDate()) + "/"));
    EXPECT_EQ(FileBytes(Dest() + stamp + "/img001.JPG"), "b.JPG");
    EXPECT_TRUE(QFileInfo::exists(Dest() + stamp + "/img002.jpg"));
}

TEST_F(SaveCommandTest, CancelAndEmptySeriesSaveNothing) {
    OnNextModal([](QWidget* dialog) { ClickChild(dialog, "CancelButton"); });
    EXPECT_FALSE(SaveSeriesAsPackage(series_, form_));
    EXPECT_FALSE(SaveSeriesAsPackage({}, form_));
    EXPECT_EQ(QDir(Dest()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList({"src"}));
}

}  // namespace
