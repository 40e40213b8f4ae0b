#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "FakeSystem.h"
#include "platform/ReplacementFile.h"
#include "platform/VolumeTable.h"

namespace {

using platform::DriveType;

// Worker threads ask for drives while the mount table changes under them; every answer must
// come from one of the table's two states, never from a torn one.
TEST(VolumeTableThreadTest, ConcurrentQueriesSeeWholeTables) {
    platform_test::FakeSystem system;
    system.AddDisk("pci0000:00/usb1/1-1/1-1:1.0/host4/target4:0:0/4:0:0:0", "sdb", "8:16", false,
                   {{"sdb1", "8:17"}});
    system.AddMount("8:1", "/", "ext4", "/dev/sda1");
    const std::string mountInfo = system.Sources().mountInfo;
    const std::string withoutStick = platform_test::ReadFile(mountInfo);
    system.AddMount("8:17", "/media/stick", "vfat", "/dev/sdb1");
    const std::string withStick = platform_test::ReadFile(mountInfo);

    const platform::VolumeTable table(system.Sources());
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) {
        workers.emplace_back([&table, &stop, &wrong] {
            while (!stop.load()) {
                const auto drives = table.Drives();
                const DriveType type = table.TypeOfPath("/media/stick/a.jpg");
                if (drives.empty() || drives[0].mountPoint != "/" ||
                    (type != DriveType::Removable && type != DriveType::Fixed)) {
                    wrong.fetch_add(1);
                }
            }
        });
    }
    for (int round = 0; round < 200; ++round) {
        // Replaced in one step, as the kernel's table is: readers see one text or the other.
        // EXPECT, not ASSERT: returning here would leave the workers running and end the
        // whole test program when their threads are destroyed unjoined.
        EXPECT_EQ(platform::ReplaceFileContents(mountInfo, round % 2 ? withStick : withoutStick),
                  0);
    }
    stop.store(true);
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
