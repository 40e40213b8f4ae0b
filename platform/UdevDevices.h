#pragma once
// Block device properties from udev's database: optical drive, removable medium, bus and
// the file system's label. udev answers only where its daemon keeps a database (not in
// most containers); callers then read sysfs themselves.

#include <sys/types.h>
#include <optional>
#include <string>

namespace platform {

enum class DriveType;

struct UdevProperties {
    bool cdrom = false;         // ID_CDROM
    bool removable = false;     // the whole disk's "removable" attribute
    std::string bus;            // ID_BUS ("usb", "ata", ...), or "mmc" for an SD card slot
    bool deviceMapper = false;  // dm-* and md* devices: built on other devices
    std::string label;          // ID_FS_LABEL_ENC decoded, else ID_FS_LABEL
};

// The drive type the properties tell; none for a stacked device, whose type comes from
// the devices below it.
std::optional<DriveType> DriveTypeFromUdev(const UdevProperties& properties);

// Whether udev keeps a database on this machine.
bool UdevHasDatabase();
// The properties of block device `device`; none when udev does not know it.
std::optional<UdevProperties> UdevPropertiesOf(dev_t device);

}  // namespace platform
