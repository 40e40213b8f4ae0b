#pragma once
// How the namespace reaches folders on disk. Every read of a folder's entries goes through
// the namespace (ShellNamespace::OpenDirectory), so that a test can stand in for a slow
// file system (a network share whose folders take seconds to list) and for one that keeps
// no link counts (btrfs).

#include <functional>
#include <string>

namespace platform {

struct DirectoryAccess {
    // Runs on the reading thread before a folder is opened for reading its entries.
    std::function<void(const std::string& path)> beforeRead;
    // Whether a folder's link count may prove a subfolder without reading it, on the file
    // systems that keep the count (ext2/3/4, xfs, tmpfs).
    bool useLinkCounts = true;
};

}  // namespace platform
