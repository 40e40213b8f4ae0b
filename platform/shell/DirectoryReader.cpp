#include "platform/shell/DirectoryReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

namespace platform {
namespace {

EntryKind KindOf(unsigned char type) {
    switch (type) {
        case DT_DIR:
            return EntryKind::Directory;
        case DT_REG:
            return EntryKind::File;
        case DT_LNK:
            return EntryKind::Link;
        case DT_UNKNOWN:
            return EntryKind::Unknown;
        default:
            return EntryKind::Other;
    }
}

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

DirectoryReader::DirectoryReader(const std::string& path) : dir_(::opendir(path.c_str())) {
    if (!dir_)
        error_ = errno;
}

DirectoryReader::~DirectoryReader() {
    if (dir_)
        ::closedir(dir_);
}

bool DirectoryReader::Next(DirEntry& entry) {
    if (!dir_)
        return false;
    // readdir tells the end from a failure only through errno.
    errno = 0;
    while (const dirent* d = ::readdir(dir_)) {
        if (IsDotOrDotDot(d->d_name))
            continue;
        entry.name = d->d_name;
        entry.kind = KindOf(d->d_type);
        return true;
    }
    error_ = errno;
    return false;
}

bool DirectoryReader::IsDirectory(const DirEntry& entry) const {
    if (entry.kind == EntryKind::Directory)
        return true;
    if (!dir_ || (entry.kind != EntryKind::Link && entry.kind != EntryKind::Unknown))
        return false;
    struct stat st {};
    const std::string name(entry.name);
    return ::fstatat(::dirfd(dir_), name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool DirectoryReader::IsLink(const DirEntry& entry) const {
    if (entry.kind != EntryKind::Unknown)
        return entry.kind == EntryKind::Link;
    // Some file systems do not report kinds; only then the entry itself is looked at.
    struct stat st {};
    const std::string name(entry.name);
    return dir_ && ::fstatat(::dirfd(dir_), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(st.st_mode);
}

}  // namespace platform
