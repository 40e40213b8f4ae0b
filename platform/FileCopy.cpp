#include "platform/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include <cerrno>
#include <memory>

#include "platform/PosixFile.h"
#include "platform/ReplacementFile.h"

namespace platform {

namespace {

constexpr size_t kCopyBufferBytes = size_t{256} << 10;

CopyResult Failure(int error, CopyStage stage) {
    return CopyResult{error, stage};
}

CopyResult CopyContents(PosixFile& from, PosixFile& to) {
    auto buffer = std::make_unique<char[]>(kCopyBufferBytes);
    for (;;) {
        size_t got = 0;
        if (int error = from.ReadSome(buffer.get(), kCopyBufferBytes, got); error != 0) {
            return Failure(error, CopyStage::Read);
        }
        if (got == 0) {
            return {};
        }
        if (int error = to.WriteAll(buffer.get(), got); error != 0) {
            return Failure(error, CopyStage::Write);
        }
    }
}

// Keeps the modification time; the access time becomes the copy's own. Some file systems
// (a network share without ownership, for instance) refuse this; the copy's bytes are
// what the caller asked for, so such a refusal does not fail the copy.
void KeepModificationTime(PosixFile& to, const struct stat& sourceInfo) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
    ::futimens(to.Fd(), times);
}

CopyResult OpenSource(const std::string& source, PosixFile& from, struct stat& info) {
    if (int error = from.Open(source, O_RDONLY); error != 0) {
        return Failure(error, CopyStage::OpenSource);
    }
    if (::fstat(from.Fd(), &info) != 0) {
        return Failure(errno, CopyStage::OpenSource);
    }
    if (S_ISDIR(info.st_mode)) {
        return Failure(EISDIR, CopyStage::OpenSource);
    }
    return {};
}

CopyResult CopyToNewFile(PosixFile& from, const struct stat& info, const std::string& target) {
    PosixFile to;
    if (int error = to.Open(target, O_WRONLY | O_CREAT | O_EXCL, info.st_mode & 0777); error != 0) {
        return Failure(error, CopyStage::CreateTarget);
    }
    // The target did not exist before O_EXCL created it, so removing it on failure
    // removes nothing but our own partial copy.
    CopyResult result = CopyContents(from, to);
    if (result.Ok()) {
        KeepModificationTime(to, info);
        if (int error = to.Close(); error != 0) {
            result = Failure(error, CopyStage::Close);
        }
    }
    if (!result.Ok()) {
        to.Close();
        ::unlink(target.c_str());
    }
    return result;
}

CopyResult CopyOverTarget(PosixFile& from, const struct stat& info, const std::string& target) {
    ReplacementFile replacement;
    if (int error = replacement.Create(target, info.st_mode & 0777); error != 0) {
        return Failure(error, CopyStage::CreateTarget);
    }
    CopyResult result = CopyContents(from, replacement.File());
    if (!result.Ok()) {
        return result;
    }
    KeepModificationTime(replacement.File(), info);
    // Synced before the rename: the old target must not be traded for a file whose
    // bytes are still only in memory.
    if (int error = replacement.File().Sync(); error != 0) {
        return Failure(error, CopyStage::Sync);
    }
    if (int error = replacement.File().Close(); error != 0) {
        return Failure(error, CopyStage::Close);
    }
    if (int error = replacement.Commit(); error != 0) {
        return Failure(error, CopyStage::Rename);
    }
    return {};
}

}  // namespace

CopyResult CopyFile(const std::string& source, const std::string& target, CopyMode mode) {
    PosixFile from;
    struct stat info {};
    if (CopyResult opened = OpenSource(source, from, info); !opened.Ok()) {
        return opened;
    }
    return mode == CopyMode::FailIfExists ? CopyToNewFile(from, info, target)
                                          : CopyOverTarget(from, info, target);
}

CopyResult CopyFile(const QString& source, const QString& target, CopyMode mode) {
    return CopyFile(QFile::encodeName(source).toStdString(),
                    QFile::encodeName(target).toStdString(), mode);
}

const char* CopyStageName(CopyStage stage) {
    switch (stage) {
        case CopyStage::None:
            return "none";
        case CopyStage::OpenSource:
            return "open source";
        case CopyStage::CreateTarget:
            return "create target";
        case CopyStage::Read:
            return "read";
        case CopyStage::Write:
            return "write";
        case CopyStage::Sync:
            return "sync";
        case CopyStage::Close:
            return "close";
        case CopyStage::Rename:
            return "rename";
    }
    return "unknown";
}

}  // namespace platform
