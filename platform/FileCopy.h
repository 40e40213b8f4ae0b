#pragma once
// Byte-for-byte file copy. A failure names the errno and the step that failed, so that
// callers can tell a missing source (OpenSource) from an existing target (CreateTarget
// with EEXIST) or a full disk (Write with ENOSPC). A failed copy never leaves a partial
// target behind, and a replaced target stays as it was until the new copy is complete.

#include <QString>
#include <string>

namespace platform {

enum class CopyMode {
    FailIfExists,  // the target is created with O_EXCL: an existing one gives EEXIST
    Replace,       // written beside the target, synced, then renamed over it
};

enum class CopyStage { None, OpenSource, CreateTarget, Read, Write, Sync, Close, Rename };

struct CopyResult {
    int error = 0;  // errno of the failed step; 0 on success
    CopyStage stage = CopyStage::None;
    bool Ok() const { return error == 0; }
};

// The copy gets the source's permission bits (less the umask) and keeps its modification
// time where the target's file system allows setting it. A source that is a folder fails
// with EISDIR at OpenSource.
CopyResult CopyFile(const std::string& source, const std::string& target, CopyMode mode);
CopyResult CopyFile(const QString& source, const QString& target, CopyMode mode);

const char* CopyStageName(CopyStage stage);

}  // namespace platform
