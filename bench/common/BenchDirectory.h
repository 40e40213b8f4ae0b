#pragma once
// The references of the folder tree benchmarks: what a plain program does, on the calling
// thread, to do the tree's work on a folder. Both read the folder with readdir and take each
// entry's kind from the directory itself (d_type, as the tree does: no stat per entry), and
// tell whether a folder holds subfolders as the tree does: by its link count (fstatat) on a
// file system that keeps it (ext2/3/4, xfs, tmpfs), else by reading it until its first
// subfolder.

#include <string>
#include <vector>

namespace bench {

// Lists a folder in order: the names kept and sorted in natural order (strverscmp: "img2"
// before "img10"), folders first, and the buttons of the first `buttons` folders worked out.
// Milliseconds taken; entries (when given) receives how many entries were listed.
double ReadDirSortLoop(const std::string& path, long* entries = nullptr, long buttons = 0);

// What a refresh pass does with a folder whose items `shown` are shown: the folder read and
// its names compared with those shown (hash sets), the new names sorted in natural order,
// and the buttons of every folder still there and of the new ones worked out. Milliseconds
// taken; added and removed (when given) receive the counts.
double ReadDirCompareLoop(const std::string& path, const std::vector<std::string>& shown,
                          long* added = nullptr, long* removed = nullptr);

}  // namespace bench
