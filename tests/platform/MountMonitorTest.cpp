#include "platform/MountMonitor.h"

#include "tests/platform/TempDir.h"

#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>

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
    // The lines are read as the volume table reads them (tested there).
    const auto before = platform::ReadMountTable(dir / "before");
    ASSERT_EQ(Points(before),
              (std::vector<std::string>{"/#22", "/media/My Card#40", "/mnt/share#41"}));
    const platform::MountChanges changes =
        platform::DiffMounts(before, platform::ReadMountTable(dir / "after"));
    EXPECT_EQ(Points(changes.added), (std::vector<std::string>{"/mnt/share#45", "/media/cd#46"}));
    EXPECT_EQ(Points(changes.removed), std::vector<std::string>{"/mnt/share#41"});
    EXPECT_TRUE(platform::ReadMountTable(dir / "missing").empty());
}

// A real mount, unmount and remount where the test may mount (root in a namespace that
// allows it); elsewhere only the quiet case runs.
TEST(MountMonitor, WatchesTheProcessTable) {
    platform::MountMonitor monitor;
    ASSERT_GE(monitor.Fd(), 0);
    EXPECT_TRUE(monitor.TakeChanges().Empty());  // nothing mounted meanwhile
    platform_test::TempDir dir;
    const std::string point = dir / "point";
    ::mkdir(point.c_str(), 0700);
    if (::mount("none", point.c_str(), "tmpfs", 0, nullptr) != 0)
        GTEST_SKIP() << "mounting is not allowed here";
    struct Unmount {
        std::string point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }  // whatever the test left
    } unmount{point};
    pollfd ready{monitor.Fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 10000), 1);
    platform::MountChanges changes = monitor.TakeChanges();
    ASSERT_EQ(changes.added.size(), 1u);
    EXPECT_EQ(changes.added[0].mountPoint, point);
    EXPECT_EQ(::poll(&ready, 1, 0), 0);  // the notification was consumed
    ::mount(nullptr, point.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
    EXPECT_EQ(::poll(&ready, 1, 10000), 1);
    EXPECT_TRUE(monitor.TakeChanges().Empty());  // options only
    ::umount(point.c_str());
    EXPECT_EQ(::poll(&ready, 1, 10000), 1);
    changes = monitor.TakeChanges();
    ASSERT_EQ(changes.removed.size(), 1u);
    EXPECT_EQ(changes.removed[0].mountPoint, point);
}

}  // namespace
