#pragma once
// The kernel's directory change notification (inotify) and the wake-up descriptor the
// watch threads wait on beside it. inotify is not recursive: each directory is watched on
// its own, and a watch holds no descriptor of the directory, so a watched medium can still
// be unmounted.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// What a watch asks the kernel for. Names created, deleted or moved in the directory, its
// own attributes and the directory itself going away always; contents written to files
// only when files are followed too.
std::uint32_t InotifyMaskFor(bool watchFiles);

// Whether an event read from the kernel counts as a change. Without files only events
// that name a directory count (a file renamed or written is nobody's business then),
// beside those that concern the watched directory itself, a lost queue (overflow) and an
// unmounted file system, after which what the watch knew is stale.
bool IsChangeEvent(std::uint32_t mask, bool watchFiles);

// The per-user limit of inotify watches (fs.inotify.max_user_watches), shared by every
// program of the user; 0 when it cannot be read.
int InotifyWatchLimit();

// One inotify instance (non-blocking, close-on-exec). Its descriptor is closed by the
// destructor; an instance that could not be made reports its errno through Error().
class InotifyInstance {
  public:
    InotifyInstance();
    ~InotifyInstance();
    InotifyInstance(const InotifyInstance&) = delete;
    InotifyInstance& operator=(const InotifyInstance&) = delete;

    int Fd() const { return fd_; }
    int Error() const { return error_; }
    // The watch descriptor (>= 0), or minus the errno (ENOSPC: the per-user watch limit,
    // ENOENT: no such directory, ENOTDIR, EACCES).
    int AddWatch(const std::string& path, std::uint32_t mask) const;
    // True when the kernel dropped the watch on this request; it then queues IN_IGNORED for
    // it, which is the caller's own doing and no change.
    bool RemoveWatch(int wd) const;

    // One event as the kernel delivered it; `name` is empty for the watched directory.
    struct Event {
        int wd = -1;
        std::uint32_t mask = 0;
        std::string_view name;
    };
    // Reads every event that is waiting and hands each to `onEvent`. Returns 0 when the
    // queue is empty (or nothing was waiting), else the errno of the failed read.
    int ReadPending(const std::function<void(const Event&)>& onEvent) const;

  private:
    int fd_ = -1;
    int error_ = 0;
};

// An eventfd used as a wake-up: Signal() from any thread makes the descriptor readable
// until Drain() runs on the waiting thread.
class WakeFd {
  public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;

    int Fd() const { return fd_; }
    bool IsValid() const { return fd_ >= 0; }
    void Signal() const;
    void Drain() const;

  private:
    int fd_ = -1;
};

}  // namespace platform
