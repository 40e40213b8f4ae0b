#include "Components/PkgFolder/Watcher.h"

#include "platform/shell/ShellNamespace.h"

#include <algorithm>

TWatcher::TWatcher(ChangeHandler onChange, int minimumDelayMs)
    : sink_(std::make_shared<WatchSink>(std::move(onChange))),
      changesSeen_(std::make_shared<std::atomic<int>>(0)),
      minimumDelayMs_(minimumDelayMs),
      delayMs_(std::max(kMinimumDelayMs, minimumDelayMs)) {}

TWatcher::~TWatcher() {
    sink_->Revoke();
    StopAll();
}

void TWatcher::SetDelay(int ms) {
    delayMs_ = std::max(ms, minimumDelayMs_);
}

void TWatcher::Start(Root& root) {
    WatchThread::Settings settings;
    settings.root = root.path;
    settings.watchFiles = watchFiles_;
    settings.delayMs = delayMs_;
    settings.remote = root.remote;
    settings.remotePollMs = remotePollMs_;
    root.thread = std::make_unique<WatchThread>(settings, sink_, changesSeen_);
}

void TWatcher::AddWatch(const std::string& root, bool remote) {
    if (root.empty())
        return;
    const auto listed =
        std::find_if(roots_.begin(), roots_.end(), [&](const Root& r) { return r.path == root; });
    if (listed != roots_.end())
        return;
    roots_.push_back(Root{root, remote, nullptr});
    Start(roots_.back());
    stopped_ = false;
    Reroute();
}

void TWatcher::RemoveWatch(const std::string& root) {
    if (root.empty()) {
        StopAll();
        return;
    }
    // The thread is joined here, before the directories it watched move to another root.
    std::erase_if(roots_, [&](const Root& r) { return r.path == root; });
    Reroute();
}

void TWatcher::StopAll() {
    roots_.clear();
    unwatchedDrives_.clear();
    for (auto& [path, directory] : directories_)
        directory.owner.clear();
    stopped_ = true;
}

void TWatcher::WatchDrives(const platform::VolumeTable& volumes) {
    if (stopped_)
        return;
    StopAll();
    for (const platform::Volume& drive : volumes.Drives()) {
        using platform::DriveType;
        if (drive.type == DriveType::Fixed || drive.type == DriveType::Remote ||
            drive.type == DriveType::RamDisk)
            AddWatch(drive.mountPoint, drive.type == DriveType::Remote);
        else
            unwatchedDrives_.push_back(drive.mountPoint);
    }
    Reroute();  // folders on media are no business of the root they are mounted below
    stopped_ = false;
}

void TWatcher::SetPaused(bool paused) {
    if (stopped_ == paused)
        return;
    stopped_ = paused;
    for (Root& root : roots_) {
        if (paused)
            root.thread.reset();
        else
            Start(root);
    }
    for (auto& [path, directory] : directories_)
        directory.owner.clear();
    if (!paused)
        Reroute();
}

void TWatcher::AddDirectory(const std::string& path) {
    if (path.empty())
        return;
    Directory& directory = directories_[path];
    if (++directory.users == 1)
        Route(path, directory);
}

void TWatcher::RemoveDirectory(const std::string& path) {
    const auto found = directories_.find(path);
    if (found == directories_.end() || --found->second.users > 0)
        return;
    if (WatchThread* thread = ThreadOf(found->second.owner))
        thread->RemoveDirectory(path);
    directories_.erase(found);
}

WatchThread* TWatcher::ThreadOf(const std::string& root) {
    for (Root& candidate : roots_) {
        if (!root.empty() && candidate.path == root)
            return candidate.thread.get();
    }
    return nullptr;
}

TWatcher::Root* TWatcher::OwnerOf(const std::string& directory) {
    Root* best = nullptr;
    for (Root& root : roots_) {
        if (platform::PathIsWithin(directory, root.path) &&
            (!best || root.path.size() > best->path.size()))
            best = &root;
    }
    // A folder on a removable or optical medium mounted below a watched root is not
    // watched: media are followed by their mounts coming and going.
    for (const std::string& drive : unwatchedDrives_) {
        if (best && drive.size() > best->path.size() && platform::PathIsWithin(directory, drive))
            return nullptr;
    }
    return best;
}

void TWatcher::Route(const std::string& path, Directory& directory) {
    // A directory is watched by the running root with the longest path that holds it.
    Root* owner = OwnerOf(path);
    const std::string wanted = owner && owner->thread ? owner->path : std::string();
    if (wanted == directory.owner)
        return;
    if (WatchThread* previous = ThreadOf(directory.owner))
        previous->RemoveDirectory(path);
    if (!wanted.empty())
        owner->thread->AddDirectory(path);
    directory.owner = wanted;
}

void TWatcher::Reroute() {
    for (auto& [path, directory] : directories_)
        Route(path, directory);
}

std::vector<std::string> TWatcher::Roots() const {
    std::vector<std::string> paths;
    for (const Root& root : roots_)
        paths.push_back(root.path);
    return paths;
}

bool TWatcher::IsWatching(const std::string& directory) const {
    for (const Root& root : roots_) {
        if (root.path == directory)
            return root.thread && root.thread->IsWatching(directory);
    }
    const auto found = directories_.find(directory);
    if (found == directories_.end())
        return false;
    for (const Root& root : roots_) {
        if (root.path == found->second.owner && root.thread)
            return root.thread->IsWatching(directory);
    }
    return false;
}

bool TWatcher::IsRunning(const std::string& root) const {
    return std::any_of(roots_.begin(), roots_.end(),
                       [&](const Root& r) { return r.path == root && r.thread; });
}
