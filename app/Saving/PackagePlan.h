#pragma once
// The plan of a package before its first byte is written: which picture goes to which
// name, which files are both a picture's source and another picture's target, and the
// order of the copies that reads every such file before it is replaced. Planning reads
// the file system (it stats every source and target), so it runs off the UI thread.

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <compare>
#include <map>
#include <optional>
#include <vector>

// A file, as the file system knows it: two paths (links, hard links, other spellings)
// that name one file have one identity.
struct TFileId {
    dev_t device = 0;
    ino_t inode = 0;
    auto operator<=>(const TFileId&) const = default;
};

// The identity of the file at path, or of the link itself when followLink is false; empty
// when there is none.
std::optional<TFileId> FileIdOf(const QString& path, bool followLink);

struct TPlannedPicture {
    QString seriesPath;  // as the series lists it: what the user knows it by
    QString source;      // the file read (a temporary copy for a picture on removable media)
    QString target;
    std::optional<TFileId> sourceId;  // empty: the source is missing
    int sourceError = 0;              // why it is missing (errno of its lookup)
    // The links the source is named through, when it is one (a link to a link, both):
    // replacing any of them takes the picture's name away as surely as replacing the file.
    std::vector<TFileId> sourceLinks;
    // The picture's own file and its links, as the series names it. Read through a
    // temporary copy, the picture still lives there: the copy goes when the program
    // closes, so the original is the copy that lasts.
    std::optional<TFileId> originalId;
    std::vector<TFileId> originalLinks;
    std::optional<TFileId> targetId;  // empty: the target does not exist yet
    // Another picture's target is one of this picture's files: its copy in the package
    // must be on the disk before that file is replaced.
    bool displaced = false;
};

// Fills in the identities of the pictures' sources, originals and targets, and which
// pictures are displaced.
void IdentifyFiles(std::vector<TPlannedPicture>& pictures);

// The files that hold picture: the one it is read from and its original, and the links
// they are named through; each once.
std::vector<TFileId> FilesOf(const TPlannedPicture& picture);

// For every file that holds a picture (FilesOf), the pictures (by index) it holds.
std::map<TFileId, std::vector<int>> ReadersByFile(const std::vector<TPlannedPicture>& pictures);

// The order of the copies (indexes into pictures): package order, except that a picture
// whose target holds another picture waits until that one is copied. Where pictures wait
// for each other in a cycle (saving a folder into itself, renumbered), the first waiting
// picture in package order goes first; the save then holds the pictures it displaces in a
// temporary copy.
std::vector<int> CopyOrder(const std::vector<TPlannedPicture>& pictures);
