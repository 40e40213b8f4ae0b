#include "platform/MountMonitor.h"

#include "tests/platform/TempDir.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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
    // The volume table has a parser of its own: this one's fields are checked here.
    const auto before = platform::ReadMountTable(dir / "before");
    ASSERT_EQ(Points(before),
              (std::vector<std::string>{"/#22", "/media/My Card#40", "/mnt/share#41"}));
    EXPECT_EQ(before[1].fsType, "vfat");
    EXPECT_EQ(before[1].source, "/dev/sdb1");
    EXPECT_EQ(before[2].fsType, "nfs4");
    EXPECT_EQ(before[2].source, "server:/export");
    const platform::MountChanges changes =
        platform::DiffMounts(before, platform::ReadMountTable(dir / "after"));
    EXPECT_EQ(Points(changes.added), (std::vector<std::string>{"/mnt/share#45", "/media/cd#46"}));
    EXPECT_EQ(Points(changes.removed), std::vector<std::string>{"/mnt/share#41"});
    EXPECT_TRUE(platform::ReadMountTable(dir / "missing").empty());
}

// While it lives, the process can open no file: the descriptors below a lowered limit are
// all taken. The way a busy program meets a mount table it cannot read.
class NoDescriptorsLeft {
  public:
    NoDescriptorsLeft() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 256);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken_.push_back(fd);
    }
    ~NoDescriptorsLeft() {
        for (int fd : taken_)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    NoDescriptorsLeft(const NoDescriptorsLeft&) = delete;
    NoDescriptorsLeft& operator=(const NoDescriptorsLeft&) = delete;

  private:
    rlimit saved_{};
    std::vector<int> taken_;
};

// Moves this test process into a mount namespace of its own, where nothing mounted by
// another process (a test running beside it) shows, nor what it mounts itself is seen
// elsewhere. False where the process may not (not root, or a container forbidding it).
bool EnterOwnMountNamespace() {
    return ::unshare(CLONE_NEWNS) == 0 &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// A table that cannot be read says nothing about the mounts: no mount is reported gone
// (the tree would take its drives away), and none comes back once it reads again.
TEST(MountMonitor, AnUnreadableTableReportsNoChange) {
    EnterOwnMountNamespace();  // where allowed, no mount beside the test changes the table
    platform::MountMonitor monitor;
    ASSERT_FALSE(platform::ReadMountTable("/proc/self/mountinfo").empty());
    {
        const NoDescriptorsLeft exhausted;
        ASSERT_TRUE(platform::ReadMountTable("/proc/self/mountinfo").empty());
        EXPECT_TRUE(monitor.TakeChanges().Empty());
    }
    EXPECT_TRUE(monitor.TakeChanges().Empty());
}

// A real mount, unmount and remount where the test may mount (root in a namespace that
// allows it); elsewhere only the quiet case runs. The mount is made in a namespace of the
// test's own, so tests running beside it never see it come and go.
TEST(MountMonitor, WatchesTheProcessTable) {
    const bool mayMount = EnterOwnMountNamespace();
    platform::MountMonitor monitor;
    ASSERT_GE(monitor.Fd(), 0);
    EXPECT_TRUE(monitor.TakeChanges().Empty());  // nothing mounted meanwhile
    platform_test::TempDir dir;
    const std::string point = dir / "point";
    ::mkdir(point.c_str(), 0700);
    if (!mayMount || ::mount("none", point.c_str(), "tmpfs", 0, nullptr) != 0)
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
