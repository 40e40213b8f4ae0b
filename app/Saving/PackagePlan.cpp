#include "app/Saving/PackagePlan.h"

#include <sys/stat.h>
#include <QFile>

#include <algorithm>
#include <set>

std::optional<TFileId> FileIdOf(const QString& path, bool followLink) {
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLink ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0) {
        return std::nullopt;
    }
    return TFileId{info.st_dev, info.st_ino};
}

namespace {

// The file at path and, when path is a link, the link itself.
void IdentifyLinkedFile(const QString& path, std::optional<TFileId>& file,
                        std::optional<TFileId>& link) {
    file = FileIdOf(path, true);
    link = FileIdOf(path, false);
    if (link == file) {
        link.reset();
    }
}

// Calls visit(i, held) for every picture i whose target holds another picture, held.
template <class Visit>
void ForEachHeldTarget(const std::vector<TPlannedPicture>& pictures,
                       const std::map<TFileId, std::vector<int>>& readers, Visit visit) {
    for (int i = 0; i < static_cast<int>(pictures.size()); ++i) {
        const auto found =
            pictures[i].targetId ? readers.find(*pictures[i].targetId) : readers.end();
        if (found == readers.end()) {
            continue;
        }
        for (int held : found->second) {
            if (held != i) {
                visit(i, held);
            }
        }
    }
}

}  // namespace

// A source is read through a link; a target that is a link is replaced as the link, which
// leaves the file it points to alone.
void IdentifyFiles(std::vector<TPlannedPicture>& pictures) {
    for (TPlannedPicture& picture : pictures) {
        IdentifyLinkedFile(picture.source, picture.sourceId, picture.sourceLinkId);
        IdentifyLinkedFile(picture.seriesPath, picture.originalId, picture.originalLinkId);
        picture.targetId = FileIdOf(picture.target, false);
    }
    ForEachHeldTarget(pictures, ReadersByFile(pictures),
                      [&pictures](int, int held) { pictures[held].displaced = true; });
}

std::vector<TFileId> FilesOf(const TPlannedPicture& picture) {
    std::vector<TFileId> files;
    for (const auto& id :
         {picture.sourceId, picture.sourceLinkId, picture.originalId, picture.originalLinkId}) {
        if (id && std::find(files.begin(), files.end(), *id) == files.end()) {
            files.push_back(*id);
        }
    }
    return files;
}

std::map<TFileId, std::vector<int>> ReadersByFile(const std::vector<TPlannedPicture>& pictures) {
    std::map<TFileId, std::vector<int>> readers;
    for (int i = 0; i < static_cast<int>(pictures.size()); ++i) {
        for (const TFileId& id : FilesOf(pictures[i])) {
            readers[id].push_back(i);
        }
    }
    return readers;
}

std::vector<int> CopyOrder(const std::vector<TPlannedPicture>& pictures) {
    const int count = static_cast<int>(pictures.size());
    const std::map<TFileId, std::vector<int>> readers = ReadersByFile(pictures);
    std::vector<int> waitingFor(count, 0);          // readers of its target not yet copied
    std::vector<std::vector<int>> unblocks(count);  // the pictures that wait for this one
    ForEachHeldTarget(pictures, readers, [&](int i, int held) {
        ++waitingFor[i];
        unblocks[held].push_back(i);
    });
    std::set<int> ready;
    std::set<int> remaining;
    for (int i = 0; i < count; ++i) {
        remaining.insert(i);
        if (waitingFor[i] == 0) {
            ready.insert(i);
        }
    }
    std::vector<int> order;
    order.reserve(count);
    while (!remaining.empty()) {
        // Nothing ready means everything left waits in cycles: break the first one.
        const int next = ready.empty() ? *remaining.begin() : *ready.begin();
        ready.erase(next);
        remaining.erase(next);
        order.push_back(next);
        for (int waiting : unblocks[next]) {
            if (--waitingFor[waiting] == 0 && remaining.count(waiting) != 0) {
                ready.insert(waiting);
            }
        }
    }
    return order;
}
