#pragma once
// Whether a folder holds subfolders, or entries of some kind, asked as cheaply as the file
// system answers. ext2/3/4, xfs and tmpfs keep a directory's link count at 2 plus its
// subdirectories, so a count above 2 proves a subdirectory without reading the folder. A
// count of 2 proves nothing: links to folders are folders to the tree but no directories
// of the folder itself, so only a read finds them (btrfs always gives 1, ext4 past about
// 65,000 subdirectories too). An answer comes with the folder's stamp when it holds for as
// long as the folder keeps that stamp, and a caller that keeps both is spared the next read
// of an unchanged folder. Folders are opened through the namespace. One object serves one
// thread for one pass (it remembers which devices keep counts).

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class ShellNamespace;

// A folder's identity and the time its entries last changed (device, inode, st_ctim), as a
// 64-bit digest: the folder tree keeps one with each item, and one word is what an item can
// grow by without slowing the tree down. Two states of one folder share a digest once in
// 2^64 changes. The change time rather than the modification time: a program that fills a
// folder may set its modification time back afterwards (cp -a, rsync and tar do), but not
// its change time.
struct FolderStamp {
    std::uint64_t digest = 0;  // 0: no stamp

    static FolderStamp Of(dev_t device, ino_t inode, const struct timespec& changed);
    bool IsSet() const { return digest != 0; }
    bool operator==(const FolderStamp&) const = default;
};

struct SubfolderAnswer {
    bool found = false;
    // Set when the answer holds while the folder keeps this stamp. Unset when it rests on
    // a link (its target may come or go while the folder stays as it is), when the folder
    // could not be read whole, and when the folder changed so recently that a further
    // change could carry the same time.
    FolderStamp holdsWhile;
};

class SubfolderProbe {
  public:
    SubfolderProbe(const ShellNamespace& space, bool useLinkCounts);

    // A subdirectory of `path`, or a link to one; hidden ones count only with
    // `includeHidden`. `known`, an answer to the same question, is given back without a
    // read while the folder keeps the stamp it holds for.
    SubfolderAnswer Subdirectory(const std::string& path, bool includeHidden,
                                 const SubfolderAnswer& known = {});
    bool HasSubdirectory(const std::string& path, bool includeHidden) {
        return Subdirectory(path, includeHidden).found;
    }
    // A subdirectory, or a file that `wantedFile` accepts (any file when it is empty);
    // hidden entries count only with `includeHidden`.
    bool HasEntry(const std::string& path, bool includeHidden,
                  const std::function<bool(std::string_view name)>& wantedFile);
    // Folders read so far (tests see what the counts and the stamps spared).
    int FoldersRead() const { return foldersRead_; }

  private:
    struct Reading {
        bool found = false;
        bool lasting = false;  // rests on nothing but the folder's own entries, all read
    };
    bool CountProvesSubdirectory(dev_t device, nlink_t links, const std::string& path);
    bool KeepsLinkCounts(dev_t device, const std::string& path);
    Reading ReadForSubdirectory(const std::string& path, bool includeHidden);

    const ShellNamespace& space_;
    bool useLinkCounts_;
    std::vector<std::pair<dev_t, bool>> devices_;
    int foldersRead_ = 0;
};

}  // namespace platform
