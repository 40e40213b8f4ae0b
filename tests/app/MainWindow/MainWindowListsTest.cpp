// The folder's file list, the thumbnail and the series commands of the main window.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/app/MainWindow/MainFormFixture.h"

using platform::MsgButton;

namespace {

class ListsTest : public MainFormTest {
  protected:
    void SetUp() override {
        pics_ = MakePictures("pics", {"A.JPG", "b.Jpeg", "c.jpg", "d.jpeg"});
        other_ = MakePictures("other", {"A.JPG", "z.jpg"});
        Start();
        OpenFolder(pics_);
    }
    QString Pic(const QString& name) const { return pics_ + "/" + name; }
    // The enabled state of Preview, Save, Clear and Delete.
    QList<bool> SeriesButtons() const {
        return {Form().PreviewButton->isEnabled(), Form().SaveButton->isEnabled(),
                Form().ClearButton->isEnabled(), Form().DeleteButton->isEnabled()};
    }
    QPoint OnRow(const TListView* list, int row) const {
        return list->visualItemRect(list->topLevelItem(row)).center();
    }

    QString pics_;
    QString other_;
};

const QList<bool> kAllOn{true, true, true, true};
const QList<bool> kAllOff{false, false, false, false};

TEST_F(ListsTest, FolderListShowsPicturesSortedWithTheFirstSelectedAndShown) {
    TMainForm& f = Form();
    EXPECT_EQ(Lists(),
              "A.JPG* b.Jpeg c.jpg d.jpeg |  | Total files: 4 | No pictures currently selected");
    EXPECT_EQ(f.FolderEdit->text(), pics_ + "/");
    EXPECT_EQ(f.ImagePanel->ImageFile(), Pic("A.JPG"));
    EXPECT_EQ(SeriesButtons(), kAllOff);

    OpenFolder(Folder("empty"));
    EXPECT_EQ(f.TotalFilesLabel->text(), "No files in folder");
    EXPECT_TRUE(f.ImagePanel->ImageFile().isEmpty());
    EXPECT_FALSE(f.SelectAllButton->isEnabled());
}

TEST_F(ListsTest, TheThumbnailFollowsASingleSelection) {
    TMainForm& f = Form();
    f.FilesLV->SelectListItem(1);
    EXPECT_EQ(f.Thumbnail(), Pic("A.JPG"));  // two selected now
    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(2);
    EXPECT_EQ(f.Thumbnail(), Pic("c.jpg"));
    // A press on empty space shows the placeholder.
    QTest::mousePress(f.FilesLV->viewport(), Qt::LeftButton, {},
                      QPoint(5, f.FilesLV->viewport()->height() - 3));
    EXPECT_TRUE(f.ImagePanel->ImageFile().isEmpty());

    // With every picture in the series, the series' selected one is shown.
    AddFiles({"A.JPG", "b.Jpeg", "c.jpg", "d.jpeg"});
    f.SelectedLV->SelectListItem(2);
    OpenFolder(Folder("empty"));
    EXPECT_TRUE(f.Thumbnail().isEmpty());
    OpenFolder(pics_);
    EXPECT_EQ(f.FilesLV->Count(), 0);
    EXPECT_EQ(f.Thumbnail(), Pic("c.jpg"));
}

TEST_F(ListsTest, AddAppendsInListOrderAndSelectsTheNextFile) {
    TMainForm& f = Form();
    f.FilesLV->clearSelection();
    f.AddButtonClick();
    EXPECT_TRUE(f.Series().isEmpty());

    AddFiles({"A.JPG", "c.jpg", "d.jpeg"});
    EXPECT_EQ(f.Series(), (QStringList{Pic("A.JPG"), Pic("c.jpg"), Pic("d.jpeg")}));
    // The next file took the first added picture's place.
    EXPECT_EQ(Lists(), "b.Jpeg* | A.JPG* c.jpg d.jpeg | Total files: 1 | Selected pictures: 3");
    EXPECT_EQ(SeriesButtons(), kAllOn);
    // A picture of the series is not listed again when the folder is read again.
    OpenFolder(pics_);
    EXPECT_EQ(Captions(f.FilesLV), QStringList{"b.Jpeg"});
}

TEST_F(ListsTest, RemoveAsksThenPutsThePictureBackAndShowsTheNextOfTheSeries) {
    TMainForm& f = Form();
    AddFiles({"A.JPG", "b.Jpeg", "c.jpg", "d.jpeg"});
    EXPECT_FALSE(f.SelectAllButton->isEnabled());
    const auto removeRow = [&](int row) {
        f.SelectedLV->clearSelection();
        f.SelectedLV->SelectListItem(row);
        f.DeleteButtonClick();
    };
    messages_.QueueAnswers({MsgButton::No, MsgButton::Yes, MsgButton::Yes, MsgButton::Yes});
    removeRow(0);
    EXPECT_EQ(BoxTexts(messages_),
              QStringList{"Do you want to remove selected picture from list?"});
    EXPECT_EQ(messages_.Questions()[0].caption, "Remove picture");
    EXPECT_EQ(f.Series().size(), 4);

    f.DeleteButtonClick();
    EXPECT_EQ(Lists(), "A.JPG | b.Jpeg* c.jpg d.jpeg | Total files: 1 | Selected pictures: 3");
    EXPECT_EQ(f.Thumbnail(), Pic("b.Jpeg"));
    EXPECT_TRUE(f.SelectAllButton->isEnabled());
    f.RefreshFilesList();  // back in the folder's list for good
    EXPECT_EQ(Captions(f.FilesLV), QStringList{"A.JPG"});
    removeRow(1);
    EXPECT_EQ(f.SelectedLV->FirstSelected(), 1);
    EXPECT_EQ(f.Thumbnail(), Pic("d.jpeg"));
    removeRow(1);  // the last one: its predecessor
    EXPECT_TRUE(f.SelectedLV->IsSelected(0));
    EXPECT_EQ(f.Thumbnail(), Pic("b.Jpeg"));
}

// Text cannot carry such a name back to the same file: the user hears why, once.
TEST_F(ListsTest, NamesThatAreNotUtf8AreReportedOncePerFolder) {
    const QString folder = Folder("latin");
    WritePicture(folder + "/ok.jpg");
    const QByteArray latin1 = QFile::encodeName(folder) + "/caf\xe9";  // not UTF-8
    ASSERT_EQ(::mkdir(latin1.constData(), 0755), 0);
    for (const QByteArray& file : {latin1 + ".jpg", latin1 + "/valid.jpg"}) {
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    const QString lossy = QFile::decodeName(latin1);
    for (int visit = 0; visit < 2; ++visit) {
        OpenFolder(folder);
        RunQueued();
        EXPECT_EQ(Captions(Form().FilesLV), QStringList{"ok.jpg"});
        OpenFolder(lossy);
        RunQueued();
        EXPECT_TRUE(Captions(Form().FilesLV).isEmpty());
    }
    EXPECT_EQ(
        BoxTexts(messages_),
        (QStringList{
            "Can't list 1 picture(s) of '" + folder +
                "': the file name is not valid UTF-8. Rename the file to see it here.",
            "Can't list the pictures of '" + lossy +
                "': the folder's name is not valid UTF-8. Rename the folder to see them here."}));
}

TEST_F(ListsTest, ClearPutsBackOnlyTheCurrentFoldersPictures) {
    TMainForm& f = Form();
    AddFiles({"A.JPG"});
    OpenFolder(other_);
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"A.JPG", "z.jpg"}));  // not the series' one
    AddFiles({"A.JPG", "z.jpg"});
    EXPECT_EQ(f.Series(), (QStringList{Pic("A.JPG"), other_ + "/A.JPG", other_ + "/z.jpg"}));
    OpenFolder(pics_);

    messages_.QueueAnswers({MsgButton::No, MsgButton::Yes});
    f.ClearButtonClick();
    EXPECT_EQ(f.Series().size(), 3);
    f.ClearButtonClick();
    const auto question = messages_.Questions().back();
    EXPECT_EQ(question.text, "Do you want to remove all images from list?");
    EXPECT_EQ(question.caption, "Remove all images");
    EXPECT_EQ(question.defaultButton, MsgButton::No);
    EXPECT_TRUE(f.Series().isEmpty());
    EXPECT_EQ(Lists(), "A.JPG b.Jpeg* c.jpg d.jpeg |  | Total files: 4 | No pictures selected");
    EXPECT_EQ(SeriesButtons(), kAllOff);
}

// (A series picture deleted on disk is covered with the temporary copies.)
TEST_F(ListsTest, AFileDeletedBehindOurBackIsReportedOnceAndDropped) {
    TMainForm& f = Form();
    QFile::remove(Pic("c.jpg"));
    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(2);
    RunQueued();
    EXPECT_EQ(BoxTexts(messages_), QStringList{"Can't read file:" + Pic("c.jpg")});
    EXPECT_EQ(messages_.Questions()[0].caption, "Error");
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"A.JPG", "b.Jpeg", "d.jpeg"}));
}

TEST_F(ListsTest, KeysDoubleClicksAndContextMenusOfTheLists) {
    TMainForm& f = Form();
    f.FilesLV->clearSelection();
    f.FilesCntxPopup();
    EXPECT_TRUE(f.SelectAllItem->isEnabled());
    EXPECT_FALSE(f.AddItem->isEnabled());
    f.SelectedCntxPopup();
    EXPECT_FALSE(f.ClearAllItem->isEnabled());
    EXPECT_FALSE(f.DeleteItem->isEnabled());
    f.FilesLV->setFocus();
    QTest::keyClick(f.FilesLV, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(f.FilesLV->SelCount(), 4);

    QString previewed;
    f.ShowPreview = [&](const QString& path) { previewed = path; };
    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(1);
    QTest::keyClick(f.FilesLV, Qt::Key_Return);
    EXPECT_EQ(previewed, Pic("b.Jpeg"));

    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(3);
    QTest::mouseDClick(f.FilesLV->viewport(), Qt::LeftButton, {}, OnRow(f.FilesLV, 3));
    EXPECT_EQ(f.Series(), QStringList{Pic("d.jpeg")});
    EXPECT_EQ(f.SelectedLVInfoTip(0), Pic("d.jpeg"));  // the full path
    f.SelectedCntxPopup();
    EXPECT_TRUE(f.DeleteItem->isEnabled());

    messages_.QueueAnswers({MsgButton::No, MsgButton::Yes});
    QTest::keyClick(f.SelectedLV, Qt::Key_X, Qt::ControlModifier);
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_EQ(messages_.Questions()[0].caption, "Remove all images");
    QTest::mouseDClick(f.SelectedLV->viewport(), Qt::LeftButton, {}, OnRow(f.SelectedLV, 0));
    EXPECT_TRUE(f.Series().isEmpty());
    f.Addall1Click();
    EXPECT_EQ(f.Series().size(), 4);
}

}  // namespace
