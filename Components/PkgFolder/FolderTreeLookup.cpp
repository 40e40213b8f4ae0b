// TFolderTree: identifiers of tree items and finding the item that shows an identifier or
// a path. None of these changes the selection.

#include "Components/PkgFolder/FolderTree.h"

#include "platform/shell/ShellNamespace.h"

using platform::ItemIdList;

std::size_t TFolderTree::SFGetPidlSize(const ItemIdList& pidl) {
    return pidl.IsNull() ? 0 : PidlGetSize(pidl) + 2;
}

ItemIdList TFolderTree::SFPidlCpy(const ItemIdList& pidl) {
    return pidl;
}

ItemIdList TFolderTree::SFPidlCat(const ItemIdList& first, const ItemIdList& second) {
    if (first.IsNull())
        return ItemIdList::Null();
    return (second.IsNull() ? ItemIdList::Empty() : second).Appended(first);
}

ItemIdList TFolderTree::SFPidlCatOnlyOne(const ItemIdList& first, const ItemIdList& second) {
    if (first.IsNull())
        return ItemIdList::Null();
    return (second.IsNull() ? ItemIdList::Empty() : second).Appended(first.Prefix(1));
}

ItemIdList TFolderTree::SFGetTreeItemPidl(HTREEITEM item) const {
    const TVITEMDATA* data = GetItemData(item);
    if (!data || data->relative.Get().IsNull())
        return ItemIdList::Null();
    ItemIdList result = SFPidlCpy(data->relative.Get());
    for (HTREEITEM parent = GetParentItem(item); parent; parent = GetParentItem(parent)) {
        const TVITEMDATA* parentData = GetItemData(parent);
        if (!parentData)
            return ItemIdList::Null();
        result = SFPidlCat(result, parentData->relative.Get());
    }
    return result;
}

namespace {

// Two equal identifiers end in the same item. Comparing whole identifiers (rebuilt from an
// item's ancestors) costs allocations per child, too much for every sibling in a folder of
// 100,000 items; so siblings are passed over by their last item, and the namespace's
// comparison confirms the one candidate.
bool EndsWith(const ItemIdList& pidl, const std::string& name) {
    return pidl.Count() != 0 && pidl.LastItem() == name;
}

// Walks from the desktop root one level per identifier item; `expand` reads levels that
// were never expanded, otherwise such a level ends the walk.
template <typename Expand>
HTREEITEM WalkToItem(const TFolderTree& tree, const ItemIdList& pidl, Expand expand) {
    if (pidl.IsNull())
        return 0;
    HTREEITEM current = tree.GetRootItem();
    ItemIdList prefix = ItemIdList::Empty();
    for (std::size_t depth = 0; current && depth < pidl.Count(); ++depth) {
        if (!tree.IsExpandedOnce(current) && !expand(current))
            return 0;
        prefix = prefix.Appended(pidl.ItemAt(depth));
        HTREEITEM match = 0;
        for (HTREEITEM child = tree.GetFirstChild(current); child && !match;
             child = tree.GetNextSibling(child)) {
            const TVITEMDATA* data = tree.GetItemData(child);
            if (!data || !EndsWith(data->relative.Get(), pidl.Item(depth)))
                continue;
            const ItemIdList full = tree.SFGetTreeItemPidl(child);
            if (!full.IsNull() && tree.Namespace().CompareIDs(full, prefix) == 0)
                match = child;
        }
        current = match;
    }
    return current;
}

}  // namespace

HTREEITEM TFolderTree::SFFindTreeItem(const ItemIdList& pidl) {
    return WalkToItem(*this, pidl, [this](HTREEITEM item) {
        ExpandItemNow(item);
        return true;
    });
}

HTREEITEM TFolderTree::SFFindItem(const ItemIdList& pidl) const {
    return WalkToItem(*this, pidl, [](HTREEITEM) { return false; });
}

HTREEITEM TFolderTree::SFindItem(HTREEITEM parent, const SShellFolderPtr& folder,
                                 const ItemIdList& parentPidl, const ItemIdList& childPidl) const {
    if (!parent || !folder || parentPidl.IsNull() || childPidl.IsNull())
        return 0;
    const CShellPidl target(parentPidl, childPidl);
    if (target.Get().Count() == 0)
        return 0;
    const std::string& name = target.Get().LastItem();
    for (HTREEITEM child = GetFirstChild(parent); child; child = GetNextSibling(child)) {
        const TVITEMDATA* data = GetItemData(child);
        if (IsValidItemData(data) && EndsWith(data->absolute.Get(), name) &&
            space_->CompareIDs(data->absolute.Get(), target.Get()) == 0)
            return child;
    }
    return 0;
}

HTREEITEM TFolderTree::SFindNoRoot(CShellPidl pidl) {
    if (!pidl.IsValid())
        return 0;
    const std::string target = PidlToPath(*space_, pidl.Get());
    HTREEITEM item = GetRootItem();
    while (item) {
        const TVITEMDATA* data = GetItemData(item);
        if (!IsValidItemData(data)) {
            item = GetNextSibling(item);
            continue;
        }
        const std::string path = ItemPath(*model_->Node(item));
        if (path == target)
            return item;
        // Descend only into a folder that holds the target: equal, or followed by '/'.
        if (!path.empty() && platform::PathIsWithin(target, path)) {
            if (!IsExpandedOnce(item))
                ExpandItemNow(item);
            item = GetFirstChild(item);
        } else {
            item = GetNextSibling(item);
        }
    }
    return 0;
}
