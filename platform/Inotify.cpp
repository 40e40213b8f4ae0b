#include "platform/Inotify.h"

#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/PosixFile.h"

namespace platform {

namespace {

// Events about the watched directory itself or the whole queue.
constexpr std::uint32_t kSelfEvents =
    IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_Q_OVERFLOW | IN_IGNORED;
constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

}  // namespace

std::uint32_t InotifyMaskFor(bool watchFiles) {
    std::uint32_t mask = kNameEvents | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (watchFiles) {
        mask |= IN_MODIFY;
    }
    return mask;
}

bool IsChangeEvent(std::uint32_t mask, bool watchFiles) {
    if (mask & kSelfEvents) {
        return true;
    }
    if (!(mask & (kNameEvents | IN_ATTRIB | IN_MODIFY))) {
        return false;
    }
    return watchFiles || (mask & IN_ISDIR);
}

int InotifyWatchLimit() {
    const FileContents contents = ReadWholeFile("/proc/sys/fs/inotify/max_user_watches", 64);
    if (contents.error != 0) {
        return 0;
    }
    int limit = 0;
    const char* first = contents.bytes.data();
    const auto [end, error] = std::from_chars(first, first + contents.bytes.size(), limit);
    return error == std::errc() && end != first && limit > 0 ? limit : 0;
}

InotifyInstance::InotifyInstance() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0) {
        error_ = errno;
    }
}

InotifyInstance::~InotifyInstance() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

int InotifyInstance::AddWatch(const std::string& path, std::uint32_t mask) const {
    if (fd_ < 0) {
        return -error_;
    }
    const int wd = ::inotify_add_watch(fd_, path.c_str(), mask);
    return wd >= 0 ? wd : -errno;
}

bool InotifyInstance::RemoveWatch(int wd) const {
    return fd_ >= 0 && wd >= 0 && ::inotify_rm_watch(fd_, wd) == 0;
}

int InotifyInstance::ReadPending(const std::function<void(const Event&)>& onEvent) const {
    // Aligned as the kernel's records are; one buffer holds many events with their names.
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN ? 0 : errno;
        }
        if (got == 0) {
            return 0;
        }
        std::size_t offset = 0;
        const std::size_t size = static_cast<std::size_t>(got);
        while (offset + sizeof(inotify_event) <= size) {
            inotify_event header;
            std::memcpy(&header, buffer + offset, sizeof header);
            const std::size_t record = sizeof(inotify_event) + header.len;
            if (record > size - offset) {
                break;  // never happens with the kernel's framing; never read past the data
            }
            const char* name = buffer + offset + sizeof(inotify_event);
            onEvent(Event{header.wd, header.mask,
                          header.len ? std::string_view(name, ::strnlen(name, header.len))
                                     : std::string_view()});
            offset += record;
        }
    }
}

WakeFd::WakeFd() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeFd::~WakeFd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void WakeFd::Signal() const {
    const std::uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void WakeFd::Drain() const {
    std::uint64_t count = 0;
    while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace platform
