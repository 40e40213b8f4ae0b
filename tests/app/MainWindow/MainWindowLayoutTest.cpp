// The main window's start-up, stored geometry and splitters.

#include <sys/stat.h>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <array>
#include <climits>
#include <csignal>

#include "app/Dialogs/ConfigForm.h"
#include "app/Dialogs/QuestionForm.h"
#include "app/SplashForm.h"
#include "tests/app/MainWindow/MainFormFixture.h"

namespace {

QRect WorkArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

class LayoutTest : public MainFormTest {
  protected:
    void StoreWindow(const QString& state, int left, int top, int width, int height) {
        ini_.Write("Window", "State", state);
        ini_.Write("Window", "Left", QString::number(left));
        ini_.Write("Window", "Top", QString::number(top));
        ini_.Write("Window", "Width", QString::number(width));
        ini_.Write("Window", "Height", QString::number(height));
    }
    void StoreSplitters(int splitV, int splitList) {
        ini_.Write("Spliters", "SplitV", QString::number(splitV));
        ini_.Write("Spliters", "SplitList", QString::number(splitList));
    }
    QStringList StoredWindow() const {
        QStringList values;
        for (const char* key : {"State", "Left", "Top", "Width", "Height"}) {
            values.append(ini_.Read("Window", key));
        }
        return values;
    }
};

TEST_F(LayoutTest, FirstStartIsMaximisedWithTheDefaultLayout) {
    Start();
    TMainForm& f = Form();
    EXPECT_TRUE(f.isMaximized());
    EXPECT_EQ(f.windowTitle(), "Orvane Viewer");
    EXPECT_EQ(CurrentSplash(), nullptr);
    EXPECT_EQ(f.LeftTopPnl->height(), f.MainLeft->height() / 2);
    EXPECT_EQ(f.MainLeft->width(), f.MainSplit->width() - f.LeftReserve());
    EXPECT_EQ(f.FilesPnl->width(), f.MainListPnl->width() / 2 - f.SplitList->width() / 2);
    EXPECT_EQ(f.MainLeft->width() + f.SplitV->width() + f.MainRight->width(), f.MainSplit->width());
    // The configuration is written at every start.
    EXPECT_EQ(ini_.Read("Viewer", "PlaySpeed"), "250");
    EXPECT_EQ(ini_.Read("Saving", "Digits"), "2");
    EXPECT_EQ(f.OptiTrackBar->value(), ConfigForm->OptiTrackBar->value());
}

TEST_F(LayoutTest, TheTreeOpensTheConfiguredSourceFolderOrHome) {
    const QString pics = MakePictures("start", {"x.jpg", "y.jpg"});
    ini_.Write("Viewer", "Source", pics + "/");
    Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form().FilesLV->Count() == 2; }, 10000));
    EXPECT_EQ(Form().CurrentFolderPath(), pics);
    EXPECT_EQ(Form().TotalFilesLabel->text(), "Total files: 2");

    // A folder that is gone falls back to the home folder silently; one whose name text
    // cannot carry (not UTF-8) says why.
    const QByteArray latin1 = QFile::encodeName(root_.path()) + "/caf\xe9";
    ASSERT_EQ(::mkdir(latin1.constData(), 0755), 0);
    const QString lossy = QFile::decodeName(latin1);
    for (const QString& source : {root_.path() + "/gone", lossy}) {
        forms_.reset();
        ini_.Write("Viewer", "Source", source + "/");
        Start();
        RunQueued();
        EXPECT_EQ(Form().DirTree->GetFolder(), QDir::homePath());
    }
    EXPECT_EQ(BoxTexts(messages_),
              QStringList{"Can't list the pictures of '" + lossy +
                          "': the folder's name is not valid UTF-8. Rename the folder to see them "
                          "here.\nThe folder tree starts in the home folder."});
}

TEST_F(LayoutTest, AnInvalidStoredPrefixIsReportedAtStartWithoutWriting) {
    ini_.Write("Saving", "Prefix", "a:b");
    Start();
    EXPECT_EQ(BoxTexts(messages_), QStringList{"Invalid character in the 3D image name!\n"
                                               "[Saving] Prefix=a:b in '" +
                                               ini_.Path() + "'"});
    EXPECT_EQ(ini_.Read("Viewer", "PlaySpeed"), "<none>");
    EXPECT_FALSE(ConfigForm->isVisible());
}

// A signal to end that comes while a start-up box waits for its answer ends the program
// with an ordinary close (the window settings written), without running the event loop.
// A dialog that opens afterwards (here the question a running save would ask) waits for
// nobody either.
TEST_F(LayoutTest, ASignalWhileAStartUpBoxIsOpenEndsTheProgram) {
    ini_.Write("Saving", "Prefix", "a:b");  // refused at start, in a box
    bool boxOutlivedTheSignal = false;
    int laterAnswer = 0;
    platform::MsgButton applyAnswer = platform::MsgButton::None;
    bool loopRan = false;
    QTimer loopGuard;  // quits an event loop run after the box, so no failure hangs the test
    loopGuard.setSingleShot(true);
    QObject::connect(&loopGuard, &QTimer::timeout, [&] {
        loopRan = true;
        QCoreApplication::quit();
    });
    messages_.SetResponder([&](const platform::MessageRequest& request) {
        // The real box: modal until answered. The fail-safe only ends a box nothing closed.
        QMessageBox box(QMessageBox::Warning, request.caption, request.text, QMessageBox::Ok);
        QTimer::singleShot(15000, &box, [&] {
            boxOutlivedTheSignal = true;
            box.done(0);
        });
        ::raise(SIGTERM);
        box.exec();
        QTimer::singleShot(15000, [&] {
            if (auto* later = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                boxOutlivedTheSignal = true;
                later->done(0);
            }
        });
        laterAnswer = ShowQuestion("later", "Save file", "IDI_EXCLAMATION");
        // The preview's question on closing with changes: Cancel would keep it open.
        applyAnswer = platform::ShowMessage(
            "apply?", "Apply changes",
            {platform::MsgButton::Yes, platform::MsgButton::No, platform::MsgButton::Cancel},
            platform::MsgIcon::Question);
        loopGuard.start(0);
        return platform::MsgButton::Ok;
    });
    EXPECT_EQ(RunOrvaneViewer(), 0);
    EXPECT_FALSE(boxOutlivedTheSignal);
    EXPECT_EQ(laterAnswer, 2);  // Cancel
    EXPECT_EQ(applyAnswer, platform::MsgButton::No);
    EXPECT_FALSE(loopRan);
    EXPECT_EQ(ini_.Read("Window", "State"), "MAX");
    EXPECT_EQ(MainForm, nullptr);
}

// Any letter case of a state other than "MAX" is a normal window. A tiny width far right
// is raised to the minimum before the window is placed.
TEST_F(LayoutTest, ExtremeStoredValuesGiveAWindowOnScreenAndAreNotWrittenBack) {
    for (const std::array<int, 4> stored :
         {std::array{INT_MAX, INT_MIN, INT_MAX, INT_MIN}, std::array{INT_MAX, 0, 0, 600}}) {
        forms_.reset();
        StoreWindow("nrm", stored[0], stored[1], stored[2], stored[3]);
        StoreSplitters(INT_MIN, INT_MAX);
        Start();
        EXPECT_FALSE(Form().isMaximized());
        const QRect frame = Form().frameGeometry();
        EXPECT_TRUE(WorkArea().adjusted(-4, -4, 4, 4).contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width();
        EXPECT_GE(frame.width(), 610);
        EXPECT_GE(frame.height(), 445);
        Form().close();  // closing writes the settings
        for (const QString& value : StoredWindow()) {
            EXPECT_LT(std::abs(value.toLongLong()), 100000) << value.toStdString();
        }
    }
}

// Nothing the program could not read is replaced, and the user hears of it once.
TEST_F(LayoutTest, ASettingsFileTooLargeToReadIsNamedOnceAndKept) {
    ini_.Write("Viewer", "Comment", QString(5 << 20, 'x'));
    const qint64 size = QFileInfo(ini_.Path()).size();
    Start();
    Form().close();
    EXPECT_EQ(
        BoxTexts(messages_),
        QStringList{"The settings can't be read from '" + ini_.Path() +
                    "': File too large.\nThe program uses its default settings and leaves that "
                    "file as it is."});
    EXPECT_EQ(QFileInfo(ini_.Path()).size(), size);
}

TEST_F(LayoutTest, SettingsThatCannotBeSavedAreNamedOnce) {
    // A file anyone may read but nobody may replace, whoever runs the test: the kernel's.
    platform::ScopedIniFilePath kernels(QStringLiteral("/proc/version"));
    Start();  // the configuration's keys are written at every start
    Form().close();
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_TRUE(messages_.Questions()[0].text.startsWith(
        "The settings can't be saved to '/proc/version': "));
}

// The rules have their own table; this is the window taking them: stored splitters out of
// their ranges fall back, ones in range are kept; a drag stops above 196 and growing the
// window keeps the lists in proportion.
TEST_F(LayoutTest, StoredSplittersAreTakenWithinTheirRangesAndKeptInProportion) {
    StoreWindow("NRM", 0, 0, 700, 500);
    StoreSplitters(150, 100);
    ini_.Write("Spliters", "SplitH", "5");
    Start();
    EXPECT_EQ(Form().MainLeft->width(), 200);
    EXPECT_EQ(Form().FilesPnl->width(), 195);
    EXPECT_EQ(Form().LeftTopPnl->height(), Form().MainLeft->height() / 2);
    EXPECT_EQ(Form().Vert2Bevel->x(), 204);

    forms_.reset();
    StoreWindow("NRM", 0, 0, 900, 600);
    StoreSplitters(260, 250);
    Start();
    TMainForm& f = Form();
    EXPECT_EQ(f.MainLeft->width(), 260);
    ASSERT_EQ(f.FilesPnl->width(), 250);
    f.SplitList->DragBy(-54);  // 196: refused
    EXPECT_EQ(f.FilesPnl->width(), 250);
    f.SplitList->DragBy(-53);  // 197: taken
    EXPECT_EQ(f.FilesPnl->width(), 197);
    // The series list's buttons stay centred under it.
    EXPECT_EQ(f.ClearButton->x(), f.DeleteButton->x() + f.DeleteButton->width() + 6);
    const double share = double(f.FilesPnl->width()) / f.MainRight->width();
    f.resize(f.width() + 200, f.height());
    EXPECT_NEAR(double(f.FilesPnl->width()) / f.MainRight->width(), share, 0.02);
    EXPECT_EQ(f.MainLeft->width() + f.SplitV->width() + f.MainRight->width(), f.MainSplit->width());
    EXPECT_EQ(f.AddButton->x(), f.SelectAllButton->x() + f.SelectAllButton->width() + 6);
}

// A normal window stores its frame, which comes back unchanged run after run; a maximised
// one leaves the stored frame as it was. Both store the splitters.
TEST_F(LayoutTest, ClosingStoresANormalFrameWithoutDriftAndTheSplittersAlways) {
    for (const QString state : {"NRM", "MAX"}) {
        StoreWindow(state, 30, 40, 700, 500);
        for (int run = 0; run < 2; ++run) {
            forms_.reset();
            Start();
            EXPECT_EQ(Form().isMaximized(), state == "MAX");
            Form().close();
            EXPECT_EQ(StoredWindow(), (QStringList{state, "30", "40", "700", "500"})) << run;
        }
        EXPECT_EQ(ini_.Read("Spliters", "SplitV"), QString::number(Form().MainLeft->width()));
        EXPECT_EQ(ini_.Read("Spliters", "SplitList"), QString::number(Form().FilesPnl->width()));
        EXPECT_EQ(ini_.Read("Spliters", "SplitH"), QString::number(Form().SplitH->y()));
    }
}

}  // namespace
