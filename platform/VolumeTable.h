#pragma once
// The drives of the machine, read from the mount table. A drive is "/", a mount under
// /media, /run/media or /mnt, or a network mount; the drive of a path is the drive with
// the longest mount point that is a prefix of the path (equal, or followed by '/').
// Types are classified through sysfs and asked when needed, never frozen at start:
// a medium's mount point appears only once it is mounted.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class DriveType { Unknown, Fixed, Removable, CdRom, Remote, RamDisk };

// One line of /proc/self/mountinfo, with the octal escapes (\040 and so on) decoded.
struct MountEntry {
    std::string majorMinor;  // "8:1"
    std::string root;
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

struct Volume {
    std::string mountPoint;
    std::string fsType;
    std::string source;
    DriveType type = DriveType::Unknown;
    std::string label;  // the file system's label when one is known, else empty
};

std::vector<MountEntry> ParseMountInfo(std::string_view text);

class VolumeTable {
  public:
    // Where the table is read from; tests point these at fixtures.
    struct Sources {
        std::string mountInfo = "/proc/self/mountinfo";
        std::string sysfsRoot = "/sys";
        std::string labelDir = "/dev/disk/by-label";
        // Mount points at or below these folders are media the desktop or the user mounted.
        std::vector<std::string> driveFolders = {"/media", "/run/media", "/mnt"};
    };

    // Two constructors rather than a default argument: GCC cannot use the default member
    // initialisers of a nested struct in a default argument of its enclosing class.
    VolumeTable();
    explicit VolumeTable(Sources sources);

    // The drive list, "/" first, then by mount point. Re-reads the mount table when it
    // has changed since the last call.
    std::vector<Volume> Drives() const;
    std::optional<Volume> DriveOfPath(const std::string& path) const;
    DriveType TypeOfPath(const std::string& path) const;
    // The file system that holds path, whatever its mount point: the entry of the whole
    // mount table with the longest mount point above path (the last one where mounts are
    // stacked). Lexical, like DriveOfPath: resolve links first where they matter.
    std::optional<MountEntry> MountOfPath(const std::string& path) const;

    // The process-wide table over the real system files.
    static const VolumeTable& System();

  private:
    struct Cache;
    // Re-reads the mount table when it changed; the caller holds the cache's mutex.
    void Refresh() const;
    Sources sources_;
    std::shared_ptr<Cache> cache_;
};

}  // namespace platform
