#include "Components/PkgFolder/FolderTree.h"
#include "Components/PkgFolder/ExpansionAnimation.h"
#include "Components/PkgFolder/ShellContextMenu.h"

#include "Components/PkgFolder/FolderTreeLog.h"

#include <QApplication>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <sys/stat.h>

namespace {

// Rename texts are limited to 80 characters.
class LabelEditDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(80);
        return editor;
    }
    // Where paint() puts the text of `index` in a row drawn with `option`.
    QRect TextRect(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        const QWidget* widget = option.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
    }
};

bool IsExistingDirectory(const QString& path) {
    struct stat st {};
    return ::stat(path.toStdString().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TFolderTree::TFolderTree(QWidget* parent, SNamespacePtr space)
    : QTreeView(parent), space_(std::move(space)), model_(new FolderTreeModel(this)) {
    resize(121, 97);
    setFocusPolicy(Qt::StrongFocus);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new LabelEditDelegate(this));
    // The tree takes part in drags as a target (the highlight follows the mouse, an
    // OnDragOver receiver decides on drops) and, with dmAutomatic, as a source. A drop never
    // moves its items: the view's own drop handling is not used.
    setDragDropMode(QAbstractItemView::NoDragDrop);  // clears the flags: drops are set after
    setAcceptDrops(true);
    model_->SetChildProbe([this](TreeNode& node) { return ProbeChildren(node); });
    model_->SetIconSource([this](const TreeNode& node) { return ItemIcon(node); });
    model_->SetRenameHandler(
        [this](TreeNode& node, const QString& text) { return OnEndLabelEdit(node, text); });
    setModel(model_);
    animator_ = std::make_unique<ExpansionAnimation>(viewport());
    changeTimer_.setSingleShot(true);
    connect(&changeTimer_, &QTimer::timeout, this, &TFolderTree::OnChangeTimer);
    worker_ = std::make_unique<PopulationWorker>(
        [this](const std::shared_ptr<PopulationWorker::Result>& result) {
            OnPopulationResult(result);
        },
        [this] { OnPopulationProgress(); });
    worker_->SetLiveGeneration(generation_);
    SetUpChangeFollowing();  // first: it tracks expansions before the view's handlers run
    ConnectView();
    SetReadOnly(readOnly_);
    SetBorderStyle(borderStyle_);
    SetHideSelection(hideSelection_);
    ApplyStyleSheet();
}

TFolderTree::~TFolderTree() {
    // Nothing reports to the tree once it is being destroyed: the watch threads and the
    // refresh thread end first.
    StopChangeFollowing();
    // Selection events stop first; the worker ends before the items it reads for go away.
    changeDelay_ = 0;
    changeTimer_.stop();
    worker_.reset();
    disconnect(selectionModel(), nullptr, this, nullptr);
    clearing_ = true;
    model_->Clear();
}

void TFolderTree::ConnectView() {
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFolderTree::OnCurrentChanged);
    connect(this, &QTreeView::expanded, this, &TFolderTree::OnViewExpanded);
    connect(this, &QTreeView::collapsed, this, &TFolderTree::OnViewCollapsed);
}

QRect TFolderTree::ItemTextRect(const QModelIndex& index) const {
    const QRect row = visualRect(index);
    const auto* delegate = dynamic_cast<const LabelEditDelegate*>(itemDelegate());
    if (!delegate || !row.isValid())
        return row;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = row;
    return delegate->TextRect(option, index);
}

void TFolderTree::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    if (!windowCreated_) {
        windowCreated_ = true;
        OnTreeInit();
    }
}

void TFolderTree::OnTreeInit() {
    if (GetCount() != 0 || singleRoot_)
        return;
    Init();
    SelectFolder(pendingPath_.isEmpty() ? currentFolder_ : pendingPath_);
}

PopulationOptions TFolderTree::OptionsFor(unsigned itemFlags) const {
    PopulationOptions options;
    options.itemFlags = itemFlags;
    options.sysFolders = sysFolders_;
    options.showFiles = showFiles_;
    options.filterExt = filterExt_.toStdString();
    return options;
}

unsigned TFolderTree::CurrentItemFlags() const {
    return (hiddenFolders_ ? ItemFlag::Hidden : 0u) | (showFiles_ ? ItemFlag::Files : 0u);
}

void TFolderTree::RunWhenIdle(std::function<void()> command) {
    if (IsPopulating()) {
        deferred_.push_back(std::move(command));
        return;
    }
    command();
}

void TFolderTree::RunDeferredCommands() {
    while (!deferred_.empty() && !IsPopulating()) {
        auto command = std::move(deferred_.front());
        deferred_.erase(deferred_.begin());
        command();
    }
}

void TFolderTree::DeleteAllItems() {
    // A new generation: results still on their way belong to the old tree.
    ++generation_;
    worker_->SetLiveGeneration(generation_);
    changeTimer_.stop();
    clearing_ = true;
    model_->Clear();
    clearing_ = false;
}

// ---- Navigation ---------------------------------------------------------------------------

QString TFolderTree::GetFolder() const {
    if (!currentFolder_.isEmpty())
        return currentFolder_;
    const HTREEITEM selected = GetSelected();
    const TVITEMDATA* data = GetItemData(selected);
    if (!IsValidItemData(data))
        return {};
    const std::string path = PidlToPath(*space_, data->absolute.Get());
    return path.empty() ? GetItemText(selected) : QString::fromStdString(path);
}

void TFolderTree::SelectFolder(const QString& path) {
    if (path.isEmpty())
        return;
    currentFolder_ = path;
    if (path == pendingPath_ || !windowCreated_)
        return;
    pendingPath_ = path;
    QMetaObject::invokeMethod(this, &TFolderTree::OnSelectFolder, Qt::QueuedConnection);
}

void TFolderTree::OnSelectFolder() {
    if (IsPopulating()) {
        deferred_.push_back([this] { OnSelectFolder(); });
        return;
    }
    const QString path = pendingPath_;
    if (GetCount() == 0 || path.isEmpty())
        return;
    const CShellPidl pidl(PidlFromPath(*space_, path.toStdString()));
    const HTREEITEM item = singleRoot_ ? SFindNoRoot(pidl) : SFFindTreeItem(pidl.Get());
    if (item)
        SetSelected(item);
    pendingPath_.clear();
    viewport()->update();
}

void TFolderTree::DoSetRoot(const QString& path) {
    rootDir_ = path;
    RunWhenIdle([this] {
        watcher_->RemoveWatch(std::string());
        DeleteAllItems();
        singleRoot_ = false;
        if (rootDir_.isEmpty() || !IsExistingDirectory(rootDir_)) {
            // A missing root gives the desktop tree; the flag, not the text, says so.
            Init();
            return;
        }
        const platform::ItemIdList pidl = PidlFromPath(*space_, rootDir_.toStdString());
        if (pidl.IsNull()) {
            Init();
            return;
        }
        singleRoot_ = true;
        AddRootFolderContent(pidl, CurrentItemFlags());
        if (const HTREEITEM first = GetRootItem())
            SetSelected(first);
        const std::string root = rootDir_.toStdString();
        watcher_->SetWatchFiles(showFiles_);
        watcher_->AddWatch(root, space_->Volumes().TypeOfPath(root) == platform::DriveType::Remote);
    });
}

void TFolderTree::Rebuild(bool filesChanged) {
    if (!windowCreated_ || GetCount() == 0)
        return;
    RunWhenIdle([this, filesChanged] {
        if (filesChanged)
            PauseWatching();
        const QString remembered = currentFolder_;
        DeleteAllItems();
        if (!rootDir_.isEmpty())
            DoSetRoot(rootDir_);
        else
            Init();
        SelectFolder(remembered);
        if (filesChanged)
            ResumeWatching();
    });
}

// ---- Properties ---------------------------------------------------------------------------

void TFolderTree::SetHideFolders(bool value) {
    if (value == hiddenFolders_)
        return;
    hiddenFolders_ = value;
    Rebuild(false);
}

void TFolderTree::SetSysFolders(bool value) {
    if (value == sysFolders_)
        return;
    sysFolders_ = value;
    Rebuild(false);
}

void TFolderTree::SetFiles(bool value) {
    if (value == showFiles_)
        return;
    showFiles_ = value;
    Rebuild(true);
}

void TFolderTree::SetFilterExt(const QString& value) {
    filterExt_ = value.toLower();
}

void TFolderTree::SetDelay(int value) {
    changeDelay_ = std::max(value, 400);
}

void TFolderTree::SetBorderStyle(TFormBorderStyle value) {
    borderStyle_ = value;
    setFrameShape(value == bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
}

void TFolderTree::SetRootStyle(bool value) {
    showRoot_ = value;
    setRootIsDecorated(value);
}

void TFolderTree::SetButtonStyle(bool value) {
    if (value == showButtons_)
        return;
    showButtons_ = value;
    ApplyStyleSheet();
}

void TFolderTree::SetReadOnly(bool value) {
    readOnly_ = value;
    model_->SetEditable(!value);
    setEditTriggers(value ? QAbstractItemView::NoEditTriggers
                          : QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
}

void TFolderTree::SetHideSelection(bool value) {
    hideSelection_ = value;
    // Without the focus the selection is drawn like plain text, so it does not show.
    QPalette colours = palette();
    const QPalette defaults = QApplication::palette(this);
    colours.setBrush(QPalette::Inactive, QPalette::Highlight,
                     value ? defaults.brush(QPalette::Inactive, QPalette::Base)
                           : defaults.brush(QPalette::Inactive, QPalette::Highlight));
    colours.setBrush(QPalette::Inactive, QPalette::HighlightedText,
                     value ? defaults.brush(QPalette::Inactive, QPalette::Text)
                           : defaults.brush(QPalette::Inactive, QPalette::HighlightedText));
    setPalette(colours);
}

void TFolderTree::SetToolTips(bool value) {
    toolTips_ = value;
    model_->SetToolTips(value);
}

void TFolderTree::SetHotTrack(bool value) {
    hotTrack_ = value;
    viewport()->setAttribute(Qt::WA_Hover, value);
}

void TFolderTree::SetRowSelect(bool value) {
    if (value == rowSelect_)
        return;
    rowSelect_ = value;
    ApplyStyleSheet();
}

void TFolderTree::SetDragMode(TDragMode value) {
    dragMode_ = value;
    model_->SetDragEnabled(value == dmAutomatic);
    setDragEnabled(value == dmAutomatic);
}

void TFolderTree::ApplyStyleSheet() {
    QString sheet;
    if (!showButtons_)
        sheet += QStringLiteral("QTreeView::branch { image: none; border-image: none; }");
    if (rowSelect_)
        sheet += QStringLiteral("QTreeView { show-decoration-selected: 1; }");
    setStyleSheet(sheet);
}
