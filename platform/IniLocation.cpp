#include "platform/IniLocation.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>
#include <string>
#include <utility>

#include "platform/Paths.h"

namespace platform {

namespace {

const char kIniVariable[] = "ORVANE_VIEWER_INI";
const QString kConfigFolderName = QStringLiteral("orvane-viewer");
const QString kIniFileName = QStringLiteral("orvane-viewer.ini");

std::mutex& OverrideMutex() {
    static std::mutex mutex;
    return mutex;
}

QString& OverridePath() {
    static QString path;
    return path;
}

bool FolderWritable(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

QString ConfigHome() {
    const QString fromEnvironment = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(fromEnvironment)) {
        return fromEnvironment;
    }
    return JoinPath(QDir::homePath(), QStringLiteral(".config"));
}

QString ExistingPicturesFolder() {
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QString();
}

IniLocation SystemLocation() {
    const QString program = ProgramPath();
    return ResolveIniLocation(program, FolderWritable(FolderPart(program)), ConfigHome(),
                              QDir::homePath(), ExistingPicturesFolder());
}

}  // namespace

IniLocation ResolveIniLocation(const QString& programPath, bool programFolderWritable,
                               const QString& configHome, const QString& homeFolder,
                               const QString& picturesFolder) {
    if (programFolderWritable) {
        return {ChangeExtension(programPath, QStringLiteral(".ini")),
                WithTrailingSlash(FolderPart(programPath))};
    }
    const QString iniPath = JoinPath(JoinPath(configHome, kConfigFolderName), kIniFileName);
    const QString folder = picturesFolder.isEmpty() ? homeFolder : picturesFolder;
    return {iniPath, WithTrailingSlash(folder)};
}

QString ProgramPath() {
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        return QString();
    }
    buffer.resize(static_cast<size_t>(length));
    return QFile::decodeName(QByteArray::fromStdString(buffer));
}

QString ProgramFolder() {
    return FolderPart(ProgramPath());
}

QString IniFilePath() {
    {
        std::lock_guard lock(OverrideMutex());
        if (!OverridePath().isEmpty()) {
            return OverridePath();
        }
    }
    const QString fromEnvironment = qEnvironmentVariable(kIniVariable);
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    return SystemLocation().iniPath;
}

QString DefaultSourceFolder() {
    return SystemLocation().defaultFolder;
}

QString DefaultDestinationFolder() {
    return SystemLocation().defaultFolder;
}

ScopedIniFilePath::ScopedIniFilePath(const QString& path) {
    std::lock_guard lock(OverrideMutex());
    previous_ = std::exchange(OverridePath(), path);
}

ScopedIniFilePath::~ScopedIniFilePath() {
    std::lock_guard lock(OverrideMutex());
    OverridePath() = previous_;
}

}  // namespace platform
