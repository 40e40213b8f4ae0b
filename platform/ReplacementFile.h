#pragma once
// A new file that takes the place of another only once it is complete: it is written
// under a unique hidden name in the target's own folder (so that the final rename stays on
// one file system and is atomic) and renamed over the target at the end. Until then the
// old target is untouched, and a replacement that is not committed is removed again, so
// a failure never leaves a half-written file behind.

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/PosixFile.h"

namespace platform {

class ReplacementFile {
  public:
    ReplacementFile() = default;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Creates the temporary file beside target (O_EXCL, mode as open() takes it, so the
    // umask applies). Returns 0 or errno.
    int Create(const std::string& target, mode_t mode);

    PosixFile& File() { return file_; }
    const std::string& TemporaryPath() const { return tempPath_; }

    // Closes the file when still open and renames it over the target. On failure the
    // temporary file is removed and the target stays as it was. Returns 0 or errno.
    int Commit();
    // Removes the temporary file; the target stays as it was.
    void Discard();

  private:
    PosixFile file_;
    std::string target_;
    std::string tempPath_;
};

// Replaces the file at path with data through a synced ReplacementFile. Returns 0 or errno.
int ReplaceFileContents(const std::string& path, std::string_view data, mode_t mode = 0666);

}  // namespace platform
