#pragma once
// The reference of the folder tree benchmarks: read a folder and stat every entry, as a
// plain program would, on the calling thread.

#include <string>

namespace bench {

// Milliseconds taken; entries (when given) receives how many entries were stat'ed.
double ReadDirStatLoop(const std::string& path, long* entries = nullptr);

}  // namespace bench
