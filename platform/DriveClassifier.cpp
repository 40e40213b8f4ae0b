#include "platform/DriveClassifier.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Paths.h"
#include "platform/PosixFile.h"
#include "platform/UdevDevices.h"

#include <sys/sysmacros.h>

namespace platform {

namespace {

constexpr std::array<std::string_view, 22> kRemoteTypes{"nfs",
                                                        "nfs4",
                                                        "cifs",
                                                        "smb3",
                                                        "smbfs",
                                                        "ncpfs",
                                                        "9p",
                                                        "afs",
                                                        "ceph",
                                                        "glusterfs",
                                                        "lustre",
                                                        "gpfs",
                                                        "coda",
                                                        "davfs",
                                                        "fuse.sshfs",
                                                        "fuse.davfs2",
                                                        "fuse.rclone",
                                                        "fuse.s3fs",
                                                        "fuse.glusterfs",
                                                        "fuse.cephfs",
                                                        "fuse.curlftpfs",
                                                        "fuse.smbnetfs"};

// Device-mapper and md stacks are rarely deeper than this; the limit guards against loops.
constexpr int kMaxSlaveDepth = 4;
constexpr int kScsiCdRomMajor = 11;
constexpr int kRamDiskMajor = 1;

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string RealPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string ReadLink(const std::string& path) {
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) {
        return {};
    }
    buffer.resize(static_cast<size_t>(length));
    return buffer;
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

int MajorOf(const std::string& majorMinor) {
    return std::atoi(majorMinor.substr(0, majorMinor.find(':')).c_str());
}

dev_t DeviceNumber(const std::string& majorMinor) {
    const size_t colon = majorMinor.find(':');
    if (colon == std::string::npos) {
        return 0;
    }
    return makedev(static_cast<unsigned>(std::atoi(majorMinor.substr(0, colon).c_str())),
                   static_cast<unsigned>(std::atoi(majorMinor.substr(colon + 1).c_str())));
}

// Whether a component of the resolved sysfs device path is a usb or mmc node ("usb2",
// "mmc0"). Only the part below "/devices/" counts: that is where the bus path starts.
bool OnUsbOrMmc(const std::string& deviceFolder) {
    const size_t devices = deviceFolder.find("/devices/");
    if (devices == std::string::npos) {
        return false;
    }
    size_t start = devices + 1;
    while (start < deviceFolder.size()) {
        size_t end = deviceFolder.find('/', start);
        if (end == std::string::npos) {
            end = deviceFolder.size();
        }
        const std::string_view part = std::string_view(deviceFolder).substr(start, end - start);
        if (StartsWith(part, "usb") || StartsWith(part, "mmc")) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

bool IsRemoteFileSystem(std::string_view fsType) {
    return std::find(kRemoteTypes.begin(), kRemoteTypes.end(), fsType) != kRemoteTypes.end();
}

std::string DecodeLabelEscapes(std::string_view name) {
    std::string decoded;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' &&
            HexDigit(name[i + 2]) >= 0 && HexDigit(name[i + 3]) >= 0) {
            decoded += static_cast<char>(HexDigit(name[i + 2]) * 16 + HexDigit(name[i + 3]));
            i += 3;
        } else {
            decoded += name[i];
        }
    }
    return decoded;
}

DriveClassifier::DriveClassifier(std::string sysfsRoot, std::string labelDir)
    : sysfsRoot_(std::move(sysfsRoot)),
      labelDir_(std::move(labelDir)),
      useUdev_(sysfsRoot_ == "/sys" && UdevHasDatabase()) {}

std::string DriveClassifier::DeviceFolder(const MountEntry& entry) const {
    if (std::string byNumber = RealPath(JoinPath(sysfsRoot_, "dev/block/" + entry.majorMinor));
        !byNumber.empty()) {
        return byNumber;
    }
    // btrfs and some others report an anonymous device number; their source names the
    // block device instead (through /dev/mapper links for device-mapper volumes).
    if (!StartsWith(entry.source, "/dev/")) {
        return {};
    }
    std::string device = RealPath(entry.source);
    const std::string name = FileNamePart(device.empty() ? entry.source : device);
    return RealPath(JoinPath(sysfsRoot_, "class/block/" + name));
}

std::string DriveClassifier::DeviceName(const MountEntry& entry) const {
    if (const std::string folder = DeviceFolder(entry); !folder.empty()) {
        return FileNamePart(folder);
    }
    if (!StartsWith(entry.source, "/dev/")) {
        return {};
    }
    const std::string device = RealPath(entry.source);
    return FileNamePart(device.empty() ? entry.source : device);
}

bool DriveClassifier::WholeDiskRemovable(const std::string& deviceFolder) const {
    const std::string disk = Exists(JoinPath(deviceFolder, "partition"))
                                 ? WithoutTrailingSlash(FolderPart(deviceFolder))
                                 : deviceFolder;
    for (const std::string& flag :
         {JoinPath(sysfsRoot_, "block/" + FileNamePart(disk) + "/removable"),
          JoinPath(disk, "removable")}) {
        const FileContents contents = ReadWholeFile(flag, 64);
        if (contents.error == 0) {
            return StartsWith(contents.bytes, "1");
        }
    }
    return false;
}

DriveType DriveClassifier::BlockDeviceType(const std::string& deviceFolder, int depth) const {
    const std::string name = FileNamePart(deviceFolder);
    if (StartsWith(name, "sr")) {
        return DriveType::CdRom;
    }
    if (StartsWith(name, "ram") || StartsWith(name, "zram")) {
        return DriveType::RamDisk;
    }
    if (WholeDiskRemovable(deviceFolder) || OnUsbOrMmc(deviceFolder)) {
        return DriveType::Removable;
    }
    if (depth < kMaxSlaveDepth) {
        const std::string slaves = JoinPath(deviceFolder, "slaves");
        for (const std::string& slave : FolderEntries(slaves)) {
            const std::string folder = RealPath(JoinPath(slaves, slave));
            if (folder.empty()) {
                continue;
            }
            if (const DriveType type = BlockDeviceType(folder, depth + 1);
                type != DriveType::Fixed) {
                return type;
            }
        }
    }
    return DriveType::Fixed;
}

DriveType DriveClassifier::TypeOf(const MountEntry& entry) const {
    if (IsRemoteFileSystem(entry.fsType)) {
        return DriveType::Remote;
    }
    if (entry.fsType == "iso9660" || entry.fsType == "udf" ||
        MajorOf(entry.majorMinor) == kScsiCdRomMajor) {
        return DriveType::CdRom;
    }
    if (entry.fsType == "tmpfs" || entry.fsType == "ramfs" ||
        MajorOf(entry.majorMinor) == kRamDiskMajor) {
        return DriveType::RamDisk;
    }
    std::optional<DriveType> type;
    if (useUdev_) {
        if (const std::optional<UdevProperties> properties =
                UdevPropertiesOf(DeviceNumber(entry.majorMinor))) {
            type = DriveTypeFromUdev(*properties);
        }
    }
    if (!type) {
        const std::string folder = DeviceFolder(entry);
        type = folder.empty() ? DriveType::Fixed : BlockDeviceType(folder, 0);
    }
    return *type == DriveType::Removable && entry.mountPoint == "/" ? DriveType::Fixed : *type;
}

std::string DriveClassifier::LabelOf(const MountEntry& entry) const {
    if (useUdev_) {
        if (const std::optional<UdevProperties> properties =
                UdevPropertiesOf(DeviceNumber(entry.majorMinor))) {
            return properties->label;
        }
    }
    const std::string device = DeviceName(entry);
    if (device.empty()) {
        return {};
    }
    for (const std::string& link : FolderEntries(labelDir_)) {
        if (FileNamePart(ReadLink(JoinPath(labelDir_, link))) == device) {
            return DecodeLabelEscapes(link);
        }
    }
    return {};
}

}  // namespace platform
