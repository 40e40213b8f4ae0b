#include "platform/MountMonitor.h"

#include "tests/platform/TempDir.h"

#include <gtest/gtest.h>

namespace {

using platform::MountRecord;

// mountinfo lines as the kernel writes them: a blank in a name is \040.
constexpr const char* kBefore =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "40 22 8:17 / /media/My\\040Card rw,nosuid shared:7 - vfat /dev/sdb1 rw\n"
    "41 22 0:50 / /mnt/share rw - nfs4 server:/export rw\n";
// The card remounted read-only (options only), the share unmounted and mounted again
// (a new id on the same folder), a CD arrived.
constexpr const char* kAfter =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
    "40 22 8:17 / /media/My\\040Card ro,nosuid shared:7 - vfat /dev/sdb1 ro\n"
    "45 22 0:51 / /mnt/share rw - nfs4 server:/export rw\n"
    "46 22 11:0 / /media/cd ro - iso9660 /dev/sr0 ro\n";

std::vector<std::string> Points(const std::vector<MountRecord>& records) {
    std::vector<std::string> points;
    for (const MountRecord& record : records)
        points.push_back(record.mountPoint + "#" + std::to_string(record.id));
    return points;
}

TEST(MountMonitor, TablesAreComparedByMountIdAndMountPoint) {
    platform_test::TempDir dir;
    platform_test::WriteFile(dir / "before", kBefore);
    platform_test::WriteFile(dir / "after", kAfter);
    const auto before = platform::ReadMountTable(dir / "before");
    ASSERT_EQ(before.size(), 3u);
    EXPECT_EQ(before[1].mountPoint, "/media/My Card");
    EXPECT_EQ(before[1].fsType, "vfat");
    EXPECT_EQ(before[1].source, "/dev/sdb1");
    const platform::MountChanges changes =
        platform::DiffMounts(before, platform::ReadMountTable(dir / "after"));
    EXPECT_EQ(Points(changes.added), (std::vector<std::string>{"/mnt/share#45", "/media/cd#46"}));
    EXPECT_EQ(Points(changes.removed), std::vector<std::string>{"/mnt/share#41"});
    EXPECT_TRUE(platform::ReadMountTable(dir / "missing").empty());
}

TEST(MountMonitor, WatchesTheProcessTable) {
    platform::MountMonitor monitor;
    EXPECT_GE(monitor.Fd(), 0);
    EXPECT_TRUE(monitor.TakeChanges().Empty());  // nothing mounted meanwhile
}

}  // namespace
