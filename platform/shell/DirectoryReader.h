#pragma once
// Reads one directory with readdir, owning the stream. Entry kinds come from the directory
// itself where the file system tells them; links and unknown kinds are resolved on request
// relative to the open directory, so no path is built per entry.

#include <dirent.h>

#include <string>
#include <string_view>

namespace platform {

enum class EntryKind { Unknown, Directory, File, Link, Other };

struct DirEntry {
    std::string_view name;  // valid until the next call of Next()
    EntryKind kind = EntryKind::Unknown;
};

class DirectoryReader {
  public:
    explicit DirectoryReader(const std::string& path);
    ~DirectoryReader();
    DirectoryReader(const DirectoryReader&) = delete;
    DirectoryReader& operator=(const DirectoryReader&) = delete;

    bool IsOpen() const { return dir_ != nullptr; }
    // The errno of a failed open or of a read that ended early; 0 after a complete read.
    int Error() const { return error_; }
    // The next entry other than "." and ".."; false at the end or on a read error.
    bool Next(DirEntry& entry);
    // Whether the entry is a directory, following a link (a dangling link is not).
    bool IsDirectory(const DirEntry& entry) const;
    // Whether the entry itself is a symbolic link.
    bool IsLink(const DirEntry& entry) const;

  private:
    DIR* dir_ = nullptr;
    int error_ = 0;
};

// Hidden items are the dot files.
inline bool IsHiddenName(std::string_view name) {
    return !name.empty() && name.front() == '.';
}

}  // namespace platform
