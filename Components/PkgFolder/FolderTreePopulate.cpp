// TFolderTree: items, filling the tree from the namespace, children buttons and icons.

#include "Components/PkgFolder/FolderTree.h"

#include "Components/PkgFolder/ChildButtons.h"
#include "Components/PkgFolder/ExtFilter.h"
#include "Components/PkgFolder/FolderTreeLog.h"
#include "platform/shell/SubfolderProbe.h"

#include <QScrollBar>

#include <climits>
#include <string_view>
#include <unordered_map>

using platform::ItemIdList;
using platform::ShellLocation;
namespace Attr = platform::ShellAttr;

// ---- Items --------------------------------------------------------------------------------

TVITEMDATA* TFolderTree::GetItemData(HTREEITEM item) const {
    const TreeNode* node = item == TVI_ROOT ? nullptr : model_->Node(item);
    return node ? node->data.get() : nullptr;
}

CShellPidl TFolderTree::GetItemIDList(HTREEITEM item) const {
    const TVITEMDATA* data = GetItemData(item);
    if (!data)
        return {};
    if (!IsValidItemData(data)) {
        FolderTreeAssert("TFolderTree::GetItemIDList", __LINE__);
        return {};
    }
    return CShellPidl(PidlCopy(data->absolute.Get()));
}

QString TFolderTree::GetItemText(HTREEITEM item) const {
    const TreeNode* node = item == TVI_ROOT ? nullptr : model_->Node(item);
    return node ? node->text : QString();
}

int TFolderTree::GetCount() const {
    return model_->Count();
}

HTREEITEM TFolderTree::GetSelected() const {
    const TreeNode* node = model_->NodeOf(currentIndex());
    return node ? node->handle : 0;
}

void TFolderTree::SetSelected(HTREEITEM item) {
    TreeNode* node = item ? model_->Node(item) : model_->Node(GetRootItem());
    if (!node || node == model_->Root())
        return;
    const QModelIndex index = model_->IndexOf(node);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

HTREEITEM TFolderTree::GetNodeAt(int x, int y) const {
    const TreeNode* node = model_->NodeOf(indexAt(QPoint(x, y)));
    return node ? node->handle : 0;
}

std::vector<TFolderTree::ScreenRow> TFolderTree::ScreenRows() const {
    std::vector<ScreenRow> rows;
    const int height = viewport()->height();
    for (QModelIndex index = indexAt(QPoint(0, 0)); index.isValid(); index = indexBelow(index)) {
        const int top = visualRect(index).top();
        if (top >= height)
            break;
        rows.push_back({model_->NodeOf(index)->handle, top});
    }
    return rows;
}

void TFolderTree::KeepRowsInPlace(const std::vector<ScreenRow>& rows) {
    executeDelayedItemsLayout();
    for (const ScreenRow& row : rows) {
        const QModelIndex index = model_->IndexOf(model_->Node(row.item));
        const QRect rect = index.isValid() ? visualRect(index) : QRect();
        if (!rect.isValid())
            continue;  // deleted, or inside a folder that was collapsed
        const int delta = rect.top() - row.top;
        QScrollBar* bar = verticalScrollBar();
        if (verticalScrollMode() == QAbstractItemView::ScrollPerPixel)
            bar->setValue(bar->value() + delta);
        else if (const int height = rowHeight(index); height > 0)
            bar->setValue(bar->value() + delta / height);
        return;
    }
}

HTREEITEM TFolderTree::GetRootItem() const {
    const TreeNode* root = model_->Node(TVI_ROOT);
    return root->children.empty() ? 0 : root->children.front()->handle;
}

HTREEITEM TFolderTree::GetParentItem(HTREEITEM item) const {
    const TreeNode* node = item == TVI_ROOT ? nullptr : model_->Node(item);
    if (!node || !node->parent || node->parent->handle == TVI_ROOT)
        return 0;
    return node->parent->handle;
}

HTREEITEM TFolderTree::GetFirstChild(HTREEITEM item) const {
    const TreeNode* node = model_->Node(item);
    return node && !node->children.empty() ? node->children.front()->handle : 0;
}

HTREEITEM TFolderTree::GetNextSibling(HTREEITEM item) const {
    const TreeNode* node = item == TVI_ROOT ? nullptr : model_->Node(item);
    if (!node || !node->parent)
        return 0;
    const auto& siblings = node->parent->children;
    const std::size_t next = static_cast<std::size_t>(node->Row()) + 1;
    return next < siblings.size() ? siblings[next]->handle : 0;
}

bool TFolderTree::IsItemExpanded(HTREEITEM item) const {
    const TreeNode* node = model_->Node(item);
    return node && isExpanded(model_->IndexOf(node));
}

bool TFolderTree::IsExpandedOnce(HTREEITEM item) const {
    const TreeNode* node = model_->Node(item);
    return node && node->expandedOnce;
}

bool TFolderTree::HasChildButton(HTREEITEM item) {
    TreeNode* node = item == TVI_ROOT ? nullptr : model_->Node(item);
    return node && model_->ResolveChildState(node);
}

int TFolderTree::GetPopulationCount(int* total) const {
    if (total)
        *total = IsPopulating() ? 0 : 1;
    return IsPopulating() ? worker_->Done() : 1;
}

// ---- Filling ------------------------------------------------------------------------------

void TFolderTree::Init() {
    if (GetCount() == 0) {
        AddRootFolderContent(ItemIdList::Null(), 0);
        const HTREEITEM root = GetRootItem();
        SetSelected(root);
        ExpandItemNow(root);
    }
    WatchDrives();
}

void TFolderTree::AddRootFolderContent(const ItemIdList& pidl, unsigned flags) {
    if (!pidl.IsNull()) {
        EnumFolderItems(TVI_ROOT, pidl, flags);
        return;
    }
    auto node = std::make_unique<TreeNode>();
    TVITEMDATA& data = node->data.emplace();
    data.folder = space_->Desktop();
    data.absolute = CShellPidl(ItemIdList::Empty());
    data.relative = CShellPidl(ItemIdList::Empty());
    data.flags = flags;
    data.isFolder = true;
    node->text = QString::fromStdString(
        data.folder->GetDisplayNameOf(ItemIdList::Empty(), platform::NameKind::InFolder));
    model_->InsertOne(model_->Root(), std::move(node), GetCount());
}

HTREEITEM TFolderTree::AddRootItem(const ItemIdList& pidl, unsigned flags) {
    if (pidl.IsNull())
        return 0;
    const SShellFolderPtr folder = space_->BindToFolder(PidlCopyParent(pidl));
    if (!folder)
        return 0;
    return InsertSubItem(TVI_ROOT, folder, folder->Id(), PidlLast(pidl), flags);
}

HTREEITEM TFolderTree::InsertSubItem(HTREEITEM parent, const SShellFolderPtr& folder,
                                     const ItemIdList& parentPidl, const ItemIdList& relativePidl,
                                     unsigned flags) {
    TreeNode* parentNode = model_->Node(parent);
    if (!parentNode || !folder || relativePidl.Count() != 1) {
        FolderTreeAssert("TFolderTree::InsertSubItem", __LINE__);
        return 0;
    }
    const std::uint32_t attributes =
        folder->GetAttributesOf(relativePidl, Attr::Folder | Attr::Link | Attr::Hidden);
    platform::ShellEntry entry;
    entry.name = relativePidl.LastItem();
    entry.folder = attributes & Attr::Folder;
    entry.link = attributes & Attr::Link;
    entry.hidden = attributes & Attr::Hidden;
    entry.rank = folder->RankOf(entry.name);
    auto node = MakeItemNode(folder, entry, flags);
    node->data->absolute = CShellPidl(parentPidl, relativePidl);
    return model_
        ->InsertOne(parentNode, std::move(node), static_cast<int>(parentNode->children.size()))
        ->handle;
}

unsigned TFolderTree::EnumerationFlagsOf(const TreeNode& node) const {
    // The desktop root keeps the flags it was made with; every other item follows the
    // properties as they are now.
    if (node.handle == GetRootItem() && node.data)
        return node.data->flags;
    return CurrentItemFlags();
}

bool TFolderTree::PopulateItem(HTREEITEM item) {
    if (item == TVI_ROOT) {
        FolderTreeAssert("TFolderTree::PopulateItem", __LINE__);
        return true;
    }
    TreeNode* node = model_->Node(item);
    if (!node || !node->data)
        return true;
    if (!IsValidItemData(node->data.get())) {
        FolderTreeAssert("TFolderTree::PopulateItem", __LINE__);
        return false;
    }
    const SShellFolderPtr folder = space_->BindToFolder(node->data->absolute.Get());
    PopulationOutcome outcome =
        ReadChildren(folder, OptionsFor(EnumerationFlagsOf(*node)), {}, {}, 0);
    const bool fixed = IsOnFixedDrive(*node);
    AdoptChildren(node, std::move(outcome), fixed);
    return fixed;
}

bool TFolderTree::EnumFolderItems(HTREEITEM parent, const ItemIdList& folderPidl, unsigned flags) {
    TreeNode* parentNode = model_->Node(parent);
    const SShellFolderPtr folder = space_->BindToFolder(folderPidl);
    if (!parentNode || !folder)
        return false;
    PopulationOutcome outcome = ReadChildren(folder, OptionsFor(flags), {}, {}, 0);
    model_->Insert(parentNode, std::move(outcome.children),
                   static_cast<int>(parentNode->children.size()));
    SortChildrenOf(parentNode);
    worker_->SubmitButtons(parent, generation_, std::move(outcome.pendingButtons));
    return true;
}

bool TFolderTree::IsNotEmpty(const std::string& path) const {
    const std::string filter = showFiles_ ? filterExt_.toStdString() : std::string();
    return platform::SubfolderProbe(*space_, false)
        .HasEntry(path, hiddenFolders_, [&filter](std::string_view name) {
            return filter.empty() || ExtensionMatchesFilter(filter, name);
        });
}

int TFolderTree::CompareFunc(const TVITEMDATA* data1, const TVITEMDATA* data2) {
    if (!IsValidItemData(data1) || !IsValidItemData(data2)) {
        FolderTreeAssert("TFolderTree::CompareFunc", __LINE__);
        return 0;
    }
    return CompareItemData(*data1, *data2);
}

bool TFolderTree::WantsRefresh(HTREEITEM) {
    return false;
}

bool TFolderTree::NeedsChildren(HTREEITEM item) const {
    return GetFirstChild(item) == 0;
}

void TFolderTree::DeleteChildren(HTREEITEM item) {
    model_->RemoveChildren(model_->Node(item));
}

// ---- Children buttons, icons, drives ------------------------------------------------------

bool TFolderTree::ProbeChildren(TreeNode& node) const {
    const TVITEMDATA* data = node.data.get();
    if (!IsValidItemData(data) || !data->isFolder)
        return false;
    ChildButtonProbe probe(*space_, filterExt_.toStdString(), showFiles_);
    return probe.StateOf(space_->Locate(data->absolute.Get()), data->flags) ==
           TreeNode::ChildState::Yes;
}

void TFolderTree::ApplyButtons(const PopulationWorker::Result& result) {
    TreeNode* node = result.generation == generation_ ? model_->Node(result.item) : nullptr;
    if (!node)
        return;
    // The children are usually where the read put them; the refresh pass may have added or
    // taken some meanwhile, and then they are found by name.
    std::unordered_map<std::string_view, TreeNode*> byName;
    const auto find = [&](const SettledButton& button) -> TreeNode* {
        const auto& children = node->children;
        if (button.index < children.size() && IsValidItemData(children[button.index]->data.get()) &&
            children[button.index]->data->relative.Get().LastItem() == button.name)
            return children[button.index].get();
        if (byName.empty()) {
            for (const auto& child : children) {
                if (IsValidItemData(child->data.get()))
                    byName.emplace(child->data->relative.Get().LastItem(), child.get());
            }
        }
        const auto found = byName.find(button.name);
        return found == byName.end() ? nullptr : found->second;
    };
    int first = INT_MAX, last = -1;
    for (const SettledButton& button : result.buttons) {
        TreeNode* child = find(button);
        // An item opened meanwhile shows what its own read found.
        if (!child || child->expandedOnce || child->populating || !child->children.empty())
            continue;
        child->SetWorkedOut(button.button);
        if (child->childState == button.button.state)
            continue;
        child->childState = button.button.state;
        first = std::min(first, child->Row());
        last = std::max(last, child->Row());
    }
    if (last >= 0)
        model_->NotifyRowsChanged(node, first, last);
}

bool TFolderTree::IsOnFixedDrive(const TreeNode& node) const {
    if (!IsValidItemData(node.data.get()))
        return true;
    const std::string path = PidlToPath(*space_, node.data->absolute.Get());
    if (path.empty())
        return true;
    return space_->Volumes().TypeOfPath(path) == platform::DriveType::Fixed;
}

QIcon TFolderTree::ItemIcon(const TreeNode& node) {
    const TVITEMDATA* data = node.data.get();
    if (!IsValidItemData(data))
        return {};
    using Kind = IconCache::Kind;
    if (node.iconKind < 0) {
        const ShellLocation location = space_->Locate(data->absolute.Get());
        Kind kind = data->isFolder ? Kind::Folder : Kind::File;
        switch (location.kind) {
            case ShellLocation::Kind::Desktop:
                kind = Kind::Desktop;
                break;
            case ShellLocation::Kind::Computer:
                kind = Kind::Computer;
                break;
            case ShellLocation::Kind::Home:
                kind = Kind::Home;
                break;
            case ShellLocation::Kind::Drive: {
                const platform::DriveType type = space_->Volumes().TypeOfPath(location.path);
                kind =
                    type == platform::DriveType::Remote ? Kind::NetworkDrive
                    : (type == platform::DriveType::Removable || type == platform::DriveType::CdRom)
                        ? Kind::RemovableDrive
                        : Kind::Drive;
                break;
            }
            default:
                break;
        }
        const_cast<TreeNode&>(node).iconKind = static_cast<int>(kind);
    }
    return icons_.Icon(static_cast<Kind>(node.iconKind), node.text, data->isHidden, data->isLink);
}
