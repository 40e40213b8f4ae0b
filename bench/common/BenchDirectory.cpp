#include "bench/common/BenchDirectory.h"

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace bench {
namespace {

struct Listed {
    std::string name;
    bool folder = false;
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

double ReadDirSortLoop(const std::string& path, long* entries) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<Listed> listed;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* d = ::readdir(dir)) {
            if (!IsDotOrDotDot(d->d_name))
                listed.push_back({d->d_name, d->d_type == DT_DIR});
        }
        ::closedir(dir);
    }
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        if (a.folder != b.folder)
            return a.folder;
        return ::strverscmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    if (entries)
        *entries = static_cast<long>(listed.size());
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace bench
