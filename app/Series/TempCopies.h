#pragma once
// Temporary copies of series pictures that live on removable media. A picture added from a
// stick, a CD or a RAM disk is copied at once into a private folder, and the thumbnail,
// the preview and the save read the copy while it exists, so the series survives the
// medium being pulled.
//
// The copies live in "PellimorTmp" inside a per-user directory of the temporary directory
// ($TMPDIR, else /tmp), each running program in a folder of its own there, which it holds
// by an exclusive lock on a file inside for as long as it runs: a start clears only the
// folders whose lock is free (their program is gone), never the copies of a program that
// still runs. Every directory is created with mode 0700 and checked with lstat before
// use: a symlink or a directory owned by someone else is refused, because a shared
// temporary directory lets others plant either. Copies get unique names (two pictures
// called IMG_0001.JPG from different folders keep two copies) and are found through a map
// from the original path; deleting a copy unlinks exactly that path.
//
// UI thread only.

#include <QString>
#include <map>
#include <optional>
#include <stdexcept>

#include "platform/PosixFile.h"

// Thrown when the temporary folder cannot be made or fails its checks.
class TempFolderError : public std::runtime_error {
  public:
    TempFolderError();
};

// name with "~n" before its extension, the stem cut so that the name stays within NAME_MAX
// bytes: the free name for a second copy of a file beside the first.
QString NumberedName(const QString& name, int n);

// The per-user private directory inside $TMPDIR (else /tmp), created when missing (and
// $TMPDIR with it).
// Throws TempFolderError when it cannot be created or is not a private directory of ours.
QString GetTmpFolder();

// Deletes every entry directly inside folder that is not a directory (files and symlinks;
// a symlink is removed, never followed). Failures are ignored.
void ClearFolder(const QString& folder);

class TTempCopies {
  public:
    // parent: the folder of every running program's copies (GetTmpFolder() +
    // "/PellimorTmp"); this program's own folder is made inside it.
    explicit TTempCopies(QString parent);

    // The folder of every running program's copies.
    const QString& Parent() const { return parent_; }
    // This program's folder; empty until Prepare.
    const QString& Folder() const { return folder_; }

    // Clears and removes the folders of programs that are gone (files only: a folder
    // holding subfolders stays), then makes this program's own folder and locks it, or
    // empties it when it has one. Throws TempFolderError.
    void Prepare();

    // Copies source into the folder (creating the folder when needed, which may throw).
    // A second copy of the same source replaces the first. Returns whether the copy is in
    // place. A source that already lies in the folder is not copied onto itself: that
    // counts as success and the picture is read from where it is.
    bool CopyToTemp(const QString& source);

    // The copy of source when one was made and still exists.
    std::optional<QString> CopyOf(const QString& source) const;

    // Unlinks the copy of source, if any, and forgets it.
    void DeleteCopy(const QString& source);
    // Unlinks every copy of the folder and forgets all copies.
    void DeleteAllCopies();
    // Empties and removes the folder, and the parent when no other program has one there
    // (the program is closing).
    void RemoveFolder();

    bool FolderExists() const;

  private:
    QString UniqueCopyPath(const QString& source) const;
    bool IsTakenByOther(const QString& candidate, const QString& source) const;
    void EnsureParent() const;
    void EnsureFolder();
    bool TryMakeOwnFolder();

    QString parent_;
    QString folder_;
    platform::PosixFile lock_;           // the lock file, locked while the program runs
    std::map<QString, QString> copies_;  // original path -> copy path
};
