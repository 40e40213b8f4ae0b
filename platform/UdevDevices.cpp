#include "platform/UdevDevices.h"

#include "platform/DriveClassifier.h"
#include "platform/VolumeTable.h"

#include <libudev.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>

namespace platform {

namespace {

struct UdevDeleter {
    void operator()(udev* context) const { udev_unref(context); }
};
struct DeviceDeleter {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};

std::string Property(udev_device* device, const char* name) {
    const char* value = udev_device_get_property_value(device, name);
    return value ? std::string(value) : std::string();
}

bool StartsWith(const char* text, const char* prefix) {
    return text && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

std::optional<DriveType> DriveTypeFromUdev(const UdevProperties& properties) {
    if (properties.cdrom)
        return DriveType::CdRom;
    if (properties.removable || properties.bus == "usb" || properties.bus == "mmc")
        return DriveType::Removable;
    if (properties.deviceMapper)
        return std::nullopt;
    return DriveType::Fixed;
}

bool UdevHasDatabase() {
    struct stat st {};
    return ::stat("/run/udev/data", &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<UdevProperties> UdevPropertiesOf(dev_t device) {
    const std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context)
        return std::nullopt;
    const std::unique_ptr<udev_device, DeviceDeleter> node(
        udev_device_new_from_devnum(context.get(), 'b', device));
    // A device the database has never seen has no properties worth trusting.
    if (!node || !udev_device_get_is_initialized(node.get()))
        return std::nullopt;
    UdevProperties properties;
    properties.cdrom = Property(node.get(), "ID_CDROM") == "1";
    properties.bus = Property(node.get(), "ID_BUS");
    const char* name = udev_device_get_sysname(node.get());
    properties.deviceMapper = StartsWith(name, "dm-") || StartsWith(name, "md");
    // Borrowed from `node`: the whole disk a partition belongs to.
    udev_device* disk = udev_device_get_parent_with_subsystem_devtype(node.get(), "block", "disk");
    const char* removable = udev_device_get_sysattr_value(disk ? disk : node.get(), "removable");
    properties.removable = removable && removable[0] == '1';
    if (udev_device_get_parent_with_subsystem_devtype(node.get(), "mmc", nullptr))
        properties.bus = "mmc";
    const std::string encoded = Property(node.get(), "ID_FS_LABEL_ENC");
    properties.label =
        encoded.empty() ? Property(node.get(), "ID_FS_LABEL") : DecodeLabelEscapes(encoded);
    return properties;
}

}  // namespace platform
