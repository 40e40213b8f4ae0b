// TFolderTree: following changes on disk. The watcher's threads report watched roots; the
// reports are collected for kBatchDelayMs after the last one, then a snapshot of the
// expanded items below them goes to the refresh thread, and what it found changed is
// applied here, unless the tree has been rebuilt meanwhile.

#include "Components/PkgFolder/FolderTree.h"

#include "Components/PkgFolder/FolderTreeLog.h"

#include <sys/stat.h>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

bool IsWithinAny(const std::string& path, const std::vector<std::string>& roots) {
    return std::any_of(roots.begin(), roots.end(),
                       [&](const std::string& root) { return platform::PathIsWithin(path, root); });
}

const std::string& NameOf(const TVITEMDATA& data) {
    return data.relative.Get().LastItem();
}

const std::string& NameOf(const TreeNode& node) {
    return NameOf(*node.data);
}

// The path of an item in a file-system folder, from the folder's own path: asking the
// namespace would read the mount table for every item.
std::string ChildPath(const TVITEMDATA& data) {
    const platform::ShellLocation& parent = data.folder->Location();
    if (!parent.IsFileSystem() || data.relative.Get().Count() != 1)
        return {};
    return (parent.path == "/" ? std::string() : parent.path) + "/" + NameOf(data);
}

}  // namespace

// ---- Set-up, watching ---------------------------------------------------------------------

void TFolderTree::SetUpChangeFollowing() {
    followTimer_.setSingleShot(true);
    followTimer_.setInterval(kBatchDelayMs);
    connect(&followTimer_, &QTimer::timeout, this, &TFolderTree::OnChangeFollowTimer);
    followWaker_ = std::make_unique<platform::UiWaker>([this] { OnFollowWake(); });
    refresher_ =
        std::make_unique<RefreshWorker>([this](RefreshResult& result) { ApplyRefresh(result); });
    watcher_ =
        std::make_unique<TWatcher>([this](const std::string& path) { OnFolderChange(path); });
    watcher_->SetWatchFiles(showFiles_);
    watcher_->SetDelay(kWatchDelayMs);
    model_->SetRemovalObserver([this](const TreeNode& node) { ForgetItem(node); });
    driveTimer_.setSingleShot(true);
    driveTimer_.setInterval(kDriveDelayMs);
    connect(&driveTimer_, &QTimer::timeout, this, &TFolderTree::OnDriveRefresh);
    StartMountMonitor();
    SetUpWatches();
}

void TFolderTree::StopChangeFollowing() {
    // The watcher revokes its handler and joins its threads, so no report arrives after
    // this; then the refresh thread ends, and its results still queued are dropped.
    model_->SetRemovalObserver(nullptr);
    watchUpdateTimer_.stop();
    watches_.reset();
    watcher_.reset();
    refresher_.reset();
    followTimer_.stop();
    followWaker_.reset();
    driveTimer_.stop();
    mountMonitor_.reset();
}

void TFolderTree::PauseWatching() {
    if (watcher_)
        watcher_->SetPaused(true);
}

void TFolderTree::ResumeWatching() {
    if (!watcher_)
        return;
    watcher_->SetWatchFiles(showFiles_);
    watcher_->SetPaused(false);
}

void TFolderTree::WatchDrives() {
    if (!watcher_)
        return;
    // A desktop tree follows its drives, also when it replaces a root folder's tree.
    watcher_->StopAll();
    watcher_->SetPaused(false);
    watcher_->SetWatchFiles(showFiles_);
    watcher_->WatchDrives(space_->Volumes());
    ScheduleWatchUpdate();  // the roots take their share of the budget
}

std::string TFolderTree::ItemPath(const TreeNode& node) const {
    std::string path = ChildPath(*node.data);
    return path.empty() ? PidlToPath(*space_, node.data->absolute.Get()) : path;
}

// ---- Batching -----------------------------------------------------------------------------

void TFolderTree::OnFolderChange(const std::string& path) {
    if (path.empty())
        return;
    {
        std::lock_guard lock(pendingMutex_);
        if (std::find(pendingChanges_.begin(), pendingChanges_.end(), path) ==
            pendingChanges_.end())
            pendingChanges_.push_back(path);
    }
    // The timer belongs to the UI thread: the restart is queued there.
    followWaker_->Post();
}

void TFolderTree::OnFollowWake() {
    if (state() == QAbstractItemView::EditingState) {
        followDeferred_ = true;
        return;
    }
    followTimer_.start(kBatchDelayMs);  // every report restarts the batch window
}

void TFolderTree::RestartFollowTimer() {
    if (!followDeferred_)
        return;
    followDeferred_ = false;
    followTimer_.start(kBatchDelayMs);
}

void TFolderTree::OnChangeFollowTimer() {
    followTimer_.stop();
    if (state() == QAbstractItemView::EditingState) {
        followDeferred_ = true;
        return;
    }
    std::vector<std::string> roots;
    {
        std::lock_guard lock(pendingMutex_);
        roots.swap(pendingChanges_);
    }
    if (roots.empty() || !refresher_)
        return;
    refresher_->Submit(TakeSnapshot(roots));
}

// ---- Snapshot -----------------------------------------------------------------------------

RefreshBatch TFolderTree::TakeSnapshot(const std::vector<std::string>& roots) const {
    RefreshBatch batch;
    batch.generation = generation_;
    const TreeNode& top = *model_->Node(TVI_ROOT);
    bool readTop = false;
    if (singleRoot_) {
        // A tree built around a root folder shows that folder's items at the top level.
        const std::string path = rootDir_.toStdString();
        if (IsWithinAny(path, roots)) {
            RefreshFolder folder;
            folder.item = TVI_ROOT;
            folder.path = path;
            folder.readChildren = true;
            folder.folder = space_->BindToFolder(PidlFromPath(*space_, path));
            folder.options = OptionsFor(CurrentItemFlags());
            for (const auto& child : top.children) {
                if (IsValidItemData(child->data.get()))
                    folder.childNames.push_back(NameOf(*child));
            }
            batch.folders.push_back(std::move(folder));
            readTop = true;
        }
    }
    CollectRefreshFolders(top, readTop, roots, batch);
    return batch;
}

void TFolderTree::CollectRefreshFolders(const TreeNode& node, bool read,
                                        const std::vector<std::string>& roots,
                                        RefreshBatch& batch) const {
    for (const auto& child : node.children) {
        if (!IsValidItemData(child->data.get()))
            continue;
        const bool expanded = child->expandedOnce && !child->populating;
        // A child of a folder that is read is in that folder's listing.
        if (read && !expanded)
            continue;
        const std::string path = ItemPath(*child);
        bool readChild = false;
        if (!path.empty() && IsWithinAny(path, roots)) {
            readChild = expanded && child->data->isFolder;
            batch.folders.push_back(SnapshotOf(*child, path, readChild));
        }
        if (expanded)
            CollectRefreshFolders(*child, readChild, roots, batch);
    }
}

namespace {

// A folder whose button the pass works out: one the tree has not read (an opened one shows
// what its read found).
bool IsUnopenedFolder(const TreeNode& node) {
    return IsValidItemData(node.data.get()) && node.data->isFolder && !node.expandedOnce &&
           !node.populating && node.children.empty();
}

}  // namespace

RefreshFolder TFolderTree::SnapshotOf(const TreeNode& node, const std::string& path,
                                      bool read) const {
    RefreshFolder folder;
    folder.item = node.handle;
    folder.path = path;
    folder.readChildren = read;
    if (!read && !IsUnopenedFolder(node))
        return folder;
    folder.folder = space_->BindToFolder(node.data->absolute.Get());
    folder.options = OptionsFor(EnumerationFlagsOf(node));
    if (!read) {
        folder.ownKnown = node.WorkedOut();
        return folder;  // only its own button is worked out
    }
    folder.childNames.reserve(node.children.size());
    for (const auto& child : node.children) {
        if (!IsValidItemData(child->data.get()))
            continue;
        folder.childNames.push_back(NameOf(*child));
        if (IsUnopenedFolder(*child))
            folder.unopenedChildren.push_back({NameOf(*child), child->WorkedOut()});
    }
    return folder;
}

// ---- Applying -----------------------------------------------------------------------------

void TFolderTree::ApplyRefresh(RefreshResult& result) {
    if (result.generation != generation_)
        return;  // the tree was rebuilt: the handles name items that are gone
    // Items come and go above the rows on screen: those rows stay where they are.
    const std::vector<ScreenRow> onScreen = ScreenRows();
    for (RefreshChange& change : result.changes)
        ApplyChange(change);
    KeepRowsInPlace(onScreen);
    viewport()->update();
}

void TFolderTree::ApplyChange(RefreshChange& change) {
    TreeNode* node = model_->Node(change.item);
    if (!node)
        return;
    if (change.state == RefreshChange::State::Gone) {
        if (node != model_->Root())
            DeleteRefreshedItem(node);
        return;
    }
    if (change.state == RefreshChange::State::Unreadable || node->populating)
        return;
    if (!node->expandedOnce) {
        // An item whose folder was not read (a drive or a folder never opened, below an
        // item that is not read either): the pass worked out its own button.
        SetButton(node, change.ownButton);
        return;
    }
    // A folder whose children all went, and nothing came instead, is collapsed to be read
    // anew when it is opened again. One whose children were all replaced (another file
    // system mounted on it, or the one on top unmounted) stays open and shows the new ones.
    if (RemoveGoneChildren(node, change.removed, change.added.empty())) {
        if (TreeNode* again = model_->Node(change.item))
            SetButton(again, change.ownButton);
        return;
    }
    node = model_->Node(change.item);
    if (!node)
        return;
    InsertSorted(node, std::move(change.added));
    SetButtons(node, change.buttons);
    // Icons are worked out again when they are next drawn (no disk access).
    for (const auto& child : node->children)
        child->iconKind = -1;
    model_->NotifyChildrenChanged(node);
}

void TFolderTree::SetButton(TreeNode* node, const TreeNode::WorkedOutButton& button) {
    if (node == model_->Root() || button.state == TreeNode::ChildState::Unknown ||
        node->expandedOnce || !node->children.empty())
        return;
    node->SetWorkedOut(button);
    if (node->childState == button.state)
        return;
    node->childState = button.state;
    model_->NotifyChanged(node);
}

void TFolderTree::SetButtons(
    TreeNode* node, const std::vector<std::pair<std::string, TreeNode::WorkedOutButton>>& buttons) {
    const auto set = [](TreeNode& child, const TreeNode::WorkedOutButton& button) {
        child.SetWorkedOut(button);
        child.childState = button.state;
    };
    // The buttons come in the order of the children when the snapshot was taken; children
    // added or taken by the pass leave that order as it was, so one walk finds them.
    std::size_t next = 0;
    for (const auto& child : node->children) {
        if (next == buttons.size())
            break;
        if (!IsValidItemData(child->data.get()) || NameOf(*child) != buttons[next].first)
            continue;
        if (IsUnopenedFolder(*child))
            set(*child, buttons[next].second);
        ++next;
    }
    if (next == buttons.size())
        return;
    // A child renamed or deleted meanwhile: the others are found by name.
    std::unordered_map<std::string_view, const TreeNode::WorkedOutButton*> rest;
    for (std::size_t i = next; i < buttons.size(); ++i)
        rest.emplace(buttons[i].first, &buttons[i].second);
    for (const auto& child : node->children) {
        if (!IsUnopenedFolder(*child))
            continue;
        if (const auto found = rest.find(NameOf(*child)); found != rest.end())
            set(*child, *found->second);
    }
}

bool TFolderTree::RemoveGoneChildren(TreeNode* node, const std::vector<std::string>& removed,
                                     bool collapseWhenEmptied) {
    if (removed.empty())
        return false;
    const HTREEITEM item = node->handle;
    const std::unordered_set<std::string_view> gone(removed.begin(), removed.end());
    const auto isGone = [&gone](const TreeNode& child) {
        return IsValidItemData(child.data.get()) && gone.count(NameOf(child)) != 0;
    };
    // The selection inside a deleted subtree moves to the folder first.
    for (const TreeNode* walk = model_->Node(GetSelected()); walk; walk = walk->parent) {
        if (walk->parent == node) {
            if (isGone(*walk) && node != model_->Root())
                SetSelected(item);
            break;
        }
    }
    node = model_->Node(item);  // a selection handler may have changed the tree
    if (!node)
        return false;
    // Neighbours go together, the last ones first, so the rows before them stay numbered:
    // a thousand folders gone from a folder of 100,000 cost no renumbering in between.
    bool removedAny = false;
    for (int end = static_cast<int>(node->children.size()); end > 0;) {
        if (!isGone(*node->children[end - 1])) {
            --end;
            continue;
        }
        int first = end - 1;
        while (first > 0 && isGone(*node->children[first - 1]))
            --first;
        model_->RemoveRange(node, first, end - first);
        removedAny = true;
        end = first;
    }
    if (!collapseWhenEmptied || !removedAny || node == model_->Root() || !node->children.empty())
        return false;
    CollapseReset(node);
    return true;
}

void TFolderTree::InsertSorted(TreeNode* node, std::vector<std::unique_ptr<TreeNode>> added) {
    if (added.empty())
        return;
    // A pass computed before an earlier one was applied may bring a child again. The names
    // are viewed where the items keep them, which no insertion moves.
    std::unordered_set<std::string_view> present;
    present.reserve(node->children.size() + added.size());
    for (const auto& child : node->children) {
        if (IsValidItemData(child->data.get()))
            present.insert(NameOf(*child));
    }
    const auto less = [](const std::unique_ptr<TreeNode>& a, const std::unique_ptr<TreeNode>& b) {
        if (!IsValidItemData(a->data.get()) || !IsValidItemData(b->data.get()))
            return !IsValidItemData(a->data.get()) && IsValidItemData(b->data.get());
        return CompareItemData(*a->data, *b->data) < 0;
    };
    std::vector<std::pair<int, std::unique_ptr<TreeNode>>> placed;
    for (auto& item : added) {
        if (!IsValidItemData(item->data.get()) || !present.insert(NameOf(*item)).second)
            continue;
        const auto place =
            std::lower_bound(node->children.begin(), node->children.end(), item, less);
        placed.emplace_back(static_cast<int>(place - node->children.begin()), std::move(item));
    }
    std::stable_sort(placed.begin(), placed.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : less(a.second, b.second);
    });
    // Items of one place go in one step, the last place first, so the places found stay
    // right and the rows before them stay numbered.
    for (std::size_t end = placed.size(); end > 0;) {
        std::size_t first = end - 1;
        while (first > 0 && placed[first - 1].first == placed[end - 1].first)
            --first;
        std::vector<std::unique_ptr<TreeNode>> run;
        for (std::size_t i = first; i < end; ++i)
            run.push_back(std::move(placed[i].second));
        model_->Insert(node, std::move(run), placed[first].first);
        end = first;
    }
    if (!placed.empty() && node != model_->Root() && node->childState == TreeNode::ChildState::No) {
        node->childState = TreeNode::ChildState::Yes;
        model_->NotifyChanged(node);
    }
}

void TFolderTree::DeleteRefreshedItem(TreeNode* node) {
    const HTREEITEM item = node->handle;
    // The selection inside a deleted subtree moves to the subtree's parent first.
    for (const TreeNode* walk = model_->Node(GetSelected()); walk; walk = walk->parent) {
        if (walk == node) {
            if (node->parent && node->parent != model_->Root())
                SetSelected(node->parent->handle);
            break;
        }
    }
    node = model_->Node(item);  // a selection handler may have changed the tree
    if (!node)
        return;
    TreeNode* parent = node->parent;
    const bool onlyChild = parent && parent != model_->Root() && parent->children.size() == 1;
    model_->Remove(node);
    // The parent of an only child shows no button until it is read again.
    if (onlyChild)
        CollapseReset(parent);
}

void TFolderTree::CollapseReset(TreeNode* node) {
    node->expandedOnce = false;
    node->childState = TreeNode::ChildState::Unknown;
    quietExpansion_ = true;
    collapse(model_->IndexOf(node));
    quietExpansion_ = false;
    model_->NotifyChanged(node);
}

// ---- Refreshing on request ----------------------------------------------------------------

void TFolderTree::DoRefreshDir(const QString& path) {
    const std::string target = path.toStdString();
    struct stat st {};
    if (target.empty() || ::stat(target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    if (!singleRoot_ && !SFFindItem(PidlFromPath(*space_, target)))
        return;  // a folder the tree does not show
    RefreshResult result =
        ComputeRefresh(TakeSnapshot({singleRoot_ ? rootDir_.toStdString() : target}));
    ApplyRefresh(result);
}

bool TFolderTree::PopulateNewItem(HTREEITEM item) {
    if (item == TVI_ROOT) {
        FolderTreeAssert("TFolderTree::PopulateNewItem", __LINE__);
        return true;
    }
    TreeNode* node = model_->Node(item);
    if (!node || !node->data)
        return true;
    if (!IsValidItemData(node->data.get())) {
        FolderTreeAssert("TFolderTree::PopulateNewItem", __LINE__);
        return false;
    }
    const SShellFolderPtr folder = space_->BindToFolder(node->data->absolute.Get());
    PopulationOutcome outcome =
        ReadChildren(folder, OptionsFor(EnumerationFlagsOf(*node)), {}, {}, 0);
    if (outcome.opened) {
        InsertSorted(node, std::move(outcome.children));
        worker_->SubmitButtons(item, generation_, std::move(outcome.pendingButtons));
    }
    return IsOnFixedDrive(*node);
}
