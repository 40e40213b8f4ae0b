// The main window's start-up, stored geometry and splitters.

#include <QGuiApplication>
#include <QScreen>

#include "MainFormFixture.h"
#include "app/ConfigForm.h"
#include "app/NameRules.h"
#include "app/SplashForm.h"

namespace {

QRect WorkArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

using LayoutTest = MainFormTest;

TEST_F(LayoutTest, FirstStartIsMaximisedWithTheDefaultLayout) {
    Start();
    TMainForm& f = Form();
    EXPECT_TRUE(f.isMaximized());
    EXPECT_EQ(f.windowTitle(), "Orvane Viewer");
    EXPECT_EQ(CurrentSplash(), nullptr);
    EXPECT_EQ(f.LeftTopPnl->height(), f.MainLeft->height() / 2);
    EXPECT_EQ(f.MainLeft->width(), f.MainSplit->width() - f.LeftReserve());
    EXPECT_EQ(f.FilesPnl->width(), f.MainListPnl->width() / 2 - f.SplitList->width() / 2);
    // The panels fill the window.
    EXPECT_EQ(f.MainSplit->width(), f.MainPanel->width() - 7);
    EXPECT_EQ(f.MainLeft->width() + f.SplitV->width() + f.MainRight->width(), f.MainSplit->width());
    EXPECT_EQ(f.MainListPnl->height(), f.MainRight->height() - 21);
}

TEST_F(LayoutTest, TheTreeOpensTheConfiguredSourceFolder) {
    const QString pics = MakePictures("start", {"x.jpg", "y.jpg"});
    Store("Viewer", "Source", pics + "/");
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form().FilesLV->Count() == 2; }, 10000));
    EXPECT_EQ(Form().CurrentFolderPath(), pics);
    EXPECT_EQ(Form().TotalFilesLabel->text(), "Total files: 2");
}

TEST_F(LayoutTest, AMissingSourceFolderFallsBackToHome) {
    Store("Viewer", "Source", root_.path() + "/gone/");
    Start();
    EXPECT_EQ(Form().DirTree->GetFolder(), QDir::homePath());
}

TEST_F(LayoutTest, ConfigurationIsWrittenAtEveryStart) {
    Start();
    EXPECT_EQ(Stored("Viewer", "PlaySpeed"), "250");
    EXPECT_EQ(Stored("Saving", "Digits"), "2");
    EXPECT_EQ(Form().OptiTrackBar->value(), ConfigForm->OptiTrackBar->value());
    EXPECT_EQ(Form().OptiTrackBar->toolTip(), QualityHint(Form().OptiTrackBar->value()));
}

TEST_F(LayoutTest, AnInvalidStoredPrefixIsReportedAtStartWithoutWriting) {
    Store("Saving", "Prefix", "a:b");
    Start();
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_EQ(messages_.Questions()[0].text, "Invalid character in the 3D image name!");
    EXPECT_EQ(Stored("Viewer", "PlaySpeed"), "<none>");
    EXPECT_FALSE(ConfigForm->isVisible());
}

struct TopCase {
    int belowBottom;  // stored Top relative to the work area's bottom coordinate
    int expectedTop;
};

TEST_F(LayoutTest, StoredTopIsClampedAgainstTheWorkArea) {
    const int bottom = WorkArea().y() + WorkArea().height();
    for (const TopCase c : {TopCase{0, 0}, TopCase{3, -3}, TopCase{10, 0}}) {
        forms_.reset();
        Store("Window", "State", "NRM");
        Store("Window", "Left", "20");
        Store("Window", "Top", QString::number(bottom + c.belowBottom));
        Store("Window", "Width", "640");
        Store("Window", "Height", "460");
        Start();
        EXPECT_FALSE(Form().isMaximized());
        EXPECT_EQ(Form().NormalPlacement().top, c.expectedTop) << c.belowBottom;
        if (c.expectedTop >= 0) {
            // (The test platform pushes windows below the screen's top edge down.)
            EXPECT_EQ(Form().frameGeometry().top(), c.expectedTop) << c.belowBottom;
        }
        EXPECT_EQ(Form().frameGeometry().size(), QSize(640, 460));
    }
}

TEST_F(LayoutTest, AWindowStoredFarOffScreenComesBack) {
    Store("Window", "State", "nrm");
    Store("Window", "Left", "9000");
    Store("Window", "Top", "100");
    Store("Window", "Width", "640");
    Store("Window", "Height", "460");
    Start();
    EXPECT_TRUE(WorkArea().intersects(Form().frameGeometry()));
    EXPECT_FALSE(Form().isMaximized());  // any letter case of a non-MAX state is normal
}

TEST_F(LayoutTest, StoredSplittersOutsideTheirRangesFallBack) {
    Store("Window", "State", "NRM");
    Store("Window", "Width", "700");
    Store("Window", "Height", "500");
    Store("Spliters", "SplitV", "150");
    Store("Spliters", "SplitList", "100");
    Store("Spliters", "SplitH", "5");
    Start();
    TMainForm& f = Form();
    EXPECT_EQ(f.MainLeft->width(), 200);
    EXPECT_EQ(f.FilesPnl->width(), 195);
    EXPECT_EQ(f.LeftTopPnl->height(), f.MainLeft->height() / 2);
    EXPECT_EQ(f.Vert2Bevel->x(), 204);
}

TEST_F(LayoutTest, StoredSplittersInRangeAreKept) {
    Store("Window", "State", "NRM");
    Store("Window", "Width", "900");
    Store("Window", "Height", "600");
    Store("Spliters", "SplitV", "260");
    Store("Spliters", "SplitList", "230");
    Start();
    TMainForm& f = Form();
    EXPECT_EQ(f.MainLeft->width(), 260);
    EXPECT_EQ(f.FilesPnl->width(), 230);
    const int h = f.MainLeft->height();
    EXPECT_GT(f.LeftTopPnl->height(), h / 2 - 1);
}

TEST_F(LayoutTest, DraggingTheListSplitterStopsAbove196) {
    Store("Window", "State", "NRM");
    Store("Window", "Width", "900");
    Store("Window", "Height", "600");
    Store("Spliters", "SplitV", "260");
    Store("Spliters", "SplitList", "250");
    Start();
    TMainForm& f = Form();
    ASSERT_EQ(f.FilesPnl->width(), 250);
    f.SplitList->DragBy(-54);  // 196: refused
    EXPECT_EQ(f.FilesPnl->width(), 250);
    f.SplitList->DragBy(-53);  // 197: taken
    EXPECT_EQ(f.FilesPnl->width(), 197);
    // The series list's buttons stay centred under it.
    EXPECT_EQ(f.ClearButton->x(), f.DeleteButton->x() + f.DeleteButton->width() + 6);
}

TEST_F(LayoutTest, TheWindowHasAMinimumSize) {
    Store("Window", "State", "NRM");
    Start();
    Form().resize(300, 200);
    EXPECT_GE(Form().frameGeometry().width(), 610);
    EXPECT_GE(Form().frameGeometry().height(), 445);
}

TEST_F(LayoutTest, ClosingANormalWindowStoresItsFrameWithoutDrift) {
    Store("Window", "State", "NRM");
    Store("Window", "Left", "30");
    Store("Window", "Top", "40");
    Store("Window", "Width", "700");
    Store("Window", "Height", "500");
    for (int run = 0; run < 2; ++run) {
        forms_.reset();
        Start();
        CloseWindow();
        EXPECT_EQ(Stored("Window", "State"), "NRM");
        EXPECT_EQ(Stored("Window", "Left"), "30");
        EXPECT_EQ(Stored("Window", "Top"), "40");
        EXPECT_EQ(Stored("Window", "Width"), "700");
        EXPECT_EQ(Stored("Window", "Height"), "500");
    }
    EXPECT_EQ(Stored("Spliters", "SplitV"), QString::number(Form().MainLeft->width()));
    EXPECT_EQ(Stored("Spliters", "SplitList"), QString::number(Form().FilesPnl->width()));
    EXPECT_EQ(Stored("Spliters", "SplitH"), QString::number(Form().SplitH->y()));
}

TEST_F(LayoutTest, ClosingMaximisedWritesOnlyTheStateAndTheSplitters) {
    Store("Window", "State", "MAX");
    Store("Window", "Left", "11");
    Store("Window", "Top", "12");
    Store("Window", "Width", "713");
    Store("Window", "Height", "514");
    Start();
    ASSERT_TRUE(Form().isMaximized());
    CloseWindow();
    EXPECT_EQ(Stored("Window", "State"), "MAX");
    EXPECT_EQ(Stored("Window", "Left"), "11");
    EXPECT_EQ(Stored("Window", "Top"), "12");
    EXPECT_EQ(Stored("Window", "Width"), "713");
    EXPECT_EQ(Stored("Window", "Height"), "514");
    EXPECT_NE(Stored("Spliters", "SplitV"), "<none>");
    EXPECT_NE(Stored("Spliters", "SplitList"), "<none>");
    EXPECT_NE(Stored("Spliters", "SplitH"), "<none>");
}

TEST_F(LayoutTest, GrowingTheWindowKeepsTheListsInProportion) {
    Store("Window", "State", "NRM");
    Store("Window", "Width", "800");
    Store("Window", "Height", "560");
    Store("Spliters", "SplitV", "260");
    Store("Spliters", "SplitList", "220");
    Start();
    TMainForm& f = Form();
    const double share = double(f.FilesPnl->width()) / f.MainRight->width();
    f.resize(f.width() + 200, f.height());
    const double after = double(f.FilesPnl->width()) / f.MainRight->width();
    EXPECT_NEAR(after, share, 0.02);
    EXPECT_EQ(f.MainLeft->width() + f.SplitV->width() + f.MainRight->width(), f.MainSplit->width());
    // The bottom bar follows: Add sits right of Select all, Clear right of Delete.
    EXPECT_EQ(f.AddButton->x(), f.SelectAllButton->x() + f.SelectAllButton->width() + 6);
    EXPECT_EQ(f.TotalSelectedLabel->width(), f.SelectedPnl->width());
}

}  // namespace
