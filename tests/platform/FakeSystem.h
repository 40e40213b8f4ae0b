#pragma once
// A made-up machine for the volume table: a mountinfo file, a sysfs tree with block
// devices (real relative symbolic links, as in /sys) and a label folder, all inside a
// temporary folder.

#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/VolumeTable.h"

namespace platform_test {

struct FakePartition {
    std::string name;        // "sdb1"
    std::string majorMinor;  // "8:17"
};

class FakeSystem {
  public:
    FakeSystem();

    // A whole disk below sys/devices/<devicePath>/block/<disk>, with its partitions.
    // removable is what the disk's "removable" file says.
    void AddDisk(const std::string& devicePath, const std::string& disk,
                 const std::string& majorMinor, bool removable,
                 const std::vector<FakePartition>& partitions);
    // A device-mapper style device (sys/devices/virtual/block/<name>) built on slaves.
    void AddVirtualDevice(const std::string& name, const std::string& majorMinor,
                          const std::vector<std::string>& slaves);
    // A link in the label folder: linkName (already escaped) -> ../../<device>.
    void AddLabel(const std::string& linkName, const std::string& device);

    // One mountinfo line; mountPoint and source are written as given (escapes included).
    void AddMount(const std::string& majorMinor, const std::string& mountPoint,
                  const std::string& fsType, const std::string& source,
                  const std::string& optionalFields = "shared:1");
    void WriteMountInfo();  // writes the lines added so far
    void RemoveMount(const std::string& mountPoint);

    platform::VolumeTable::Sources Sources() const;
    const TempDir& Dir() const { return dir_; }

  private:
    std::string DeviceFolder(const std::string& devicePath, const std::string& disk) const;
    void LinkBlockDevice(const std::string& folder, const std::string& name,
                         const std::string& majorMinor);

    TempDir dir_;
    std::vector<std::string> mountLines_;
    int nextMountId_ = 20;
};

}  // namespace platform_test
