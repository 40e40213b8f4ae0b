#include "platform/shell/SubfolderProbe.h"

#include "platform/shell/DirectoryReader.h"
#include "platform/shell/ShellNamespace.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <algorithm>

namespace platform {
namespace {

// The file systems whose directories count their subdirectories in their link count.
bool KeepsSubdirectoryCount(decltype(statfs::f_type) type) {
    switch (type) {
        case EXT4_SUPER_MAGIC:  // ext2 and ext3 share it
        case XFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
            return true;
        default:
            return false;
    }
}

}  // namespace

SubfolderProbe::SubfolderProbe(const ShellNamespace& space, bool useLinkCounts)
    : space_(space), useLinkCounts_(useLinkCounts) {}

bool SubfolderProbe::KeepsLinkCounts(dev_t device, const std::string& path) {
    const auto known = std::find_if(devices_.begin(), devices_.end(),
                                    [device](const auto& entry) { return entry.first == device; });
    if (known != devices_.end())
        return known->second;
    struct statfs fs {};
    const bool keeps = ::statfs(path.c_str(), &fs) == 0 && KeepsSubdirectoryCount(fs.f_type);
    devices_.emplace_back(device, keeps);
    return keeps;
}

SubfolderProbe::Count SubfolderProbe::SubdirectoriesByLinkCount(const std::string& path) {
    if (!useLinkCounts_)
        return Count::Unknown;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || !KeepsLinkCounts(st.st_dev, path))
        return Count::Unknown;
    if (st.st_nlink == 2)
        return Count::None;
    return st.st_nlink > 2 ? Count::Some : Count::Unknown;
}

bool SubfolderProbe::HasSubdirectory(const std::string& path, bool includeHidden) {
    const Count count = SubdirectoriesByLinkCount(path);
    if (count == Count::None || (count == Count::Some && includeHidden))
        return count == Count::Some;
    const auto reader = space_.OpenDirectory(path);
    ++foldersRead_;
    DirEntry entry;
    while (reader->Next(entry)) {
        if (!includeHidden && IsHiddenName(entry.name))
            continue;
        if (reader->IsDirectory(entry))
            return true;
    }
    return false;
}

bool SubfolderProbe::HasEntry(const std::string& path, bool includeHidden,
                              const std::function<bool(std::string_view name)>& wantedFile) {
    if (includeHidden && SubdirectoriesByLinkCount(path) == Count::Some)
        return true;
    const auto reader = space_.OpenDirectory(path);
    ++foldersRead_;
    DirEntry entry;
    while (reader->Next(entry)) {
        if (!includeHidden && IsHiddenName(entry.name))
            continue;
        if (!wantedFile || reader->IsDirectory(entry) || wantedFile(entry.name))
            return true;
    }
    return false;
}

}  // namespace platform
