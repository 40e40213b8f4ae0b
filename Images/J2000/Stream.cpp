#include "Images/J2000/Stream.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace j2000 {

namespace {

// Descriptor backend; the descriptor belongs to it.
class FileBackend : public StreamBackend {
  public:
    explicit FileBackend(int fd) : fd_(fd) {}
    ~FileBackend() override { ::close(fd_); }
    long read(std::uint8_t* buf, long n) override {
        for (;;) {
            const ssize_t r = ::read(fd_, buf, static_cast<size_t>(n));
            if (r >= 0 || errno != EINTR)
                return static_cast<long>(r);
        }
    }
    long write(const std::uint8_t* buf, long n) override {
        long done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd_, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return done > 0 ? done : -1;
            done += w;
        }
        return done;
    }
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override {
        const int whence = origin == SeekOrigin::Set       ? SEEK_SET
                           : origin == SeekOrigin::Current ? SEEK_CUR
                                                           : SEEK_END;
        return ::lseek(fd_, offset, whence);
    }

  private:
    int fd_;
};

// Memory backend: a fixed caller buffer, or an owned vector that doubles as it fills.
class MemoryBackend : public StreamBackend {
  public:
    // Fixed size: over the caller's `buf` and the bytes in it, or an owned empty block when
    // `buf` is null. The block comes zeroed from the system (calloc): its pages are touched only
    // when written, so an image store of tens of megabytes costs nothing until it is filled.
    MemoryBackend(std::uint8_t* buf, std::size_t size)
        : fixed_(buf), growable_(false), size_(size), len_(buf ? size : 0) {
        if (!fixed_) {
            block_.reset(
                static_cast<std::uint8_t*>(std::calloc(std::max<std::size_t>(size, 1), 1)));
            if (!block_)
                throw std::bad_alloc();
            fixed_ = block_.get();
        }
    }
    MemoryBackend() : owned_(1024), growable_(true), size_(1024), len_(0) {}

    long read(std::uint8_t* buf, long n) override {
        const std::uint64_t avail = pos_ < len_ ? len_ - pos_ : 0;
        const std::size_t count = std::min<std::uint64_t>(avail, static_cast<std::uint64_t>(n));
        if (count == 0)
            return 0;
        std::memcpy(buf, data() + pos_, count);
        pos_ += count;
        return static_cast<long>(count);
    }
    long write(const std::uint8_t* buf, long n) override {
        const std::uint64_t need = pos_ + static_cast<std::uint64_t>(n);
        if (need > size_ && growable_ && !grow(need))
            return -1;
        if (pos_ >= size_)
            return 0;
        if (pos_ > len_ && !block_)  // an owned block is zero already
            std::memset(data() + len_, 0, pos_ - len_);
        const std::size_t count =
            std::min<std::uint64_t>(size_ - pos_, static_cast<std::uint64_t>(n));
        std::memcpy(data() + pos_, buf, count);
        pos_ += count;
        len_ = std::max(len_, pos_);
        return static_cast<long>(count);
    }
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override {
        const std::int64_t base = origin == SeekOrigin::Set       ? 0
                                  : origin == SeekOrigin::Current ? static_cast<std::int64_t>(pos_)
                                                                  : static_cast<std::int64_t>(len_);
        const std::int64_t target = base + offset;
        if (target < 0)
            return -1;
        pos_ = static_cast<std::uint64_t>(target);
        return target;
    }

  private:
    std::uint8_t* data() { return fixed_ ? fixed_ : owned_.data(); }
    bool grow(std::uint64_t need) {
        std::uint64_t size = size_;
        while (size < need)
            size *= 2;
        if (size > static_cast<std::uint64_t>(SIZE_MAX / 2))
            return false;
        try {
            owned_.resize(size);
        } catch (const std::bad_alloc&) {
            return false;
        }
        size_ = size;
        return true;
    }

    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::uint8_t* fixed_ = nullptr;
    std::unique_ptr<std::uint8_t, Free> block_;
    std::vector<std::uint8_t> owned_;
    bool growable_;
    std::uint64_t size_;
    std::uint64_t len_;
    std::uint64_t pos_ = 0;
};

// A descriptor shared by the stores of one temporary file, closed with the last of them.
struct SharedDescriptor {
    explicit SharedDescriptor(int descriptor) : fd(descriptor) {}
    ~SharedDescriptor() { ::close(fd); }
    SharedDescriptor(const SharedDescriptor&) = delete;
    SharedDescriptor& operator=(const SharedDescriptor&) = delete;
    const int fd;
};

// `size` bytes of a shared file from `base` on, read and written at their own offsets, so that
// the stores of one file never disturb each other's position.
class WindowBackend : public StreamBackend {
  public:
    WindowBackend(std::shared_ptr<SharedDescriptor> file, std::uint64_t base, std::uint64_t size)
        : file_(std::move(file)), base_(base), size_(size) {}

    long read(std::uint8_t* buf, long n) override {
        const long count = Clip(n);
        for (;;) {
            const ssize_t r = ::pread(file_->fd, buf, static_cast<size_t>(count),
                                      static_cast<off_t>(base_ + pos_));
            if (r >= 0) {
                pos_ += static_cast<std::uint64_t>(r);
                return static_cast<long>(r);
            }
            if (errno != EINTR)
                return -1;
        }
    }
    long write(const std::uint8_t* buf, long n) override {
        const long count = Clip(n);
        long done = 0;
        while (done < count) {
            const ssize_t w = ::pwrite(file_->fd, buf + done, static_cast<size_t>(count - done),
                                       static_cast<off_t>(base_ + pos_));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return done > 0 ? done : -1;
            done += w;
            pos_ += static_cast<std::uint64_t>(w);
        }
        return done;
    }
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override {
        const std::int64_t from = origin == SeekOrigin::Set ? 0
                                  : origin == SeekOrigin::Current
                                      ? static_cast<std::int64_t>(pos_)
                                      : static_cast<std::int64_t>(size_);
        const std::int64_t target = from + offset;
        if (target < 0)
            return -1;
        pos_ = static_cast<std::uint64_t>(target);
        return target;
    }

  private:
    // What of n bytes from the position lies inside the window.
    long Clip(long n) const {
        const std::uint64_t left = pos_ < size_ ? size_ - pos_ : 0;
        return static_cast<long>(std::min<std::uint64_t>(left, static_cast<std::uint64_t>(n)));
    }

    std::shared_ptr<SharedDescriptor> file_;
    std::uint64_t base_, size_;
    std::uint64_t pos_ = 0;
};

struct OpenMode {
    bool read = false, write = false, append = false, create = false, valid = true;
};

OpenMode parse_mode(const char* mode) {
    OpenMode m;
    for (const char* p = mode; p && *p; ++p) {
        switch (*p) {
            case 'r':
                m.read = true;
                break;
            case 'w':
                m.write = m.create = true;
                break;
            case 'a':
                m.write = m.append = m.create = true;
                break;
            case '+':
                m.read = m.write = true;
                break;
            case 'b':
                break;  // no text mode on this platform
            default:
                m.valid = false;
        }
    }
    m.valid = m.valid && (m.read || m.write);
    return m;
}

}  // namespace

stream_t::stream_t(std::unique_ptr<StreamBackend> backend, bool readable, bool writable)
    : backend_(std::move(backend)), readable_(readable), writable_(writable) {}

stream_t::~stream_t() {
    flush();
}

// A buffer that cannot be had is an error of the stream, like a failed read.
bool stream_t::makebuffer() {
    if (storage_)
        return true;
    storage_.reset(new (std::nothrow) std::uint8_t[kMaxPutBack + kBufSize]);
    if (!storage_) {
        flags_ |= kStreamError;
        return false;
    }
    bufstart_ = ptr_ = storage_.get() + kMaxPutBack;
    return true;
}

int stream_t::fillbuf() {
    if (flags_ != 0 || !readable_ || !makebuffer())
        return EOF_;
    if (mode_ == BufMode::Write && flushbuf() < 0)
        return EOF_;
    mode_ = BufMode::Read;
    ptr_ = bufstart_;
    const long n = backend_->read(bufstart_, kBufSize);
    if (n <= 0) {
        flags_ |= n == 0 ? kStreamEnd : kStreamError;
        cnt_ = 0;
        return EOF_;
    }
    cnt_ = n;
    return getc();
}

int stream_t::flushbuf() {
    if (mode_ != BufMode::Write)
        return 0;
    const long pending = static_cast<long>(ptr_ - bufstart_);
    if (pending > 0 && backend_->write(bufstart_, pending) != pending) {
        flags_ |= kStreamError;
        return EOF_;
    }
    mode_ = BufMode::Empty;
    ptr_ = bufstart_;
    cnt_ = 0;
    return 0;
}

int stream_t::putc(int c) {
    if (flags_ != 0 || !writable_)
        return EOF_;
    if (mode_ != BufMode::Write) {
        if (!makebuffer())
            return EOF_;
        // The backend stands ahead of the reader by the unread bytes; write where the reader is.
        if (mode_ == BufMode::Read && cnt_ > 0 && backend_->seek(-cnt_, SeekOrigin::Current) < 0) {
            flags_ |= kStreamError;
            return EOF_;
        }
        mode_ = BufMode::Write;
        ptr_ = bufstart_;
        cnt_ = kBufSize;
    }
    if (cnt_ == 0) {
        if (flushbuf() < 0)
            return EOF_;
        mode_ = BufMode::Write;
        cnt_ = kBufSize;
    }
    --cnt_;
    ++rwcnt_;
    *ptr_++ = static_cast<std::uint8_t>(c);
    return c & 0xFF;
}

int stream_t::ungetc(int c) {
    if (mode_ != BufMode::Read || ptr_ == storage_.get() || c == EOF_)
        return -1;
    *--ptr_ = static_cast<std::uint8_t>(c);
    ++cnt_;
    --rwcnt_;
    flags_ &= ~kStreamEnd;  // the byte put back can be read again
    return c & 0xFF;
}

long stream_t::read(void* buf, long n) {
    auto* out = static_cast<std::uint8_t*>(buf);
    long done = 0;
    while (done < n) {
        // Whole runs out of the buffer; getc refills it (and meets errors and the end).
        if (mode_ == BufMode::Read && flags_ == 0 && readable_ && cnt_ > 0) {
            const long k = std::min(cnt_, n - done);
            std::memcpy(out + done, ptr_, static_cast<size_t>(k));
            ptr_ += k;
            cnt_ -= k;
            rwcnt_ += k;
            done += k;
            continue;
        }
        const int c = getc();
        if (c == EOF_)
            break;
        out[done++] = static_cast<std::uint8_t>(c);
    }
    return done;
}

long stream_t::write(const void* buf, long n) {
    const auto* in = static_cast<const std::uint8_t*>(buf);
    // A block of a buffer or more goes to the backend at once rather than 8 KB at a time.
    if (n >= kBufSize && flags_ == 0 && writable_ && mode_ != BufMode::Read) {
        if (flushbuf() < 0)
            return 0;
        const long written = std::max(0L, backend_->write(in, n));
        if (written < n)
            flags_ |= kStreamError;
        rwcnt_ += written;
        return written;
    }
    long done = 0;
    while (done < n) {
        // Whole runs into the buffer; putc sets the write mode up and flushes a full buffer.
        if (mode_ == BufMode::Write && flags_ == 0 && cnt_ > 0) {
            const long k = std::min(cnt_, n - done);
            std::memcpy(ptr_, in + done, static_cast<size_t>(k));
            ptr_ += k;
            cnt_ -= k;
            rwcnt_ += k;
            done += k;
            continue;
        }
        if (putc(in[done]) == EOF_)
            break;
        ++done;
    }
    return done;
}

std::int64_t stream_t::seek(std::int64_t offset, SeekOrigin origin) {
    if (mode_ == BufMode::Read && origin == SeekOrigin::Current)
        offset -= cnt_;
    if (mode_ == BufMode::Write && flushbuf() < 0)
        return -1;
    mode_ = BufMode::Empty;
    cnt_ = 0;
    ptr_ = bufstart_;
    const std::int64_t pos = backend_->seek(offset, origin);
    if (pos < 0)
        return -1;
    // A stream read to its end and then appended to (packed headers) has data again.
    flags_ &= ~kStreamEnd;
    return pos;
}

std::int64_t stream_t::tell() {
    const std::int64_t pos = backend_->seek(0, SeekOrigin::Current);
    if (pos < 0)
        return -1;
    if (mode_ == BufMode::Read)
        return pos - cnt_;
    if (mode_ == BufMode::Write)
        return pos + (ptr_ - bufstart_);
    return pos;
}

int stream_t::flush() {
    return mode_ == BufMode::Write ? flushbuf() : 0;
}

int stream_t::release() {
    // A seek puts the backend where the reader is and empties the buffer.
    if (mode_ != BufMode::Empty && seek(0, SeekOrigin::Current) < 0)
        return -1;
    storage_.reset();
    bufstart_ = ptr_ = nullptr;
    return 0;
}

std::int64_t stream_t::setrwcount(std::int64_t n) {
    const std::int64_t old = rwcnt_;
    rwcnt_ = n;
    return old;
}

StreamPtr stream_fdopen(int fd, const char* mode) {
    const OpenMode m = parse_mode(mode);
    if (fd < 0 || !m.valid)
        return nullptr;
    return std::make_unique<stream_t>(std::make_unique<FileBackend>(fd), m.read, m.write);
}

StreamPtr stream_fopen(const char* path, const char* mode) {
    const OpenMode m = parse_mode(mode);
    if (!path || !m.valid)
        return nullptr;
    int flags = m.read && m.write ? O_RDWR : m.write ? O_WRONLY : O_RDONLY;
    if (m.append)
        flags |= O_APPEND;
    if (m.create)
        flags |= O_CREAT | (m.append ? 0 : O_TRUNC);
    const int fd = ::open(path, flags | O_CLOEXEC, 0666);
    return fd < 0 ? nullptr : stream_fdopen(fd, m.read && m.write ? "r+" : m.write ? "w" : "r");
}

StreamPtr stream_memopen(std::uint8_t* buf, std::size_t bufsize) {
    std::unique_ptr<StreamBackend> backend;
    try {
        if (bufsize > 0)
            backend = std::make_unique<MemoryBackend>(buf, bufsize);
        else
            backend = std::make_unique<MemoryBackend>();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return std::make_unique<stream_t>(std::move(backend), true, true);
}

StreamPtr stream_memopen() {
    return stream_memopen(nullptr, 0);
}

std::vector<StreamPtr> stream_tmpstores(const std::vector<std::uint64_t>& sizes) {
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/orvane-j2k-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return {};
    // Unlinked at once: the stores vanish with the last descriptor, even after a crash.
    ::unlink(name.c_str());
    const auto file = std::make_shared<SharedDescriptor>(fd);
    std::uint64_t total = 0;
    for (const std::uint64_t size : sizes)
        total += size;
    // The file's full length at once (a hole): every store reads as zeros until written.
    if (total > static_cast<std::uint64_t>(INT64_MAX) ||
        ::ftruncate(fd, static_cast<off_t>(total)) != 0)
        return {};
    std::vector<StreamPtr> stores;
    std::uint64_t base = 0;
    for (const std::uint64_t size : sizes) {
        stores.push_back(std::make_unique<stream_t>(
            std::make_unique<WindowBackend>(file, base, size), true, true));
        base += size;
    }
    return stores;
}

int stream_copy(stream_t& out, stream_t& in, std::int64_t n) {
    for (std::int64_t i = 0; n < 0 || i < n; ++i) {
        const int c = in.getc();
        if (c == EOF_)
            return in.error() ? -1 : 0;
        if (out.putc(c) == EOF_)
            return -1;
    }
    return 0;
}

}  // namespace j2000
