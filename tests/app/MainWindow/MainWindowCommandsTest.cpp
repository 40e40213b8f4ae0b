// The main window's preview, save, top bar, form-wide keys, reorder commands and drags,
// driven through its controls, key events and drop events.

#include <unistd.h>
#include <QDropEvent>
#include <QMimeData>

#include "app/Dialogs/ConfigForm.h"
#include "tests/app/MainWindow/MainFormFixture.h"
#include "tests/app/QtPrinters.h"

using platform::MsgButton;

namespace {

class CommandsTest : public MainFormTest {
  protected:
    void SetUp() override {
        pics_ = MakePictures("pics", {"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"});
        Start();
        OpenFolder(pics_);
        Form().RunSlideShow = [this](QStringList& files, const TSlideShowOptions& options) {
            ++previews_;
            shown_ = files;
            options_ = options;
            if (!applied_.has_value()) {
                return 2;
            }
            files = *applied_;
            return 1;
        };
    }
    QStringList Pics(const QStringList& names) const {
        QStringList paths;
        for (const QString& name : names) {
            paths.append(pics_ + "/" + name);
        }
        return paths;
    }
    // The series, its list and its selection all agree with the expectation.
    void ExpectSeries(const QStringList& names, int selected) {
        EXPECT_EQ(Form().Series(), Pics(names));
        EXPECT_EQ(Captions(Form().SelectedLV), names);
        EXPECT_EQ(Form().SelectedLV->FirstSelected(), selected);
    }
    void Key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(target, key, modifiers);
        RunQueued();
    }
    // A drop of this program's picture data from list source onto row of target (-1:
    // below the last row).
    bool Drop(TListView* target, const TListView* source, int row, QEvent::Type type) {
        const QPoint at = row >= 0 ? target->visualItemRect(target->topLevelItem(row)).center()
                                   : QPoint(5, target->viewport()->height() - 2);
        QMimeData data;
        std::unique_ptr<QMimeData> ours(NewPictureDragData(source->objectName()));
        for (const QString& format : ours->formats()) {
            data.setData(format, ours->data(format));
        }
        return SendDrop(target, at, data, type);
    }
    // Moves and drops reach only a widget that accepted the drag's entry.
    static bool SendDrop(TListView* target, QPoint at, const QMimeData& data, QEvent::Type type) {
        QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target->viewport(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        if (type == QEvent::Drop) {
            QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target->viewport(), &drop);
            RunQueued();
            return drop.isAccepted();
        }
        QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target->viewport(), &move);
        return move.isAccepted();
    }

    QString pics_;
    int previews_ = 0;
    QStringList shown_;
    TSlideShowOptions options_;
    std::optional<QStringList> applied_;
};

TEST_F(CommandsTest, PreviewHandsOverTheSeriesAndTakesBackTheNewOrder) {
    TMainForm& f = Form();
    ConfigForm->SpeedTrackBar->setValue(1000);
    f.OptiTrackBar->setValue(3);
    EXPECT_EQ(f.OptiTrackBar->toolTip(), "Maximum quality (256M of RAM or above)");
    AddFiles({"p1.jpg", "p2.jpg", "p3.jpg"});
    f.SelectedLV->SelectListItem(2);

    // Closed without applying: the series and its selection stay.
    f.PreviewButton->click();
    EXPECT_EQ(previews_, 1);
    EXPECT_EQ(shown_, Pics({"p1.jpg", "p2.jpg", "p3.jpg"}));
    EXPECT_EQ(options_.delayMs, 50);
    EXPECT_EQ(options_.optLevel, 3);
    EXPECT_EQ(options_.rotateMode, kRotateAsk);
    EXPECT_EQ(options_.owner, &f);
    ExpectSeries({"p1.jpg", "p2.jpg", "p3.jpg"}, 2);

    // Applied: the new order (one picture removed in the preview) with the first selected,
    // and the removed picture is back in the rescanned folder.
    applied_ = Pics({"p3.jpg", "p1.jpg"});
    Key(f.SelectedLV, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(previews_, 2);
    ExpectSeries({"p3.jpg", "p1.jpg"}, 0);
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"p2.jpg", "p4.jpg"}));
    EXPECT_EQ(f.TotalSelectedLabel->text(), "Selected pictures: 2");
    EXPECT_FALSE(f.IsBusy());
}

TEST_F(CommandsTest, PreviewReportsEveryMissingPictureAndOpensNothing) {
    AddFiles({"p1.jpg", "p2.jpg", "p3.jpg"});
    QFile::remove(pics_ + "/p1.jpg");
    QFile::remove(pics_ + "/p3.jpg");
    Form().StartButtonClick();
    EXPECT_EQ(previews_, 0);
    EXPECT_EQ(BoxTexts(messages_), (QStringList{"Can't read file:" + pics_ + "/p1.jpg",
                                                "Can't read file:" + pics_ + "/p3.jpg"}));
    EXPECT_EQ(Form().Series().size(), 3);
}

TEST_F(CommandsTest, FormKeysRunTheirCommandsOnlyWhenTheyApply) {
    TMainForm& f = Form();
    // Nothing in the series: Alt+P, Alt+S and Delete do nothing.
    Key(f.FilesLV, Qt::Key_P, Qt::AltModifier);
    Key(f.FilesLV, Qt::Key_S, Qt::AltModifier);
    Key(f.FilesLV, Qt::Key_Delete);
    EXPECT_EQ(previews_, 0);
    EXPECT_TRUE(messages_.Questions().empty());
    // Ctrl+A from the folder tree selects every file; Insert adds them.
    Key(f.DirTree, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(f.FilesLV->SelCount(), 4);
    Key(f.DirTree, Qt::Key_Insert);
    EXPECT_EQ(f.Series(), Pics({"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"}));
    // Delete asks once, even though the key passes from the list to its parents.
    messages_.QueueAnswers({MsgButton::Yes});
    f.SelectedLV->SelectListItem(1);
    Key(f.SelectedLV, Qt::Key_Delete);
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_EQ(f.Series(), Pics({"p1.jpg", "p3.jpg", "p4.jpg"}));
    Key(f.SelectedLV, Qt::Key_P);  // without Alt: nothing
    Key(f.SelectedLV, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(previews_, 0);
    EXPECT_EQ(messages_.Questions().size(), 1u);
    Key(f.SelectedLV, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(previews_, 1);
    // Alt+S opens the saving dialog (the save itself has tests of its own).
    QString opened;
    OnNextModal([&opened](QWidget* dialog) {
        opened = dialog->objectName();
        ClickChild(dialog, "CancelButton");
    });
    Key(f.FilesLV, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(opened, "SavingForm");
    EXPECT_FALSE(f.IsBusy());

    f.HelpButton->click();
    EXPECT_EQ(messages_.Questions().back().text, "Sorry, currently Help is not available");
}

TEST_F(CommandsTest, ReorderKeysWrapMenuMovesAndSortKeepsTheSelectedPicture) {
    TMainForm& f = Form();
    AddFiles({"p1.jpg", "p2.jpg", "p3.jpg"});
    f.SelectedLV->SelectListItem(0);
    Key(f.SelectedLV, Qt::Key_Up, Qt::ControlModifier);
    ExpectSeries({"p2.jpg", "p3.jpg", "p1.jpg"}, 2);
    Key(f.SelectedLV, Qt::Key_Down, Qt::ControlModifier);
    ExpectSeries({"p1.jpg", "p2.jpg", "p3.jpg"}, 0);
    f.SelectedCntxPopup();
    f.MakeDownItem->trigger();
    ExpectSeries({"p2.jpg", "p1.jpg", "p3.jpg"}, 1);
    f.SelectedLV->SelectListItem(2);
    f.SelectedCntxPopup();
    f.MakeFirstItem->trigger();
    ExpectSeries({"p3.jpg", "p2.jpg", "p1.jpg"}, 0);
    f.SelectedCntxPopup();
    f.MakeUpItem->trigger();
    ExpectSeries({"p2.jpg", "p1.jpg", "p3.jpg"}, 2);
    EXPECT_FALSE(ReorderBusy);

    messages_.QueueAnswers({MsgButton::No, MsgButton::Yes});
    emit f.SelectedLV->ColumnClick(0);
    ExpectSeries({"p2.jpg", "p1.jpg", "p3.jpg"}, 2);
    emit f.SelectedLV->ColumnClick(0);
    EXPECT_EQ(messages_.Questions().at(1).caption, "Sort list");
    ExpectSeries({"p1.jpg", "p2.jpg", "p3.jpg"}, 2);
}

TEST_F(CommandsTest, DropsFromTheFileListInsertAfterTheTarget) {
    TMainForm& f = Form();
    AddFiles({"p1.jpg", "p2.jpg"});
    SelectFiles({"p3.jpg", "p4.jpg"});
    EXPECT_TRUE(Drop(f.SelectedLV, f.FilesLV, 0, QEvent::DragMove));
    EXPECT_FALSE(Drop(f.FilesLV, f.FilesLV, 0, QEvent::DragMove));
    EXPECT_TRUE(Drop(f.SelectedLV, f.FilesLV, 0, QEvent::Drop));
    ExpectSeries({"p1.jpg", "p3.jpg", "p4.jpg", "p2.jpg"}, 1);
    EXPECT_EQ(f.FilesLV->Count(), 0);
    EXPECT_EQ(f.TotalSelectedLabel->text(), "Selected pictures: 4");

    // Within the series a drag moves the picture onto the target's place.
    f.SelectedLV->SelectListItem(0);
    Drop(f.SelectedLV, f.SelectedLV, 2, QEvent::Drop);
    ExpectSeries({"p3.jpg", "p4.jpg", "p1.jpg", "p2.jpg"}, 2);

    // Files from elsewhere, and our type from another process, change nothing.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(pics_ + "/p3.jpg")});
    QMimeData otherProcess;
    otherProcess.setData(kPictureDragMime, "1:SelectedLV");
    for (const QMimeData* data : {&files, &otherProcess}) {
        for (TListView* list : {f.FilesLV, f.SelectedLV}) {
            EXPECT_FALSE(SendDrop(list, QPoint(5, 5), *data, QEvent::Drop));
        }
    }
    EXPECT_TRUE(messages_.Questions().empty());
    ExpectSeries({"p3.jpg", "p4.jpg", "p1.jpg", "p2.jpg"}, 2);
}

// The temporary folder is gone and cannot be made again (a file took its place): the
// drop still moves the pictures, which are then read from their own paths.
TEST_F(CommandsTest, DropFromRemovableMediaWithoutTemporaryFolderCompletes) {
    TMainForm& f = Form();
    f.IsRemovableDrive = [](const QString&) { return true; };
    const QString temp =
        root_.path() + "/tmp/orvane-viewer-" + QString::number(::geteuid()) + "/PellimorTmp";
    ASSERT_TRUE(QDir(temp).removeRecursively());
    WriteFileBytes(temp, "");  // blocks the folder's place
    SelectFiles({"p1.jpg", "p2.jpg"});
    EXPECT_TRUE(Drop(f.SelectedLV, f.FilesLV, -1, QEvent::Drop));
    ExpectSeries({"p1.jpg", "p2.jpg"}, 0);
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"p3.jpg", "p4.jpg"}));
    EXPECT_TRUE(messages_.Questions().empty());
    EXPECT_TRUE(f.PreviewButton->isEnabled());
    EXPECT_EQ(f.ReadablePath(pics_ + "/p1.jpg"), pics_ + "/p1.jpg");
}

TEST_F(CommandsTest, DragOutOfTheSeriesAsksAndPutsThePictureBack) {
    TMainForm& f = Form();
    AddFiles({"p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"});
    f.SelectedLV->SelectListItem(1);
    EXPECT_TRUE(Drop(f.FilesLV, f.SelectedLV, -1, QEvent::DragMove));
    messages_.QueueAnswers({MsgButton::No, MsgButton::Yes});
    Drop(f.FilesLV, f.SelectedLV, -1, QEvent::Drop);
    EXPECT_EQ(f.Series().size(), 4);
    Drop(f.FilesLV, f.SelectedLV, -1, QEvent::Drop);
    ASSERT_EQ(messages_.Questions().size(), 2u);
    EXPECT_EQ(messages_.Questions()[1].caption, "Remove picture");
    EXPECT_EQ(f.Series(), Pics({"p1.jpg", "p3.jpg", "p4.jpg"}));
    EXPECT_EQ(Captions(f.FilesLV), QStringList{"p2.jpg"});
    EXPECT_TRUE(f.FilesLV->IsSelected(0));
    EXPECT_EQ(f.TotalFilesLabel->text(), "Total files: 1");
}

}  // namespace
