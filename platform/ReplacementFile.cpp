#include "platform/ReplacementFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

namespace platform {

namespace {

// Leaves room for the dot, the random part and ".part" within NAME_MAX (255) bytes.
constexpr size_t kMaxBaseBytes = 200;
constexpr size_t kRandomDigits = 12;
constexpr std::string_view kTemporaryEnd = ".part";
constexpr int kNameAttempts = 100;

std::string UniqueSuffix() {
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 generator{std::random_device{}()};
    char text[32];
    std::snprintf(text, sizeof text, "%08x%04x", static_cast<unsigned>(generator()),
                  counter.fetch_add(1) & 0xffffu);
    return text;
}

std::string FolderOf(const std::string& target) {
    const size_t slash = target.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : target.substr(0, slash);
}

// ".<name>.<12 hex digits>.part" beside target.
std::string HiddenName(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.size() > kMaxBaseBytes) {
        base.resize(kMaxBaseBytes);
    }
    return folder + "." + base + "." + UniqueSuffix() + std::string(kTemporaryEnd);
}

// What open() answers for O_TMPFILE where the file system (or an old kernel) lacks it.
bool UnnamedUnsupported(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Links an O_TMPFILE file to name, failing on a taken name. Through /proc for everyone;
// AT_EMPTY_PATH where /proc is missing (it needs a capability).
int LinkUnnamed(int fd, const std::string& name) {
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return 0;
    }
    if (errno != ENOENT) {
        return errno;
    }
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Renames from over to once from's bytes are on the disk.
int RenameOver(const std::string& from, const std::string& to) {
    PosixFile file;
    int error = file.Open(from, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (error == 0) {
        error = file.Sync();
    }
    if (error == 0 && ::rename(from.c_str(), to.c_str()) != 0) {
        error = errno;
    }
    if (error == 0) {
        SyncFolder(FolderOf(to));
    }
    return error;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool SameInode(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Unlinks name in folder when it is a regular file of ours that no writer holds.
bool RemoveIfStale(int folder, const char* name) {
    PosixFile file(
        ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    struct stat named {};
    if (!file.IsOpen() || ::fstat(file.Fd(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_uid != ::geteuid() || ::flock(file.Fd(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    // The name must still be the file we locked: a writer may have renamed it meanwhile.
    return ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameInode(opened, named) &&
           ::unlinkat(folder, name, 0) == 0;
}

}  // namespace

ReplacementFile::~ReplacementFile() {
    Discard();
}

int ReplacementFile::Create(const std::string& target, mode_t mode, bool allowUnnamed) {
    Discard();
    target_ = target;
    int error = EOPNOTSUPP;
    if (allowUnnamed) {
        error = file_.Open(FolderOf(target), O_TMPFILE | O_WRONLY, mode);
        unnamed_ = error == 0;
    }
    if (error != 0 && UnnamedUnsupported(error)) {
        error = EEXIST;
        for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
            std::string candidate = HiddenName(target);
            error = file_.Open(candidate, O_WRONLY | O_CREAT | O_EXCL, mode);
            if (error == 0) {
                hiddenPath_ = std::move(candidate);
            }
        }
    }
    if (error == 0) {
        // Nobody else knows the file yet, so this never waits.
        ::flock(file_.Fd(), LOCK_EX | LOCK_NB);
    }
    return error;
}

int ReplacementFile::LinkHidden() {
    int error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
        std::string candidate = HiddenName(target_);
        error = LinkUnnamed(file_.Fd(), candidate);
        if (error == 0) {
            hiddenPath_ = std::move(candidate);
        }
    }
    return error;
}

int ReplacementFile::Sync() {
    const int error = file_.Sync();
    synced_ = error == 0;
    return error;
}

int ReplacementFile::NameNew() {
    if (!unnamed_) {
        const int error = file_.Close();
        return error == 0 ? RenameFile(hiddenPath_, target_, false) : error;
    }
    int error = LinkUnnamed(file_.Fd(), target_);
    // A network file system may report a lost write only when the file is closed; the
    // name we just made is ours alone, so it goes again then.
    if (error == 0 && (error = file_.Close()) != 0) {
        ::unlink(target_.c_str());
    }
    return error;
}

int ReplacementFile::CommitNew(bool durable) {
    if (!file_.IsOpen()) {
        return EBADF;
    }
    int error = durable && !synced_ ? Sync() : 0;
    if (error == 0) {
        error = NameNew();
    }
    // The name is ours alone until this returns, so a folder that cannot be synced takes
    // it back.
    if (error == 0 && durable && (error = SyncFolder(FolderOf(target_))) != 0) {
        ::unlink(target_.c_str());
    }
    if (error != 0) {
        Discard();
        return error;
    }
    hiddenPath_.clear();
    unnamed_ = false;
    return 0;
}

int ReplacementFile::Commit() {
    if (!file_.IsOpen()) {
        return EBADF;
    }
    int error = synced_ ? 0 : Sync();
    if (error == 0 && unnamed_) {
        error = LinkHidden();
    }
    // Renamed while still open and locked, so no other save takes it for a stale one.
    if (error == 0 && ::rename(hiddenPath_.c_str(), target_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        Discard();
        return error;
    }
    hiddenPath_.clear();
    unnamed_ = false;
    error = file_.Close();
    SyncFolder(FolderOf(target_));
    return error;
}

void ReplacementFile::Discard() {
    if (!hiddenPath_.empty()) {
        ::unlink(hiddenPath_.c_str());
        hiddenPath_.clear();
    }
    file_.Close();
    unnamed_ = false;
    synced_ = false;
}

int RenameFile(const std::string& from, const std::string& to, bool replace) {
    if (replace) {
        return RenameOver(from, to);
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) {
        return error;
    }
    // No rename without replacing here (NFS, CIFS): a second name, then the first goes.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS) {
        return error;
    }
    // Nor hard links: look first. The window between the look and the rename is all the
    // file system allows.
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        return EEXIST;
    }
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool IsTemporaryName(std::string_view name) {
    const size_t tail = kRandomDigits + kTemporaryEnd.size();
    if (name.size() < tail + 3 || name.front() != '.' || !name.ends_with(kTemporaryEnd) ||
        name[name.size() - tail - 1] != '.') {
        return false;
    }
    for (size_t i = name.size() - tail; i < name.size() - kTemporaryEnd.size(); ++i) {
        if (!IsHexDigit(name[i])) {
            return false;
        }
    }
    return true;
}

int RemoveStaleTemporaries(const std::string& folder) {
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(folder.c_str()), ::closedir);
    if (!stream) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(stream.get())) {
        if (IsTemporaryName(entry->d_name) && RemoveIfStale(::dirfd(stream.get()), entry->d_name)) {
            ++removed;
        }
    }
    return removed;
}

int ReplaceFileContents(const std::string& path, std::string_view data, mode_t mode) {
    ReplacementFile replacement;
    int error = replacement.Create(path, mode);
    if (error == 0) {
        error = replacement.File().WriteAll(data.data(), data.size());
    }
    if (error == 0) {
        error = replacement.Commit();
    }
    return error;
}

}  // namespace platform
