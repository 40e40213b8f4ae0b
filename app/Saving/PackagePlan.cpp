#include "app/Saving/PackagePlan.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
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

// As many links as the kernel follows in one path lookup (a loop ends here too).
constexpr int kMaxLinkHops = 40;

// The links path is named through, in the order they are followed: path itself when it
// is a link, then what it points to when that is a link too, and so on.
std::vector<TFileId> LinksOf(const QString& path) {
    std::vector<TFileId> links;
    QByteArray current = QFile::encodeName(path);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        char target[PATH_MAX];
        if (::lstat(current.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        links.push_back({info.st_dev, info.st_ino});
        const ssize_t length = ::readlink(current.constData(), target, sizeof target);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof target) {
            break;
        }
        const QByteArray next(target, length);
        current = next.startsWith('/') ? next : current.left(current.lastIndexOf('/') + 1) + next;
    }
    return links;
}

// The file at path and the links it is named through. Returns the errno of the file's
// lookup, 0 when it was found.
int IdentifyLinkedFile(const QString& path, std::optional<TFileId>& file,
                       std::vector<TFileId>& links) {
    file = FileIdOf(path, true);
    const int error = file ? 0 : errno;
    links = LinksOf(path);
    return error;
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
        picture.sourceError =
            IdentifyLinkedFile(picture.source, picture.sourceId, picture.sourceLinks);
        IdentifyLinkedFile(picture.seriesPath, picture.originalId, picture.originalLinks);
        picture.targetId = FileIdOf(picture.target, false);
    }
    ForEachHeldTarget(pictures, ReadersByFile(pictures),
                      [&pictures](int, int held) { pictures[held].displaced = true; });
}

std::vector<TFileId> FilesOf(const TPlannedPicture& picture) {
    std::vector<TFileId> files;
    const auto add = [&files](const TFileId& id) {
        if (std::find(files.begin(), files.end(), id) == files.end()) {
            files.push_back(id);
        }
    };
    for (const auto& file : {picture.sourceId, picture.originalId}) {
        if (file) {
            add(*file);
        }
    }
    for (const auto* links : {&picture.sourceLinks, &picture.originalLinks}) {
        std::for_each(links->begin(), links->end(), add);
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
