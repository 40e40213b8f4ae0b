#pragma once
// One watched root of TWatcher: a thread with its own inotify instance and wake-up
// descriptor. It watches the root and the directories the tree shows below it, folds a
// burst of changes into one report of the root `delay` ms after the first change, and on
// network roots (where inotify sees only this machine's changes) also compares the
// directories' modification times every 5 s. Removing a watch is no change; a directory
// whose watch was removed and that changed before it is watched again is one. Made, fed
// and destroyed (stop, then join) on the owner's thread; the destructor returns only once
// the thread has ended.

#include "Components/PkgFolder/WatchSink.h"

#include "platform/Inotify.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class WatchThread {
  public:
    struct Settings {
        std::string root;
        bool watchFiles = false;
        int delayMs = 2000;
        bool remote = false;
        int remotePollMs = 5000;  // how often a network root compares modification times
    };

    // `changesSeen` counts every event that counted as a change (for diagnostics).
    WatchThread(Settings settings, std::shared_ptr<WatchSink> sink,
                std::shared_ptr<std::atomic<int>> changesSeen);
    ~WatchThread();
    WatchThread(const WatchThread&) = delete;
    WatchThread& operator=(const WatchThread&) = delete;

    const Settings& GetSettings() const { return settings_; }
    // The owner adds a directory once and removes it once. The thread itself adds the
    // watch: the kernel walks the directory's cached entries to do so, which takes
    // milliseconds for a folder of thousands of items, and the owner is the UI thread.
    void AddDirectory(const std::string& path);
    void RemoveDirectory(const std::string& path);
    // Whether the thread has put the directory's watch in place.
    bool IsWatching(const std::string& path) const;

  private:
    struct Operation {
        bool add = false;
        std::string path;
    };
    struct Watched {
        int wd = -1;
        timespec mtime{};
    };

    void Run();
    bool WaitForWork(int timeoutMs, bool& eventsWaiting);
    // Returns whether a directory watched again changed while it was not watched.
    bool ApplyOperations();
    bool Watch(const std::string& path);
    void Unwatch(const std::string& path);
    void RememberReleased(const std::string& path);
    bool ChangedSinceReleased(const std::string& path);
    void Forget(int wd);
    bool ReadEvents();
    bool RemoteTimesChanged();

    const Settings settings_;
    const std::shared_ptr<WatchSink> sink_;
    const std::shared_ptr<std::atomic<int>> changesSeen_;
    platform::InotifyInstance inotify_;
    platform::WakeFd wake_;
    std::atomic<bool> stop_{false};
    std::mutex operationsMutex_;
    std::vector<Operation> operations_;
    // The watched directories and how many of them share each watch (two paths of one
    // directory, through a link or a rename, get the same descriptor). Changed by the
    // thread only, under the lock so that IsWatching may look from another thread.
    mutable std::mutex watchedMutex_;
    std::map<std::string, Watched> watched_;
    std::map<int, int> users_;
    // Thread only. Watches this thread removed: the IN_IGNORED that confirms each is ours.
    std::unordered_set<int> removedByUs_;
    // Thread only. Directories whose watch was removed, with their modification time then,
    // so a change made while they were not watched shows when they are watched again. The
    // record starts afresh past kMaxReleased entries; a later pass catches up then.
    static constexpr std::size_t kMaxReleased = 16384;
    std::unordered_map<std::string, timespec> released_;
    std::thread thread_;  // started last, once the root is watched
};
