#pragma once
// A made-up machine for the volume table: a mountinfo file, a sysfs tree of block devices
// (relative symbolic links, as in /sys) and a label folder, all inside a temporary folder.

#include <string>
#include <utility>
#include <vector>

#include "TempDir.h"
#include "platform/VolumeTable.h"

namespace platform_test {

class FakeSystem {
  public:
    using Partitions = std::vector<std::pair<std::string, std::string>>;  // name, "major:minor"

    // In a temporary folder below `base` (empty: the usual one).
    explicit FakeSystem(const std::string& base = {}) : dir_(base) { WriteMountInfo(); }

    // A whole disk below sys/devices/<devicePath>/block/<disk> whose "removable" file says
    // removable.
    void AddDisk(const std::string& devicePath, const std::string& disk,
                 const std::string& majorMinor, bool removable, const Partitions& partitions) {
        const std::string folder = "devices/" + devicePath + "/block/" + disk;
        WriteFile(dir_ / ("sys/" + folder + "/removable"), removable ? "1\n" : "0\n");
        LinkBlockDevice(folder, disk, majorMinor);
        for (const auto& [name, partitionMajorMinor] : partitions) {
            WriteFile(dir_ / ("sys/" + folder + "/" + name + "/partition"), "1\n");
            LinkBlockDevice(folder + "/" + name, name, partitionMajorMinor);
        }
    }

    // A device-mapper style device (sys/devices/virtual/block/<name>) built on slaves.
    void AddVirtualDevice(const std::string& name, const std::string& majorMinor,
                          const std::vector<std::string>& slaves) {
        const std::string folder = "devices/virtual/block/" + name;
        WriteFile(dir_ / ("sys/" + folder + "/removable"), "0\n");
        LinkBlockDevice(folder, name, majorMinor);
        for (const std::string& slave : slaves) {
            MakeLink("../../../../../class/block/" + slave,
                     dir_ / ("sys/" + folder + "/slaves/" + slave));
        }
    }

    // A link in the label folder: linkName (escaped as udev does) -> ../../<device>.
    void AddLabel(const std::string& linkName, const std::string& device) {
        MakeLink("../../" + device, dir_ / ("labels/" + linkName));
    }

    // Both rewrite the mountinfo file; mountPoint is written as given (escapes included).
    void AddMount(const std::string& majorMinor, const std::string& mountPoint,
                  const std::string& fsType, const std::string& source) {
        mounts_.emplace_back(mountPoint, std::to_string(20 + mounts_.size()) + " 1 " + majorMinor +
                                             " / " + mountPoint + " rw shared:1 - " + fsType + " " +
                                             source + " rw\n");
        WriteMountInfo();
    }
    void RemoveMount(const std::string& mountPoint) {
        std::erase_if(mounts_, [&](const auto& mount) { return mount.first == mountPoint; });
        WriteMountInfo();
    }

    platform::VolumeTable::Sources Sources() const {
        return {dir_ / "mountinfo", dir_ / "sys", dir_ / "labels"};
    }
    // The temporary folder the machine lives in, free for a test's own files.
    const TempDir& Dir() const { return dir_; }

  private:
    // The device's folder below sys/, reached as /sys reaches it: by number, by name and,
    // for whole disks, from sys/block.
    void LinkBlockDevice(const std::string& folder, const std::string& name,
                         const std::string& majorMinor) {
        WriteFile(dir_ / ("sys/" + folder + "/dev"), majorMinor + "\n");
        MakeLink("../../" + folder, dir_ / ("sys/dev/block/" + majorMinor));
        MakeLink("../../" + folder, dir_ / ("sys/class/block/" + name));
        if (!PathExists(dir_ / ("sys/" + folder + "/partition"))) {
            MakeLink("../" + folder, dir_ / ("sys/block/" + name));
        }
    }

    void WriteMountInfo() {
        std::string text;
        for (const auto& mount : mounts_) {
            text += mount.second;
        }
        WriteFile(dir_ / "mountinfo", text);
    }

    TempDir dir_;
    std::vector<std::pair<std::string, std::string>> mounts_;  // mount point, whole line
};

}  // namespace platform_test
