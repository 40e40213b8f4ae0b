// The folder's file list, the thumbnail and the series commands of the main window.

#include <QKeyEvent>

#include "MainFormFixture.h"

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

    void AddFiles(const QStringList& names) {
        SelectFiles(names);
        Form().AddButtonClick();
    }

    QString pics_;
    QString other_;
};

TEST_F(ListsTest, FolderListShowsPicturesSortedWithTheFirstSelected) {
    TMainForm& f = Form();
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"A.JPG", "b.Jpeg", "c.jpg", "d.jpeg"}));
    EXPECT_EQ(f.TotalFilesLabel->text(), "Total files: 4");
    EXPECT_EQ(f.FolderEdit->text(), pics_ + "/");
    EXPECT_EQ(f.FilesLV->FirstSelected(), 0);
    EXPECT_EQ(f.Thumbnail(), Pic("A.JPG"));
    EXPECT_EQ(f.ImagePanel->ImageFile(), Pic("A.JPG"));
    EXPECT_TRUE(f.SelectAllButton->isEnabled());
    EXPECT_TRUE(f.AddButton->isEnabled());
    EXPECT_FALSE(f.PreviewButton->isEnabled());
    EXPECT_FALSE(f.SaveButton->isEnabled());
    EXPECT_FALSE(f.ClearButton->isEnabled());
    EXPECT_FALSE(f.DeleteButton->isEnabled());
}

TEST_F(ListsTest, AFolderWithoutPicturesShowsThePlaceholder) {
    TMainForm& f = Form();
    OpenFolder(Folder("empty"));
    EXPECT_EQ(f.FilesLV->Count(), 0);
    EXPECT_EQ(f.TotalFilesLabel->text(), "No files in folder");
    EXPECT_TRUE(f.Thumbnail().isEmpty());
    EXPECT_TRUE(f.ImagePanel->ImageFile().isEmpty());
    EXPECT_FALSE(f.SelectAllButton->isEnabled());
}

TEST_F(ListsTest, SeveralSelectedFilesLeaveTheThumbnailAlone) {
    TMainForm& f = Form();
    f.FilesLV->SelectListItem(1);
    EXPECT_EQ(f.Thumbnail(), Pic("A.JPG"));  // two selected now
    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(2);
    EXPECT_EQ(f.Thumbnail(), Pic("c.jpg"));
}

TEST_F(ListsTest, AddAppendsInListOrderAndSelectsTheNextFile) {
    TMainForm& f = Form();
    AddFiles({"A.JPG", "c.jpg", "d.jpeg"});
    EXPECT_EQ(f.Series(), (QStringList{Pic("A.JPG"), Pic("c.jpg"), Pic("d.jpeg")}));
    EXPECT_EQ(Captions(f.SelectedLV), (QStringList{"A.JPG", "c.jpg", "d.jpeg"}));
    EXPECT_EQ(Captions(f.FilesLV), QStringList{"b.Jpeg"});
    EXPECT_TRUE(f.FilesLV->IsSelected(0));  // took the first added picture's place
    EXPECT_EQ(f.SelectedLV->FirstSelected(), 0);
    EXPECT_EQ(f.TotalSelectedLabel->text(), "Selected pictures: 3");
    EXPECT_EQ(f.TotalFilesLabel->text(), "Total files: 1");
    EXPECT_TRUE(f.PreviewButton->isEnabled());
    EXPECT_TRUE(f.SaveButton->isEnabled());
    EXPECT_TRUE(f.ClearButton->isEnabled());
    EXPECT_TRUE(f.DeleteButton->isEnabled());
    // A picture of the series is not listed again when the folder is read again.
    OpenFolder(pics_);
    EXPECT_EQ(Captions(f.FilesLV), QStringList{"b.Jpeg"});
    f.RefreshFilesList();
    EXPECT_EQ(Captions(f.FilesLV), QStringList{"b.Jpeg"});
}

TEST_F(ListsTest, AddWithNothingSelectedAddsNothing) {
    Form().FilesLV->clearSelection();
    Form().AddButtonClick();
    EXPECT_TRUE(Form().Series().isEmpty());
}

TEST_F(ListsTest, RemoveAsksAndPutsThePictureBack) {
    TMainForm& f = Form();
    AddFiles({"b.Jpeg"});
    f.SelectedLV->SelectListItem(0);

    messages_.QueueAnswers({MsgButton::No});
    f.DeleteButtonClick();
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_EQ(messages_.Questions()[0].text, "Do you want to remove selected picture from list?");
    EXPECT_EQ(messages_.Questions()[0].caption, "Remove picture");
    EXPECT_EQ(f.Series().size(), 1);

    messages_.QueueAnswers({MsgButton::Yes});
    f.DeleteButtonClick();
    EXPECT_TRUE(f.Series().isEmpty());
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"A.JPG", "b.Jpeg", "c.jpg", "d.jpeg"}));
    EXPECT_EQ(f.TotalSelectedLabel->text(), "No pictures selected");
    EXPECT_FALSE(f.PreviewButton->isEnabled());
    EXPECT_FALSE(f.SaveButton->isEnabled());
    EXPECT_FALSE(f.ClearButton->isEnabled());
    // Back in the folder's list for good: a rebuild keeps it.
    f.RefreshFilesList();
    EXPECT_EQ(f.FilesLV->Count(), 4);
}

TEST_F(ListsTest, RemoveSelectsTheNextSeriesPicture) {
    TMainForm& f = Form();
    AddFiles({"A.JPG", "b.Jpeg", "c.jpg"});
    f.SelectedLV->SelectListItem(2);
    messages_.QueueAnswers({MsgButton::Yes});
    f.DeleteButtonClick();
    EXPECT_EQ(f.Series(), (QStringList{Pic("A.JPG"), Pic("b.Jpeg")}));
    EXPECT_TRUE(f.SelectedLV->IsSelected(1));
}

TEST_F(ListsTest, ClearPutsBackOnlyTheCurrentFoldersPictures) {
    TMainForm& f = Form();
    AddFiles({"c.jpg"});
    OpenFolder(other_);
    AddFiles({"z.jpg"});
    OpenFolder(pics_);
    ASSERT_EQ(f.Series().size(), 2);

    messages_.QueueAnswers({MsgButton::Yes});
    f.ClearButtonClick();
    const auto question = messages_.Questions().back();
    EXPECT_EQ(question.text, "Do you want to remove all images from list?");
    EXPECT_EQ(question.caption, "Remove all images");
    EXPECT_EQ(question.defaultButton, MsgButton::No);
    EXPECT_TRUE(f.Series().isEmpty());
    EXPECT_EQ(f.SelectedLV->Count(), 0);
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"A.JPG", "b.Jpeg", "c.jpg", "d.jpeg"}));
    EXPECT_EQ(f.TotalSelectedLabel->text(), "No pictures selected");
    EXPECT_FALSE(f.PreviewButton->isEnabled());
}

TEST_F(ListsTest, ClearAnsweredNoKeepsTheSeries) {
    AddFiles({"c.jpg"});
    messages_.QueueAnswers({MsgButton::No});
    Form().ClearButtonClick();
    EXPECT_EQ(Form().Series().size(), 1);
}

TEST_F(ListsTest, PicturesWithOneNameFromTwoFoldersAreKeptApart) {
    TMainForm& f = Form();
    AddFiles({"A.JPG"});
    OpenFolder(other_);
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"A.JPG", "z.jpg"}));  // not the series' one
    AddFiles({"A.JPG"});
    EXPECT_EQ(f.Series(), (QStringList{Pic("A.JPG"), other_ + "/A.JPG"}));
}

TEST_F(ListsTest, AFileDeletedBehindOurBackIsReportedOnceAndDropped) {
    TMainForm& f = Form();
    QFile::remove(Pic("c.jpg"));
    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(2);
    RunQueued();
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_EQ(messages_.Questions()[0].text, "Can't read file:" + Pic("c.jpg"));
    EXPECT_EQ(messages_.Questions()[0].caption, "Error");
    EXPECT_EQ(Captions(f.FilesLV), (QStringList{"A.JPG", "b.Jpeg", "d.jpeg"}));
    EXPECT_FALSE(f.FolderFileNames().contains("c.jpg"));
}

TEST_F(ListsTest, ASeriesPictureDeletedOnDiskIsReportedOnceAndDropped) {
    TMainForm& f = Form();
    AddFiles({"A.JPG", "b.Jpeg", "c.jpg"});
    QFile::remove(Pic("b.Jpeg"));
    f.SelectedLV->SelectListItem(1);
    RunQueued();
    ASSERT_EQ(messages_.Questions().size(), 1u);
    EXPECT_EQ(messages_.Questions()[0].text, "Can't read file:" + Pic("b.Jpeg"));
    EXPECT_EQ(f.Series(), (QStringList{Pic("A.JPG"), Pic("c.jpg")}));
    EXPECT_EQ(Captions(f.SelectedLV), (QStringList{"A.JPG", "c.jpg"}));
    EXPECT_TRUE(f.SelectedLV->IsSelected(0));
}

TEST_F(ListsTest, AllPicturesInTheSeriesShowTheSelectedOne) {
    TMainForm& f = Form();
    AddFiles({"A.JPG", "b.Jpeg", "c.jpg", "d.jpeg"});
    f.SelectedLV->SelectListItem(2);
    OpenFolder(Folder("empty"));
    EXPECT_TRUE(f.Thumbnail().isEmpty());
    OpenFolder(pics_);
    EXPECT_EQ(f.FilesLV->Count(), 0);
    EXPECT_EQ(f.Thumbnail(), Pic("c.jpg"));
}

TEST_F(ListsTest, KeysOfTheLists) {
    TMainForm& f = Form();
    f.FilesLV->setFocus();
    QTest::keyClick(f.FilesLV, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(f.FilesLV->SelCount(), 4);

    QString previewed;
    f.ShowPreview = [&](const QString& path) { previewed = path; };
    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(1);
    QTest::keyClick(f.FilesLV, Qt::Key_Return);
    EXPECT_EQ(previewed, Pic("b.Jpeg"));

    AddFiles({"A.JPG"});
    messages_.QueueAnswers({MsgButton::No});
    QTest::keyClick(f.SelectedLV, Qt::Key_X, Qt::ControlModifier);
    ASSERT_FALSE(messages_.Questions().empty());
    EXPECT_EQ(messages_.Questions().back().caption, "Remove all images");
}

TEST_F(ListsTest, DoubleClicksAddAndRemove) {
    TMainForm& f = Form();
    f.FilesLV->clearSelection();
    f.FilesLV->SelectListItem(3);
    const QPoint onItem = f.FilesLV->visualItemRect(f.FilesLV->topLevelItem(3)).center();
    QTest::mouseDClick(f.FilesLV->viewport(), Qt::LeftButton, {}, onItem);
    EXPECT_EQ(f.Series(), QStringList{Pic("d.jpeg")});

    messages_.QueueAnswers({MsgButton::Yes});
    const QPoint onSeries = f.SelectedLV->visualItemRect(f.SelectedLV->topLevelItem(0)).center();
    QTest::mouseDClick(f.SelectedLV->viewport(), Qt::LeftButton, {}, onSeries);
    EXPECT_TRUE(f.Series().isEmpty());
}

TEST_F(ListsTest, PressOnEmptySpaceShowsThePlaceholder) {
    TMainForm& f = Form();
    ASSERT_FALSE(f.Thumbnail().isEmpty());
    const QPoint below(5, f.FilesLV->viewport()->height() - 3);
    QTest::mousePress(f.FilesLV->viewport(), Qt::LeftButton, {}, below);
    EXPECT_TRUE(f.Thumbnail().isEmpty());
    EXPECT_TRUE(f.ImagePanel->ImageFile().isEmpty());
}

TEST_F(ListsTest, SeriesTooltipIsTheFullPath) {
    AddFiles({"b.Jpeg"});
    EXPECT_EQ(Form().SelectedLVInfoTip(0), Pic("b.Jpeg"));
    EXPECT_TRUE(Form().SelectedLVInfoTip(5).isEmpty());
}

TEST_F(ListsTest, ContextMenusFollowTheLists) {
    TMainForm& f = Form();
    f.FilesLV->clearSelection();
    f.FilesCntxPopup();
    EXPECT_TRUE(f.SelectAllItem->isEnabled());
    EXPECT_FALSE(f.AddItem->isEnabled());
    f.SelectedCntxPopup();
    EXPECT_FALSE(f.ClearAllItem->isEnabled());
    EXPECT_FALSE(f.DeleteItem->isEnabled());

    f.Addall1Click();
    EXPECT_EQ(f.Series().size(), 4);
    f.SelectedCntxPopup();
    EXPECT_TRUE(f.ClearAllItem->isEnabled());
    EXPECT_TRUE(f.DeleteItem->isEnabled());
    EXPECT_TRUE(f.MakeFirstItem->isEnabled());
    f.FilesCntxPopup();
    EXPECT_FALSE(f.SelectAllItem->isEnabled());
}

}  // namespace
