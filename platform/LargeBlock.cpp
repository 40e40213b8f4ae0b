#include "platform/LargeBlock.h"

#include <sanitizer/asan_interface.h>  // no-op macros outside AddressSanitizer builds
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace platform {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
// From this size a block is given whole large pages: one large page fault (clearing its
// 2 MiB) costs less than the small-page faults of half of it.
constexpr std::size_t kLargePageWorthy = kLargePage / 2;

std::size_t PageSize() {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

void* MapAnonymous(std::size_t bytes) {
    void* base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return base == MAP_FAILED ? nullptr : base;
}

// mapped bytes (a multiple of the large page) starting on a large-page boundary, since only
// whole aligned large pages are used: the system places a mapping of any other length where
// it likes, and its unaligned head then falls back to small pages. The slack mapped for the
// alignment is given back at once.
void* MapLargePages(std::size_t mapped) {
    char* wide = static_cast<char*>(MapAnonymous(mapped + kLargePage));
    if (wide == nullptr) {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(wide);
    const std::size_t head = (kLargePage - start % kLargePage) % kLargePage;
    if (head > 0) {
        munmap(wide, head);
    }
    munmap(wide + head + mapped, kLargePage - head);
    madvise(wide + head, mapped, MADV_HUGEPAGE);
    return wide + head;
}

}  // namespace

LargeBlock::LargeBlock(std::size_t bytes) {
    if (bytes == 0) {
        return;
    }
    if (bytes > static_cast<std::size_t>(-1) - 2 * kLargePage) {
        throw std::bad_alloc();
    }
    const std::size_t unit = bytes >= kLargePageWorthy ? kLargePage : PageSize();
    const std::size_t mapped = (bytes + unit - 1) / unit * unit;
    void* base = unit == kLargePage ? MapLargePages(mapped) : MapAnonymous(mapped);
    if (base == nullptr) {
        throw std::bad_alloc();
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
