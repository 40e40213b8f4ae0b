#include "app/MainWindow/FolderView.h"

#include <QMouseEvent>
#include <QTimer>

#include "app/MainWindow/FolderScan.h"
#include "app/MainWindow/FormHelpers.h"
#include "app/SlideShow/SlideShowRules.h"
#include "platform/MessageService.h"
#include "platform/Paths.h"

using platform::MsgButton;
using platform::MsgIcon;

TFolderView::TFolderView(QWidget* owner) : QMainWindow(owner) {
    BuildUi(this);
    setMinimumSize(mainwin::kMinFormWidth, mainwin::kMinFormHeight);
    resize(600 - 8, 464 - 27);
    ConnectLayout();
    CreateImagePanel();
}

void TFolderView::CreateImagePanel() {
    ImagePanel = new TImgPanel(LeftBottomPnl);
    ImagePanel->setObjectName(QStringLiteral("ImagePanel"));
    SetHint(ImagePanel,
            QStringLiteral("Double click on the image to view image in the original size"));
    SetBounds(ImagePanel, 2, 2, LeftBottomPnl->width() - 4, LeftBottomPnl->height() - 4);
    SetAnchors(ImagePanel, akLeft | akTop | akRight | akBottom);
}

void TFolderView::DirTreeChange() {
    if (busy_) {
        treeChangePending_ = true;
        return;
    }
    CurrentFolder = NormalisedFolder(DirTree->GetFolder());
    const FolderScanResult scan = ScanFolderPictures(
        CurrentFolder, [this](const QString& path) { return SelectedFiles.contains(path); });
    FolderFiles = scan.names;
    if (IsUncarriedFolder(CurrentFolder)) {
        TellWhyNotListed(CurrentFolder, 0);
    } else if (scan.uncarriedNames > 0) {
        TellWhyNotListed(CurrentFolder, scan.uncarriedNames);
    }
    FilesLV->BeginUpdate();
    FilesLV->ClearItems();
    for (const QString& name : FolderFiles) {
        FilesLV->AddItem(name);
    }
    FilesLV->EndUpdate();
    FitListColumn(FilesLV, 5);
    if (FilesLV->Count() > 0) {
        FilesLV->SelectListItem(0);
    } else {
        const int selected = SelectedLV->FirstSelected();
        if (selected < 0 || !scan.found) {
            ShowThumbnail(QString());
        } else if (BelongsToFolder(SelectedFiles.value(selected), CurrentFolder)) {
            ShowThumbnail(SelectedFiles.value(selected));
            SelectedLV->setFocus();
        } else {
            ShowThumbnail(QString());
        }
    }
    FolderEdit->setText(platform::WithTrailingSlash(CurrentFolder));
    SelectAllButton->setEnabled(FilesLV->Count() > 0);
    DeleteButton->setEnabled(SelectedLV->SelCount() > 0);
    UpdateSeriesButtons();
    UpdateFilesLabel();
}

void TFolderView::RefreshFilesList() {
    FilesLV->BeginUpdate();
    FilesLV->ClearItems();
    for (int i = 0; i < FolderFiles.size();) {
        const QString path = platform::JoinPath(CurrentFolder, FolderFiles[i]);
        if (!IsReadableFile(path)) {
            FolderFiles.removeAt(i);
            continue;
        }
        if (!SelectedFiles.contains(path)) {
            FilesLV->AddItem(FolderFiles[i]);
        }
        ++i;
    }
    FilesLV->EndUpdate();
    SelectAllButton->setEnabled(FilesLV->Count() > 0);
    UpdateSeriesButtons();
    UpdateFilesLabel();
}

void TFolderView::FilesLVChange() {
    const bool anySelected = FilesLV->SelCount() > 0;
    if (AddButton->isEnabled() != anySelected) {
        AddButton->setEnabled(anySelected);
    }
    SelectAllButton->setEnabled(FilesLV->Count() > 0);
    UpdateSeriesButtons();
    UpdateFilesLabel();
}

void TFolderView::FilesLVSelectItem(int index, bool selected) {
    if (!selected || index < 0 || index >= FilesLV->Count()) {
        return;
    }
    const QString path = platform::JoinPath(CurrentFolder, FilesLV->Caption(index));
    if (!IsReadableFile(path)) {
        QueueUnreadable(path, [this] { RefreshFilesList(); });
        return;
    }
    if (ImagePanel != nullptr && FilesLV->SelCount() == 1) {
        ShowThumbnail(path);
    }
}

// The message box and the rebuilt list come after the selection change has finished, so
// the list is never rebuilt under the code that is changing it.
void TFolderView::QueueUnreadable(const QString& path, std::function<void()> refreshList) {
    if (unreadableQueued_) {
        return;
    }
    unreadableQueued_ = true;
    RunAfterwards([this, path, refreshList = std::move(refreshList)] {
        unreadableQueued_ = false;
        ReportUnreadable(path);
        refreshList();
    });
}

// Queued work waits for a running command that lets events run, then runs in order.
void TFolderView::RunAfterwards(std::function<void()> work) {
    QTimer::singleShot(0, this, Guarded([this, work = std::move(work)] {
                           if (busy_) {
                               deferred_.push_back(work);
                           } else {
                               work();
                           }
                       }));
}

void TFolderView::TellWhyNotListed(const QString& folder, int count, bool atStart) {
    if (toldUncarried_.contains(folder)) {
        return;
    }
    toldUncarried_.insert(folder);
    QString text;
    if (count > 0) {
        text = QStringLiteral(
                   "Can't list %1 picture(s) of '%2': the file name is not valid UTF-8. "
                   "Rename the file to see it here.")
                   .arg(count)
                   .arg(folder);
    } else {
        text = QStringLiteral(
                   "Can't list the pictures of '%1': the folder's name is not valid UTF-8. "
                   "Rename the folder to see them here.")
                   .arg(folder);
        if (atStart) {
            text += QStringLiteral("\nThe folder tree starts in the home folder.");
        }
    }
    RunAfterwards([text] {
        platform::ShowMessage(text, QStringLiteral("Warning !"), {MsgButton::Ok}, MsgIcon::Warning);
    });
}

void TFolderView::ReportUnreadable(const QString& path) {
    platform::ShowMessage(QStringLiteral("Can't read file:") + path, QStringLiteral("Error"),
                          {MsgButton::Ok}, MsgIcon::Warning);
}

bool TFolderView::FilesLVMouseDown(QMouseEvent* event) {
    HitTestList(FilesLV, event);
    return false;
}

void TFolderView::HitTestList(const TListView* list, const QMouseEvent* event) {
    HitItem = list->ItemAt(event->position().toPoint());
    if (HitItem < 0 && ImagePanel != nullptr) {
        ThumbnailFile.clear();
        if (!ImagePanel->ImageFile().isEmpty()) {
            ShowThumbnail(QString());
        }
    }
}

void TFolderView::ShowThumbnail(const QString& name) {
    if (name.isEmpty()) {
        ThumbnailFile.clear();
        ImagePanel->Clear();
        ImagePanel->AssignBitmap(EmptyImage);
        return;
    }
    if (name != ImagePanel->ImageFile()) {
        ImagePanel->Clear();
        ImagePanel->LoadFromFile(name);
        ThumbnailFile = name;
    }
}

void TFolderView::MainEventsIdle() {
    if (FirstIdle) {
        FirstIdle = false;
        ShowThumbnail(QString());
    }
}

void TFolderView::OptiTrackBarChange() {
    const QString hint = slideshow::PreviewQualityHint(OptiTrackBar->value());
    if (!hint.isEmpty()) {
        SetHint(OptiTrackBar, hint);
    }
}

// ---------------------------------------------------------------- labels and buttons

void TFolderView::UpdateFilesLabel() {
    const int count = FilesLV->Count();
    TotalFilesLabel->setText(count > 0 ? QStringLiteral("Total files: %1").arg(count)
                                       : QStringLiteral("No files in folder"));
}

void TFolderView::UpdateSelectedLabel() {
    const int count = SelectedLV->Count();
    TotalSelectedLabel->setText(count > 0 ? QStringLiteral("Selected pictures: %1").arg(count)
                                          : QStringLiteral("No pictures selected"));
}

void TFolderView::UpdateSeriesButtons() {
    const bool any = SelectedLV->Count() > 0;
    PreviewButton->setEnabled(any);
    SaveButton->setEnabled(any);
    ClearButton->setEnabled(any);
}
