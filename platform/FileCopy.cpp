#include "platform/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/PosixFile.h"
#include "platform/ReplacementFile.h"

namespace platform {

namespace {

constexpr size_t kMaxBufferBytes = size_t{1} << 20;

CopyResult Failure(int error, CopyStage stage) {
    return CopyResult{error, stage};
}

// A failed open of a pipe without a writer, a socket or a device without its driver says
// ENXIO or ENODEV; the path itself tells which kind of file it was.
int OpenError(const std::string& source, int error) {
    struct stat info {};
    if (error != EACCES && ::stat(source.c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISDIR(info.st_mode)) {
        return kNotRegularFile;
    }
    return error;
}

CopyResult OpenSource(const std::string& source, PosixFile& from, struct stat& info) {
    // O_NONBLOCK: opening a pipe would otherwise wait for a writer, for ever.
    if (int error = from.Open(source, O_RDONLY | O_NONBLOCK | O_NOCTTY); error != 0) {
        return Failure(OpenError(source, error), CopyStage::OpenSource);
    }
    if (::fstat(from.Fd(), &info) != 0) {
        return Failure(errno, CopyStage::OpenSource);
    }
    if (!S_ISREG(info.st_mode)) {
        return Failure(S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile, CopyStage::OpenSource);
    }
    // Back to blocking reads: a network or FUSE file system may take the flag literally.
    ::fcntl(from.Fd(), F_SETFL, ::fcntl(from.Fd(), F_GETFL) & ~O_NONBLOCK);
    return {};
}

bool Proceed(const CopyOptions& options) {
    return !options.proceed || options.proceed();
}

// Where copy_file_range is refused (another file system on old kernels, a file system
// without it) or fails in a way that does not say which side is at fault, plain reads and
// writes go on from where it stopped and report the failing side themselves.
CopyResult CopyByReadWrite(PosixFile& from, PosixFile& to, const CopyOptions& options) {
    const size_t size = std::clamp<size_t>(options.chunkBytes, 1, kMaxBufferBytes);
    const auto buffer = std::make_unique_for_overwrite<char[]>(size);
    for (;;) {
        size_t got = 0;
        if (int error = from.ReadSome(buffer.get(), size, got); error != 0) {
            return Failure(error, CopyStage::Read);
        }
        if (got == 0) {
            return {};
        }
        if (int error = to.WriteAll(buffer.get(), got); error != 0) {
            return Failure(error, CopyStage::Write);
        }
        if (!Proceed(options)) {
            return Failure(ECANCELED, CopyStage::Write);
        }
    }
}

bool IsWriteError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

// The kernel copies without passing the bytes through this process. An end before the
// size the file reported is checked with reads: some files report a size of 0 and still
// have content, and a file may grow while it is copied.
CopyResult CopyContents(PosixFile& from, PosixFile& to, off_t size, const CopyOptions& options) {
    const size_t chunk = std::max<size_t>(options.chunkBytes, 1);
    off_t copied = 0;
    for (;;) {
        const ssize_t n = ::copy_file_range(from.Fd(), nullptr, to.Fd(), nullptr, chunk, 0);
        if (n == 0 && copied >= size && size > 0) {
            return {};
        }
        if (n > 0) {
            copied += n;
            if (!Proceed(options)) {
                return Failure(ECANCELED, CopyStage::Write);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && IsWriteError(errno)) {
            return Failure(errno, CopyStage::Write);
        }
        return CopyByReadWrite(from, to, options);
    }
}

// The access time becomes the copy's own. Some file systems (a network share without
// ownership, FAT for the bits) refuse this; the copy's bytes are what the caller asked
// for, so such a refusal does not fail the copy.
void KeepTimeAndMode(PosixFile& to, const struct stat& sourceInfo) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, sourceInfo.st_mtim};
    ::futimens(to.Fd(), times);
    ::fchmod(to.Fd(), sourceInfo.st_mode & 0777);
}

bool NameTaken(const std::string& target) {
    struct stat info {};
    return ::lstat(target.c_str(), &info) == 0;
}

CopyResult Commit(ReplacementFile& copy, CopyMode mode) {
    // Synced first where the copy must outlive a power loss: the old target must not be
    // traded for a file whose bytes are still only in memory.
    if (mode != CopyMode::FailIfExists) {
        if (int error = copy.Sync(); error != 0) {
            return Failure(error, CopyStage::Sync);
        }
    }
    if (mode != CopyMode::Replace) {
        const int error = copy.CommitNew(mode == CopyMode::FailIfExistsDurable);
        return error == 0
                   ? CopyResult{}
                   : Failure(error, error == EEXIST ? CopyStage::CreateTarget : CopyStage::Rename);
    }
    const int error = copy.Commit();
    return error == 0 ? CopyResult{} : Failure(error, CopyStage::Rename);
}

}  // namespace

CopyResult CopyFile(const std::string& source, const std::string& target, CopyMode mode,
                    const CopyOptions& options) {
    PosixFile from;
    struct stat info {};
    if (CopyResult opened = OpenSource(source, from, info); !opened.Ok()) {
        return opened;
    }
    // Checked before copying so that a taken name costs no copy; the link at the end
    // still fails on a name taken meanwhile.
    if (mode != CopyMode::Replace && NameTaken(target)) {
        return Failure(EEXIST, CopyStage::CreateTarget);
    }
    ReplacementFile copy;
    if (int error = copy.Create(target, info.st_mode & 0777, options.allowUnnamed); error != 0) {
        return Failure(error, CopyStage::CreateTarget);
    }
    if (CopyResult copied = CopyContents(from, copy.File(), info.st_size, options); !copied.Ok()) {
        return copied;
    }
    KeepTimeAndMode(copy.File(), info);
    return Commit(copy, mode);
}

CopyResult CopyFile(const QString& source, const QString& target, CopyMode mode,
                    const CopyOptions& options) {
    return CopyFile(QFile::encodeName(source).toStdString(),
                    QFile::encodeName(target).toStdString(), mode, options);
}

CopyResult MoveFile(const QString& from, const QString& to, CopyMode mode) {
    const int error = RenameFile(QFile::encodeName(from).toStdString(),
                                 QFile::encodeName(to).toStdString(), mode == CopyMode::Replace);
    if (error == 0) {
        return {};
    }
    return Failure(error, error == EEXIST ? CopyStage::CreateTarget : CopyStage::Rename);
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
