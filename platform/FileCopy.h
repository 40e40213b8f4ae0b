#pragma once
// Byte-for-byte file copy. A failure names the errno and the step that failed, so that
// callers can tell a missing source (OpenSource) from an existing target (CreateTarget
// with EEXIST) or a full disk (Write with ENOSPC). The copy appears under the target's name
// only complete (see ReplacementFile.h): neither a failure nor a kill leaves a partial
// target behind, and a replaced target stays as it was until the new copy is on the disk.

#include <QString>
#include <cstddef>
#include <functional>
#include <string>

namespace platform {

enum class CopyMode {
    FailIfExists,  // an existing target (or a link of that name) gives EEXIST
    // As FailIfExists, and the copy is on the disk, bytes and name, when the call returns
    // (synced before it is linked, the folder after): for a copy that another file is
    // then replaced in trust of.
    FailIfExistsDurable,
    Replace,  // the complete copy is synced and renamed over the target, the folder synced
};

enum class CopyStage { None, OpenSource, CreateTarget, Read, Write, Sync, Close, Rename };

// The error of a source that is neither a regular file nor a folder (a pipe, a socket, a
// device): copying one could wait forever or never end. Negative, never an errno.
inline constexpr int kNotRegularFile = -2;

struct CopyResult {
    int error = 0;  // errno of the failed step (or kNotRegularFile); 0 on success
    CopyStage stage = CopyStage::None;
    bool Ok() const { return error == 0; }
};

struct CopyOptions {
    // Called after every chunk; false stops the copy with ECANCELED (stage Write).
    std::function<bool()> proceed;
    size_t chunkBytes = size_t{16} << 20;
    // false: the copy is written under a hidden name, as where O_TMPFILE is missing.
    bool allowUnnamed = true;
};

// Only regular files are copied: the source is opened without waiting (O_NONBLOCK) and
// checked after opening; a folder fails with EISDIR, anything else with kNotRegularFile,
// both at OpenSource. The copy gets the source's permission bits and modification time
// where the target's file system allows setting them.
CopyResult CopyFile(const std::string& source, const std::string& target, CopyMode mode,
                    const CopyOptions& options = {});
CopyResult CopyFile(const QString& source, const QString& target, CopyMode mode,
                    const CopyOptions& options = {});

// Renames from to to within one file system, failing with EEXIST (stage CreateTarget, as
// for a copy) on a taken name in either FailIfExists mode; other errors come with stage
// Rename. Replace syncs from before it goes over to, and the folder after.
CopyResult MoveFile(const QString& from, const QString& to, CopyMode mode);

const char* CopyStageName(CopyStage stage);

}  // namespace platform
