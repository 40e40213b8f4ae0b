#include "platform/LargeBlock.h"

#include <sanitizer/asan_interface.h>  // no-op macros outside AddressSanitizer builds
#include <sys/mman.h>
#include <unistd.h>

#include <utility>

namespace platform {

namespace {

// Below this a large page could not be used whole, so it is not asked for.
constexpr std::size_t kLargePage = std::size_t{2} << 20;

std::size_t PageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

}  // namespace

LargeBlock::LargeBlock(std::size_t bytes) {
    if (bytes == 0) {
        return;
    }
    const std::size_t page = PageSize();
    if (bytes > static_cast<std::size_t>(-1) - page) {
        throw std::bad_alloc();
    }
    const std::size_t mapped = (bytes + page - 1) / page * page;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        throw std::bad_alloc();
    }
    if (mapped >= kLargePage) {
        madvise(base, mapped, MADV_HUGEPAGE);
    }
    // The rest of the last page is ours but not the caller's: let the sanitizer say so.
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(base) + bytes, mapped - bytes);
    data_ = base;
    bytes_ = bytes;
    mapped_ = mapped;
}

LargeBlock::~LargeBlock() {
    Release();
}

LargeBlock::LargeBlock(LargeBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void LargeBlock::Release() {
    if (data_ != nullptr) {
        ASAN_UNPOISON_MEMORY_REGION(data_, mapped_);
        munmap(data_, mapped_);
        data_ = nullptr;
    }
}

}  // namespace platform
