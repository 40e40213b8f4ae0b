#include "app/ArtResources.h"

#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterOrvaneResources() {
    Q_INIT_RESOURCE(orvane);
}

void InitArtResources() {
    static std::once_flag once;
    std::call_once(once, RegisterOrvaneResources);
}

QImage ArtImage(const QString& name) {
    InitArtResources();
    return QImage(QStringLiteral(":/orvane/") + name);
}

QIcon ButtonIcon(const QString& name) {
    InitArtResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/orvane/btn_%1.png").arg(name), QSize(), QIcon::Normal);
    icon.addFile(QStringLiteral(":/orvane/btn_%1_disabled.png").arg(name), QSize(),
                 QIcon::Disabled);
    return icon;
}

QIcon ProgramIcon() {
    InitArtResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/orvane/orvane_32.png"));
    icon.addFile(QStringLiteral(":/orvane/orvane_48.png"));
    return icon;
}
