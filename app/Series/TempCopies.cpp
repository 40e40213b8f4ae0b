#include "app/Series/TempCopies.h"

#include <dirent.h>
#include <fcntl.h>
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
        if (name == "." || name == "..") {
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

TTempCopies::TTempCopies(QString folder) : folder_(std::move(folder)) {}

void TTempCopies::Prepare() {
    if (IsOwnDirectory(folder_)) {
        DeleteAllCopies();
        return;
    }
    EnsureFolder();
}

void TTempCopies::EnsureFolder() {
    const QString parent = platform::WithoutTrailingSlash(platform::FolderPart(folder_));
    if (!parent.isEmpty() && !IsOwnDirectory(parent) &&
        (!MakeParents(parent) || !MakePrivateDirectory(parent))) {
        throw TempFolderError();
    }
    if (!MakePrivateDirectory(folder_)) {
        throw TempFolderError();
    }
}

bool TTempCopies::FolderExists() const {
    return IsOwnDirectory(folder_);
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
    ClearFolder(folder_);
    copies_.clear();
}

void TTempCopies::RemoveFolder() {
    DeleteAllCopies();
    ::rmdir(Native(folder_).constData());
}
