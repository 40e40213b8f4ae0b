#pragma once
// One folder of the namespace: the desktop, the computer node or a file-system folder.
// It reads its items, answers their attributes, names and order, and renames them.
// A folder object holds no open handle and may be used from any thread.

#include "platform/shell/ItemIdList.h"
#include "platform/shell/NameOrder.h"
#include "platform/shell/ShellTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class ShellNamespace;

// Yields a folder's items one at a time.
class ShellEnumerator {
  public:
    virtual ~ShellEnumerator() = default;
    // False when no item is left.
    virtual bool Next(ShellEntry& entry) = 0;
};

struct RenameResult {
    ItemIdList item;  // the renamed item's new one-item identifier; null on failure
    int error = 0;    // errno of the failure, 0 on success
    bool Succeeded() const { return error == 0; }
};

class ShellFolder {
  public:
    ShellFolder(std::shared_ptr<const ShellNamespace> space, ItemIdList id, ShellLocation location);

    const ItemIdList& Id() const { return id_; }
    const ShellLocation& Location() const { return location_; }
    const ShellNamespace& Namespace() const { return *space_; }

    // Null when the folder cannot be opened (a missing folder, no medium, no permission).
    std::unique_ptr<ShellEnumerator> EnumObjects(unsigned flags) const;
    // The requested bits that hold for the item. `scope` (enumeration flags) decides whether
    // hidden subfolders count for HasSubfolder. An item that does not exist has none.
    std::uint32_t GetAttributesOf(const ItemIdList& relative, std::uint32_t requested,
                                  unsigned scope = EnumFlag::IncludeHidden) const;
    std::string GetDisplayNameOf(const ItemIdList& relative, NameKind kind) const;
    // Two identifiers relative to this folder, in the namespace's order (a total order:
    // virtual items in their fixed order, folders before files, natural names, bytes).
    int CompareIDs(const ItemIdList& a, const ItemIdList& b) const;
    // The fixed place of a direct child among its siblings.
    int RankOf(std::string_view childName) const;
    // Renames a direct child in place, never replacing an existing item. Refuses empty
    // names, names with '/', "." and "..", and items that are not plain file-system items.
    RenameResult SetNameOf(const ItemIdList& relative, std::string_view newName) const;
    // The folder object of a descendant; this folder itself for the empty list.
    std::shared_ptr<const ShellFolder> BindToObject(const ItemIdList& relative) const;

  private:
    ShellLocation LocationOf(const ItemIdList& relative) const;
    ItemOrderKey OrderKeyOf(const std::string& name, std::string& pathStore) const;

    std::shared_ptr<const ShellNamespace> space_;
    ItemIdList id_;
    ShellLocation location_;
};

}  // namespace platform
