#pragma once
// TWatcher: reports that something changed below a watched root (a drive or the tree's
// root folder), one report of the root per burst of changes, `Delay` ms after its first
// change. Each root has its own thread (WatchThread). inotify is not recursive and a
// recursive watch of "/" would exhaust the per-user watch limit, so a root's thread
// watches the root and the directories the tree asks for below it (what the user can see
// change; added and removed by the tree, counted, so a folder shown twice is watched
// once); changes elsewhere are not reported, and the refresh pass catches up with them.
//
// All operations run on the owner's thread. The handler runs on a watch thread; it is
// revoked, and every thread joined, before the watcher is gone.

#include "Components/PkgFolder/WatchSink.h"
#include "Components/PkgFolder/WatchThread.h"

#include "platform/VolumeTable.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TWatcher {
  public:
    using ChangeHandler = WatchSink::Handler;
    static constexpr int kMinimumDelayMs = 1000;

    // `minimumDelayMs` is the floor of SetDelay (tests that wait for real changes lower it).
    explicit TWatcher(ChangeHandler onChange, int minimumDelayMs = kMinimumDelayMs);
    ~TWatcher();
    TWatcher(const TWatcher&) = delete;
    TWatcher& operator=(const TWatcher&) = delete;

    // Applies to threads started afterwards (as the settings are copied into each thread).
    void SetDelay(int ms);
    int Delay() const { return delayMs_; }
    void SetWatchFiles(bool watchFiles) { watchFiles_ = watchFiles; }
    // How often network roots compare their directories' modification times (5 s).
    void SetRemotePollMs(int ms) { remotePollMs_ = ms; }
    bool WatchFiles() const { return watchFiles_; }

    // Starts a thread for `root` unless it is listed already (exact path; names are never
    // lower-cased). A root that cannot be watched stays listed without a working watch.
    void AddWatch(const std::string& root, bool remote = false);
    // An empty path stops every watch (StopAll).
    void RemoveWatch(const std::string& root);
    void StopAll();
    // Watches every fixed, network and RAM drive of the table; nothing while stopped.
    void WatchDrives(const platform::VolumeTable& volumes);
    // Pausing stops the threads and keeps the roots; resuming starts them again with the
    // flag and delay in force then.
    void SetPaused(bool paused);
    bool IsStopped() const { return stopped_; }

    // Directories the tree shows; each is watched by the innermost root that holds it.
    void AddDirectory(const std::string& path);
    void RemoveDirectory(const std::string& path);

    std::vector<std::string> Roots() const;
    // Whether a thread runs for the root (false while paused).
    bool IsRunning(const std::string& root) const;
    // Whether a root's thread has the watch of a root, or of a directory the tree added, in
    // place (a root whose folder was replaced, or unmounted, has lost its watch).
    bool IsWatching(const std::string& directory) const;
    // Events that counted as changes so far, on every root (diagnostics and tests).
    int ChangesSeen() const { return changesSeen_->load(std::memory_order_relaxed); }

  private:
    struct Root {
        std::string path;
        bool remote = false;
        std::unique_ptr<WatchThread> thread;
    };

    struct Directory {
        int users = 0;
        std::string owner;  // the root whose thread watches it; empty for none
    };

    void Start(Root& root);
    Root* OwnerOf(const std::string& directory);
    WatchThread* ThreadOf(const std::string& root);
    void Route(const std::string& path, Directory& directory);
    void Reroute();

    const std::shared_ptr<WatchSink> sink_;
    const std::shared_ptr<std::atomic<int>> changesSeen_;
    const int minimumDelayMs_;
    int delayMs_ = kMinimumDelayMs;
    bool watchFiles_ = false;
    int remotePollMs_ = 5000;
    bool stopped_ = false;
    std::vector<Root> roots_;
    std::vector<std::string> unwatchedDrives_;  // media drives seen by WatchDrives
    // Each expanded directory and how often the tree shows it.
    std::map<std::string, Directory> directories_;
};
