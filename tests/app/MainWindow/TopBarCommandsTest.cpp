#include <gtest/gtest.h>

#include "app/Dialogs/ConfigForm.h"
#include "app/MainWindow/TopBarCommands.h"
#include "tests/app/TestApp.h"

namespace {

class ConfigRunTest : public ::testing::Test {
  protected:
    QApplication& app_ = EnsureApp();  // before the dialog
    TestIni ini_;
    TConfigForm config_;
};

TEST_F(ConfigRunTest, OkReportsWhatChangedAndCancelNothing) {
    OnNextModal([this](QWidget* dialog) {
        config_.SrcDirEdit->setText("/elsewhere/");
        ClickChild(dialog, "CancelButton");
    });
    EXPECT_FALSE(RunConfiguration(config_).sourceFolder);
    int quality = -1;
    OnNextModal([&](QWidget* dialog) {
        quality = (config_.OptiTrackBar->value() + 1) % 4;
        config_.OptiTrackBar->setValue(quality);
        ClickChild(dialog, "OkButton");
    });
    TConfigChanges changes = RunConfiguration(config_);
    EXPECT_FALSE(changes.sourceFolder) << "the folder stayed";
    ASSERT_TRUE(changes.quality);
    EXPECT_EQ(*changes.quality, quality);

    OnNextModal([&](QWidget* dialog) {
        config_.SrcDirEdit->setText("/pictures/new/");
        ClickChild(dialog, "OkButton");
    });
    changes = RunConfiguration(config_);
    EXPECT_EQ(changes.sourceFolder.value_or("<none>"), "/pictures/new/");
    EXPECT_FALSE(changes.quality);
}

}  // namespace
