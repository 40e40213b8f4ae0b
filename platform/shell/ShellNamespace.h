#pragma once
// The namespace over the file system. The desktop (empty identifier) holds "Home" (the
// user's home folder) and "Computer" (virtual), which holds the drives of the volume table,
// "/" shown as "File System" first. A path resolves through the longest matching root.
// Immutable after construction apart from the volume table's own cache; safe to use from
// several threads at once.

#include "platform/VolumeTable.h"
#include "platform/shell/DirectoryAccess.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellTypes.h"

#include <memory>
#include <string>
#include <string_view>

namespace platform {

class DirectoryReader;
class ShellFolder;

class ShellNamespace : public std::enable_shared_from_this<ShellNamespace> {
  public:
    static constexpr const char* kHomeKey = ":home";
    static constexpr const char* kComputerKey = ":computer";

    // `volumes` must outlive the namespace; `home` is an absolute path.
    static std::shared_ptr<const ShellNamespace> Create(const VolumeTable& volumes,
                                                        std::string home,
                                                        DirectoryAccess access = {});
    // Over the system's volume table and $HOME.
    static std::shared_ptr<const ShellNamespace> System();

    const VolumeTable& Volumes() const { return volumes_; }
    const std::string& Home() const { return home_; }
    const DirectoryAccess& Access() const { return access_; }
    // Opens a folder for reading its entries (any thread; it may wait as long as the file
    // system makes it). Never null: a folder that cannot be opened gives a closed reader.
    std::unique_ptr<DirectoryReader> OpenDirectory(const std::string& path) const;

    ShellLocation Locate(const ItemIdList& absolute) const;
    // The location of the item `name` inside `parent`; Invalid when no such item can exist.
    ShellLocation ChildLocation(const ShellLocation& parent, const std::string& name) const;
    // An existing absolute path to its identifier; null for a missing or relative path.
    ItemIdList ParseDisplayName(std::string_view path) const;
    // The file-system path of an identifier; empty for virtual items and null.
    std::string PathOf(const ItemIdList& absolute) const;

    std::shared_ptr<const ShellFolder> Desktop() const;
    // A folder object for the identifier (no disk access; a folder that cannot be read
    // fails when it is enumerated). Null for null and invalid identifiers.
    std::shared_ptr<const ShellFolder> BindToFolder(const ItemIdList& absolute) const;
    // Absolute identifiers in the namespace's order; 0 only for identical lists.
    int CompareIDs(const ItemIdList& a, const ItemIdList& b) const;

  private:
    ShellNamespace(const VolumeTable& volumes, std::string home, DirectoryAccess access);

    const VolumeTable& volumes_;
    std::string home_;
    DirectoryAccess access_;
};

// Lexical normal form of an absolute path: no empty, "." or ".." components, no trailing
// '/'. Empty for a relative path.
std::string NormalizePath(std::string_view path);
// `path` is `root` or lies below it.
bool PathIsWithin(std::string_view path, std::string_view root);
// A name that may be a single path component.
bool IsValidItemName(std::string_view name);

}  // namespace platform
