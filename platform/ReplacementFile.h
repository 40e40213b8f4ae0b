#pragma once
// A new file that appears under its name only once it is complete, so that neither a
// failure nor a kill can leave a half-written file under a name the user sees.
//
// Where the file system allows it, the file is made unnamed in the target's folder
// (O_TMPFILE) and linked to its name at the end; a replacement links it under a hidden
// name first and renames that over the target. Elsewhere (FAT, most network file systems)
// it is written under a hidden name beside the target from the start. Every failure path
// removes the hidden name; only a kill can leave one behind, and RemoveStaleTemporaries
// clears those in the next save into that folder. The file holds an exclusive flock for
// its whole life, which is how a stale temporary is told from one another process is
// still writing.

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

    // Creates the file in target's folder (mode as open() takes it, so the umask applies).
    // allowUnnamed false always uses the hidden name. Returns 0 or errno.
    int Create(const std::string& target, mode_t mode, bool allowUnnamed = true);

    PosixFile& File() { return file_; }
    bool IsUnnamed() const { return unnamed_; }

    // Syncs the file's bytes to the disk (a commit below that needs it does it when not
    // done). Returns 0 or errno.
    int Sync();
    // Gives the file its name, failing with EEXIST when the name is taken (nothing is
    // replaced then). durable: the bytes are synced before the name appears and the
    // folder after, so the file survives a power loss once this returns; a file that
    // other files are to be replaced in trust of needs that. Returns 0 or errno; on
    // failure the file is discarded (and its new name removed).
    int CommitNew(bool durable = false);
    // Syncs the file, renames it over the target and syncs the folder: the old target is
    // traded only for bytes that are on the disk. Returns 0 or errno; on failure the
    // target is untouched. The folder's sync comes after the old target is gone, so its
    // failure is not reported: the replacement has happened either way.
    int Commit();
    // Removes the file; the target stays as it was.
    void Discard();

  private:
    int LinkHidden();
    int NameNew();

    PosixFile file_;
    std::string target_;
    std::string hiddenPath_;  // empty while the file has no name
    bool unnamed_ = false;
    bool synced_ = false;
};

// Renames from to to. FailIfExists semantics when replace is false (EEXIST on a taken
// name, also where the file system cannot rename without replacing). replace: from's
// bytes are synced before it goes over to, and the folder after (its failure unreported,
// as for ReplacementFile::Commit). Returns 0 or errno.
int RenameFile(const std::string& from, const std::string& to, bool replace);

// Whether name (no folder) is a hidden temporary name this program makes.
bool IsTemporaryName(std::string_view name);

// Removes, in folder, every hidden temporary of ours that nobody holds open for writing
// (a file of the current user, not locked). Returns how many went.
int RemoveStaleTemporaries(const std::string& folder);

// Replaces the file at path with data through a synced ReplacementFile. Returns 0 or errno.
int ReplaceFileContents(const std::string& path, std::string_view data, mode_t mode = 0666);

}  // namespace platform
