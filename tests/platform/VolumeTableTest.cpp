#include "platform/VolumeTable.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "FakeSystem.h"
#include "platform/DriveClassifier.h"

namespace {

using platform::DriveType;
using platform::MountEntry;
using platform::Volume;
using platform::VolumeTable;
using platform_test::FakePartition;
using platform_test::FakeSystem;

const char* TypeName(DriveType type) {
    switch (type) {
        case DriveType::Unknown:
            return "Unknown";
        case DriveType::Fixed:
            return "Fixed";
        case DriveType::Removable:
            return "Removable";
        case DriveType::CdRom:
            return "CdRom";
        case DriveType::Remote:
            return "Remote";
        case DriveType::RamDisk:
            return "RamDisk";
    }
    return "?";
}

std::vector<std::string> MountPoints(const std::vector<Volume>& drives) {
    std::vector<std::string> points;
    for (const Volume& drive : drives) {
        points.push_back(drive.mountPoint);
    }
    return points;
}

TEST(ParseMountInfoTest, DecodesOctalEscapesAndSkipsBrokenLines) {
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "23 22 8:17 /sub\\040dir /media/u/My\\040Disk rw master:2 propagate_from:1 - vfat "
        "/dev/sdb1 rw\n"
        "24 22 0:50 / /mnt/tab\\011back\\134slash rw - tmpfs none\\040here rw\n"
        "25 22 0:51 / /mnt/no-optional rw - nfs4 server:/export rw\n"
        "garbage line\n"
        "26 22 8:2 / /mnt/no-separator rw shared:3 ext4 /dev/sda2 rw\n"
        "27 22 8:3 / /mnt/no-type rw -\n"
        "\n"
        "28 22 0:52 / /mnt/\\999odd rw - ramfs ramfs rw";
    const std::vector<MountEntry> entries = platform::ParseMountInfo(text);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].mountPoint, "/");
    EXPECT_EQ(entries[0].majorMinor, "8:1");
    EXPECT_EQ(entries[0].fsType, "ext4");
    EXPECT_EQ(entries[0].source, "/dev/sda1");
    EXPECT_EQ(entries[1].root, "/sub dir");
    EXPECT_EQ(entries[1].mountPoint, "/media/u/My Disk");
    EXPECT_EQ(entries[1].fsType, "vfat");
    EXPECT_EQ(entries[2].mountPoint, "/mnt/tab\tback\\slash");
    EXPECT_EQ(entries[2].source, "none here");
    EXPECT_EQ(entries[3].mountPoint, "/mnt/no-optional");
    EXPECT_EQ(entries[3].source, "server:/export");
    EXPECT_EQ(entries[4].mountPoint, "/mnt/\\999odd");  // not an escape: kept as written
}

// A machine with one of each kind of drive, and the mounts that are not drives.
class VolumeTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string usbHost =
            "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
        system_.AddDisk("pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0", "sda", "8:0",
                        false, {{"sda1", "8:1"}, {"sda2", "8:2"}, {"sda3", "8:3"}});
        system_.AddDisk(usbHost, "sdb", "8:16", false, {{"sdb1", "8:17"}});
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

        system_.AddMount("8:2", "/", "ext4", "/dev/sda2");
        system_.AddMount("0:22", "/proc", "proc", "proc");
        system_.AddMount("0:23", "/sys", "sysfs", "sysfs");
        system_.AddMount("0:24", "/run", "tmpfs", "tmpfs");
        system_.AddMount("0:25", "/tmp", "tmpfs", "tmpfs");
        system_.AddMount("8:3", "/home", "ext4", "/dev/sda3");
        system_.AddMount("8:1", "/boot/efi", "vfat", "/dev/sda1");
        system_.AddMount("8:17", "/media/usb", "vfat", "/dev/sdb1");
        system_.AddMount("8:33", "/media/usb2", "vfat", "/dev/sdc1");
        system_.AddMount("179:1", "/run/media/u/CARD\\040ONE", "exfat", "/dev/mmcblk0p1");
        system_.AddMount("11:0", "/media/cdrom", "iso9660", "/dev/sr0");
        system_.AddMount("8:49", "/mnt/data", "ext4", "/dev/sdd1");
        system_.AddMount("0:40", "/mnt/ram", "tmpfs", "tmpfs");
        system_.AddMount("0:41", "/srv/share", "nfs4", "server:/export", "");
        system_.AddMount("0:42", "/home/u/remote", "fuse.sshfs", "u@host:", "");
        system_.AddMount("0:43", "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse");
        system_.AddMount("0:44", "/mnt/btrfs", "btrfs", "/dev/sdd1");
        system_.AddMount("254:0", "/mnt/crypt", "ext4", "/dev/mapper/crypt");
        system_.WriteMountInfo();
    }

    FakeSystem system_;
};

TEST_F(VolumeTableTest, DriveListHoldsRootMediaAndNetworkMountsRootFirst) {
    const VolumeTable table(system_.Sources());
    EXPECT_EQ(MountPoints(table.Drives()),
              (std::vector<std::string>{"/", "/home/u/remote", "/media/cdrom", "/media/usb",
                                        "/media/usb2", "/mnt/btrfs", "/mnt/crypt", "/mnt/data",
                                        "/mnt/ram", "/run/media/u/CARD ONE", "/srv/share"}));
}

TEST_F(VolumeTableTest, EachDriveGetsItsType) {
    const VolumeTable table(system_.Sources());
    const std::map<std::string, DriveType> expected = {
        {"/", DriveType::Fixed},
        {"/home/u/remote", DriveType::Remote},            // fuse.sshfs
        {"/media/cdrom", DriveType::CdRom},               // iso9660 on sr0
        {"/media/usb", DriveType::Removable},             // removable=0, but on usb
        {"/media/usb2", DriveType::Removable},            // removable=1 on its whole disk
        {"/mnt/btrfs", DriveType::Fixed},                 // anonymous device, found by its source
        {"/mnt/crypt", DriveType::Removable},             // device mapper over the usb stick
        {"/mnt/data", DriveType::Fixed},                  // sata disk
        {"/mnt/ram", DriveType::RamDisk},                 // tmpfs mounted as a drive
        {"/run/media/u/CARD ONE", DriveType::Removable},  // sd card on mmc
        {"/srv/share", DriveType::Remote},                // nfs4
    };
    for (const Volume& drive : table.Drives()) {
        ASSERT_TRUE(expected.count(drive.mountPoint)) << drive.mountPoint;
        EXPECT_STREQ(TypeName(drive.type), TypeName(expected.at(drive.mountPoint)))
            << drive.mountPoint;
    }
}

TEST_F(VolumeTableTest, LabelsComeFromTheLabelLinksOfTheDevice) {
    const VolumeTable table(system_.Sources());
    std::map<std::string, std::string> labels;
    for (const Volume& drive : table.Drives()) {
        labels[drive.mountPoint] = drive.label;
    }
    EXPECT_EQ(labels["/media/usb"], "My Stick");
    EXPECT_EQ(labels["/media/cdrom"], "DVD/ROM");
    EXPECT_EQ(labels["/mnt/data"], "");
    EXPECT_EQ(labels["/srv/share"], "");
}

struct PathCase {
    const char* path;
    std::optional<std::string> drive;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << '"' << c.path << '"';
}

class DriveOfPathTest : public VolumeTableTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(DriveOfPathTest, TheLongestMountPointThatIsAFolderOfThePathWins) {
    const VolumeTable table(system_.Sources());
    const std::optional<Volume> drive = table.DriveOfPath(GetParam().path);
    ASSERT_EQ(drive.has_value(), GetParam().drive.has_value()) << GetParam().path;
    if (drive) {
        EXPECT_EQ(drive->mountPoint, *GetParam().drive) << GetParam().path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DriveOfPathTest,
    ::testing::Values(
        PathCase{"/media/usb/DCIM/a.jpg", "/media/usb"}, PathCase{"/media/usb", "/media/usb"},
        PathCase{"/media/usb/", "/media/usb"}, PathCase{"/media/usb2/x.jpg", "/media/usb2"},
        PathCase{"/media/usbx/a", "/"}, PathCase{"/media", "/"},
        PathCase{"/home/u/Pictures/a.jpg", "/"}, PathCase{"/home/u/remote/a.jpg", "/home/u/remote"},
        PathCase{"/run/media/u/CARD ONE/x", "/run/media/u/CARD ONE"},
        PathCase{"//media//usb///a", "/media/usb"}, PathCase{"/media/usb/./a", "/media/usb"},
        PathCase{"/media/usb/../usb2/a", "/media/usb2"}, PathCase{"/media/usb2/../../..", "/"},
        PathCase{"/", "/"}, PathCase{"relative/a.jpg", std::nullopt}, PathCase{"", std::nullopt}));

TEST_F(VolumeTableTest, TypeOfPathFollowsItsDrive) {
    const VolumeTable table(system_.Sources());
    EXPECT_EQ(table.TypeOfPath("/media/cdrom/a.jpg"), DriveType::CdRom);
    EXPECT_EQ(table.TypeOfPath("/media/usb2/a.jpg"), DriveType::Removable);
    EXPECT_EQ(table.TypeOfPath("/tmp/a.jpg"), DriveType::Fixed);  // /tmp is not a drive
    EXPECT_EQ(table.TypeOfPath("a.jpg"), DriveType::Unknown);
}

// A medium's mount point appears only once it is mounted: the table must notice.
TEST_F(VolumeTableTest, FollowsChangesOfTheMountTable) {
    const VolumeTable table(system_.Sources());
    EXPECT_EQ(table.TypeOfPath("/media/usb/a.jpg"), DriveType::Removable);
    system_.RemoveMount("/media/usb");
    system_.WriteMountInfo();
    EXPECT_EQ(table.TypeOfPath("/media/usb/a.jpg"), DriveType::Fixed);  // now on "/"
    system_.AddMount("8:17", "/media/stick", "vfat", "/dev/sdb1");
    system_.WriteMountInfo();
    const std::optional<Volume> drive = table.DriveOfPath("/media/stick/x");
    ASSERT_TRUE(drive);
    EXPECT_EQ(drive->type, DriveType::Removable);
    EXPECT_EQ(drive->label, "My Stick");
}

TEST_F(VolumeTableTest, AnUnreadableMountTableKeepsTheLastAnswer) {
    const VolumeTable table(system_.Sources());
    const size_t before = table.Drives().size();
    ASSERT_EQ(::unlink(system_.Sources().mountInfo.c_str()), 0);
    EXPECT_EQ(table.Drives().size(), before);
}

TEST(VolumeTableRulesTest, AMountOnTopOfAnotherReplacesIt) {
    FakeSystem system;
    system.AddMount("8:1", "/", "ext4", "/dev/sda1");
    system.AddMount("0:40", "/mnt/x", "ext4", "/dev/nothing");
    system.AddMount("0:41", "/mnt/x", "tmpfs", "tmpfs");
    system.WriteMountInfo();
    const VolumeTable table(system.Sources());
    const std::vector<Volume> drives = table.Drives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[1].fsType, "tmpfs");
    EXPECT_EQ(drives[1].type, DriveType::RamDisk);
}

// A machine that boots from an SD card: its root file system is still a fixed drive.
TEST(VolumeTableRulesTest, TheRootFileSystemIsNeverRemovable) {
    FakeSystem system;
    system.AddDisk("platform/fe340000.mmc/mmc_host/mmc0/mmc0:0001", "mmcblk0", "179:0", false,
                   {{"mmcblk0p1", "179:1"}, {"mmcblk0p2", "179:2"}});
    system.AddMount("179:2", "/", "ext4", "/dev/mmcblk0p2");
    system.AddMount("179:1", "/mnt/boot", "vfat", "/dev/mmcblk0p1");
    system.WriteMountInfo();
    const VolumeTable table(system.Sources());
    EXPECT_EQ(table.TypeOfPath("/home/pi/a.jpg"), DriveType::Fixed);
    EXPECT_EQ(table.TypeOfPath("/mnt/boot/a.jpg"), DriveType::Removable);
}

TEST(VolumeTableRulesTest, CdRomsAreKnownByFileSystemOrDevice) {
    FakeSystem system;
    system.AddDisk("pci0000:00/ata2/host1/target1:0:0/1:0:0:0", "sr0", "11:0", true, {});
    system.AddDisk("pci0000:00/ata3/host2/target2:0:0/2:0:0:0", "sde", "8:64", false,
                   {{"sde1", "8:65"}});
    system.AddMount("8:1", "/", "ext4", "/dev/sda1");
    system.AddMount("11:0", "/media/disc", "vfat", "/dev/sr0");     // by the sr device
    system.AddMount("8:65", "/media/udfdisk", "udf", "/dev/sde1");  // by the file system
    system.WriteMountInfo();
    const VolumeTable table(system.Sources());
    EXPECT_EQ(table.TypeOfPath("/media/disc/a"), DriveType::CdRom);
    EXPECT_EQ(table.TypeOfPath("/media/udfdisk/a"), DriveType::CdRom);
}

TEST(DriveClassifierTest, LabelEscapesAreDecoded) {
    EXPECT_EQ(platform::DecodeLabelEscapes("My\\x20Disk"), "My Disk");
    EXPECT_EQ(platform::DecodeLabelEscapes("a\\x2fb\\x5c"), "a/b\\");
    EXPECT_EQ(platform::DecodeLabelEscapes("\\xZZ\\x4"), "\\xZZ\\x4");
    EXPECT_EQ(platform::DecodeLabelEscapes("plain"), "plain");
}

TEST(DriveClassifierTest, NetworkFileSystemsAreRemote) {
    for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "9p"}) {
        EXPECT_TRUE(platform::IsRemoteFileSystem(type)) << type;
    }
    for (const char* type : {"ext4", "vfat", "fuse", "fuse.gvfsd-fuse", "tmpfs", "nfsd"}) {
        EXPECT_FALSE(platform::IsRemoteFileSystem(type)) << type;
    }
}

TEST(VolumeTableSystemTest, TheRealMachineHasARootDrive) {
    const std::vector<Volume> drives = VolumeTable::System().Drives();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front().mountPoint, "/");
    const std::optional<Volume> drive = VolumeTable::System().DriveOfPath("/etc/hostname");
    ASSERT_TRUE(drive);
}

}  // namespace
