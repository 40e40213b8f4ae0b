#include "platform/UdevDevices.h"

#include "platform/VolumeTable.h"

#include <gtest/gtest.h>

namespace {

using platform::DriveType;
using platform::UdevProperties;

UdevProperties Device(bool cdrom, bool removable, const char* bus, bool stacked = false) {
    UdevProperties properties;
    properties.cdrom = cdrom;
    properties.removable = removable;
    properties.bus = bus;
    properties.deviceMapper = stacked;
    return properties;
}

TEST(UdevDevices, PropertiesTellTheDriveType) {
    using platform::DriveTypeFromUdev;
    EXPECT_EQ(DriveTypeFromUdev(Device(false, false, "")), DriveType::Fixed);
    EXPECT_EQ(DriveTypeFromUdev(Device(false, false, "ata")), DriveType::Fixed);
    EXPECT_EQ(DriveTypeFromUdev(Device(true, false, "usb")), DriveType::CdRom);
    EXPECT_EQ(DriveTypeFromUdev(Device(false, true, "ata")), DriveType::Removable);
    EXPECT_EQ(DriveTypeFromUdev(Device(false, false, "usb")), DriveType::Removable);
    EXPECT_EQ(DriveTypeFromUdev(Device(false, false, "mmc")), DriveType::Removable);
    // A stacked device is what the devices below it are; udev does not say.
    EXPECT_EQ(DriveTypeFromUdev(Device(false, false, "", true)), std::nullopt);
    EXPECT_EQ(DriveTypeFromUdev(Device(false, false, "usb", true)), DriveType::Removable);
}

}  // namespace
