#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTest>
#include <algorithm>

#include "app/Dialogs/ConfigForm.h"
#include "app/Dialogs/FolderDialog.h"
#include "app/Dialogs/OrientForm.h"
#include "app/Dialogs/ProgressForm.h"
#include "app/Dialogs/QuestionForm.h"
#include "app/MainWindow/FolderScan.h"
#include "app/Series/NameRules.h"
#include "platform/Memory.h"
#include "platform/testing/ScriptedMessageService.h"
#include "tests/app/QtPrinters.h"
#include "tests/app/TestApp.h"

using platform::MsgButton;

namespace {

class DialogTest : public ::testing::Test {
  protected:
    DialogTest() { EnsureApp(); }
    platform::ScriptedMessageService messages_;
    platform::ScopedMessageService scope_{messages_};
};

class ConfigTest : public DialogTest {
  protected:
    TestIni ini_;
    TConfigForm form_;
};

TEST_F(ConfigTest, DefaultsWithoutAnIniFileAndClampsOfStoredValues) {
    LoadConfig(&form_);
    EXPECT_EQ(form_.SrcDirEdit->text(), platform::DefaultSourceFolder());
    EXPECT_EQ(form_.DestDirEdit->text(), platform::DefaultDestinationFolder());
    EXPECT_EQ(form_.OptiTrackBar->value(), DefaultOptimization(platform::PhysicalMemoryBytes()));
    EXPECT_EQ(form_.SpeedTrackBar->value(), 250);
    EXPECT_EQ(form_.FpsEdit->text(), "25%");
    EXPECT_EQ(form_.DigitsTB->value(), 2);
    EXPECT_EQ(form_.FromEdit->text(), "1");
    EXPECT_EQ(form_.SampleEdit->text(), "01.jpg");

    ini_.Write("Viewer", "PlaySpeed", "20");
    ini_.Write("Viewer", "Optimization", "9");
    ini_.Write("Saving", "Digits", "12");
    LoadConfig(&form_);
    EXPECT_EQ(form_.SpeedTrackBar->value(), 50);
    EXPECT_EQ(form_.FpsEdit->text(), "5%");
    EXPECT_EQ(form_.OptiTrackBar->value(), 3);
    EXPECT_EQ(form_.DigitsTB->value(), 6);
}

TEST_F(ConfigTest, OkChecksNamesAndFirstNumber) {
    const struct {
        const char* prefix;
        const char* from;
        const char* suffix;
        const char* message;  // null: passes
    } cases[] = {
        {"a:b", "1", "", "Invalid character in the 3D image name!\n[Saving] Prefix=a:b"},
        {"img", "-3", "", "Invalid value!\n[Saving] From=-3"},
        {"img", "abc", "", "Invalid value!\n[Saving] From=abc"},
        {"img", "1", "x#", "Invalid character in the 3D image name!\n[Saving] Sufix=x#"},
        {"!", "0", "%", nullptr},
    };
    for (const auto& c : cases) {
        QFile::remove(ini_.Path());
        platform::ScriptedMessageService messages;
        platform::ScopedMessageService scope(messages);
        LoadConfig(&form_);
        form_.PrefixEdit->setText(c.prefix);
        form_.FromEdit->setText(c.from);
        form_.SufixEdit->setText(c.suffix);
        form_.OkButtonClick();
        if (c.message == nullptr) {
            EXPECT_TRUE(messages.Questions().empty()) << c.prefix << " " << c.from;
            EXPECT_EQ(ini_.Read("Saving", "Prefix"), c.prefix);
            EXPECT_EQ(form_.result(), 1);
        } else {
            ASSERT_EQ(messages.Questions().size(), 1u) << c.prefix << " " << c.from;
            // Checked hidden (at start-up) the box names the setting and its file.
            EXPECT_EQ(messages.Questions()[0].text, c.message + (" in '" + ini_.Path() + "'"));
            EXPECT_EQ(messages.Questions()[0].caption, "Error");
            EXPECT_EQ(ini_.Read("Saving", "Prefix"), "<none>") << "nothing written on failure";
        }
    }
    form_.show();  // open, the focused control shows which one
    form_.FromEdit->setText("-3");
    form_.OkButtonClick();
    EXPECT_EQ(messages_.Questions().back().text, "Invalid value!");
}

TEST_F(ConfigTest, OkWritesAllEightKeys) {
    LoadConfig(&form_);
    form_.SrcDirEdit->setText("/pictures/in/");
    form_.OptiTrackBar->setValue(3);
    form_.SpeedTrackBar->setValue(500);
    form_.DestDirEdit->setText("/pictures/out/");
    form_.PrefixEdit->setText("pre");
    form_.SufixEdit->setText("suf");
    form_.DigitsTB->setValue(4);
    form_.FromEdit->setText(" 12 ");
    form_.OkButtonClick();
    const std::pair<const char*, const char*> expected[] = {
        {"Viewer/Source", "/pictures/in/"},
        {"Viewer/Optimization", "3"},
        {"Viewer/PlaySpeed", "500"},
        {"Saving/Destination", "/pictures/out/"},
        {"Saving/Prefix", "pre"},
        {"Saving/Sufix", "suf"},
        {"Saving/Digits", "4"},
        {"Saving/From", "12"},
    };
    for (const auto& [key, value] : expected) {
        const QStringList parts = QString(key).split('/');
        EXPECT_EQ(ini_.Read(parts[0], parts[1]), value) << key;
    }
}

TEST_F(ConfigTest, CancelAndEscLeaveTheStoredValuesInTheControls) {
    ini_.Write("Saving", "Prefix", "kept");
    for (const auto leave : {+[](TConfigForm& f) { f.CancelButton->click(); },
                             +[](TConfigForm& f) { QTest::keyClick(&f, Qt::Key_Escape); }}) {
        form_.show();
        form_.PrefixEdit->setText("typed");
        form_.SpeedTrackBar->setValue(900);
        leave(form_);
        EXPECT_FALSE(form_.isVisible());
        EXPECT_EQ(form_.PrefixEdit->text(), "kept");
        EXPECT_EQ(form_.SpeedTrackBar->value(), 250);
        EXPECT_EQ(form_.SampleEdit->text(), "kept01.jpg");
    }
    EXPECT_EQ(ini_.Read("Viewer", "PlaySpeed"), "<none>");
}

TEST_F(ConfigTest, DefaultFolderButtonAsksAndSavesOnlyTheSourceOnYes) {
    LoadConfig(&form_);
    form_.CurrentFolder = [] { return QStringLiteral("/home/me/shots"); };
    const QString before = form_.SrcDirEdit->text();
    messages_.QueueAnswers({MsgButton::No, MsgButton::Yes});
    form_.DefFolderButtonClick();
    EXPECT_EQ(form_.SrcDirEdit->text(), before);
    EXPECT_EQ(ini_.Read("Viewer", "Source"), "<none>");

    form_.DefFolderButtonClick();
    EXPECT_EQ(form_.SrcDirEdit->text(), "/home/me/shots/");
    EXPECT_EQ(ini_.Read("Viewer", "Source"), "/home/me/shots/");
    EXPECT_EQ(ini_.Read("Saving", "Digits"), "<none>");
    EXPECT_EQ(messages_.Questions().at(1).caption, "Save default folder");
}

// What the user accepted stays for the running program when the file cannot take it:
// every later opening, and the saving dialog that reads these controls, shows it.
TEST_F(ConfigTest, AcceptedSettingsOutliveAFileThatCannotBeWritten) {
    ini_.Write("Viewer", "PlaySpeed", "250");  // a regular file, so nothing can be below it
    platform::ScopedIniFilePath below(ini_.Path() + "/settings.ini");
    LoadConfig(&form_);
    form_.PrefixEdit->setText("new");
    form_.SpeedTrackBar->setValue(500);
    form_.OkButtonClick();
    form_.CurrentFolder = [] { return QStringLiteral("/home/me/shots"); };
    messages_.QueueAnswers({MsgButton::Yes});
    form_.DefFolderButtonClick();  // saved at once, or kept as well
    for (int opening = 0; opening < 2; ++opening) {
        form_.show();
        EXPECT_EQ(form_.PrefixEdit->text(), "new") << opening;
        EXPECT_EQ(form_.SpeedTrackBar->value(), 500) << opening;
        EXPECT_EQ(form_.SrcDirEdit->text(), "/home/me/shots/") << opening;
        form_.PrefixEdit->setText("typed");
        form_.CancelButton->click();
        EXPECT_EQ(form_.PrefixEdit->text(), "new") << opening;
    }
    const auto questions = messages_.Questions();
    EXPECT_TRUE(std::any_of(questions.begin(), questions.end(), [&](const auto& question) {
        return question.text.startsWith("The settings can't be read from '" + ini_.Path());
    })) << "the file's problem is named";
}

TEST_F(DialogTest, ProgressLabelKeepsTheFileNameOfALongPath) {
    TProgressForm form;
    auto* label = static_cast<TPathLabel*>(form.ProgressLabel);
    const QString folder = "/media/user/CARD/" + QString(30, 'f') + "/" + QString(40, 'g');
    label->setText("Copy file '" + folder + "/IMG_0042.jpg'");
    const QString shown = label->ShownText();
    EXPECT_TRUE(shown.startsWith("Copy file '/media")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("/IMG_0042.jpg'")) << shown.toStdString();
    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->width());
    label->setText("Prepare to show...");
    EXPECT_EQ(label->ShownText(), "Prepare to show...");
    // What is drawn is the shortened text: the label's right end is not cut off.
    label->setText("Copy file '" + folder + "/" + QString(15, 'n') + ".jpg'");
    const QImage drawn = label->grab().toImage();
    QImage expected(drawn.size(), drawn.format());
    expected.fill(label->palette().color(label->backgroundRole()));
    {
        QPainter painter(&expected);
        painter.setFont(label->font());
        painter.setPen(label->palette().color(label->foregroundRole()));
        painter.drawText(expected.rect(), Qt::AlignCenter, label->ShownText());
    }
    EXPECT_EQ(drawn, expected);
}

// Each button gives its modal result, and a dialog closed without one gives Cancel's.
TEST_F(DialogTest, QuestionAndOrientationReturnThePressedButton) {
    QImage glyph(40, 30, QImage::Format_RGB32);
    glyph.fill(Qt::gray);
    const auto question = [](const char* icon) {
        return [icon] { return ShowQuestion("x already exist.", "Save file", icon); };
    };
    const auto orientation = [&glyph] {
        return ShowOrientDialog("Choose desire orientation of the selected images:",
                                "Select orientation", glyph, glyph, glyph);
    };
    const struct {
        std::function<int()> show;
        const char* title;
        const char* button;  // null: closed without a button
        int result;
    } cases[] = {{question("IDI_EXCLAMATION"), "Save file", "YesBtn", 6},
                 {question("IDI_QUESTION"), "Save file", "YesAllBtn", 10},
                 {question("IDI_ERROR"), "Save file", "NoBtn", 7},
                 {question("IDI_NONSENSE"), "Save file", "NoAllBtn", 9},
                 {question("IDI_HAND"), "Save file", "CancelBtn", 2},
                 {question("IDI_QUESTION"), "Save file", nullptr, 2},
                 {orientation, "Select orientation", "LeftButton", -1},
                 {orientation, "Select orientation", "NormalButton", 0},
                 {orientation, "Select orientation", "RightButton", 1},
                 {orientation, "Select orientation", "CancelBtn", -100},
                 {orientation, "Select orientation", nullptr, -100}};
    for (const auto& c : cases) {
        OnNextModal([&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), c.title);
            c.button ? ClickChild(dialog, c.button) : void(dialog->close());
        });
        EXPECT_EQ(c.show(), c.result) << c.title << " " << (c.button ? c.button : "closed");
    }
    EXPECT_TRUE(QuestionIcon("IDI_NONSENSE").isNull());
    EXPECT_FALSE(QuestionIcon("IDI_WINLOGO").isNull());
}

TEST_F(DialogTest, FolderChooserGivesANormalisedFolderAndTakesOnlyMatchingOnes) {
    QTemporaryDir dir;
    const QString photos = dir.path() + "/Photos";
    QDir().mkpath(photos);
    const struct {
        QString initial;
        const char* button;
        QString expected;
    } cases[] = {
        {photos + "/", "CancelBtn", photos},
        {"/", "CancelBtn", "/"},
        {dir.path() + "/missing/", "CancelBtn", dir.path() + "/missing"},
        {photos + "/", "OKBtn", photos},
    };
    for (const auto& c : cases) {
        OnNextModal([&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Select directory");
            ClickChild(dialog, c.button);
        });
        EXPECT_EQ(NormalisedFolder(SelectFolderDialog(c.initial, "", {}, false)), c.expected);
    }
    // With masks, OK takes only a folder holding a matching file (a folder does not count).
    QDir().mkpath(dir.path() + "/without/sub.jpg");
    WriteFileBytes(photos + "/a.JPEG", "");
    EXPECT_FALSE(FolderHasMatchingFile(photos, "*.png"));
    TOKBottomDlg dialog;
    dialog.SetMasks("*.jpg;*.jpeg");
    for (const auto& [folder, enabled] :
         {std::pair{dir.path() + "/without", false}, {photos, true}}) {
        dialog.DirTree->SelectFolder(folder);
        dialog.DirTreeChange();
        EXPECT_EQ(dialog.OKBtn->isEnabled(), enabled) << folder.toStdString();
    }
}

}  // namespace
