#include "Components/PkgFolder/WatchThread.h"

#include "Components/PkgFolder/FolderTreeLog.h"
#include "Components/PkgFolder/SettleWindow.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool ModificationTime(const std::string& path, timespec& mtime) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    mtime = st.st_mtim;
    return true;
}

bool SameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Running out of watches or instances is a limit of the machine, not of one folder: it is
// logged once for the program, and the folders simply go unwatched.
void ReportLimitOnce(const std::string& path, int error) {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) {
        qCWarning(lcFolderTree,
                  "folders from %s on are not followed: %s (raise "
                  "fs.inotify.max_user_watches to follow them)",
                  path.c_str(), std::strerror(error));
    }
}

}  // namespace

WatchThread::WatchThread(Settings settings, std::shared_ptr<WatchSink> sink,
                         std::shared_ptr<std::atomic<int>> changesSeen)
    : settings_(std::move(settings)), sink_(std::move(sink)), changesSeen_(std::move(changesSeen)) {
    if (inotify_.Fd() < 0 || !wake_.IsValid()) {
        ReportLimitOnce(settings_.root, inotify_.Error() ? inotify_.Error() : EMFILE);
        return;
    }
    // A root that cannot be watched (gone, no medium) gets no thread at all.
    if (Watch(settings_.root)) {
        thread_ = std::thread([this] { Run(); });
    }
}

WatchThread::~WatchThread() {
    stop_ = true;
    wake_.Signal();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void WatchThread::AddDirectory(const std::string& path) {
    {
        std::lock_guard lock(operationsMutex_);
        operations_.push_back({true, path});
    }
    wake_.Signal();
}

void WatchThread::RemoveDirectory(const std::string& path) {
    {
        std::lock_guard lock(operationsMutex_);
        operations_.push_back({false, path});
    }
    wake_.Signal();
}

bool WatchThread::IsWatching(const std::string& path) const {
    std::lock_guard lock(watchedMutex_);
    return watched_.count(path) != 0;
}

bool WatchThread::ApplyOperations() {
    std::vector<Operation> operations;
    {
        std::lock_guard lock(operationsMutex_);
        operations.swap(operations_);
    }
    bool changed = false;
    for (const Operation& operation : operations) {
        if (!operation.add)
            Unwatch(operation.path);
        else if (Watch(operation.path) && ChangedSinceReleased(operation.path))
            changed = true;
    }
    return changed;
}

void WatchThread::Unwatch(const std::string& path) {
    // The root's row shares the root's own watch, which stays as long as the thread.
    if (path == settings_.root)
        return;
    // Only this thread changes the table: it is read without the lock.
    const auto found = watched_.find(path);
    if (found == watched_.end())
        return;
    // The time is taken while the watch still holds: a change before it is an event in the
    // queue, one after it shows in the time.
    RememberReleased(path);
    const int wd = found->second.wd;
    {
        std::lock_guard lock(watchedMutex_);
        watched_.erase(found);
        const auto users = users_.find(wd);
        if (users == users_.end() || --users->second > 0)
            return;
        users_.erase(users);
    }
    if (inotify_.RemoveWatch(wd))
        removedByUs_.insert(wd);
}

void WatchThread::RememberReleased(const std::string& path) {
    timespec mtime{};
    if (!ModificationTime(path, mtime))
        return;
    if (released_.size() >= kMaxReleased)
        released_.clear();
    released_[path] = mtime;
}

bool WatchThread::ChangedSinceReleased(const std::string& path) {
    const auto found = released_.find(path);
    if (found == released_.end())
        return false;
    const timespec then = found->second;
    released_.erase(found);
    timespec now{};
    return !ModificationTime(path, now) || !SameTime(now, then);
}

void WatchThread::Run() {
    SettleWindow settle(settings_.delayMs);
    std::int64_t nextPoll = NowMs() + settings_.remotePollMs;
    while (!stop_) {
        int timeout = settle.TimeoutMs(NowMs());
        if (settings_.remote) {
            const int untilPoll = static_cast<int>(std::max<std::int64_t>(nextPoll - NowMs(), 0));
            timeout = timeout < 0 ? untilPoll : std::min(timeout, untilPoll);
        }
        bool eventsWaiting = false;
        if (!WaitForWork(timeout, eventsWaiting)) {
            return;
        }
        if (stop_) {
            return;
        }
        if (ApplyOperations()) {
            changesSeen_->fetch_add(1, std::memory_order_relaxed);
            settle.Change(NowMs());
        }
        if (eventsWaiting && ReadEvents()) {
            settle.Change(NowMs());
        }
        if (settings_.remote && NowMs() >= nextPoll) {
            if (RemoteTimesChanged()) {
                settle.Change(NowMs());
            }
            nextPoll = NowMs() + settings_.remotePollMs;
        }
        if (settle.TakeDue(NowMs()) && !stop_) {
            sink_->Deliver(settings_.root);
        }
    }
}

bool WatchThread::WaitForWork(int timeoutMs, bool& eventsWaiting) {
    pollfd fds[2] = {{wake_.Fd(), POLLIN, 0}, {inotify_.Fd(), POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready >= 0) {
            break;
        }
        if (errno != EINTR) {
            // A wait that fails for good would spin; the thread ends instead, and the tree
            // simply stops following that root.
            qCWarning(lcFolderTree, "watch of %s ended: %s", settings_.root.c_str(),
                      std::strerror(errno));
            return false;
        }
    }
    if (fds[0].revents & POLLIN) {
        wake_.Drain();
    }
    eventsWaiting = fds[1].revents & POLLIN;
    return true;
}

bool WatchThread::Watch(const std::string& path) {
    // Only this thread (or the constructor, before it) changes the table, so it can be read
    // without the lock; the lock guards the changes against IsWatching.
    if (watched_.count(path)) {
        return true;
    }
    const int wd = inotify_.AddWatch(path, platform::InotifyMaskFor(settings_.watchFiles));
    if (wd < 0) {
        if (-wd == ENOSPC || -wd == EMFILE) {
            ReportLimitOnce(path, -wd);
        }
        return false;
    }
    Watched entry;
    entry.wd = wd;
    if (settings_.remote) {
        ModificationTime(path, entry.mtime);
    }
    std::lock_guard lock(watchedMutex_);
    watched_[path] = entry;
    ++users_[wd];
    return true;
}

void WatchThread::Forget(int wd) {
    // The kernel dropped the watch (the directory is gone or its file system unmounted).
    std::lock_guard lock(watchedMutex_);
    users_.erase(wd);
    std::erase_if(watched_, [wd](const auto& entry) { return entry.second.wd == wd; });
}

bool WatchThread::ReadEvents() {
    bool changed = false;
    int counted = 0;
    const int error = inotify_.ReadPending([&](const platform::InotifyInstance::Event& event) {
        if (event.mask & IN_IGNORED) {
            if (removedByUs_.erase(event.wd))
                return;  // the confirmation of a watch this thread removed
            Forget(event.wd);
        }
        if (platform::IsChangeEvent(event.mask, settings_.watchFiles)) {
            changed = true;
            ++counted;
        }
    });
    if (error != 0) {
        changed = true;  // whatever was lost may have been a change
    }
    if (counted) {
        changesSeen_->fetch_add(counted, std::memory_order_relaxed);
    }
    return changed;
}

bool WatchThread::RemoteTimesChanged() {
    bool changed = false;
    for (auto& [path, entry] : watched_) {
        timespec now{};
        if (!ModificationTime(path, now))
            now = timespec{};  // unreadable counts once, then stays unchanged
        if (SameTime(now, entry.mtime))
            continue;
        changed = true;
        entry.mtime = now;  // IsWatching reads the keys only
    }
    if (changed)
        changesSeen_->fetch_add(1, std::memory_order_relaxed);
    return changed;
}
