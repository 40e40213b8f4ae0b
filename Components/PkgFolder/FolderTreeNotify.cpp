// TFolderTree: what the view reports (selection, expansion, label edits), keys and mouse.

#include "Components/PkgFolder/FolderTree.h"

#include "Components/PkgFolder/ExpansionAnimation.h"
#include "Components/PkgFolder/FolderTreeLog.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>

using platform::ItemIdList;
using platform::ShellLocation;

// ---- Selection delay ----------------------------------------------------------------------

void TFolderTree::OnCurrentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // Clearing the tree, and a tree being torn down, report no change.
    if (clearing_ || changeDelay_ == 0)
        return;
    // Handles only: a handler of OnChanging may delete items.
    const TreeNode* newNode = model_->NodeOf(current);
    const TreeNode* oldNode = model_->NodeOf(previous);
    const HTREEITEM newItem = newNode ? newNode->handle : 0;
    const HTREEITEM oldItem = oldNode ? oldNode->handle : 0;
    emit OnChanging(this, newItem);
    if (!newItem)
        return;
    if (!model_->Node(newItem) || !model_->Node(newItem)->data) {
        emit OnChange(this, newItem);
        return;
    }
    // Every new selection restarts the delay; only the last of a burst is acted on.
    savedNew_ = newItem;
    savedOld_ = oldItem;
    changeTimer_.start(changeDelay_);
    if (autoExpand_)
        expand(model_->IndexOf(model_->Node(newItem)));
}

void TFolderTree::OnChangeTimer() {
    if (changeDelay_ == 0)
        return;
    // The saved item may have been deleted meanwhile: then the current selection counts.
    const TreeNode* node = model_->Node(savedNew_);
    if (!node || !IsValidItemData(node->data.get()))
        node = model_->Node(GetSelected());
    if (!node)
        return;
    std::string path;
    if (IsValidItemData(node->data.get()))
        path = PidlToPath(*space_, node->data->absolute.Get());
    if (!ProbeDrive(*node)) {
        if (const HTREEITEM old = savedOld_; model_->Node(old)) {
            SetSelected(old);
            return;
        }
    }
    currentFolder_ = QString::fromStdString(path);
    emit OnChange(this, node->handle);
}

bool TFolderTree::ProbeDrive(const TreeNode& node) const {
    if (!IsValidItemData(node.data.get()))
        return true;
    const ItemIdList& pidl = node.data->absolute.Get();
    if (space_->Locate(pidl).kind != ShellLocation::Kind::Drive)
        return true;
    // A network drive is not read here, on the UI thread: its server may not answer.
    if (space_->Volumes().TypeOfPath(PidlToPath(*space_, pidl)) == platform::DriveType::Remote)
        return true;
    // A drive without a medium cannot be read: no enumerator comes back.
    const SShellFolderPtr folder = space_->BindToFolder(pidl);
    return folder && folder->EnumObjects(EnumFlagsFor(CurrentItemFlags()));
}

// ---- Expansion ----------------------------------------------------------------------------

void TFolderTree::OnViewExpanded(const QModelIndex& index) {
    TreeNode* node = model_->NodeOf(index);
    if (!node || quietExpansion_)
        return;
    const HTREEITEM item = node->handle;
    const bool needsReading = node->children.empty() && !node->populating && node->data;
    if (needsReading)
        PreExpandItem(node);
    emit OnExpanding(this, item);
    node = model_->Node(item);
    if (needsReading && node && node->populating) {
        StartPopulation(node);
        if (animation_ && node->populating)
            StartExpansionAnimation(node->placeholder);
        return;  // OnExpanded follows once the children are in
    }
    emit OnExpanded(this, item);
}

void TFolderTree::OnViewCollapsed(const QModelIndex& index) {
    TreeNode* node = model_->NodeOf(index);
    if (!node || quietExpansion_)
        return;
    const HTREEITEM item = node->handle;
    // The current item must stay where the user can see it: a collapse that hides it makes
    // the collapsed folder current, and the usual delayed change follows.
    for (const TreeNode* up = model_->NodeOf(currentIndex()); up; up = up->parent) {
        if (up->parent == node) {
            SetSelected(item);
            break;
        }
    }
    node = model_->Node(item);  // a selection handler may have changed the tree
    if (!node)
        return;
    // A folder closed while it is read is not read further; it is read anew when opened.
    if (node->populating)
        CancelPopulation(node);
    if (WantsRefresh(item)) {
        DeleteChildren(item);
        if (TreeNode* again = model_->Node(item))
            again->expandedOnce = false;
    }
    emit OnExpanded(this, item);
}

void TFolderTree::PreExpandItem(TreeNode* node) {
    auto placeholder = std::make_unique<TreeNode>();
    placeholder->text = waitMessage_;
    placeholder->childState = TreeNode::ChildState::No;
    node->placeholder = model_->InsertOne(node, std::move(placeholder), 0)->handle;
    node->populating = true;
}

void TFolderTree::StartPopulation(TreeNode* node) {
    if (!IsValidItemData(node->data.get())) {
        FolderTreeAssert("TFolderTree::PopulateItem", __LINE__);
        model_->Remove(model_->Node(node->placeholder));
        node->populating = false;
        return;
    }
    ++populating_;
    PopulationWorker::Request request;
    request.item = node->handle;
    request.generation = generation_;
    request.folder = space_->BindToFolder(node->data->absolute.Get());
    request.options = OptionsFor(EnumerationFlagsOf(*node));
    request.cancelled = std::make_shared<std::atomic<bool>>(false);
    reads_[node->handle] = request.cancelled;
    worker_->Submit(std::move(request));
}

void TFolderTree::CancelPopulation(TreeNode* node) {
    // The worker stops at its next item; what it hands back then is dropped, since the
    // folder is left as it was before the expansion.
    if (const auto read = reads_.find(node->handle); read != reads_.end()) {
        read->second->store(true);
        reads_.erase(read);
        --populating_;
    }
    node->populating = false;
    if (TreeNode* placeholder = model_->Node(node->placeholder))
        model_->Remove(placeholder);
    node->placeholder = 0;
    if (animator_)
        animator_->Stop();
    QMetaObject::invokeMethod(this, &TFolderTree::RunDeferredCommands, Qt::QueuedConnection);
}

void TFolderTree::OnPopulationResult(const std::shared_ptr<PopulationWorker::Result>& result) {
    if (result->buttonsOnly) {
        ApplyButtons(*result);
        return;
    }
    if (result->cancelled && result->cancelled->load())
        return;  // the folder was closed meanwhile: CancelPopulation undid the expansion
    if (const auto read = reads_.find(result->item);
        read != reads_.end() && read->second == result->cancelled)
        reads_.erase(read);
    --populating_;
    if (animator_)
        animator_->Stop();
    TreeNode* node = result->generation == generation_ ? model_->Node(result->item) : nullptr;
    if (node && IsRenamedSinceRead(*node, *result)) {
        // The folder, or one above it, was renamed while it was read: what came back names
        // the old place (or nothing, once that place was gone), so it is read again.
        StartPopulation(node);
        return;
    }
    if (node) {
        node->populating = false;
        if (TreeNode* placeholder = model_->Node(node->placeholder))
            model_->Remove(placeholder);
        node->placeholder = 0;
        AdoptChildren(node, std::move(result->outcome), IsOnFixedDrive(*node));
        emit OnExpanded(this, result->item);
    }
    RunDeferredCommands();
}

bool TFolderTree::IsRenamedSinceRead(const TreeNode& node,
                                     const PopulationWorker::Result& result) const {
    return IsValidItemData(node.data.get()) && result.folder &&
           result.folder->Id() != node.data->absolute.Get();
}

void TFolderTree::AdoptChildren(TreeNode* node, PopulationOutcome outcome, bool fixedDrive) {
    const HTREEITEM item = node->handle;
    model_->Insert(node, std::move(outcome.children), static_cast<int>(node->children.size()));
    worker_->SubmitButtons(item, generation_, std::move(outcome.pendingButtons));
    node->expandedOnce = true;
    if (node == model_->Root())
        return;
    const bool hasChildren = !node->children.empty();
    if (fixedDrive) {
        // An empty folder on a fixed disk loses its button; elsewhere (a medium may arrive)
        // it keeps it so the user can try again.
        node->childState = hasChildren ? TreeNode::ChildState::Yes : TreeNode::ChildState::No;
        model_->NotifyChanged(node);
    }
    const QModelIndex index = model_->IndexOf(node);
    if (!hasChildren) {
        quietExpansion_ = true;
        collapse(index);
        quietExpansion_ = false;
        return;
    }
    if (isExpanded(index) && model_->Node(item)) {
        scrollTo(model_->IndexOf(node->children.back().get()));
        scrollTo(index);
    }
}

void TFolderTree::ExpandItemNow(HTREEITEM item) {
    TreeNode* node = model_->Node(item);
    if (!node || node == model_->Root())
        return;
    if (node->children.empty() && !node->populating && node->data)
        PopulateItem(item);
    if (TreeNode* again = model_->Node(item); again && !again->children.empty())
        expand(model_->IndexOf(again));
}

// ---- Label editing ------------------------------------------------------------------------

bool TFolderTree::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (trigger != QAbstractItemView::NoEditTriggers && !CanEditLabel(model_->NodeOf(index)))
        return false;
    const bool editing = QTreeView::edit(index, trigger, event);
    if (editing && followTimer_.isActive()) {
        // No pass changes the items under an open editor; the pass waits for its end.
        followTimer_.stop();
        followDeferred_ = true;
    }
    return editing;
}

void TFolderTree::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeView::closeEditor(editor, hint);
    RestartFollowTimer();
}

bool TFolderTree::CanEditLabel(const TreeNode* node) const {
    if (!node || readOnly_)
        return false;
    const TreeNode* firstRoot = model_->Node(GetRootItem());
    if (node == firstRoot || node->parent == firstRoot)
        return false;
    if (!IsValidItemData(node->data.get()))
        return false;
    const TVITEMDATA& data = *node->data;
    const std::uint32_t wanted = platform::ShellAttr::CanRename | platform::ShellAttr::FileSystem;
    if ((data.folder->GetAttributesOf(data.relative.Get(), wanted) & wanted) != wanted)
        return false;
    // Roots (home, drives) are never renamed.
    return space_->Locate(data.absolute.Get()).kind == ShellLocation::Kind::FileSystem;
}

bool TFolderTree::OnEndLabelEdit(TreeNode& node, const QString& text) {
    // An edit ended without changes asks for nothing. The label is not always the name's
    // exact bytes (a name that is not UTF-8 shows replacement characters), so "renaming"
    // to it would change the name on disk.
    if (text == node.text)
        return false;
    PauseWatching();
    struct Resume {
        TFolderTree* tree;
        ~Resume() { tree->ResumeWatching(); }
    } resume{this};
    if (!IsValidItemData(node.data.get()))
        return false;
    TVITEMDATA& data = *node.data;
    const platform::RenameResult result =
        data.folder->SetNameOf(PidlLast(data.absolute.Get()), text.toStdString());
    if (!result.Succeeded())
        return false;
    const ItemIdList oldPidl = data.absolute.Get();
    const std::string oldPath = PidlToPath(*space_, oldPidl);
    data.relative = CShellPidl(result.item);
    data.absolute = CShellPidl(data.folder->Id(), result.item);
    node.text = QString::fromStdString(
        data.folder->GetDisplayNameOf(result.item, platform::NameKind::InFolder));
    RebaseDescendants(&node);
    SortChildrenOf(node.parent);
    ScheduleWatchUpdate();  // the folders below are watched under their new paths
    viewport()->update();
    // The current folder follows the rename, also when it lies inside the renamed folder.
    const std::string newPath = PidlToPath(*space_, data.absolute.Get());
    const std::string current = currentFolder_.toStdString();
    if (!oldPath.empty() && platform::PathIsWithin(current, oldPath))
        currentFolder_ = QString::fromStdString(newPath + current.substr(oldPath.size()));
    else
        currentFolder_ = QString::fromStdString(newPath);
    emit OnChange(this, node.handle);
    return true;
}

void TFolderTree::RebaseDescendants(TreeNode* node) {
    const ItemIdList& newPidl = node->data->absolute.Get();
    const SShellFolderPtr folder = space_->BindToFolder(newPidl);
    for (auto& child : node->children) {
        TVITEMDATA* data = child->data.get();
        if (!IsValidItemData(data))
            continue;
        data->folder = folder;
        data->absolute = CShellPidl(newPidl, data->relative.Get());
        RebaseDescendants(child.get());
    }
}

void TFolderTree::SortChildrenOf(TreeNode* parent) {
    model_->SortChildren(parent, [](const TreeNode& a, const TreeNode& b) {
        return CompareFunc(a.data.get(), b.data.get()) < 0;
    });
}

// ---- Refresh, keys and mouse --------------------------------------------------------------

void TFolderTree::RefreshAll() {
    RunWhenIdle([this] {
        if (GetCount() == 0)
            return;
        const QString remembered = currentFolder_;
        PauseWatching();
        DeleteAllItems();
        if (rootDir_.isEmpty())
            Init();
        else
            DoSetRoot(rootDir_);
        SelectFolder(remembered);
        ResumeWatching();
    });
}

void TFolderTree::keyPressEvent(QKeyEvent* event) {
    if (Animating() && event->key() != Qt::Key_F5) {
        // No input while the tree shows its picture; F5 goes on below, where a refresh
        // waits for the folder being read.
        event->accept();
        return;
    }
    if (explorerMenu_ && IsContextMenuKey(*event)) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos(),
                               event->modifiers());
        contextMenuEvent(&menu);
        event->accept();
        return;
    }
    switch (event->key()) {
        case Qt::Key_F5:
            if (GetCount() != 0)
                RefreshAll();
            event->accept();
            return;
        case Qt::Key_Asterisk:
            // Only the current item opens (expanding every descendant would read whole
            // disks), read on the worker as a click on its button would.
            if (const TreeNode* current = model_->Node(GetSelected()))
                expand(model_->IndexOf(current));
            event->accept();
            return;
        default:
            QTreeView::keyPressEvent(event);
    }
}

void TFolderTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // A right press only names the item under the mouse; it never selects.
        hitItem_ = GetNodeAt(event->position().toPoint().x(), event->position().toPoint().y());
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void TFolderTree::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void TFolderTree::mouseDoubleClickEvent(QMouseEvent* event) {
    doubleClicked_ = true;
    emit OnDblClick(this);
    const QPoint at = event->position().toPoint();
    const HTREEITEM item = GetNodeAt(at.x(), at.y());
    if (explorerMenu_ && event->button() == Qt::LeftButton && item && IsFileItem(item)) {
        OnDefaultHandler(item);
    }
    QTreeView::mouseDoubleClickEvent(event);
}
