#pragma once
// The folder tree's handles on the namespace: an owning identifier holder (CShellPidl), the
// identifier helpers and the folder and enumerator pointers. Identifiers are lists of item
// names (platform::ItemIdList); "null" and "empty" (the desktop) stay distinct throughout.

#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellNamespace.h"

#include <cstddef>
#include <memory>
#include <string>

using SShellFolderPtr = std::shared_ptr<const platform::ShellFolder>;
using SEnumIDListPtr = std::unique_ptr<platform::ShellEnumerator>;
using SNamespacePtr = std::shared_ptr<const platform::ShellNamespace>;

// Holds one identifier, or none (null).
class CShellPidl {
  public:
    CShellPidl() = default;
    explicit CShellPidl(platform::ItemIdList pidl) : pidl_(std::move(pidl)) {}
    CShellPidl(const platform::ItemIdList& first, const platform::ItemIdList& second);

    // Takes the identifier; the holder must be empty (a held one is replaced and reported).
    void Attach(platform::ItemIdList pidl);
    platform::ItemIdList Detach();
    const platform::ItemIdList& Get() const { return pidl_; }
    bool IsValid() const { return !pidl_.IsNull(); }

  private:
    platform::ItemIdList pidl_;
};

// Bytes of the classic encoding without the terminator; 0 for null and for the empty list.
std::size_t PidlGetSize(const platform::ItemIdList& pidl);
// The items after the first; null for null, the empty list and a one-item list.
platform::ItemIdList PidlNext(const platform::ItemIdList& pidl);
// The last item; the list itself when it holds one item or none.
platform::ItemIdList PidlLast(const platform::ItemIdList& pidl);
platform::ItemIdList PidlCopy(const platform::ItemIdList& pidl);
// `first`'s items then `second`'s; null only when both are null.
platform::ItemIdList PidlCombine(const platform::ItemIdList& first,
                                 const platform::ItemIdList& second);
// All items but the last (a one-item list gives the empty list).
platform::ItemIdList PidlCopyParent(const platform::ItemIdList& pidl);
platform::ItemIdList PidlFromPath(const platform::ShellNamespace& space, const std::string& path);
// Empty for virtual items and null.
std::string PidlToPath(const platform::ShellNamespace& space, const platform::ItemIdList& pidl);
