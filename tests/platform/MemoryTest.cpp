#include "platform/Memory.h"

#include <gtest/gtest.h>

#include "TempDir.h"

namespace {

TEST(MemoryTest, MemAvailableIsReadInBytesOrNotAtAll) {
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"MemTotal:  16318480 kB\nMemAvailable:    8123456 kB\nBuffers:   100 kB\n",
         std::uint64_t{8123456} * 1024},
        {"MemTotal: 1 kB\nMemAvailable: 2 kB", 2048},       // last line without a line end
        {"MemTotal: 1 kB\nMemFree: 1 kB\n", std::nullopt},  // a kernel without the line
        {"XMemAvailable: 5 kB\n", std::nullopt},
        {"MemAvailable: 5\n", std::nullopt},
        {"MemAvailable: 18446744073709551615 kB\n", std::nullopt}};
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(platform::ParseMemAvailable(text), bytes) << text;
    }
    platform_test::TempDir dir;
    platform_test::WriteFile(dir / "meminfo", "MemTotal: 100 kB\nMemAvailable: 64 kB\n");
    EXPECT_EQ(platform::AvailableMemoryBytes(dir / "meminfo"), std::uint64_t{65536});
    EXPECT_EQ(platform::AvailableMemoryBytes(dir / "missing"), std::nullopt);
}

// The available memory can never pass the installed memory, and a machine that runs these
// tests has more than 64 MiB: both figures are in bytes.
TEST(MemoryTest, SystemFiguresAreConsistent) {
    const std::uint64_t physical = platform::PhysicalMemoryBytes();
    EXPECT_GT(physical, std::uint64_t{64} << 20);
    const std::optional<std::uint64_t> available = platform::AvailableMemoryBytes();
    ASSERT_TRUE(available.has_value());
    EXPECT_GT(*available, 0u);
    EXPECT_LE(*available, physical);
}

}  // namespace
