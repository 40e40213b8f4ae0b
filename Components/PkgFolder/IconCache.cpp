#include "Components/PkgFolder/IconCache.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QPainter>
#include <QPixmap>

namespace {

constexpr int kIconSize = 16;

QString KindKey(IconCache::Kind kind) {
    return QString::number(static_cast<int>(kind));
}

QIcon FolderIcon(const QFileIconProvider& provider) {
    QIcon icon = provider.icon(QFileIconProvider::Folder);
    const QIcon open = QIcon::fromTheme(QStringLiteral("folder-open"));
    if (!open.isNull())
        icon.addPixmap(open.pixmap(kIconSize), QIcon::Selected);
    return icon;
}

}  // namespace

QIcon IconCache::Icon(Kind kind, const QString& fileName, bool hidden, bool link) {
    QString key = KindKey(kind);
    if (kind == Kind::File)
        key += QLatin1Char(':') + QFileInfo(fileName).suffix().toLower();
    const QString fullKey = key + (hidden ? QStringLiteral("|h") : QString()) +
                            (link ? QStringLiteral("|l") : QString());
    if (const auto it = cache_.constFind(fullKey); it != cache_.constEnd())
        return *it;
    QIcon icon = BaseIcon(kind, fileName);
    if (link)
        icon = WithLinkEmblem(icon);
    if (hidden)
        icon = Faded(icon);
    cache_.insert(fullKey, icon);
    return icon;
}

QIcon IconCache::BaseIcon(Kind kind, const QString& fileName) {
    switch (kind) {
        case Kind::Desktop:
            return provider_.icon(QFileIconProvider::Desktop);
        case Kind::Computer:
            return provider_.icon(QFileIconProvider::Computer);
        case Kind::Home:
            return QIcon::fromTheme(QStringLiteral("user-home"), FolderIcon(provider_));
        case Kind::Drive:
            return provider_.icon(QFileIconProvider::Drive);
        case Kind::RemovableDrive:
            return QIcon::fromTheme(QStringLiteral("drive-removable-media"),
                                    provider_.icon(QFileIconProvider::Drive));
        case Kind::NetworkDrive:
            return provider_.icon(QFileIconProvider::Network);
        case Kind::Folder:
            return FolderIcon(provider_);
        case Kind::File:
            return FileIcon(fileName);
    }
    return {};
}

QIcon IconCache::FileIcon(const QString& fileName) {
    // By the extension only: the file itself is never opened to guess its type.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    const QIcon fallback = provider_.icon(QFileIconProvider::File);
    if (!type.isValid())
        return fallback;
    return QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), fallback));
}

QIcon IconCache::Faded(const QIcon& icon) {
    QPixmap faded(kIconSize, kIconSize);
    faded.fill(Qt::transparent);
    QPainter painter(&faded);
    painter.setOpacity(0.45);
    painter.drawPixmap(0, 0, icon.pixmap(kIconSize));
    painter.end();
    return QIcon(faded);
}

QIcon IconCache::WithLinkEmblem(const QIcon& icon) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.drawPixmap(0, 0, icon.pixmap(kIconSize));
    const QIcon emblem = QIcon::fromTheme(QStringLiteral("emblem-symbolic-link"));
    const QRect corner(0, kIconSize / 2, kIconSize / 2, kIconSize / 2);
    if (!emblem.isNull()) {
        painter.drawPixmap(corner, emblem.pixmap(kIconSize / 2));
    } else {
        // No themed emblem: a small arrow in a white box, as shortcut overlays are drawn.
        painter.fillRect(corner, Qt::white);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(corner.adjusted(0, 0, -1, -1));
        painter.drawLine(corner.left() + 2, corner.bottom() - 2, corner.right() - 2,
                         corner.top() + 2);
        painter.drawLine(corner.right() - 2, corner.top() + 2, corner.right() - 4,
                         corner.top() + 2);
        painter.drawLine(corner.right() - 2, corner.top() + 2, corner.right() - 2,
                         corner.top() + 4);
    }
    painter.end();
    return QIcon(pixmap);
}
