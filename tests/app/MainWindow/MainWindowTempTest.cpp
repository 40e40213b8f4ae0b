// Temporary copies of pictures from removable media and the busy guard of Add. (A start-up
// without a temporary folder is run end to end, in tests/e2e/main_window.sh.)

#include <unistd.h>

#include <QDeadlineTimer>

#include "app/Dialogs/ConfigForm.h"
#include "app/Saving/SavingForm.h"
#include "tests/app/MainWindow/MainFormFixture.h"

using platform::MsgButton;

namespace {

class TempTest : public MainFormTest {
  protected:
    QString PellimorTmp() const {
        return root_.path() + "/tmp/orvane-viewer-" + QString::number(::geteuid()) + "/PellimorTmp";
    }

    // Start with pictures in a "stick" folder that counts as removable.
    void StartWithStick(const QStringList& names) {
        stick_ = MakePictures("stick", names);
        Start();
        Form().IsRemovableDrive = [this](const QString& path) { return path.startsWith(stick_); };
        // The tree reports the new folder ChangeDelay ms after selecting it; tests that take
        // the stick away later must not race that report, so it is waited for here.
        bool reported = false;
        const QMetaObject::Connection connection = QObject::connect(
            Form().DirTree, &TFolderTree::OnChange, [&reported] { reported = true; });
        OpenFolder(stick_);
        QDeadlineTimer limit(10000);
        while (!reported && !limit.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QObject::disconnect(connection);
        ASSERT_TRUE(reported);
    }
    QString OnStick(const QString& name) const { return stick_ + "/" + name; }
    void ExpectNotBusy() {
        EXPECT_FALSE(Form().IsBusy());
        EXPECT_TRUE(Form().AutoHint);
        EXPECT_FALSE(QGuiApplication::overrideCursor());
    }

    QString stick_;
};

// The folder of a program that is gone (its lock file is not locked) is emptied at start,
// files only.
TEST_F(TempTest, LeftoversAreEmptiedAtStartAndTheFolderGoesAtClose) {
    const QString gone = PellimorTmp() + "/1-gone00";
    QDir().mkpath(gone + "/keep");
    WritePicture(gone + "/old.jpg");
    WritePicture(gone + "/.lock");
    StartWithStick({"p.jpg"});
    EXPECT_EQ(QDir(gone).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"keep"});
    ASSERT_TRUE(QDir(gone).rmdir("keep") && QDir(PellimorTmp()).rmdir("1-gone00"));
    AddFiles({"p.jpg"});
    ASSERT_TRUE(Form().TempCopies().CopyOf(OnStick("p.jpg")));
    Form().close();
    EXPECT_FALSE(QFileInfo::exists(PellimorTmp()));
}

// A picture of a removable medium is read from its copy, also once the medium has gone; a
// copy deleted behind our back leaves the picture's own path, gone too; removing a picture
// deletes its copy; pictures of fixed drives are not copied.
TEST_F(TempTest, RemovablePicturesAreReadFromTheirCopiesWhichGoWithThem) {
    const QString fixed = MakePictures("fixed", {"f.jpg"});
    StartWithStick({"p.jpg", "q.jpg"});
    AddFiles({"p.jpg", "q.jpg"});
    const auto copy = Form().TempCopies().CopyOf(OnStick("q.jpg"));
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->startsWith(PellimorTmp()));
    EXPECT_EQ(Form().ReadablePath(OnStick("q.jpg")), *copy);
    EXPECT_EQ(Form().Series(), (QStringList{OnStick("p.jpg"), OnStick("q.jpg")}));
    QDir(stick_).removeRecursively();
    Form().SelectedLV->SelectListItem(1);
    RunQueued();
    EXPECT_TRUE(messages_.Questions().empty());
    EXPECT_EQ(Form().Thumbnail(), *copy);

    QFile::remove(*Form().TempCopies().CopyOf(OnStick("p.jpg")));
    Form().SelectedLV->SelectListItem(0);
    RunQueued();
    EXPECT_EQ(BoxTexts(messages_), QStringList{"Can't read file:" + OnStick("p.jpg")});
    EXPECT_EQ(Form().Series(), QStringList{OnStick("q.jpg")});

    Form().SelectedLV->SelectListItem(0);
    messages_.QueueAnswers({MsgButton::Yes});
    Form().DeleteButtonClick();
    EXPECT_FALSE(QFileInfo::exists(*copy));
    OpenFolder(fixed);
    AddFiles({"f.jpg"});
    EXPECT_FALSE(Form().TempCopies().CopyOf(fixed + "/f.jpg"));
    EXPECT_TRUE(QDir(Form().TempCopies().Folder()).entryList(QDir::Files).isEmpty());
}

// The save reads every picture of a medium that has gone from its temporary copy.
TEST_F(TempTest, SavingAfterTheMediumWentCopiesFromTheTemporaryCopies) {
    StartWithStick({"p.jpg", "q.jpg"});
    // The two pictures differ in their bytes.
    WriteFileBytes(OnStick("q.jpg"), FileBytes(OnStick("q.jpg")) + "trailing bytes");
    const QByteArray originals[2] = {FileBytes(OnStick("p.jpg")), FileBytes(OnStick("q.jpg"))};
    AddFiles({"p.jpg", "q.jpg"});
    QDir(stick_).removeRecursively();
    const QString dest = Folder("package");
    ConfigForm->DestDirEdit->setText(dest + "/");
    ConfigForm->PrefixEdit->setText("s");
    ConfigForm->DigitsTB->setValue(1);
    ConfigForm->FromEdit->setText("1");
    OnNextModal([](QWidget* dialog) {
        qobject_cast<TSavingForm*>(dialog)->AddPath->clear();
        ClickChild(dialog, "OkButton");
    });
    Form().SaveButtonClick();
    EXPECT_TRUE(messages_.Questions().empty());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(FileBytes(dest + "/s" + QString::number(i + 1) + ".jpg"), originals[i]) << i;
    }
}

// The close empties the temporary folder: the saving dialog sends no package there.
TEST_F(TempTest, NoPackageGoesIntoTheTemporaryFolder) {
    StartWithStick({"p.jpg"});
    AddFiles({"p.jpg"});
    const QString folder = Form().TempCopies().Folder();
    ConfigForm->DestDirEdit->setText(folder + "/");
    OnNextModal([](QWidget* dialog) {
        qobject_cast<TSavingForm*>(dialog)->AddPath->clear();
        ClickChild(dialog, "OkButton");
        ClickChild(dialog, "CancelButton");
    });
    Form().SaveButtonClick();
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_TRUE(messages_.Questions()[0].text.startsWith("Can't save into '" + folder + "'"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 1);  // the copy of p.jpg alone
}

TEST_F(TempTest, AFailedCopyTurnsCopiesOffUntilTheSeriesIsEmpty) {
    StartWithStick({"p.jpg", "q.jpg"});
    AddFiles({"p.jpg"});
    ASSERT_TRUE(Form().TempCopiesInUse());
    SelectFiles({"q.jpg"});
    QFile::remove(OnStick("q.jpg"));  // listed and selected, but gone when Add copies it
    Form().AddButtonClick();
    RunQueued();
    EXPECT_TRUE(messages_.Questions().empty());  // not reported
    EXPECT_FALSE(Form().TempCopiesInUse());
    EXPECT_EQ(Form().ReadablePath(OnStick("p.jpg")), OnStick("p.jpg"));

    messages_.QueueAnswers({MsgButton::Yes});
    Form().ClearButtonClick();
    EXPECT_TRUE(Form().TempCopiesInUse());
}

TEST_F(TempTest, CommandsArrivingDuringAddWaitUntilItEnds) {
    const QString fixed = MakePictures("fixed", {"f.jpg"});
    StartWithStick({"p.jpg", "q.jpg", "r.jpg"});
    int asked = 0;
    bool shownDuringAdd = false;
    // Asked while Add runs: a second Add, a folder change, a removal and a selection of a
    // vanished file arrive meanwhile.
    Form().IsRemovableDrive = [&](const QString&) {
        if (asked++ == 0) {
            EXPECT_TRUE(Form().IsBusy());
            Form().AddButtonClick();
            QFile::remove(OnStick("r.jpg"));
            Form().FilesLV->SelectListItem(Form().FilesLV->Count() - 1);
            Form().DirTree->SelectFolder(fixed);
            Form().DirTreeChange();
            Form().DeleteButtonClick();
            RunQueued();
            shownDuringAdd = !messages_.Questions().empty();
            EXPECT_EQ(Form().CurrentFolderPath(), stick_);
        }
        return true;
    };
    AddFiles({"p.jpg", "q.jpg"});
    EXPECT_EQ(Form().Series(), (QStringList{OnStick("p.jpg"), OnStick("q.jpg")}));
    EXPECT_FALSE(shownDuringAdd);
    ExpectNotBusy();
    RunQueued();  // the waiting work runs afterwards
    EXPECT_EQ(BoxTexts(messages_), QStringList{"Can't read file:" + OnStick("r.jpg")});
    EXPECT_EQ(Form().CurrentFolderPath(), fixed);
    EXPECT_EQ(Captions(Form().FilesLV), QStringList{"f.jpg"});
}

TEST_F(TempTest, ACopyThatCannotBeMadeLeavesBothListsConsistent) {
    StartWithStick({"p.jpg", "q.jpg", "r.jpg"});
    // The temporary folder is replaced by a file: the first copy throws.
    ASSERT_TRUE(QDir(PellimorTmp()).removeRecursively());
    WritePicture(PellimorTmp());
    SelectFiles({"p.jpg", "q.jpg"});
    QTest::mouseClick(Form().AddButton, Qt::LeftButton);
    EXPECT_EQ(BoxTexts(messages_), QStringList{"Cannot create temp directory."});
    ExpectNotBusy();
    EXPECT_EQ(Form().Series(), QStringList{OnStick("p.jpg")});
    EXPECT_EQ(Lists(), "q.jpg* r.jpg | p.jpg* | Total files: 2 | Selected pictures: 1");
    EXPECT_TRUE(Form().PreviewButton->isEnabled());
}

}  // namespace
