#pragma once
// Follows the mount table. libmount's monitor watches /proc/self/mountinfo (which the
// kernel marks with POLLPRI on every mount and unmount) and libmount parses the table,
// escapes included. A change is told as the mounts that came and went, compared by mount
// id and mount point: a remount that only changes options is no change, while a medium
// unmounted and another mounted on the same folder is one mount gone and one new.
//
// The monitor has no thread: its descriptor becomes readable on a change, and the owner
// (a socket notifier on the UI thread) then calls TakeChanges().

#include <string>
#include <vector>

struct libmnt_monitor;

namespace platform {

struct MountRecord {
    int id = 0;
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

struct MountChanges {
    std::vector<MountRecord> added;
    std::vector<MountRecord> removed;
    bool Empty() const { return added.empty() && removed.empty(); }
};

// The mounts of a mountinfo file; empty when it cannot be read.
std::vector<MountRecord> ReadMountTable(const std::string& path);
MountChanges DiffMounts(const std::vector<MountRecord>& before,
                        const std::vector<MountRecord>& after);

class MountMonitor {
  public:
    // Over the process's own mount table; Fd() is -1 when the monitor cannot be made.
    MountMonitor();
    ~MountMonitor();
    MountMonitor(const MountMonitor&) = delete;
    MountMonitor& operator=(const MountMonitor&) = delete;

    int Fd() const { return fd_; }
    // Consumes the waiting notifications and tells what changed since the last call.
    MountChanges TakeChanges();

  private:
    libmnt_monitor* monitor_ = nullptr;
    int fd_ = -1;
    std::string path_ = "/proc/self/mountinfo";
    std::vector<MountRecord> last_;
};

}  // namespace platform
