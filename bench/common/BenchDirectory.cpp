#include "bench/common/BenchDirectory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <chrono>

namespace bench {

double ReadDirStatLoop(const std::string& path, long* entries) {
    const auto start = std::chrono::steady_clock::now();
    DIR* dir = ::opendir(path.c_str());
    long count = 0;
    while (const dirent* d = dir ? ::readdir(dir) : nullptr) {
        struct stat st {};
        if (::stat((path + "/" + d->d_name).c_str(), &st) == 0) {
            ++count;
        }
    }
    if (dir) {
        ::closedir(dir);
    }
    if (entries) {
        *entries = count;
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace bench
