#include "Components/PkgFolder/ShellWrappers.h"

#include "Components/PkgFolder/FolderTreeLog.h"

using platform::ItemIdList;

CShellPidl::CShellPidl(const ItemIdList& first, const ItemIdList& second)
    : pidl_(PidlCombine(first, second)) {}

void CShellPidl::Attach(ItemIdList pidl) {
    if (IsValid())
        FolderTreeAssert("CShellPidl::Attach", __LINE__);
    pidl_ = std::move(pidl);
}

ItemIdList CShellPidl::Detach() {
    ItemIdList out = std::move(pidl_);
    pidl_ = ItemIdList::Null();
    return out;
}

std::size_t PidlGetSize(const ItemIdList& pidl) {
    std::size_t size = 0;
    for (const std::string& item : pidl.Items())
        size += ItemIdList::EncodedItemSize(item);
    return size;
}

ItemIdList PidlNext(const ItemIdList& pidl) {
    if (pidl.Count() < 2)
        return ItemIdList::Null();
    return ItemIdList(std::vector<std::string>(pidl.Items().begin() + 1, pidl.Items().end()));
}

ItemIdList PidlLast(const ItemIdList& pidl) {
    if (pidl.Count() <= 1)
        return pidl;
    return pidl.ItemAt(pidl.Count() - 1);
}

ItemIdList PidlCopy(const ItemIdList& pidl) {
    return PidlCombine(ItemIdList::Null(), pidl);
}

ItemIdList PidlCombine(const ItemIdList& first, const ItemIdList& second) {
    return first.Appended(second);
}

ItemIdList PidlCopyParent(const ItemIdList& pidl) {
    if (pidl.IsNull())
        return ItemIdList::Null();
    if (pidl.Count() <= 1)
        return ItemIdList::Empty();
    return pidl.Parent();
}

ItemIdList PidlFromPath(const platform::ShellNamespace& space, const std::string& path) {
    return space.ParseDisplayName(path);
}

std::string PidlToPath(const platform::ShellNamespace& space, const ItemIdList& pidl) {
    return space.PathOf(pidl);
}
