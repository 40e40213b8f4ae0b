#include "platform/shell/SubfolderProbe.h"

#include "platform/shell/DirectoryReader.h"
#include "platform/shell/ShellNamespace.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>

#include <algorithm>

namespace platform {
namespace {

// How old a folder's last change must be before its time tells it from any later change:
// file systems take times from a clock that moves in ticks, FAT in steps of two seconds.
constexpr std::int64_t kSettledNs = 2'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

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

// splitmix64's step: every input bit reaches every output bit.
std::uint64_t Mix(std::uint64_t state, std::uint64_t value) {
    std::uint64_t z = state ^ value;
    z += 0x9e3779b97f4a7c15;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
}

}  // namespace

FolderStamp FolderStamp::Of(dev_t device, ino_t inode, const struct timespec& changed) {
    std::uint64_t digest = Mix(Mix(Mix(0, device), inode), Nanoseconds(changed));
    return {digest != 0 ? digest : 1};
}

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

bool SubfolderProbe::CountProvesSubdirectory(dev_t device, nlink_t links, const std::string& path) {
    return useLinkCounts_ && links > 2 && KeepsLinkCounts(device, path);
}

SubfolderProbe::Reading SubfolderProbe::ReadForSubdirectory(const std::string& path,
                                                            bool includeHidden) {
    const auto reader = space_.OpenDirectory(path);
    ++foldersRead_;
    bool sawLink = false;
    DirEntry entry;
    while (reader->Next(entry)) {
        if (!includeHidden && IsHiddenName(entry.name))
            continue;
        const bool link = entry.kind == EntryKind::Link ||
                          (entry.kind == EntryKind::Unknown && reader->IsLink(entry));
        if (reader->IsDirectory(entry))
            return {true, !link};
        sawLink = sawLink || link;  // a dangling link may lead to a folder later
    }
    return {false, !sawLink && reader->Error() == 0};
}

SubfolderAnswer SubfolderProbe::Subdirectory(const std::string& path, bool includeHidden,
                                             const SubfolderAnswer& known) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat st {};
    FolderStamp stamp;
    const bool folder = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (folder)
        stamp = FolderStamp::Of(st.st_dev, st.st_ino, st.st_ctim);
    if (stamp.IsSet() && known.holdsWhile == stamp)
        return known;
    Reading reading{true, true};
    // The count includes hidden folders, so without them a read must still find one.
    if (!folder || !includeHidden || !CountProvesSubdirectory(st.st_dev, st.st_nlink, path))
        reading = ReadForSubdirectory(path, includeHidden);
    SubfolderAnswer answer{reading.found, {}};
    if (reading.lasting && folder && Nanoseconds(now) - Nanoseconds(st.st_ctim) >= kSettledNs)
        answer.holdsWhile = stamp;
    return answer;
}

bool SubfolderProbe::HasEntry(const std::string& path, bool includeHidden,
                              const std::function<bool(std::string_view name)>& wantedFile) {
    struct stat st {};
    if (includeHidden && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        CountProvesSubdirectory(st.st_dev, st.st_nlink, path))
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
