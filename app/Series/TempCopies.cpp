#include "app/Series/TempCopies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>

#include "platform/FileCopy.h"
#include "platform/Paths.h"

namespace {

constexpr const char* kPrivateDirPrefix = "orvane-viewer-";
constexpr int kMaxNameBytes = NAME_MAX;
// The file inside a program's folder that it holds locked while it runs.
constexpr const char* kLockName = ".lock";
// A new folder can be taken away by a start that clears the parent in the same moment;
// making one again is then tried this many times.
constexpr int kFolderAttempts = 100;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

bool LStat(const QString& path, struct stat& info) {
    return ::lstat(Native(path).constData(), &info) == 0;
}

bool Exists(const QString& path) {
    struct stat info {};
    return LStat(path, info);
}

// Our own directory: a real directory (not a symlink to one) owned by this user.
bool IsOwnDirectory(const QString& path) {
    struct stat info {};
    return LStat(path, info) && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

// Creates path with mode 0700 when missing and checks it. A directory of ours that others
// may read is closed to them.
bool MakePrivateDirectory(const QString& path) {
    const QByteArray native = Native(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (!LStat(path, info) || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        return false;
    }
    return true;
}

// The folders above path, made when missing (a $TMPDIR that does not exist yet is made,
// as the temporary folder is made with all its missing parents).
bool MakeParents(const QString& path) {
    const QString parent = platform::WithoutTrailingSlash(platform::FolderPart(path));
    return parent.isEmpty() || QDir().mkpath(parent);
}

bool SameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return ::stat(Native(a).constData(), &sa) == 0 && ::stat(Native(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Deletes every entry directly inside folder that is not a directory, except one name.
void ClearFolderExcept(const QString& folder, std::string_view keep) {
    // O_NOFOLLOW: a folder that was swapped for a symlink is not emptied through it.
    const int dirFd =
        ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) {
        return;
    }
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || name == keep) {
            continue;
        }
        struct stat info {};
        if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(info.st_mode)) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
    }
    ::closedir(dir);  // closes dirFd too
}

// Whether the file at path is the one open as file.
bool IsStillNamed(const QString& path, const platform::PosixFile& file) {
    struct stat named {};
    struct stat opened {};
    return LStat(path, named) && ::fstat(file.Fd(), &opened) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// Takes the lock of the folder at path: a lock that its program holds is refused, and
// one taken while a clearing start removed the file is no lock.
bool TakeLock(const QString& path, platform::PosixFile& lock) {
    return ::flock(lock.Fd(), LOCK_EX | LOCK_NB) == 0 && IsStillNamed(path, lock);
}

// A program's folder whose program is gone is cleared and removed; one without a lock
// file is being made right now, or its maker died first: removed only when empty (a
// maker then starts again).
void ClearIfAbandoned(const QString& folder) {
    const QString lockPath = platform::JoinPath(folder, QString::fromLatin1(kLockName));
    platform::PosixFile lock;
    if (const int error = lock.Open(Native(lockPath).toStdString(), O_RDWR | O_NOFOLLOW);
        error != 0) {
        if (error == ENOENT) {
            ::rmdir(Native(folder).constData());
        }
        return;
    }
    if (TakeLock(lockPath, lock)) {
        ClearFolderExcept(folder, {});
        ::rmdir(Native(folder).constData());
    }
}

// Every folder in parent whose program is gone goes, and so do loose files there, which
// no running program owns.
void ClearAbandonedFolders(const QString& parent, const QString& own) {
    ClearFolderExcept(parent, {});
    const QDir::Filters folders = QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot;
    for (const QString& name : QDir(parent).entryList(folders)) {
        const QString folder = platform::JoinPath(parent, name);
        if (folder != own && IsOwnDirectory(folder)) {
            ClearIfAbandoned(folder);
        }
    }
}

}  // namespace

QString NumberedName(const QString& name, int n) {
    const QString extension = platform::ExtensionPart(name);
    QString stem = name.left(name.size() - extension.size());
    const QString tail = QStringLiteral("~%1").arg(n) + extension;
    while (!stem.isEmpty() && Native(stem + tail).size() > kMaxNameBytes) {
        stem.chop(1);
    }
    return stem + tail;
}

TempFolderError::TempFolderError() : std::runtime_error("Cannot create temp directory.") {}

QString GetTmpFolder() {
    QString base = qEnvironmentVariable("TMPDIR");
    if (!base.startsWith(u'/')) {
        base = QStringLiteral("/tmp");
    }
    const QString folder =
        platform::JoinPath(base, QString::fromLatin1(kPrivateDirPrefix) +
                                     QString::number(static_cast<qulonglong>(::geteuid())));
    if (!MakeParents(folder) || !MakePrivateDirectory(folder)) {
        throw TempFolderError();
    }
    return folder;
}

void ClearFolder(const QString& folder) {
    ClearFolderExcept(folder, {});
}

TTempCopies::TTempCopies(QString parent) : parent_(std::move(parent)) {}

void TTempCopies::Prepare() {
    EnsureParent();
    ClearAbandonedFolders(parent_, folder_);
    if (FolderExists()) {
        DeleteAllCopies();
        return;
    }
    EnsureFolder();
}

// The parent and the private directory above it, made when missing.
void TTempCopies::EnsureParent() const {
    const QString above = platform::WithoutTrailingSlash(platform::FolderPart(parent_));
    if (!above.isEmpty() && !IsOwnDirectory(above) &&
        (!MakeParents(above) || !MakePrivateDirectory(above))) {
        throw TempFolderError();
    }
    if (!MakePrivateDirectory(parent_)) {
        throw TempFolderError();
    }
}

// The folder is made again when it went while the program ran, under a new name: its old
// copies are gone with it.
void TTempCopies::EnsureFolder() {
    if (FolderExists() &&
        IsStillNamed(platform::JoinPath(folder_, QString::fromLatin1(kLockName)), lock_)) {
        return;
    }
    copies_.clear();
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
        EnsureParent();
        if (TryMakeOwnFolder()) {
            return;
        }
    }
    throw TempFolderError();
}

// A fresh folder and its lock file, locked. False when a start that clears the parent
// took either away meanwhile.
bool TTempCopies::TryMakeOwnFolder() {
    QByteArray pattern =
        Native(platform::JoinPath(parent_, QString::number(::getpid()) + "-XXXXXX"));
    if (::mkdtemp(pattern.data()) == nullptr) {
        if (errno != ENOENT) {
            throw TempFolderError();
        }
        return false;
    }
    const QString folder = QFile::decodeName(pattern);
    const QString lockPath = platform::JoinPath(folder, QString::fromLatin1(kLockName));
    platform::PosixFile lock;
    const int error =
        lock.Open(Native(lockPath).toStdString(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (error != 0 && error != ENOENT) {
        ::rmdir(pattern.constData());
        throw TempFolderError();
    }
    if (error != 0 || !TakeLock(lockPath, lock)) {
        return false;
    }
    folder_ = folder;
    lock_ = std::move(lock);
    return true;
}

bool TTempCopies::FolderExists() const {
    return !folder_.isEmpty() && IsOwnDirectory(folder_);
}

bool TTempCopies::CopyToTemp(const QString& source) {
    EnsureFolder();
    const QString sourceFolder = QFileInfo(source).canonicalPath();
    if (!sourceFolder.isEmpty() && sourceFolder == QFileInfo(folder_).canonicalFilePath()) {
        return true;  // already one of ours: read it where it is
    }
    const auto known = copies_.find(source);
    const QString target = known != copies_.end() ? known->second : UniqueCopyPath(source);
    if (Exists(target) && SameFile(source, target)) {
        return true;
    }
    const auto mode =
        known != copies_.end() ? platform::CopyMode::Replace : platform::CopyMode::FailIfExists;
    if (!platform::CopyFile(source, target, mode).Ok()) {
        return false;
    }
    copies_[source] = target;
    return true;
}

QString TTempCopies::UniqueCopyPath(const QString& source) const {
    const QString name = platform::FileNamePart(source);
    QString candidate = platform::JoinPath(folder_, name);
    for (int n = 2; IsTakenByOther(candidate, source) || Exists(candidate); ++n) {
        candidate = platform::JoinPath(folder_, NumberedName(name, n));
    }
    return candidate;
}

bool TTempCopies::IsTakenByOther(const QString& candidate, const QString& source) const {
    for (const auto& [original, copy] : copies_) {
        if (copy == candidate && original != source) {
            return true;
        }
    }
    return false;
}

std::optional<QString> TTempCopies::CopyOf(const QString& source) const {
    const auto found = copies_.find(source);
    if (found == copies_.end()) {
        return std::nullopt;
    }
    struct stat info {};
    if (!LStat(found->second, info) || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return found->second;
}

void TTempCopies::DeleteCopy(const QString& source) {
    const auto found = copies_.find(source);
    if (found == copies_.end()) {
        return;
    }
    ::unlink(Native(found->second).constData());
    copies_.erase(found);
}

void TTempCopies::DeleteAllCopies() {
    if (!folder_.isEmpty()) {
        ClearFolderExcept(folder_, kLockName);
    }
    copies_.clear();
}

// The lock file goes with the rest while still held, so no start takes the folder for an
// abandoned one before it is gone.
void TTempCopies::RemoveFolder() {
    if (!folder_.isEmpty()) {
        ClearFolder(folder_);
        ::rmdir(Native(folder_).constData());
    }
    lock_.Close();
    copies_.clear();
    ::rmdir(Native(parent_).constData());
}
