#include "FakeSystem.h"

#include <algorithm>

namespace platform_test {

namespace {

// "devices/x/block/sdb" seen from sys/dev/block (depth 2) is "../../devices/x/block/sdb".
std::string RelativeFrom(int depth, const std::string& pathBelowSys) {
    std::string up;
    for (int i = 0; i < depth; ++i) {
        up += "../";
    }
    return up + pathBelowSys;
}

}  // namespace

FakeSystem::FakeSystem() {
    MakeFolders(dir_ / "sys/dev/block");
    MakeFolders(dir_ / "sys/class/block");
    MakeFolders(dir_ / "sys/block");
    MakeFolders(dir_ / "labels");
}

std::string FakeSystem::DeviceFolder(const std::string& devicePath, const std::string& disk) const {
    return "devices/" + devicePath + "/block/" + disk;
}

void FakeSystem::LinkBlockDevice(const std::string& folder, const std::string& name,
                                 const std::string& majorMinor) {
    WriteFile(dir_ / ("sys/" + folder + "/dev"), majorMinor + "\n");
    MakeLink(RelativeFrom(2, folder), dir_ / ("sys/dev/block/" + majorMinor));
    MakeLink(RelativeFrom(2, folder), dir_ / ("sys/class/block/" + name));
}

void FakeSystem::AddDisk(const std::string& devicePath, const std::string& disk,
                         const std::string& majorMinor, bool removable,
                         const std::vector<FakePartition>& partitions) {
    const std::string folder = DeviceFolder(devicePath, disk);
    WriteFile(dir_ / ("sys/" + folder + "/removable"), removable ? "1\n" : "0\n");
    LinkBlockDevice(folder, disk, majorMinor);
    MakeLink(RelativeFrom(1, folder), dir_ / ("sys/block/" + disk));
    int number = 1;
    for (const FakePartition& partition : partitions) {
        const std::string partitionFolder = folder + "/" + partition.name;
        WriteFile(dir_ / ("sys/" + partitionFolder + "/partition"), std::to_string(number++));
        LinkBlockDevice(partitionFolder, partition.name, partition.majorMinor);
    }
}

void FakeSystem::AddVirtualDevice(const std::string& name, const std::string& majorMinor,
                                  const std::vector<std::string>& slaves) {
    const std::string folder = "devices/virtual/block/" + name;
    WriteFile(dir_ / ("sys/" + folder + "/removable"), "0\n");
    LinkBlockDevice(folder, name, majorMinor);
    MakeLink(RelativeFrom(1, folder), dir_ / ("sys/block/" + name));
    MakeFolders(dir_ / ("sys/" + folder + "/slaves"));
    for (const std::string& slave : slaves) {
        MakeLink("../../../../../class/block/" + slave,
                 dir_ / ("sys/" + folder + "/slaves/" + slave));
    }
}

void FakeSystem::AddLabel(const std::string& linkName, const std::string& device) {
    MakeLink("../../" + device, dir_ / ("labels/" + linkName));
}

void FakeSystem::AddMount(const std::string& majorMinor, const std::string& mountPoint,
                          const std::string& fsType, const std::string& source,
                          const std::string& optionalFields) {
    const int id = nextMountId_++;
    std::string line =
        std::to_string(id) + " 1 " + majorMinor + " / " + mountPoint + " rw,relatime";
    if (!optionalFields.empty()) {
        line += " " + optionalFields;
    }
    line += " - " + fsType + " " + source + " rw";
    mountLines_.push_back(line);
}

void FakeSystem::RemoveMount(const std::string& mountPoint) {
    std::erase_if(mountLines_, [&](const std::string& line) {
        return line.find(" " + mountPoint + " rw,") != std::string::npos;
    });
}

void FakeSystem::WriteMountInfo() {
    std::string text;
    for (const std::string& line : mountLines_) {
        text += line + "\n";
    }
    WriteFile(dir_ / "mountinfo", text);
}

platform::VolumeTable::Sources FakeSystem::Sources() const {
    platform::VolumeTable::Sources sources;
    sources.mountInfo = dir_ / "mountinfo";
    sources.sysfsRoot = dir_ / "sys";
    sources.labelDir = dir_ / "labels";
    return sources;
}

}  // namespace platform_test
