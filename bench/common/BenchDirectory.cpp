#include "bench/common/BenchDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
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

struct Subfolders {
    bool found = false;
    bool lasting = false;  // rests on no link, and the folder was read whole
};

// Reads the folder `name` of the open folder `dir` until its first subfolder or link to one.
Subfolders ReadForSubfolder(DIR* dir, const char* name, bool includeHidden) {
    const int fd = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* inner = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!inner) {
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    Subfolders result{false, true};
    while (const dirent* d = ::readdir(inner)) {
        if (IsDotOrDotDot(d->d_name) || (!includeHidden && d->d_name[0] == '.'))
            continue;
        bool folder = d->d_type == DT_DIR;
        if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
            struct stat st {};
            folder = ::fstatat(::dirfd(inner), d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            result.lasting = result.lasting && d->d_type != DT_LNK;
        }
        if (folder) {
            result.found = true;
            result.lasting = d->d_type != DT_LNK;
            break;
        }
    }
    ::closedir(inner);
    return result;
}

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// Whether the folder `name` of the open folder `dir` holds a subfolder, with the answer
// kept in `remembered` (when given) while the folder keeps its identity and change time.
bool HasSubfolder(DIR* dir, const char* name, bool counts, bool includeHidden,
                  RememberedAnswers* remembered) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat st {};
    const bool stated = ::fstatat(::dirfd(dir), name, &st, 0) == 0;
    RememberedAnswer* known = nullptr;
    if (stated && remembered) {
        known = &(*remembered)[name];
        if (known->device == st.st_dev && known->inode == st.st_ino &&
            known->changedNs == Nanoseconds(st.st_ctim))
            return known->found;
    }
    Subfolders result{true, true};
    if (!(stated && counts && includeHidden && st.st_nlink > 2))
        result = ReadForSubfolder(dir, name, includeHidden);
    if (known) {
        const bool settled = Nanoseconds(now) - Nanoseconds(st.st_ctim) >= 2'000'000'000;
        *known = result.lasting && settled
                     ? RememberedAnswer{st.st_dev, st.st_ino, Nanoseconds(st.st_ctim), result.found}
                     : RememberedAnswer{};
    }
    return result.found;
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

double ReadDirSortLoop(const std::string& path, long* entries, long buttons, bool includeHidden) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<Listed> listed;
    long withSubfolders = 0;
    if (DIR* dir = ::opendir(path.c_str())) {
        listed = ReadListing(dir);
        std::sort(listed.begin(), listed.end(), NaturalLess);
        const bool counts = buttons > 0 && KeepsLinkCounts(path);
        for (long i = 0; i < buttons && i < static_cast<long>(listed.size()); ++i) {
            if (listed[i].folder)
                withSubfolders +=
                    HasSubfolder(dir, listed[i].name.c_str(), counts, includeHidden, nullptr);
        }
        ::closedir(dir);
    }
    answers = answers + withSubfolders;
    if (entries)
        *entries = static_cast<long>(listed.size());
    return Since(start);
}

void WaitUntilSettled(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        for (;;) {
            timespec now{};
            ::clock_gettime(CLOCK_REALTIME, &now);
            struct stat st {};
            if (::stat(folder.c_str(), &st) != 0 ||
                Nanoseconds(now) - Nanoseconds(st.st_ctim) > 2'100'000'000)
                break;
            ::usleep(20000);
        }
    }
}

double ReadDirCompareLoop(const std::string& path, const std::vector<std::string>& shown,
                          RememberedAnswers& remembered, long* added, long* removed) {
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
                withSubfolders += HasSubfolder(dir, entry.name.c_str(), counts, true, &remembered);
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
