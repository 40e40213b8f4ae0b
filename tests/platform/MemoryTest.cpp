#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <optional>

#include "TempDir.h"

namespace {

struct MeminfoCase {
    const char* name;
    const char* text;
    std::optional<std::uint64_t> expected;
};

class MemAvailableTest : public ::testing::TestWithParam<MeminfoCase> {};

TEST_P(MemAvailableTest, ReadsTheKibibyteFigureAsBytes) {
    EXPECT_EQ(platform::ParseMemAvailable(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemAvailableTest,
    ::testing::Values(
        MeminfoCase{"typical",
                    "MemTotal:       16318480 kB\nMemFree:         1234567 kB\n"
                    "MemAvailable:    8123456 kB\nBuffers:          100 kB\n",
                    std::uint64_t{8123456} * 1024},
        MeminfoCase{"last_line_without_newline", "MemTotal: 1 kB\nMemAvailable: 2 kB",
                    std::uint64_t{2048}},
        MeminfoCase{"old_kernel_without_the_line", "MemTotal: 1 kB\nMemFree: 1 kB\n", std::nullopt},
        MeminfoCase{"not_at_line_start", "XMemAvailable: 5 kB\n", std::nullopt},
        MeminfoCase{"no_number", "MemAvailable: kB\n", std::nullopt},
        MeminfoCase{"no_unit", "MemAvailable: 5\n", std::nullopt},
        MeminfoCase{"overflowing", "MemAvailable: 18446744073709551615 kB\n", std::nullopt},
        MeminfoCase{"empty", "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MemoryTest, ReadsAvailableMemoryFromTheGivenFile) {
    platform_test::TempDir dir;
    platform_test::WriteFile(dir / "meminfo", "MemTotal: 100 kB\nMemAvailable: 64 kB\n");
    EXPECT_EQ(platform::AvailableMemoryBytes(dir / "meminfo"), std::uint64_t{65536});
    EXPECT_EQ(platform::AvailableMemoryBytes(dir / "missing"), std::nullopt);
}

// Both figures in bytes: the available memory can never pass the installed memory, and a
// machine that runs these tests has more than 64 MiB.
TEST(MemoryTest, SystemFiguresAreConsistent) {
    const std::uint64_t physical = platform::PhysicalMemoryBytes();
    EXPECT_GT(physical, std::uint64_t{64} << 20);
    const auto available = platform::AvailableMemoryBytes();
    ASSERT_TRUE(available.has_value());
    EXPECT_GT(*available, 0u);
    EXPECT_LE(*available, physical);
}

}  // namespace
