#pragma once
// Icons of the tree's items from the desktop theme (QFileIconProvider), made once per kind
// and kept: one per folder kind, one per file extension. Hidden items get a faded copy and
// links an emblem. UI thread only (icons are GUI objects).

#include <QFileIconProvider>
#include <QHash>
#include <QIcon>
#include <QString>

class IconCache {
  public:
    enum class Kind { Desktop, Computer, Home, Drive, RemovableDrive, NetworkDrive, Folder, File };

    // `fileName` only matters for files (their extension picks the icon); folders show an
    // open folder while selected.
    QIcon Icon(Kind kind, const QString& fileName, bool hidden, bool link);

  private:
    QIcon BaseIcon(Kind kind, const QString& fileName);
    QIcon FileIcon(const QString& fileName);
    static QIcon Faded(const QIcon& icon);
    static QIcon WithLinkEmblem(const QIcon& icon);

    QFileIconProvider provider_;
    QHash<QString, QIcon> cache_;
};
