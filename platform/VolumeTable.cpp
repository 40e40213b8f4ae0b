#include "platform/VolumeTable.h"

#include <algorithm>
#include <mutex>

#include "platform/DriveClassifier.h"
#include "platform/PosixFile.h"

namespace platform {

namespace {

constexpr size_t kMaxMountInfoBytes = size_t{16} << 20;

// mountinfo writes a blank, tab, newline and backslash in names as \040, \011, \012, \134.
std::string DecodeOctalEscapes(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == '\\' && i + 3 < text.size();
        if (escape && text[i + 1] >= '0' && text[i + 1] <= '3' && text[i + 2] >= '0' &&
            text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
            decoded += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                         (text[i + 3] - '0'));
            i += 3;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start <= line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        if (end > start) {
            fields.push_back(line.substr(start, end - start));
        }
        start = end + 1;
    }
    return fields;
}

// "36 35 98:0 /root /mnt/point rw,noatime master:1 - ext3 /dev/sda1 rw": the fields
// before " - " are fixed up to the options, then optional tags end at the "-".
std::optional<MountEntry> ParseMountLine(std::string_view line) {
    const std::vector<std::string_view> fields = SplitFields(line);
    constexpr size_t kFirstOptional = 6;
    const auto separator = std::find(fields.begin() + std::min(fields.size(), kFirstOptional),
                                     fields.end(), std::string_view("-"));
    if (fields.size() < kFirstOptional || separator == fields.end() ||
        separator + 1 == fields.end()) {
        return std::nullopt;
    }
    MountEntry entry;
    entry.majorMinor = std::string(fields[2]);
    entry.root = DecodeOctalEscapes(fields[3]);
    entry.mountPoint = DecodeOctalEscapes(fields[4]);
    entry.fsType = DecodeOctalEscapes(*(separator + 1));
    if (separator + 2 != fields.end()) {
        entry.source = DecodeOctalEscapes(*(separator + 2));
    }
    return entry;
}

// path equals folder or lies below it ("/media/usb" does not contain "/media/usb2").
bool IsAtOrBelow(std::string_view path, std::string_view folder) {
    if (folder == "/") {
        return !path.empty() && path.front() == '/';
    }
    return path.substr(0, folder.size()) == folder &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

bool IsDriveMount(const MountEntry& entry, const std::vector<std::string>& driveFolders) {
    if (entry.mountPoint == "/" || IsRemoteFileSystem(entry.fsType)) {
        return true;
    }
    return std::any_of(driveFolders.begin(), driveFolders.end(), [&](std::string_view folder) {
        return IsAtOrBelow(entry.mountPoint, folder);
    });
}

// Lexical clean-up: repeated and trailing '/' and "." go, ".." takes a name off. Symbolic
// links are not followed: the path may be on a medium that is not there any more.
std::optional<std::string> NormalizeAbsolute(std::string_view path) {
    if (path.empty() || path.front() != '/') {
        return std::nullopt;
    }
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string normalized;
    for (std::string_view part : parts) {
        normalized += '/';
        normalized += part;
    }
    return normalized.empty() ? std::string("/") : normalized;
}

std::vector<Volume> BuildDrives(const std::vector<MountEntry>& entries,
                                const std::vector<std::string>& driveFolders,
                                const DriveClassifier& classifier) {
    std::vector<Volume> drives;
    for (const MountEntry& entry : entries) {
        if (!IsDriveMount(entry, driveFolders)) {
            continue;
        }
        // A later line for the same mount point is a mount on top of the earlier one.
        std::erase_if(drives, [&](const Volume& v) { return v.mountPoint == entry.mountPoint; });
        drives.push_back(Volume{entry.mountPoint, entry.fsType, entry.source,
                                classifier.TypeOf(entry), classifier.LabelOf(entry)});
    }
    std::sort(drives.begin(), drives.end(), [](const Volume& a, const Volume& b) {
        return std::make_pair(a.mountPoint != "/", a.mountPoint) <
               std::make_pair(b.mountPoint != "/", b.mountPoint);
    });
    return drives;
}

}  // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (auto entry = ParseMountLine(text.substr(start, end - start))) {
            entries.push_back(std::move(*entry));
        }
        start = end + 1;
    }
    return entries;
}

struct VolumeTable::Cache {
    std::mutex mutex;
    bool loaded = false;
    std::string mountInfoText;
    std::vector<MountEntry> mounts;
    std::vector<Volume> drives;
};

VolumeTable::VolumeTable() : VolumeTable(Sources{}) {}

VolumeTable::VolumeTable(Sources sources)
    : sources_(std::move(sources)), cache_(std::make_shared<Cache>()) {}

void VolumeTable::Refresh() const {
    FileContents contents = ReadWholeFile(sources_.mountInfo, kMaxMountInfoBytes);
    // An unreadable table keeps the last good answer rather than losing every drive.
    if (contents.error == 0 && (!cache_->loaded || contents.bytes != cache_->mountInfoText)) {
        const DriveClassifier classifier(sources_.sysfsRoot, sources_.labelDir);
        cache_->mounts = ParseMountInfo(contents.bytes);
        cache_->drives = BuildDrives(cache_->mounts, sources_.driveFolders, classifier);
        cache_->mountInfoText = std::move(contents.bytes);
        cache_->loaded = true;
    }
}

std::vector<Volume> VolumeTable::Drives() const {
    std::lock_guard lock(cache_->mutex);
    Refresh();
    return cache_->drives;
}

std::optional<MountEntry> VolumeTable::MountOfPath(const std::string& path) const {
    const std::optional<std::string> normalized = NormalizeAbsolute(path);
    if (!normalized) {
        return std::nullopt;
    }
    std::lock_guard lock(cache_->mutex);
    Refresh();
    const MountEntry* best = nullptr;
    for (const MountEntry& mount : cache_->mounts) {
        if (IsAtOrBelow(*normalized, mount.mountPoint) &&
            (!best || mount.mountPoint.size() >= best->mountPoint.size())) {
            best = &mount;
        }
    }
    return best ? std::optional<MountEntry>(*best) : std::nullopt;
}

std::optional<Volume> VolumeTable::DriveOfPath(const std::string& path) const {
    const std::optional<std::string> normalized = NormalizeAbsolute(path);
    if (!normalized) {
        return std::nullopt;
    }
    std::optional<Volume> best;
    for (Volume& drive : Drives()) {
        if (IsAtOrBelow(*normalized, drive.mountPoint) &&
            (!best || drive.mountPoint.size() > best->mountPoint.size())) {
            best = std::move(drive);
        }
    }
    return best;
}

DriveType VolumeTable::TypeOfPath(const std::string& path) const {
    const std::optional<Volume> drive = DriveOfPath(path);
    return drive ? drive->type : DriveType::Unknown;
}

const VolumeTable& VolumeTable::System() {
    static const VolumeTable table;
    return table;
}

}  // namespace platform
