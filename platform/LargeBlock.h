#pragma once
// Large working buffers (tens of megabytes, written once and freed with the work that
// needed them) taken straight from the system as zero-filled pages; from a megabyte on, as
// whole large pages on a large-page boundary. Fresh heap memory of that size is a fresh
// mapping too, so nothing is lost; what is won is that the system clears and maps a large
// page per fault instead of 4 KiB, which is most of the cost of touching new memory.

#include <cstddef>
#include <new>
#include <type_traits>

namespace platform {

class LargeBlock {
  public:
    LargeBlock() = default;
    // Zero-filled; std::bad_alloc when the system refuses.
    explicit LargeBlock(std::size_t bytes);
    ~LargeBlock();
    LargeBlock(LargeBlock&& other) noexcept;
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;

    void* Data() const { return data_; }
    std::size_t Bytes() const { return bytes_; }

  private:
    void Release();

    void* data_ = nullptr;
    std::size_t bytes_ = 0;
    std::size_t mapped_ = 0;
};

// A zero-filled array of count values of a type for which all-zero bytes are a value.
template <class T>
class ZeroedArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

  public:
    ZeroedArray() = default;
    explicit ZeroedArray(std::size_t count)
        : block_(count > static_cast<std::size_t>(-1) / sizeof(T) ? throw std::bad_alloc()
                                                                  : count * sizeof(T)),
          count_(count) {}

    T* data() const { return static_cast<T*>(block_.Data()); }
    std::size_t size() const { return count_; }
    T& operator[](std::size_t i) const { return data()[i]; }

  private:
    LargeBlock block_;
    std::size_t count_ = 0;
};

}  // namespace platform
