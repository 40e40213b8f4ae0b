#include "platform/VolumeTable.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "FakeSystem.h"

namespace {

using platform::DriveType;
using platform::Volume;
using platform::VolumeTable;
using platform_test::FakeSystem;

TEST(ParseMountInfoTest, DecodesOctalEscapesAndSkipsBrokenLines) {
    const std::vector<platform::MountEntry> entries = platform::ParseMountInfo(
        "23 22 8:17 /sub\\040dir /media/My\\040Disk rw shared:1 master:2 - vfat /dev/sdb1 rw\n"
        "garbage line\n"
        "26 22 8:2 / /mnt/no-separator rw shared:3 ext4 /dev/sda2 rw\n"
        "27 22 8:3 / /mnt/no-type rw -\n"
        "\n"
        "28 22 0:52 / /mnt/tab\\011back\\134slash\\999 rw - nfs4 none\\040here rw");
    std::vector<std::string> fields;
    for (const platform::MountEntry& e : entries) {
        fields.push_back(e.majorMinor + "|" + e.root + "|" + e.mountPoint + "|" + e.fsType + "|" +
                         e.source);
    }
    EXPECT_EQ(fields, (std::vector<std::string>{
                          "8:17|/sub dir|/media/My Disk|vfat|/dev/sdb1",
                          "0:52|/|/mnt/tab\tback\\slash\\999|nfs4|none here"}));  // \999: none
}

// A machine with one drive of every kind, and mounts that are not drives.
class VolumeTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        system_.AddDisk("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", "sda", "8:0",
                        false, {{"sda1", "8:1"}, {"sda2", "8:2"}});
        system_.AddDisk("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0", "sdb",
                        "8:16", false, {{"sdb1", "8:17"}});
        system_.AddDisk("pci0000:00/0000:00:1d.0/ata3/host2/target2:0:0/2:0:0:0", "sdc", "8:32",
                        true, {{"sdc1", "8:33"}});
        system_.AddDisk("pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:aaaa", "mmcblk0", "179:0",
                        false, {{"mmcblk0p1", "179:1"}});
        system_.AddDisk("pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0", "sr0", "11:0",
                        true, {});
        system_.AddDisk("pci0000:00/0000:00:1f.2/ata4/host3/target3:0:0/3:0:0:0", "sdd", "8:48",
                        false, {{"sdd1", "8:49"}});
        system_.AddVirtualDevice("dm-0", "254:0", {"sdb1"});
        system_.AddLabel("My\\x20Stick", "sdb1");
        system_.AddLabel("DVD\\x2fROM", "sr0");
        const char* mounts[][4] = {
            {"8:2", "/", "ext4", "/dev/sda2"},
            {"0:25", "/tmp", "tmpfs", "tmpfs"},
            {"8:1", "/boot/efi", "vfat", "/dev/sda1"},
            {"0:43", "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse"},
            {"8:17", "/media/usb", "vfat", "/dev/sdb1"},
            {"8:33", "/media/usb2", "vfat", "/dev/sdc1"},
            {"179:1", "/run/media/u/CARD\\040ONE", "exfat", "/dev/mmcblk0p1"},
            {"11:0", "/media/cdrom", "iso9660", "/dev/sr0"},
            {"11:1", "/media/disc", "vfat", "/dev/sr1"},
            {"0:45", "/media/udf", "udf", "/dev/loop0"},
            {"8:49", "/mnt/data", "ext4", "/dev/sdd1"},
            {"0:40", "/mnt/ram", "tmpfs", "tmpfs"},
            {"0:41", "/srv/share", "nfs4", "server:/export"},
            {"0:42", "/home/u/remote", "fuse.sshfs", "u@host:"},
            {"0:44", "/mnt/btrfs", "btrfs", "/dev/sdd1"},
            {"254:0", "/mnt/crypt", "ext4", "/dev/mapper/crypt"},
            {"0:46", "/mnt/over", "ext4", "/dev/nothing"},
            {"0:47", "/mnt/over", "tmpfs", "tmpfs"},  // on top of the one before: it counts
        };
        for (const auto& m : mounts) {
            system_.AddMount(m[0], m[1], m[2], m[3]);
        }
    }

    FakeSystem system_;
};

TEST_F(VolumeTableTest, ListsRootMediaAndNetworkDrivesWithTheirTypesAndLabels) {
    struct Drive {
        std::string mountPoint;
        DriveType type;
        std::string label;
    };
    const Drive expected[] = {
        {"/", DriveType::Fixed, ""},
        {"/home/u/remote", DriveType::Remote, ""},            // fuse.sshfs
        {"/media/cdrom", DriveType::CdRom, "DVD/ROM"},        // iso9660 on sr0
        {"/media/disc", DriveType::CdRom, ""},                // vfat on a CD-ROM device
        {"/media/udf", DriveType::CdRom, ""},                 // udf on some device
        {"/media/usb", DriveType::Removable, "My Stick"},     // removable=0, but on usb
        {"/media/usb2", DriveType::Removable, ""},            // removable=1 on its disk
        {"/mnt/btrfs", DriveType::Fixed, ""},                 // found by its source
        {"/mnt/crypt", DriveType::Removable, ""},             // device mapper over usb
        {"/mnt/data", DriveType::Fixed, ""},                  // sata disk
        {"/mnt/over", DriveType::RamDisk, ""},                // the mount on top
        {"/mnt/ram", DriveType::RamDisk, ""},                 // tmpfs as a drive
        {"/run/media/u/CARD ONE", DriveType::Removable, ""},  // sd card on mmc
        {"/srv/share", DriveType::Remote, ""},                // nfs4
    };
    const std::vector<Volume> drives = VolumeTable(system_.Sources()).Drives();
    ASSERT_EQ(drives.size(), std::size(expected));
    for (size_t i = 0; i < drives.size(); ++i) {
        EXPECT_EQ(drives[i].mountPoint, expected[i].mountPoint);
        EXPECT_EQ(drives[i].type, expected[i].type) << drives[i].mountPoint;
        EXPECT_EQ(drives[i].label, expected[i].label) << drives[i].mountPoint;
    }
}

TEST_F(VolumeTableTest, APathBelongsToTheLongestMountPointThatIsAFolderOfIt) {
    const std::tuple<const char*, std::optional<std::string>, DriveType> cases[] = {
        {"/media/usb/DCIM/a.jpg", "/media/usb", DriveType::Removable},
        {"/media/usb", "/media/usb", DriveType::Removable},
        {"/media/usbx/a", "/", DriveType::Fixed},
        {"/tmp/a.jpg", "/", DriveType::Fixed},  // /tmp is not a drive
        {"/home/u/remote/a.jpg", "/home/u/remote", DriveType::Remote},
        {"/run/media/u/CARD ONE/x", "/run/media/u/CARD ONE", DriveType::Removable},
        {"//media//usb2/./a", "/media/usb2", DriveType::Removable},
        {"/media/usb/../cdrom/a", "/media/cdrom", DriveType::CdRom},
        {"/media/usb2/../../..", "/", DriveType::Fixed},
        {"relative/a.jpg", std::nullopt, DriveType::Unknown},
        {"", std::nullopt, DriveType::Unknown},
    };
    const VolumeTable table(system_.Sources());
    for (const auto& [path, drive, type] : cases) {
        const std::optional<Volume> found = table.DriveOfPath(path);
        EXPECT_EQ(found ? std::optional(found->mountPoint) : std::nullopt, drive) << path;
        EXPECT_EQ(table.TypeOfPath(path), type) << path;
    }
}

// The file system of a path counts every mount, drive or not (/tmp, /boot/efi, gvfs), the
// last of two on one folder.
TEST_F(VolumeTableTest, TheFileSystemOfAPathIsItsLongestMountWhateverItsPlace) {
    const std::pair<const char*, const char*> cases[] = {
        {"/tmp/dest/a.jpg", "/tmp tmpfs"},
        {"/boot/efi", "/boot/efi vfat"},
        {"/boot/x", "/ ext4"},
        {"/run/user/1000/gvfs/s/a", "/run/user/1000/gvfs fuse.gvfsd-fuse"},
        {"/media/usb/../../tmp/a", "/tmp tmpfs"},
        {"/mnt/datax", "/ ext4"},
        {"/mnt/over/a", "/mnt/over tmpfs"},
        {"relative", "none"},
    };
    const VolumeTable table(system_.Sources());
    for (const auto& [path, mount] : cases) {
        const std::optional<platform::MountEntry> found = table.MountOfPath(path);
        EXPECT_EQ(found ? found->mountPoint + " " + found->fsType : "none", mount) << path;
    }
}

// A medium's mount point appears only once it is mounted: the table must notice.
TEST_F(VolumeTableTest, FollowsChangesOfTheMountTable) {
    const VolumeTable table(system_.Sources());
    EXPECT_EQ(table.TypeOfPath("/media/usb/a.jpg"), DriveType::Removable);
    system_.RemoveMount("/media/usb");
    EXPECT_EQ(table.TypeOfPath("/media/usb/a.jpg"), DriveType::Fixed);  // now on "/"
    system_.AddMount("8:17", "/media/stick", "vfat", "/dev/sdb1");
    const std::optional<Volume> drive = table.DriveOfPath("/media/stick/x");
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->type, DriveType::Removable);
    EXPECT_EQ(drive->label, "My Stick");
    // An unreadable mount table keeps the last answer.
    ASSERT_EQ(::unlink(system_.Sources().mountInfo.c_str()), 0);
    EXPECT_EQ(table.TypeOfPath("/media/stick/x"), DriveType::Removable);
}

// A machine that boots from an SD card: its root file system is still a fixed drive.
TEST(VolumeTableRulesTest, TheRootFileSystemIsNeverRemovable) {
    FakeSystem system;
    system.AddDisk("platform/fe340000.mmc/mmc_host/mmc0/mmc0:0001", "mmcblk0", "179:0", false,
                   {{"mmcblk0p1", "179:1"}, {"mmcblk0p2", "179:2"}});
    system.AddMount("179:2", "/", "ext4", "/dev/mmcblk0p2");
    system.AddMount("179:1", "/mnt/boot", "vfat", "/dev/mmcblk0p1");
    const VolumeTable table(system.Sources());
    EXPECT_EQ(table.TypeOfPath("/home/pi/a.jpg"), DriveType::Fixed);
    EXPECT_EQ(table.TypeOfPath("/mnt/boot/a.jpg"), DriveType::Removable);
}

TEST(VolumeTableSystemTest, TheRealMachineHasARootDrive) {
    const std::vector<Volume> drives = VolumeTable::System().Drives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front().mountPoint, "/");
    EXPECT_TRUE(VolumeTable::System().DriveOfPath("/etc/hostname"));
}

}  // namespace
