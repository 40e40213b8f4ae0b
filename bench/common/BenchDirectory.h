#pragma once
// The reference of the folder tree benchmarks: what a plain program does to list a folder
// in order, on the calling thread. It reads the folder with readdir, takes each entry's
// kind from the directory itself (d_type, as the tree does: no stat per entry), keeps the
// names and sorts them in natural order (strverscmp: "img2" before "img10"), folders first.

#include <string>

namespace bench {

// Milliseconds taken; entries (when given) receives how many entries were listed.
double ReadDirSortLoop(const std::string& path, long* entries = nullptr);

}  // namespace bench
