#include "platform/ShellLauncher.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

namespace platform {

namespace {

class DesktopLauncher final : public ShellLauncher {
  public:
    bool OpenWithDefaultApplication(const QString& path) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
    void CopyToClipboard(const QString& text) override {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) {
            clipboard->setText(text);
        }
    }
    bool OpenFallback(const QString& path) override {
        return QProcess::startDetached(QStringLiteral("xdg-open"), {path});
    }
};

ShellLauncher* current = nullptr;

}  // namespace

std::vector<ShellVerb> ShellVerbsFor(bool isFolder) {
    std::vector<ShellVerb> verbs;
    verbs.push_back({ShellVerbId::Open, QStringLiteral("Open"),
                     isFolder ? QStringLiteral("Opens the folder in the file manager")
                              : QStringLiteral("Opens the file with its default application")});
    if (!isFolder) {
        verbs.push_back({ShellVerbId::OpenContainingFolder,
                         QStringLiteral("Open Containing Folder"),
                         QStringLiteral("Opens the folder that holds the file")});
    }
    verbs.push_back({ShellVerbId::CopyLocation, QStringLiteral("Copy Location"),
                     QStringLiteral("Copies the full path to the clipboard")});
    return verbs;
}

bool RunShellVerb(ShellVerbId verb, const QString& path, ShellLauncher& launcher) {
    switch (verb) {
        case ShellVerbId::Open:
            return launcher.OpenWithDefaultApplication(path);
        case ShellVerbId::OpenContainingFolder:
            return launcher.OpenWithDefaultApplication(QFileInfo(path).absolutePath());
        case ShellVerbId::CopyLocation:
            launcher.CopyToClipboard(path);
            return true;
    }
    return false;
}

ShellLauncher& CurrentShellLauncher() {
    static DesktopLauncher desktop;
    return current ? *current : desktop;
}

ScopedShellLauncher::ScopedShellLauncher(ShellLauncher& launcher) : previous_(current) {
    current = &launcher;
}

ScopedShellLauncher::~ScopedShellLauncher() {
    current = previous_;
}

}  // namespace platform
