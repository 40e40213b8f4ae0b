#include "platform/LargeBlock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <utility>

namespace {

// A block past a large page comes zero-filled whole, keeps its size, and moves without
// being freed twice (the sanitizer builds catch a double unmap or a use after it).
TEST(LargeBlockTest, ArraysAreZeroFilledAndMoveTheirMemory) {
    const std::size_t count = (std::size_t{5} << 20) / sizeof(std::uint32_t) + 3;
    platform::ZeroedArray<std::uint32_t> array(count);
    ASSERT_EQ(array.size(), count);
    std::uint32_t any = 0;
    for (std::size_t i = 0; i < count; ++i) {
        any |= array[i];
    }
    EXPECT_EQ(any, 0u);
    array[count - 1] = 7;
    std::uint32_t* memory = array.data();
    platform::ZeroedArray<std::uint32_t> moved(std::move(array));
    EXPECT_EQ(moved.data(), memory);
    EXPECT_EQ(moved[count - 1], 7u);
    array = std::move(moved);
    EXPECT_EQ(array.data(), memory);
    EXPECT_TRUE(platform::ZeroedArray<std::uint32_t>().data() == nullptr);
}

TEST(LargeBlockTest, ImpossibleSizesThrowInsteadOfWrapping) {
    using Huge = platform::ZeroedArray<std::uint64_t>;
    EXPECT_THROW(Huge(static_cast<std::size_t>(-1) / 4), std::bad_alloc);
    EXPECT_THROW(platform::LargeBlock(static_cast<std::size_t>(-1) - 1), std::bad_alloc);
}

}  // namespace
