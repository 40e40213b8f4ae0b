#include "platform/shell/ShellFolder.h"

#include "platform/shell/DirectoryReader.h"
#include "platform/shell/ShellNamespace.h"
#include "platform/shell/SubfolderProbe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

namespace platform {
namespace {

using Kind = ShellLocation::Kind;

// The desktop's and the computer's items, fixed when the enumeration starts.
class ListEnumerator : public ShellEnumerator {
  public:
    explicit ListEnumerator(std::vector<ShellEntry> entries) : entries_(std::move(entries)) {}
    bool Next(ShellEntry& entry) override {
        if (next_ >= entries_.size())
            return false;
        entry = entries_[next_++];
        return true;
    }

  private:
    std::vector<ShellEntry> entries_;
    std::size_t next_ = 0;
};

class DirectoryEnumerator : public ShellEnumerator {
  public:
    DirectoryEnumerator(std::unique_ptr<DirectoryReader> reader, unsigned flags)
        : reader_(std::move(reader)), flags_(flags) {}

    bool Next(ShellEntry& entry) override {
        DirEntry dirEntry;
        while (reader_->Next(dirEntry)) {
            const bool hidden = IsHiddenName(dirEntry.name);
            if (hidden && !(flags_ & EnumFlag::IncludeHidden))
                continue;
            const bool folder = reader_->IsDirectory(dirEntry);
            if (!(flags_ & (folder ? EnumFlag::Folders : EnumFlag::NonFolders)))
                continue;
            entry.name.assign(dirEntry.name);
            entry.folder = folder;
            entry.link = reader_->IsLink(dirEntry);
            entry.hidden = hidden;
            entry.rank = 0;
            return true;
        }
        return false;
    }

  private:
    std::unique_ptr<DirectoryReader> reader_;
    unsigned flags_;
};

bool IsDirectoryPath(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The attribute answers exactly: links to folders count as subfolders, which a link count
// leaves out, so the folder is read.
bool HasSubfolderByReading(const ShellNamespace& space, const std::string& path, unsigned scope) {
    return SubfolderProbe(space, false).HasSubdirectory(path, scope & EnumFlag::IncludeHidden);
}

std::uint32_t FileSystemItemAttributes(const ShellNamespace& space, const std::string& path,
                                       std::uint32_t requested, unsigned scope) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return 0;
    std::uint32_t attributes = ShellAttr::FileSystem;
    if (S_ISLNK(st.st_mode)) {
        attributes |= ShellAttr::Link;
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0)
            st = target;
    }
    if (S_ISDIR(st.st_mode))
        attributes |= ShellAttr::Folder | ShellAttr::FileSysAncestor;
    if (IsHiddenName(BaseName(path)))
        attributes |= ShellAttr::Hidden;
    if ((requested & ShellAttr::CanRename) && ::access(ParentPath(path).c_str(), W_OK) == 0)
        attributes |= ShellAttr::CanRename;
    if ((requested & ShellAttr::HasSubfolder) && (attributes & ShellAttr::Folder) &&
        HasSubfolderByReading(space, path, scope))
        attributes |= ShellAttr::HasSubfolder;
    return attributes;
}

std::uint32_t RootAttributes(const ShellNamespace& space, const ShellLocation& location,
                             std::uint32_t requested, unsigned scope) {
    std::uint32_t attributes =
        ShellAttr::Folder | ShellAttr::FileSystem | ShellAttr::FileSysAncestor;
    if (location.kind == Kind::Drive && (requested & ShellAttr::Removable)) {
        const DriveType type = space.Volumes().TypeOfPath(location.path);
        if (type == DriveType::Removable || type == DriveType::CdRom)
            attributes |= ShellAttr::Removable;
    }
    if ((requested & ShellAttr::HasSubfolder) && HasSubfolderByReading(space, location.path, scope))
        attributes |= ShellAttr::HasSubfolder;
    return attributes;
}

std::string DriveName(const ShellNamespace& space, const std::string& mountPoint, NameKind kind) {
    std::string label;
    for (const Volume& drive : space.Volumes().Drives()) {
        if (drive.mountPoint == mountPoint)
            label = drive.label;
    }
    if (label.empty())
        label = mountPoint == "/" ? std::string("File System") : BaseName(mountPoint);
    if (kind == NameKind::Normal && mountPoint != "/")
        label += " (" + mountPoint + ")";
    return label;
}

}  // namespace

ShellFolder::ShellFolder(std::shared_ptr<const ShellNamespace> space, ItemIdList id,
                         ShellLocation location)
    : space_(std::move(space)), id_(std::move(id)), location_(std::move(location)) {}

ShellLocation ShellFolder::LocationOf(const ItemIdList& relative) const {
    if (relative.IsNull())
        return {};
    ShellLocation location = location_;
    for (const std::string& item : relative.Items()) {
        location = space_->ChildLocation(location, item);
        if (location.kind == Kind::Invalid)
            break;
    }
    return location;
}

std::unique_ptr<ShellEnumerator> ShellFolder::EnumObjects(unsigned flags) const {
    if (location_.kind == Kind::Desktop) {
        std::vector<ShellEntry> entries;
        if (flags & EnumFlag::Folders) {
            entries.push_back({ShellNamespace::kHomeKey, true, false, false, 0});
            entries.push_back({ShellNamespace::kComputerKey, true, false, false, 1});
        }
        return std::make_unique<ListEnumerator>(std::move(entries));
    }
    if (location_.kind == Kind::Computer) {
        std::vector<ShellEntry> entries;
        if (flags & EnumFlag::Folders) {
            for (const Volume& drive : space_->Volumes().Drives())
                entries.push_back({drive.mountPoint, true, false, false, RankOf(drive.mountPoint)});
        }
        return std::make_unique<ListEnumerator>(std::move(entries));
    }
    if (!location_.IsFileSystem())
        return nullptr;
    auto reader = space_->OpenDirectory(location_.path);
    if (!reader->IsOpen())
        return nullptr;
    return std::make_unique<DirectoryEnumerator>(std::move(reader), flags);
}

std::uint32_t ShellFolder::GetAttributesOf(const ItemIdList& relative, std::uint32_t requested,
                                           unsigned scope) const {
    const ShellLocation location = LocationOf(relative);
    std::uint32_t attributes = 0;
    switch (location.kind) {
        case Kind::Desktop:
            attributes = ShellAttr::Folder | ShellAttr::FileSysAncestor | ShellAttr::HasSubfolder;
            break;
        case Kind::Computer:
            attributes = ShellAttr::Folder | ShellAttr::FileSysAncestor;
            if ((requested & ShellAttr::HasSubfolder) && !space_->Volumes().Drives().empty())
                attributes |= ShellAttr::HasSubfolder;
            break;
        case Kind::Home:
        case Kind::Drive:
            attributes = RootAttributes(*space_, location, requested, scope);
            break;
        case Kind::FileSystem:
            attributes = FileSystemItemAttributes(*space_, location.path, requested, scope);
            break;
        case Kind::Invalid:
            break;
    }
    return attributes & requested;
}

std::string ShellFolder::GetDisplayNameOf(const ItemIdList& relative, NameKind kind) const {
    const ShellLocation location = LocationOf(relative);
    switch (location.kind) {
        case Kind::Desktop:
            return "Desktop";
        case Kind::Computer:
            return "Computer";
        case Kind::Home:
            return "Home";
        case Kind::Drive:
            return DriveName(*space_, location.path, kind);
        case Kind::FileSystem:
            // The empty list names the folder itself.
            return relative.Count() != 0 ? relative.LastItem() : BaseName(location.path);
        case Kind::Invalid:
            break;
    }
    return {};
}

int ShellFolder::RankOf(std::string_view childName) const {
    if (location_.kind == Kind::Desktop) {
        if (childName == ShellNamespace::kHomeKey)
            return 0;
        return childName == ShellNamespace::kComputerKey ? 1 : 2;
    }
    if (location_.kind == Kind::Computer)
        return childName == "/" ? 0 : 1;
    return 0;
}

int ShellFolder::CompareIDs(const ItemIdList& a, const ItemIdList& b) const {
    if (a.IsNull() || b.IsNull())
        return a.IsNull() == b.IsNull() ? 0 : (a.IsNull() ? -1 : 1);
    const std::size_t common = std::min(a.Count(), b.Count());
    for (std::size_t level = 0; level < common; ++level) {
        if (a.Item(level) == b.Item(level))
            continue;
        const auto folder = BindToObject(a.Prefix(level));
        if (!folder)
            return CompareNames(a.Item(level), b.Item(level));
        std::string pathA;
        std::string pathB;
        return CompareOrderKeys(folder->OrderKeyOf(a.Item(level), pathA),
                                folder->OrderKeyOf(b.Item(level), pathB));
    }
    if (a.Count() == b.Count())
        return 0;
    return a.Count() < b.Count() ? -1 : 1;
}

ItemOrderKey ShellFolder::OrderKeyOf(const std::string& name, std::string& pathStore) const {
    ItemOrderKey key{RankOf(name), true, name};
    const ShellLocation location = space_->ChildLocation(location_, name);
    if (location.kind == Kind::FileSystem) {
        pathStore = location.path;
        key.folder = IsDirectoryPath(pathStore);
    }
    return key;
}

RenameResult ShellFolder::SetNameOf(const ItemIdList& relative, std::string_view newName) const {
    if (relative.Count() != 1 || !location_.IsFileSystem())
        return {ItemIdList::Null(), EINVAL};
    const ShellLocation old = LocationOf(relative);
    if (old.kind != Kind::FileSystem || !IsValidItemName(newName))
        return {ItemIdList::Null(), EINVAL};
    if (newName.size() > NAME_MAX)
        return {ItemIdList::Null(), ENAMETOOLONG};
    const std::string name(newName);
    if (name == relative.LastItem())
        return {relative, 0};
    const ShellLocation target = space_->ChildLocation(location_, name);
    // RENAME_NOREPLACE makes the kernel refuse an existing target, an empty folder included,
    // in one step with the rename itself.
    if (::renameat2(AT_FDCWD, old.path.c_str(), AT_FDCWD, target.path.c_str(), RENAME_NOREPLACE) !=
        0)
        return {ItemIdList::Null(), errno};
    return {ItemIdList({name}), 0};
}

std::shared_ptr<const ShellFolder> ShellFolder::BindToObject(const ItemIdList& relative) const {
    if (relative.IsNull())
        return nullptr;
    if (relative.IsEmpty())
        return std::make_shared<const ShellFolder>(space_, id_, location_);
    ShellLocation location = LocationOf(relative);
    if (location.kind == Kind::Invalid)
        return nullptr;
    return std::make_shared<const ShellFolder>(space_, id_.Appended(relative), std::move(location));
}

}  // namespace platform
