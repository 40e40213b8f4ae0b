// TFolderTree: which of its folders are watched. What the user can see change: the rows on
// screen, the folders they lie in and the other folders shown open, within the watch
// budget; a row's watch goes when it leaves the screen or its parent collapses. The set is
// worked out again once the event loop is idle after a scroll, a resize, an expansion or a
// change of the rows, so paging through a large folder costs one update per page.

#include "Components/PkgFolder/FolderTree.h"

#include <QScrollBar>

#include <algorithm>
#include <unordered_set>

void TFolderTree::SetUpWatches() {
    watches_ =
        std::make_unique<ItemWatches>(*watcher_, WatchBudgetFor(platform::InotifyWatchLimit()));
    watchUpdateTimer_.setSingleShot(true);
    watchUpdateTimer_.setInterval(0);
    connect(&watchUpdateTimer_, &QTimer::timeout, this, &TFolderTree::UpdateWatches);
    // Connected before the view's own handlers, which may delete the item an expansion
    // names (OnExpanding receivers); the index is still good here.
    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& index) { TrackExpansion(index, true); });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& index) { TrackExpansion(index, false); });
    const auto schedule = [this] { ScheduleWatchUpdate(); };
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, schedule);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, schedule);  // resizes too
    connect(model_, &QAbstractItemModel::rowsInserted, this, schedule);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, schedule);
    connect(model_, &QAbstractItemModel::layoutChanged, this, schedule);
    connect(model_, &QAbstractItemModel::modelReset, this, schedule);
}

void TFolderTree::SetWatchBudget(int watches) {
    if (!watches_)
        return;
    watches_->SetBudget(watches);
    ScheduleWatchUpdate();
}

void TFolderTree::TrackExpansion(const QModelIndex& index, bool expanded) {
    const TreeNode* node = model_->NodeOf(index);
    if (!node)
        return;
    if (expanded)
        expandedItems_.insert(node->handle);
    else
        expandedItems_.erase(node->handle);
    ScheduleWatchUpdate();
}

void TFolderTree::ForgetItem(const TreeNode& node) {
    expandedItems_.erase(node.handle);
    if (watches_)
        watches_->Release(node.handle);
}

void TFolderTree::ScheduleWatchUpdate() {
    if (watches_ && !watchUpdateTimer_.isActive())
        watchUpdateTimer_.start();
}

bool TFolderTree::IsShownExpanded(const TreeNode& node) const {
    // Expanded, and every folder above it too: a collapse keeps the expansion state of the
    // items below, which the view shows again when it is undone.
    for (const TreeNode* walk = &node; walk && walk != model_->Root(); walk = walk->parent) {
        if (!expandedItems_.count(walk->handle))
            return false;
    }
    return true;
}

void TFolderTree::UpdateWatches() {
    if (!watches_)
        return;
    std::vector<ItemWatches::Wanted> wanted;
    std::unordered_set<HTREEITEM> seen;
    const auto want = [&](const TreeNode& node) {
        if (!seen.insert(node.handle).second || !IsValidItemData(node.data.get()) ||
            !node.data->isFolder)
            return;
        std::string path = ItemPath(node);
        if (!path.empty())
            wanted.push_back({node.handle, std::move(path)});
    };
    // The rows on screen, each after the folders it lies in (whose changes add and remove
    // rows around it), from the top; then the other folders shown open, oldest first.
    std::vector<const TreeNode*> above;
    for (const ScreenRow& onScreen : ScreenRows()) {
        const TreeNode* row = model_->Node(onScreen.item);
        if (!row)
            continue;
        above.clear();
        for (const TreeNode* up = row->parent;
             up && up != model_->Root() && !seen.count(up->handle); up = up->parent)
            above.push_back(up);
        std::for_each(above.rbegin(), above.rend(), [&](const TreeNode* node) { want(*node); });
        want(*row);
    }
    for (const HTREEITEM item : expandedItems_) {
        const TreeNode* node = model_->Node(item);
        if (node && IsShownExpanded(*node))
            want(*node);
    }
    watches_->Update(wanted);
}
