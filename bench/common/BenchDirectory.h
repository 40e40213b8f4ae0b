#pragma once
// The references of the folder tree benchmarks: what a plain program does, on the calling
// thread, to do the tree's work on a folder. Both read the folder with readdir and take each
// entry's kind from the directory itself (d_type, as the tree does: no stat per entry), and
// tell whether a folder holds subfolders as the tree does: by its link count (fstatat) where
// a count above 2 proves one (ext2/3/4, xfs, tmpfs, hidden folders counted), else by reading
// it until its first subfolder or link to a folder; an answer remembered with the folder's
// identity and change time is taken as it is while the folder keeps them.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace bench {

// Subfolder answers kept from one pass to the next, by folder name: those that rest on no
// link, for folders last changed over two seconds before (as the tree keeps them).
struct RememberedAnswer {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t changedNs = 0;
    bool found = false;
};
using RememberedAnswers = std::unordered_map<std::string, RememberedAnswer>;

// Lists a folder in order: the names kept and sorted in natural order (strverscmp: "img2"
// before "img10"), folders first, and the buttons of the first `buttons` folders worked out
// (hidden subfolders counted with `includeHidden`). Milliseconds taken; entries (when
// given) receives how many entries were listed.
double ReadDirSortLoop(const std::string& path, long* entries = nullptr, long buttons = 0,
                       bool includeHidden = false);

// Waits until the last change of each folder is over two seconds old, as the user's folders
// mostly are: the tree keeps no subfolder answer of a folder changed later than that (a
// further change could carry the same time), so it reads such a folder at every pass.
void WaitUntilSettled(const std::vector<std::string>& folders);

// What a refresh pass does with a folder whose items `shown` are shown: the folder read and
// its names compared with those shown (hash sets), the new names sorted in natural order,
// and the buttons of every folder still there and of the new ones worked out (hidden
// subfolders counted), taking and keeping answers in `remembered`. Milliseconds taken; added
// and removed (when given) receive the counts.
double ReadDirCompareLoop(const std::string& path, const std::vector<std::string>& shown,
                          RememberedAnswers& remembered, long* added = nullptr,
                          long* removed = nullptr);

}  // namespace bench
