#pragma once
// Whether a folder holds subfolders, or entries of some kind, asked as cheaply as the file
// system answers. ext2/3/4, xfs and tmpfs keep a directory's link count at 2 plus its
// subdirectories (ext4 gives 1 from about 65,000 of them), so with link counts a count of
// 2 answers "no subdirectory" and one above 2 "some" without reading the folder; other
// file systems (btrfs always gives 1) are read until the first match. Links to folders are
// no directories of the folder itself: the count leaves them out, a read counts them.
// Folders are opened through the namespace. One object serves one thread for one pass
// (it remembers which devices keep counts).

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class ShellNamespace;

class SubfolderProbe {
  public:
    SubfolderProbe(const ShellNamespace& space, bool useLinkCounts);

    // A subdirectory of `path`; hidden ones count only with `includeHidden`.
    bool HasSubdirectory(const std::string& path, bool includeHidden);
    // A subdirectory, or a file that `wantedFile` accepts (any file when it is empty);
    // hidden entries count only with `includeHidden`.
    bool HasEntry(const std::string& path, bool includeHidden,
                  const std::function<bool(std::string_view name)>& wantedFile);
    // Folders read so far (tests see what the counts spared).
    int FoldersRead() const { return foldersRead_; }

  private:
    enum class Count { None, Some, Unknown };
    Count SubdirectoriesByLinkCount(const std::string& path);
    bool KeepsLinkCounts(dev_t device, const std::string& path);

    const ShellNamespace& space_;
    bool useLinkCounts_;
    std::vector<std::pair<dev_t, bool>> devices_;
    int foldersRead_ = 0;
};

}  // namespace platform
