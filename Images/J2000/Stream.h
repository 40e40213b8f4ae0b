// Buffered byte streams of the JPEG 2000 decoder over a file descriptor, a memory buffer or a
// part of an anonymous temporary file. Every byte the decoder touches goes through `stream_t`: the
// codestream, the marker-segment copies parsed from memory, packed packet headers and the image
// record's stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace j2000 {

inline constexpr int EOF_ = -1;  // byte reads answer this at end of data, error or limit

// Sticky state: once set, every later read or write fails at once. A successful seek or a
// byte put back clears the end of data; errors stay.
enum StreamFlags : int { kStreamEnd = 1, kStreamError = 2 };

enum class SeekOrigin { Set = 0, Current = 1, End = 2 };

// What a stream reads from and writes to.
class StreamBackend {
  public:
    virtual ~StreamBackend() = default;
    // Count moved: 0 at end of data, negative on error.
    virtual long read(std::uint8_t* buf, long n) = 0;
    virtual long write(const std::uint8_t* buf, long n) = 0;
    // New position, or negative when refused.
    virtual std::int64_t seek(std::int64_t offset, SeekOrigin origin) = 0;
};

class stream_t {
  public:
    static constexpr int kBufSize = 8192;
    static constexpr int kMaxPutBack = 16;

    stream_t(std::unique_ptr<StreamBackend> backend, bool readable, bool writable);
    ~stream_t();
    stream_t(const stream_t&) = delete;
    stream_t& operator=(const stream_t&) = delete;

    // The hot path: a byte from the buffer, the backend only on a buffer boundary. The buffer
    // itself is made at the first read or write.
    int getc() {
        if (flags_ != 0 || !readable_)
            return EOF_;
        if (cnt_ > 0) {
            --cnt_;
            ++rwcnt_;
            return *ptr_++;
        }
        return fillbuf();
    }
    int putc(int c);
    // Puts back a byte just read; up to 16 in a row (the look-ahead room of the packet decoder).
    int ungetc(int c);

    long read(void* buf, long n);
    long write(const void* buf, long n);
    std::int64_t seek(std::int64_t offset, SeekOrigin origin);
    int rewind() { return seek(0, SeekOrigin::Set) < 0 ? -1 : 0; }
    std::int64_t tell();
    int flush();
    // Writes what is pending and gives the buffer back until the next read or write; the
    // position stays. 0, or -1 when the pending bytes cannot be written.
    int release();

    int flags() const { return flags_; }
    bool eof() const { return (flags_ & kStreamEnd) != 0; }
    bool error() const { return (flags_ & kStreamError) != 0; }
    std::int64_t rwcount() const { return rwcnt_; }
    // Bytes moved so far (put-back counts back); tier 1 restarts it per segment.
    std::int64_t setrwcount(std::int64_t n);

  private:
    enum class BufMode { Empty, Read, Write };
    bool makebuffer();
    int fillbuf();
    int flushbuf();

    std::unique_ptr<StreamBackend> backend_;
    bool readable_;
    bool writable_;
    int flags_ = 0;
    BufMode mode_ = BufMode::Empty;
    std::unique_ptr<std::uint8_t[]> storage_;  // put-back room, then the buffer; made when needed
    std::uint8_t* bufstart_ = nullptr;
    std::uint8_t* ptr_ = nullptr;
    long cnt_ = 0;  // bytes left to read, or room left to write
    std::int64_t rwcnt_ = 0;
};

using StreamPtr = std::unique_ptr<stream_t>;

// Mode letters 'r', 'w' (create, truncate), 'a', 'b', '+' in any order. Null on failure.
StreamPtr stream_fopen(const char* path, const char* mode);
// Takes ownership of `fd`.
StreamPtr stream_fdopen(int fd, const char* mode);
// A memory stream: over the `bufsize` bytes of `buf` when given (not owned; the stream can
// neither grow nor move past them), over an owned empty block of `bufsize` bytes when `buf` is
// null, else over an owned buffer that grows from 1024 bytes.
StreamPtr stream_memopen(std::uint8_t* buf, std::size_t bufsize);
StreamPtr stream_memopen();
// Read-write stores of the given sizes laid one after another in one file of the temporary
// folder whose name is removed at once, so that an image of thousands of components opens one
// file. Each store reads as zeros until written and ends at its size. Empty when the file
// cannot be made.
std::vector<StreamPtr> stream_tmpstores(const std::vector<std::uint64_t>& sizes);

// Copies `n` bytes (everything when n < 0). 0, or -1 on a failed write or a read error.
int stream_copy(stream_t& out, stream_t& in, std::int64_t n);

// The free forms used throughout the decoder.
inline int stream_getc(stream_t* s) {
    return s->getc();
}
inline int stream_ungetc(stream_t* s, int c) {
    return s->ungetc(c);
}
inline int stream_putc(stream_t* s, int c) {
    return s->putc(c);
}
inline std::int64_t stream_tell(stream_t* s) {
    return s->tell();
}

}  // namespace j2000
