#include "bench/common/BenchDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace bench {
namespace {

// Where the answers go, so that working them out cannot be left out.
volatile long answers = 0;

struct Listed {
    std::string name;
    bool folder = false;
};

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool KeepsLinkCounts(const std::string& path) {
    struct statfs fs {};
    return ::statfs(path.c_str(), &fs) == 0 &&
           (fs.f_type == EXT4_SUPER_MAGIC || fs.f_type == XFS_SUPER_MAGIC ||
            fs.f_type == TMPFS_MAGIC);
}

// Whether the folder `name` of the open folder `dir` holds a subfolder.
bool HasSubfolder(DIR* dir, const char* name, bool counts) {
    if (counts) {
        struct stat st {};
        if (::fstatat(::dirfd(dir), name, &st, 0) == 0 && st.st_nlink >= 2)
            return st.st_nlink > 2;
    }
    const int fd = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* inner = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!inner) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    bool found = false;
    while (const dirent* d = ::readdir(inner)) {
        if (!IsDotOrDotDot(d->d_name) && d->d_type == DT_DIR) {
            found = true;
            break;
        }
    }
    ::closedir(inner);
    return found;
}

std::vector<Listed> ReadListing(DIR* dir) {
    std::vector<Listed> listed;
    while (const dirent* d = ::readdir(dir)) {
        if (!IsDotOrDotDot(d->d_name))
            listed.push_back({d->d_name, d->d_type == DT_DIR});
    }
    return listed;
}

bool NaturalLess(const Listed& a, const Listed& b) {
    if (a.folder != b.folder)
        return a.folder;
    return ::strverscmp(a.name.c_str(), b.name.c_str()) < 0;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

double ReadDirSortLoop(const std::string& path, long* entries, long buttons) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<Listed> listed;
    long withSubfolders = 0;
    if (DIR* dir = ::opendir(path.c_str())) {
        listed = ReadListing(dir);
        std::sort(listed.begin(), listed.end(), NaturalLess);
        const bool counts = buttons > 0 && KeepsLinkCounts(path);
        for (long i = 0; i < buttons && i < static_cast<long>(listed.size()); ++i) {
            if (listed[i].folder)
                withSubfolders += HasSubfolder(dir, listed[i].name.c_str(), counts);
        }
        ::closedir(dir);
    }
    answers = answers + withSubfolders;
    if (entries)
        *entries = static_cast<long>(listed.size());
    return Since(start);
}

double ReadDirCompareLoop(const std::string& path, const std::vector<std::string>& shown,
                          long* added, long* removed) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<Listed> fresh;
    long gone = 0;
    if (DIR* dir = ::opendir(path.c_str())) {
        const std::vector<Listed> listed = ReadListing(dir);
        std::unordered_set<std::string_view> onDisk;
        onDisk.reserve(listed.size());
        for (const Listed& entry : listed)
            onDisk.insert(entry.name);
        const std::unordered_set<std::string_view> shownSet(shown.begin(), shown.end());
        for (const std::string& name : shown)
            gone += onDisk.count(name) == 0;
        const bool counts = KeepsLinkCounts(path);
        long withSubfolders = 0;
        for (const Listed& entry : listed) {
            if (!shownSet.count(entry.name))
                fresh.push_back(entry);
            if (entry.folder)
                withSubfolders += HasSubfolder(dir, entry.name.c_str(), counts);
        }
        std::sort(fresh.begin(), fresh.end(), NaturalLess);
        ::closedir(dir);
        answers = answers + withSubfolders;
    }
    if (added)
        *added = static_cast<long>(fresh.size());
    if (removed)
        *removed = gone;
    return Since(start);
}

}  // namespace bench
