#include "app/MainWindow/FolderScan.h"

#include <dirent.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>

#include <memory>

#include "platform/Paths.h"

bool IsPictureName(const QString& name) {
    return platform::HasExtension(name, {u".jpg", u".jpeg"});
}

bool IsReadableFile(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

QString NormalisedFolder(const QString& folder) {
    return folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

bool BelongsToFolder(const QString& path, const QString& folder) {
    if (folder.isEmpty()) {
        return false;
    }
    return platform::FolderPart(path) == platform::WithTrailingSlash(NormalisedFolder(folder));
}

FolderScanResult ScanFolderPictures(const QString& folder,
                                    const std::function<bool(const QString&)>& inSeries) {
    FolderScanResult result;
    if (folder.isEmpty()) {
        return result;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(folder).constData()),
                                            ::closedir);
    if (!dir) {
        return result;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!IsPictureName(name)) {
            continue;
        }
        if (QFile::encodeName(name) != entry->d_name) {
            ++result.uncarriedNames;  // decoding replaced bytes: another path
            continue;
        }
        const QString path = platform::JoinPath(folder, name);
        if (!IsReadableFile(path)) {
            continue;
        }
        result.found = true;
        if (!inSeries || !inSeries(path)) {
            result.names.append(name);
        }
    }
    return result;
}

bool IsShellPath(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && path.startsWith(u'/') &&
           ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsUncarriedFolder(const QString& folder) {
    return folder.contains(QChar::ReplacementCharacter) && !IsShellPath(folder);
}
