#include "app/MainWindow/MainForm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <utility>

#include "app/AppForms.h"
#include "app/Dialogs/ConfigForm.h"
#include "app/MainWindow/FolderScan.h"
#include "app/MainWindow/FormHelpers.h"
#include "app/MainWindow/TopBarCommands.h"
#include "app/Series/NameRules.h"
#include "platform/CursorGuard.h"
#include "platform/MessageService.h"
#include "platform/Paths.h"
#include "platform/SlotGuard.h"
#include "platform/VolumeTable.h"

using platform::MsgButton;
using platform::MsgIcon;

bool ReorderBusy = false;

namespace {

const QColor kGaugeBar(0x00, 0x00, 0xff);

}  // namespace

bool IsOnRemovableDrive(const QString& path) {
    using platform::DriveType;
    const DriveType type = platform::VolumeTable::System().TypeOfPath(path.toStdString());
    return type == DriveType::Removable || type == DriveType::CdRom || type == DriveType::RamDisk;
}

// Held by commands that let events run: see the class comment.
class TMainForm::BusyScope {
  public:
    explicit BusyScope(TMainForm& form) : form_(form) {
        form_.busy_ = true;
        form_.AutoHint = false;
        form_.MainStatusBar->clearMessage();
    }
    ~BusyScope() {
        form_.addGauge_.reset();
        form_.AutoHint = true;
        form_.busy_ = false;
        for (auto& work : std::exchange(form_.deferred_, {})) {
            form_.RunAfterwards(std::move(work));
        }
        if (form_.treeChangePending_) {
            form_.treeChangePending_ = false;
            form_.RunAfterwards([f = &form_] { f->DirTreeChange(); });
        }
        if (form_.closePending_) {
            form_.closePending_ = false;
            QTimer::singleShot(0, &form_, [f = &form_] { f->close(); });
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    TMainForm& form_;
    platform::CursorGuard cursor_;
};

TMainForm::TMainForm(QWidget* owner) : TFolderView(owner) {
    PrepareTempFolder();
    DirTree->SetFiles(false);
    DirTree->SetHideFolders(false);
    DirTree->SetSysFolders(true);
    ConnectHandlers();
    ConnectCommands();
    ConnectDrags();
    // The window answers some keys wherever the focus is, before the focused control.
    QCoreApplication::instance()->installEventFilter(this);
}

TMainForm::~TMainForm() {
    QCoreApplication::instance()->removeEventFilter(this);
    FormDestroy();
}

void TMainForm::RunBusy(const std::function<void()>& work) {
    BusyScope busy(*this);
    work();
}

void TMainForm::PrepareTempFolder() {
    tempCopies_ = std::make_unique<TTempCopies>(
        platform::JoinPath(GetTmpFolder(), QStringLiteral("PellimorTmp")));
    tempCopies_->Prepare();
}

void TMainForm::ConnectHandlers() {
    connect(DirTree, &TFolderTree::OnChange, this, Guarded([this] { DirTreeChange(); }));
    connect(SelectAllButton, &QToolButton::clicked, this,
            Guarded([this] { SelectAllButtonClick(); }));
    connect(AddButton, &QToolButton::clicked, this, Guarded([this] { AddButtonClick(); }));
    connect(DeleteButton, &QToolButton::clicked, this, Guarded([this] { DeleteButtonClick(); }));
    connect(ClearButton, &QToolButton::clicked, this, Guarded([this] { ClearButtonClick(); }));
    connect(OptiTrackBar, &QSlider::valueChanged, this, Guarded([this] { OptiTrackBarChange(); }));
    ConnectLists();
    ConnectMenus();
}

void TMainForm::ConnectLists() {
    connect(FilesLV, &TListView::SelectItem, this, [this](int index, bool selected) {
        platform::GuardSlot([&] { FilesLVSelectItem(index, selected); });
    });
    connect(FilesLV, &TListView::Change, this, Guarded([this] { FilesLVChange(); }));
    FilesLV->OnDblClick = Guarded([this] { FilesLVDblClick(); });
    connect(ImagePanel, &TImgPanel::OnDblClick, this, Guarded([this] { ImagePanelDblClick(); }));
    FilesLV->OnKeyDown = [this](QKeyEvent* e) { return FilesLVKeyDown(e); };
    FilesLV->OnMouseDown = [this](QMouseEvent* e) { return FilesLVMouseDown(e); };

    connect(SelectedLV, &TListView::SelectItem, this, [this](int index, bool selected) {
        platform::GuardSlot([&] { SelectedLVSelectItem(index, selected); });
    });
    connect(SelectedLV, &TListView::Change, this, Guarded([this] { SelectedLVChange(); }));
    SelectedLV->OnDblClick = Guarded([this] { SelectedLVDblClick(); });
    SelectedLV->OnKeyDown = [this](QKeyEvent* e) { return SelectedLVKeyDown(e); };
    SelectedLV->OnMouseDown = [this](QMouseEvent* e) { return SelectedLVMouseDown(e); };
    SelectedLV->OnMouseUp = [this](QMouseEvent*) { NoDrag = false; };
    SelectedLV->OnClick = [this] { NoDrag = false; };
    SelectedLV->OnInfoTip = [this](int index) { return SelectedLVInfoTip(index); };
}

void TMainForm::ConnectMenus() {
    for (TListView* list : {FilesLV, SelectedLV}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
    }
    connect(FilesLV, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        FilesCntxPopup();
        FilesCntx->popup(FilesLV->viewport()->mapToGlobal(pos));
    });
    connect(SelectedLV, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        SelectedCntxPopup();
        SelectedCntx->popup(SelectedLV->viewport()->mapToGlobal(pos));
    });
    connect(AddItem, &QAction::triggered, this, Guarded([this] { AddItemClick(); }));
    connect(Addall1, &QAction::triggered, this, Guarded([this] { Addall1Click(); }));
    connect(SelectAllItem, &QAction::triggered, this, Guarded([this] { SelectAllButtonClick(); }));
    connect(DeleteItem, &QAction::triggered, this, Guarded([this] { DeleteItemClick(); }));
    connect(ClearAllItem, &QAction::triggered, this, Guarded([this] { ClearAllItemClick(); }));
}

// ---------------------------------------------------------------- life cycle

void TMainForm::FormShow() {
    if (ConfigForm != nullptr) {
        LoadConfig(ConfigForm);
    }
    ReadWindowSettings(this);
    if (ConfigForm != nullptr) {
        ConfigForm->OkButtonClick();
        OptiTrackBar->setValue(ConfigForm->OptiTrackBar->value());
    }
    OptiTrackBarChange();
    PlaceStoredSplitters();
    const QString source = ConfigForm != nullptr ? ConfigForm->SrcDirEdit->text() : QString();
    DirTree->SelectFolder(IsShellPath(source) ? source : QDir::homePath());
    if (IsUncarriedFolder(source)) {
        TellWhyNotListed(NormalisedFolder(source), 0, true);
    }
    TakeSizeSnapshot();
    ShowWindow(this);
    // The user starts by browsing folders.
    DirTree->setFocus();
    QTimer::singleShot(0, this, Guarded([this] { MainEventsIdle(); }));
}

void TMainForm::FormHide() {
    FormShown = false;
}

void TMainForm::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    // A window minimised by the window system is not hidden by the program.
    if (!event->spontaneous()) {
        FormHide();
    }
}

bool TMainForm::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::StatusTip:
            if (!AutoHint) {
                return true;
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            if (FormShown) {
                FitFrame(this, event->spontaneous());
            }
            break;
        default:
            break;
    }
    return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (busy_) {
        // Add is copying pictures: the window closes once it is done.
        closePending_ = true;
        event->ignore();
        return;
    }
    platform::GuardSlot([this] { FormClose(); });
    QMainWindow::closeEvent(event);
}

void TMainForm::FormClose() {
    if (closed_) {
        return;
    }
    closed_ = true;
    WriteWindowSettings(this);
    RemoveTempFolder();
}

void TMainForm::RemoveTempFolder() {
    if (tempCopies_ && tempCopies_->FolderExists()) {
        tempCopies_->RemoveFolder();
    }
}

void TMainForm::FormDestroy() {
    if (tempCopies_) {
        tempCopies_->DeleteAllCopies();
    }
    FolderFiles.clear();
    SelectedFiles.clear();
}

// ---------------------------------------------------------------- series list

void TMainForm::SelectAllButtonClick() {
    FilesLV->SelectAllItems();
    FilesLV->setFocus();
}

void TMainForm::AddItemClick() {
    if (FilesLV->SelCount() > 0) {
        AddButtonClick();
    }
}

void TMainForm::Addall1Click() {
    SelectAllButtonClick();
    AddItemClick();
}

void TMainForm::ShowAddGauge(int maximum) {
    addGauge_ = std::make_unique<TxGauge>(MainStatusBar);
    addGauge_->setGeometry(1, 3, MainStatusBar->width() - 16, MainStatusBar->height() - 4);
    addGauge_->SetBarForeColor(kGaugeBar);
    addGauge_->SetMinValue(0);
    addGauge_->SetMaxValue(maximum);
    addGauge_->show();
}

void TMainForm::AddPicture(const QString& caption, bool removable) {
    const QString path = platform::JoinPath(CurrentFolder, caption);
    SelectedFiles.append(path);
    SelectedLV->AddItem(caption);
    if (!removable) {
        return;
    }
    // Repaint between copies; user input waits until the whole Add is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!tempCopies_->CopyToTemp(path)) {
        UseTempCopies = false;
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TMainForm::AddButtonClick() {
    if (!AutoHint || busy_) {
        return;
    }
    BusyScope busy(*this);
    const int first = FilesLV->FirstSelected();
    if (first < 0) {
        FinishAdd(-1);
        return;
    }
    QStringList picked;
    for (int i = 0; i < FilesLV->Count(); ++i) {
        if (FilesLV->IsSelected(i)) {
            picked.append(FilesLV->Caption(i));
        }
    }
    try {
        AddPictures(picked);
    } catch (...) {
        // A copy that throws (the temporary folder cannot be made) ends the command: the
        // pictures added so far stay in the series, and both lists and the buttons show it.
        FinishAdd(first);
        throw;
    }
    FinishAdd(first);
}

void TMainForm::AddPictures(const QStringList& picked) {
    const bool removable = IsRemovableDrive && IsRemovableDrive(CurrentFolder);
    int copied = 0;
    for (const QString& caption : picked) {
        if (removable && !addGauge_) {
            ShowAddGauge(static_cast<int>(picked.size()));
        }
        // Out of the folder's list before it is copied, so that a picture is never on
        // both sides.
        const auto at = FilesLV->findItems(caption, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (!at.isEmpty()) {
            FilesLV->DeleteItem(FilesLV->indexOfTopLevelItem(at.front()));
        }
        AddPicture(caption, removable);
        copied += removable ? 1 : 0;
        if (addGauge_) {
            addGauge_->SetProgress(copied);
        }
    }
}

// The end of Add; first is the file list's first selected item before it (-1: none).
void TMainForm::FinishAdd(int first) {
    if (first >= 0) {
        FitListColumn(SelectedLV, 4);
        if (SelectedLV->FirstSelected() < 0) {
            SelectedLV->SelectListItem(0);
        }
        first = std::min(first, FilesLV->Count() - 1);
        if (first >= 0) {
            FilesLV->clearSelection();
            FilesLV->SelectListItem(first);
        }
        (FilesLV->Count() > 0 ? static_cast<QWidget*>(FilesLV) : SelectedLV)->setFocus();
        SelectAllButton->setEnabled(FilesLV->Count() > 0);
    }
    UpdateFilesLabel();
    UpdateSelectedLabel();
    UpdateSeriesButtons();
}

// A series picture of the current folder goes back into the file list; returns its index
// there (-1 when it belongs elsewhere).
int TMainForm::PutBack(const QString& path) {
    if (!BelongsToFolder(path, CurrentFolder)) {
        return -1;
    }
    const QString name = platform::FileNamePart(path);
    const int index = FilesLV->AddItem(name);
    if (!FolderFiles.contains(name)) {
        FolderFiles.append(name);
    }
    return index;
}

void TMainForm::DeleteButtonClick() {
    if (busy_) {
        return;
    }
    int k = SelectedLV->FirstSelected();
    if (k >= 0) {
        const auto answer = platform::ShowMessage(
            QStringLiteral("Do you want to remove selected picture from list?"),
            QStringLiteral("Remove picture"), {MsgButton::Yes, MsgButton::No}, MsgIcon::Question);
        if (answer != MsgButton::Yes) {
            return;
        }
        const QString path = SelectedFiles.value(k);
        tempCopies_->DeleteCopy(path);
        PutBack(path);
        // The row goes first: while it is removed the list selects the next row and reports
        // it by its old index, which must still name the same picture.
        SelectedLV->DeleteItem(k);
        SelectedFiles.removeAt(k);
        k = std::min(k, SelectedLV->Count() - 1);
        if (k >= 0) {
            SelectedLV->SelectListItem(k);
            ShowThumbnail(ReadablePath(SelectedFiles[k]));
        } else if (FilesLV->Count() > 0) {
            const int selectedFile = FilesLV->FirstSelected();
            if (selectedFile >= 0) {
                ShowThumbnail(platform::JoinPath(CurrentFolder, FilesLV->Caption(selectedFile)));
            } else {
                FilesLV->SetSelected(0, true);
            }
        }
    }
    FitListColumn(FilesLV, 5);
    SelectAllButton->setEnabled(FilesLV->Count() > 0);
    if (SelectedFiles.isEmpty()) {
        UseTempCopies = true;
    }
    UpdateSeriesButtons();
    UpdateFilesLabel();
    UpdateSelectedLabel();
}

void TMainForm::ClearButtonClick() {
    if (busy_) {
        return;
    }
    const auto answer =
        platform::ShowMessage(QStringLiteral("Do you want to remove all images from list?"),
                              QStringLiteral("Remove all images"), {MsgButton::Yes, MsgButton::No},
                              MsgIcon::Question, MsgButton::No);
    if (answer != MsgButton::Yes) {
        return;
    }
    SelectedLV->BeginUpdate();
    for (const QString& path : SelectedFiles) {
        tempCopies_->DeleteCopy(path);
        PutBack(path);
    }
    SelectedFiles.clear();
    SelectedLV->ClearItems();
    SelectedLV->EndUpdate();
    UpdateSeriesButtons();
    UpdateFilesLabel();
    UpdateSelectedLabel();
    UseTempCopies = true;
    FitListColumn(FilesLV, 5);
    SelectAllButton->setEnabled(FilesLV->Count() > 0);
    if (FilesLV->Count() > 0 && FilesLV->SelCount() == 0) {
        FilesLV->SetSelected(0, true);
    }
    FilesLV->setFocus();
}

void TMainForm::SelectedLVChange() {
    if (ReorderBusy) {
        return;
    }
    const bool anySelected = SelectedLV->SelCount() > 0;
    if (DeleteButton->isEnabled() != anySelected) {
        DeleteButton->setEnabled(anySelected);
    }
    if (SelectedFiles.isEmpty()) {
        UseTempCopies = true;
    }
    UpdateSeriesButtons();
    UpdateSelectedLabel();
}

void TMainForm::SelectedLVSelectItem(int index, bool selected) {
    SelectedLV->SetAutoDrag(!NoDrag);
    if (!selected || ReorderBusy || index < 0 || index >= SelectedFiles.size()) {
        return;
    }
    const QString path = SelectedFiles[index];
    if (!SelectedLV->Caption(index).isEmpty() && !IsReadableFile(ReadablePath(path))) {
        NoDrag = true;
        QueueUnreadable(path, [this] {
            RefreshSelectedList();
            if (SelectedLV->Count() > 0) {
                SelectedLV->SelectListItem(0);
            }
        });
        return;
    }
    const int current = SelectedLV->FirstSelected();
    ShowThumbnail(ReadablePath(SelectedFiles.value(current >= 0 ? current : index)));
}

void TMainForm::SelectedLVDblClick() {
    if (SelectedLV->SelCount() > 0) {
        DeleteButtonClick();
    }
}

bool TMainForm::SelectedLVMouseDown(QMouseEvent* event) {
    NoDrag = false;
    HitTestList(SelectedLV, event);
    if (HitItem >= 0 && SelectedLV->IsSelected(HitItem) && HitItem < SelectedFiles.size()) {
        ShowThumbnail(ReadablePath(SelectedFiles[HitItem]));
    }
    return false;
}

bool TMainForm::SelectedLVKeyDown(QKeyEvent* event) {
    switch (SeriesKeyCommand(*event)) {
        case TSeriesKeyCommand::MoveUp:
            platform::GuardSlot([this] { MoveSelectedUp(); });
            return true;
        case TSeriesKeyCommand::MoveDown:
            platform::GuardSlot([this] { MoveSelectedDown(); });
            return true;
        case TSeriesKeyCommand::None:
            break;
    }
    if (IsKey(event, Qt::Key_X, Qt::ControlModifier)) {
        platform::GuardSlot([this] { ClearButtonClick(); });
        return true;
    }
    if (IsEnter(event)) {
        platform::GuardSlot([this] { ImagePanelDblClick(); });
        return true;
    }
    return false;
}

void TMainForm::FilesLVDblClick() {
    if (FilesLV->SelCount() > 0) {
        AddButtonClick();
    }
}

bool TMainForm::FilesLVKeyDown(QKeyEvent* event) {
    if (IsKey(event, Qt::Key_A, Qt::ControlModifier)) {
        platform::GuardSlot([this] { SelectAllButtonClick(); });
        return true;
    }
    if (IsEnter(event)) {
        platform::GuardSlot([this] { ImagePanelDblClick(); });
        return true;
    }
    return false;
}

void TMainForm::ImagePanelDblClick() {
    if (ImagePanel == nullptr || ImagePanel->ImageFile().isEmpty()) {
        return;
    }
    if (IsReadableFile(ThumbnailFile)) {
        if (ShowPreview) {
            ShowPreview(ThumbnailFile);
        }
    } else if (FilesLV->hasFocus()) {
        RefreshFilesList();
    } else if (SelectedLV->hasFocus()) {
        RefreshSelectedList();
    }
}

QString TMainForm::SelectedLVInfoTip(int index) const {
    return SelectedFiles.value(index);
}

void TMainForm::RefreshSelectedList() {
    SelectedLV->BeginUpdate();
    SelectedLV->ClearItems();
    for (int i = 0; i < SelectedFiles.size();) {
        if (IsReadableFile(ReadablePath(SelectedFiles[i]))) {
            SelectedLV->AddItem(platform::FileNamePart(SelectedFiles[i]));
            ++i;
        } else {
            tempCopies_->DeleteCopy(SelectedFiles[i]);
            SelectedFiles.removeAt(i);
        }
    }
    SelectedLV->EndUpdate();
    UpdateSeriesButtons();
    UpdateSelectedLabel();
}

void TMainForm::FilesCntxPopup() {
    SelectAllItem->setEnabled(FilesLV->Count() > 0);
    AddItem->setEnabled(FilesLV->SelCount() > 0);
}

void TMainForm::SelectedCntxPopup() {
    ClearAllItem->setEnabled(!SelectedFiles.isEmpty());
    const bool anySelected = SelectedLV->SelCount() > 0;
    for (QAction* action : {MakeFirstItem, DeleteItem, MakeUpItem, MakeDownItem}) {
        action->setEnabled(anySelected);
    }
}

void TMainForm::DeleteItemClick() {
    if (SelectedLV->SelCount() > 0) {
        DeleteButtonClick();
    }
}

void TMainForm::ClearAllItemClick() {
    ClearButtonClick();
}

// ---------------------------------------------------------------- temporary copies

QString TMainForm::ReadablePath(const QString& path) const {
    if (UseTempCopies && tempCopies_) {
        if (auto copy = tempCopies_->CopyOf(path)) {
            return *copy;
        }
    }
    return path;
}
