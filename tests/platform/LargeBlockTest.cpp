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

// Only whole aligned large pages are used: a block that would profit from them starts on a
// large-page boundary, whatever its length.
TEST(LargeBlockTest, BlocksOfAMegabyteOrMoreStartOnALargePage) {
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    for (const std::size_t bytes :
         {std::size_t{1} << 20, (std::size_t{8} << 20) - 12288, (std::size_t{3} << 20) + 1}) {
        const platform::LargeBlock block(bytes);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.Data()) % kLargePage, 0u) << bytes;
        static_cast<volatile char*>(block.Data())[bytes - 1] = 1;  // all of it is usable
    }
}

TEST(LargeBlockTest, ImpossibleSizesThrowInsteadOfWrapping) {
    using Huge = platform::ZeroedArray<std::uint64_t>;
    EXPECT_THROW(Huge(static_cast<std::size_t>(-1) / 4), std::bad_alloc);
    EXPECT_THROW(platform::LargeBlock(static_cast<std::size_t>(-1) - 1), std::bad_alloc);
}

}  // namespace
