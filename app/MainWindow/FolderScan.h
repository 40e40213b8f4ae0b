#pragma once
// Which files of a folder the file list shows, and the path rules the lists share.
// Pictures are the regular files (symlinks followed) whose extension is ".jpg" or ".jpeg"
// in any letter case; names are kept exactly as they are on disk. Folders are compared
// in a normalised form ("/a/b", never "/a/b/" or "/a//b"), so the root folder and a
// mount point's root are folders like any other.

#include <QString>
#include <QStringList>
#include <functional>

bool IsPictureName(const QString& name);

// A regular file, after following symlinks (a folder named x.jpg or a broken link is not).
bool IsReadableFile(const QString& path);

// The folder without a trailing '/' and without "." or ".." parts; "/" stays "/".
QString NormalisedFolder(const QString& folder);

// Whether path lies directly in folder.
bool BelongsToFolder(const QString& path, const QString& folder);

struct FolderScanResult {
    QStringList names;   // pictures not in the series, in directory order
    bool found = false;  // the folder holds at least one picture (in the series or not)
    // Pictures whose names are not valid in the file-name encoding (UTF-8): text cannot
    // carry them back to the same file, so they are not listed, only counted.
    int uncarriedNames = 0;
};

// Lists folder's pictures; inSeries(full path) tells which ones to leave out.
FolderScanResult ScanFolderPictures(const QString& folder,
                                    const std::function<bool(const QString&)>& inSeries);

// Whether path names an existing folder the tree can be moved to.
bool IsShellPath(const QString& path);

// Whether folder is a path that text could not carry: a name that was not valid UTF-8
// comes through with replacement characters, and the path they make leads nowhere.
bool IsUncarriedFolder(const QString& folder);
