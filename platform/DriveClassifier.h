#pragma once
// Tells the type and label of a mounted file system from its type name, its device and
// what sysfs says about that device. Works on any sysfs-like tree and label folder, so
// tests describe a machine with fixture folders.
//
// Rules: a network file system is Remote; iso9660, udf and sr devices (major 11) are
// CdRom; tmpfs, ramfs and RAM block devices (ram*, zram*) are RamDisk; a block device
// whose whole disk says removable=1, or whose sysfs device path runs through a usb or mmc
// node, is Removable (a device-mapper or md device is removable when one of the devices
// it is built on is); anything else is Fixed. The root file system is never called
// removable: a system that boots from a USB stick or an SD card still has a fixed "/".

#include <string>
#include <string_view>

#include "platform/VolumeTable.h"

namespace platform {

bool IsRemoteFileSystem(std::string_view fsType);

class DriveClassifier {
  public:
    DriveClassifier(std::string sysfsRoot, std::string labelDir);

    DriveType TypeOf(const MountEntry& entry) const;
    // The label from the label folder's links ("\x20" escapes decoded) whose target is the
    // entry's device; empty when none.
    std::string LabelOf(const MountEntry& entry) const;

  private:
    // The device's resolved sysfs folder, or empty when it is not a known block device.
    std::string DeviceFolder(const MountEntry& entry) const;
    std::string DeviceName(const MountEntry& entry) const;
    DriveType BlockDeviceType(const std::string& deviceFolder, int depth) const;
    bool WholeDiskRemovable(const std::string& deviceFolder) const;

    std::string sysfsRoot_;
    std::string labelDir_;
    // udev is asked first on the real system where it keeps a database; sysfs and the
    // label links are read by hand otherwise (containers) and for fixture trees.
    bool useUdev_ = false;
};

// Decodes udev's "\xHH" escapes of label link names ("My\x20Disk" -> "My Disk").
std::string DecodeLabelEscapes(std::string_view name);

}  // namespace platform
