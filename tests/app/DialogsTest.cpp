#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QSettings>
#include <QTest>

#include "TestApp.h"
#include "app/AboutForm.h"
#include "app/ConfigForm.h"
#include "app/FolderDialog.h"
#include "app/FolderScan.h"
#include "app/NameRules.h"
#include "app/OrientForm.h"
#include "app/QuestionForm.h"
#include "platform/IniFile.h"
#include "platform/Memory.h"
#include "platform/testing/ScriptedMessageService.h"

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
    void Store(const QString& section, const QString& key, const QString& value) {
        TIniFile ini(ini_.Path());
        ini.WriteString(section, key, value);
        ASSERT_TRUE(ini.UpdateFile());
    }
    QString Stored(const QString& section, const QString& key) {
        return TIniFile(ini_.Path()).ReadString(section, key, QStringLiteral("<none>"));
    }
    TestIni ini_;
    TConfigForm form_;
};

TEST_F(ConfigTest, DefaultsWithoutAnIniFile) {
    LoadConfig(&form_);
    EXPECT_EQ(form_.SrcDirEdit->text(), platform::DefaultSourceFolder());
    EXPECT_EQ(form_.DestDirEdit->text(), platform::DefaultDestinationFolder());
    EXPECT_EQ(form_.OptiTrackBar->value(), DefaultOptimization(platform::PhysicalMemoryBytes()));
    EXPECT_EQ(form_.OptiLabel->text(), QualityHint(form_.OptiTrackBar->value()));
    EXPECT_EQ(form_.SpeedTrackBar->value(), 250);
    EXPECT_EQ(form_.FpsEdit->text(), "25%");
    EXPECT_EQ(form_.DigitsTB->value(), 2);
    EXPECT_EQ(form_.DigitsEdit->text(), "00");
    EXPECT_EQ(form_.FromEdit->text(), "1");
    EXPECT_EQ(form_.SampleEdit->text(), "01.jpg");
}

TEST_F(ConfigTest, StoredValuesOutsideTheRangesAreClamped) {
    Store("Viewer", "PlaySpeed", "20");
    Store("Viewer", "Optimization", "9");
    Store("Saving", "Digits", "12");
    LoadConfig(&form_);
    EXPECT_EQ(form_.SpeedTrackBar->value(), 50);
    EXPECT_EQ(form_.FpsEdit->text(), "5%");
    EXPECT_EQ(form_.OptiTrackBar->value(), 3);
    EXPECT_EQ(form_.DigitsTB->value(), 6);
}

TEST_F(ConfigTest, SpeedTrackBarSteps) {
    EXPECT_EQ(form_.SpeedTrackBar->minimum(), 50);
    EXPECT_EQ(form_.SpeedTrackBar->maximum(), 1000);
    EXPECT_EQ(form_.SpeedTrackBar->singleStep(), 48);
    EXPECT_EQ(form_.SpeedTrackBar->pageStep(), 144);
}

struct Validation {
    const char* prefix;
    const char* from;
    const char* suffix;
    const char* message;  // null: passes
};

TEST_F(ConfigTest, OkChecksNamesAndFirstNumber) {
    const Validation cases[] = {
        {"a:b", "1", "", "Invalid character in the 3D image name!"},
        {"a_b-c.d", "1", "", nullptr},
        {"img", "-3", "", "Invalid value!"},
        {"img", "abc", "", "Invalid value!"},
        {"img", "0", "", nullptr},
        {"img", "1", "x#", "Invalid character in the 3D image name!"},
        {"!", "1", "%", nullptr},
    };
    for (const Validation& c : cases) {
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
            EXPECT_EQ(Stored("Saving", "Prefix"), c.prefix);
            EXPECT_EQ(form_.result(), 1);
        } else {
            ASSERT_EQ(messages.Questions().size(), 1u) << c.prefix << " " << c.from;
            EXPECT_EQ(messages.Questions()[0].text, c.message);
            EXPECT_EQ(messages.Questions()[0].caption, "Error");
            EXPECT_EQ(messages.Questions()[0].icon, platform::MsgIcon::Error);
            EXPECT_EQ(messages.Beeps(), 1);
            EXPECT_EQ(Stored("Saving", "Prefix"), "<none>") << "nothing written on failure";
        }
    }
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
    EXPECT_EQ(Stored("Viewer", "Source"), "/pictures/in/");
    EXPECT_EQ(Stored("Viewer", "Optimization"), "3");
    EXPECT_EQ(Stored("Viewer", "PlaySpeed"), "500");
    EXPECT_EQ(Stored("Saving", "Destination"), "/pictures/out/");
    EXPECT_EQ(Stored("Saving", "Prefix"), "pre");
    EXPECT_EQ(Stored("Saving", "Sufix"), "suf");
    EXPECT_EQ(Stored("Saving", "Digits"), "4");
    EXPECT_EQ(Stored("Saving", "From"), "12");
}

TEST_F(ConfigTest, ShowingAgainDropsUnsavedEdits) {
    Store("Saving", "Prefix", "kept");
    form_.show();
    form_.PrefixEdit->setText("typed");
    form_.hide();
    form_.show();
    EXPECT_EQ(form_.PrefixEdit->text(), "kept");
    form_.hide();
}

TEST_F(ConfigTest, DefaultFolderButtonAsksAndSavesOnYes) {
    LoadConfig(&form_);
    form_.CurrentFolder = [] { return QStringLiteral("/home/me/shots"); };
    const QString before = form_.SrcDirEdit->text();

    messages_.QueueAnswers({MsgButton::No});
    form_.DefFolderButtonClick();
    EXPECT_EQ(form_.SrcDirEdit->text(), before);
    EXPECT_EQ(Stored("Viewer", "Source"), "<none>");

    messages_.QueueAnswers({MsgButton::Yes});
    form_.DefFolderButtonClick();
    EXPECT_EQ(form_.SrcDirEdit->text(), "/home/me/shots/");
    EXPECT_EQ(Stored("Viewer", "Source"), "/home/me/shots/");
    ASSERT_EQ(messages_.Questions().size(), 2u);
    EXPECT_EQ(messages_.Questions()[1].text, "Do you want to save current folder as default?");
    EXPECT_EQ(messages_.Questions()[1].caption, "Save default folder");
    // Only the source folder is written.
    EXPECT_EQ(Stored("Saving", "Digits"), "<none>");
}

TEST_F(DialogTest, QuestionReturnsThePressedButton) {
    const struct {
        const char* button;
        int result;
    } cases[] = {{"YesBtn", 6}, {"YesAllBtn", 10}, {"NoBtn", 7}, {"NoAllBtn", 9}, {"CancelBtn", 2}};
    for (const auto& c : cases) {
        OnNextModal([&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "Save file");
            ClickChild(dialog, c.button);
        });
        EXPECT_EQ(ShowQuestion("x already exist.", "Save file", "IDI_EXCLAMATION"), c.result)
            << c.button;
    }
}

TEST_F(DialogTest, QuestionClosedWithoutAButtonIsACancel) {
    OnNextModal([](QWidget* dialog) { dialog->close(); });
    EXPECT_EQ(ShowQuestion("text", "caption", "IDI_QUESTION"), 2);
}

TEST_F(DialogTest, QuestionIconsByName) {
    auto pixels = [](const QString& name) { return QuestionIcon(name).pixmap(32, 32).toImage(); };
    EXPECT_EQ(pixels("IDI_HAND"), pixels("IDI_ERROR"));
    EXPECT_EQ(pixels("IDI_ASTERISK"), pixels("IDI_INFORMATION"));
    EXPECT_EQ(pixels("IDI_WARNING"), pixels("IDI_EXCLAMATION"));
    EXPECT_FALSE(QuestionIcon("IDI_QUESTION").isNull());
    EXPECT_FALSE(QuestionIcon("IDI_WINLOGO").isNull());
    EXPECT_TRUE(QuestionIcon("IDI_NONSENSE").isNull());

    // An unknown icon name still gives the pressed button.
    OnNextModal([](QWidget* dialog) {
        auto* image = dialog->findChild<QLabel*>("SysImage");
        EXPECT_TRUE(image->pixmap().isNull());
        ClickChild(dialog, "NoAllBtn");
    });
    EXPECT_EQ(ShowQuestion("text", "caption", "IDI_NONSENSE"), 9);
}

TEST_F(DialogTest, OrientationChoices) {
    QImage glyph(40, 30, QImage::Format_RGB32);
    glyph.fill(Qt::gray);
    const struct {
        const char* button;
        int result;
    } cases[] = {{"LeftButton", -1}, {"NormalButton", 0}, {"RightButton", 1}, {"CancelBtn", -100}};
    for (const auto& c : cases) {
        OnNextModal([&](QWidget* dialog) {
            EXPECT_EQ(dialog->findChild<QWidget*>("LeftButton")->toolTip(), "Rotated left");
            EXPECT_EQ(dialog->findChild<QWidget*>("NormalButton")->toolTip(),
                      "Original orientation");
            EXPECT_EQ(dialog->findChild<QWidget*>("RightButton")->toolTip(), "Rotated right");
            ClickChild(dialog, c.button);
        });
        EXPECT_EQ(ShowOrientDialog("Choose desire orientation of the selected images:",
                                   "Select orientation", glyph, glyph, glyph),
                  c.result)
            << c.button;
    }
    OnNextModal([](QWidget* dialog) { dialog->close(); });
    EXPECT_EQ(ShowOrientDialog("t", "c", glyph, glyph, glyph), -100);
}

TEST_F(DialogTest, AboutClosesOnClickOrEscOnly) {
    TAboutForm about;
    about.show();
    QTest::keyClick(&about, Qt::Key_A);
    QTest::keyClick(&about, Qt::Key_Return);
    EXPECT_TRUE(about.isVisible());
    QTest::keyClick(&about, Qt::Key_Escape);
    EXPECT_FALSE(about.isVisible());

    about.show();
    QTest::mouseClick(about.AboutImage, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), 1);
}

TEST_F(DialogTest, FolderChooserCancelGivesTheInitialFolderNormalised) {
    QTemporaryDir dir;
    const QString photos = dir.path() + "/Photos";
    QDir().mkpath(photos);
    const struct {
        QString initial;
        QString expected;
    } cases[] = {
        {photos + "/", photos},
        {photos, photos},
        {"/", "/"},
        {dir.path() + "/missing/", dir.path() + "/missing"},
    };
    for (const auto& c : cases) {
        OnNextModal([](QWidget* dialog) { ClickChild(dialog, "CancelBtn"); });
        EXPECT_EQ(SelectFolderDialog(c.initial, "Select source folder", {}, false), c.expected);
    }
}

TEST_F(DialogTest, FolderChooserOkGivesTheTreesFolder) {
    QTemporaryDir dir;
    const QString photos = dir.path() + "/Photos";
    QDir().mkpath(photos);
    OnNextModal([](QWidget* dialog) { ClickChild(dialog, "OKBtn"); });
    EXPECT_EQ(NormalisedFolder(SelectFolderDialog(photos, "Select default folder", {}, false)),
              photos);
}

TEST_F(DialogTest, FolderChooserWithMasksEnablesOkOnMatchingFolders) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/with");
    QDir().mkpath(dir.path() + "/without");
    QFile file(dir.path() + "/with/a.jpeg");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    TOKBottomDlg dialog;
    dialog.SetMasks("*.jpg;*.jpeg");
    dialog.DirTree->SelectFolder(dir.path() + "/without");
    dialog.DirTreeChange();
    EXPECT_FALSE(dialog.OKBtn->isEnabled());
    dialog.DirTree->SelectFolder(dir.path() + "/with");
    dialog.DirTreeChange();
    EXPECT_TRUE(dialog.OKBtn->isEnabled());
}

TEST_F(DialogTest, FolderChooserCaption) {
    OnNextModal([](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), "Select directory");
        ClickChild(dialog, "CancelBtn");
    });
    SelectFolderDialog("/", "", {}, false);
}

TEST_F(DialogTest, MasksNeedAMatchingFile) {
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + "/empty");
    QDir().mkpath(dir.path() + "/one/sub.jpg");  // a folder does not count
    QFile file(dir.path() + "/one/a.JPEG");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(FolderHasMatchingFile(dir.path() + "/one", "*.jpg;*.jpeg"));
    EXPECT_FALSE(FolderHasMatchingFile(dir.path() + "/one", "*.png"));
    EXPECT_FALSE(FolderHasMatchingFile(dir.path() + "/empty", "*.jpg;*.jpeg"));
    EXPECT_FALSE(FolderHasMatchingFile(QString(), "*.jpg"));
}

}  // namespace
