#include "platform/Memory.h"

#include <unistd.h>

#include <charconv>
#include <limits>

#include "platform/PosixFile.h"

namespace platform {

namespace {

constexpr std::string_view kAvailableKey = "MemAvailable:";
constexpr std::uint64_t kKibibyte = 1024;

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

// The value of a "Key:   number kB" line, without the key.
std::optional<std::uint64_t> KibibytesValue(std::string_view rest) {
    rest = SkipBlanks(rest);
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || end == rest.data()) {
        return std::nullopt;
    }
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
    if (SkipBlanks(rest).substr(0, 2) != "kB") {
        return std::nullopt;
    }
    if (value > std::numeric_limits<std::uint64_t>::max() / kKibibyte) {
        return std::nullopt;
    }
    return value * kKibibyte;
}

}  // namespace

std::uint64_t PhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) {
        return 0;
    }
    const auto count = static_cast<std::uint64_t>(pages);
    const auto size = static_cast<std::uint64_t>(pageSize);
    if (count > std::numeric_limits<std::uint64_t>::max() / size) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return count * size;
}

std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfoText) {
    size_t lineStart = 0;
    while (lineStart < meminfoText.size()) {
        size_t lineEnd = meminfoText.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = meminfoText.size();
        }
        const std::string_view line = meminfoText.substr(lineStart, lineEnd - lineStart);
        if (line.substr(0, kAvailableKey.size()) == kAvailableKey) {
            return KibibytesValue(line.substr(kAvailableKey.size()));
        }
        lineStart = lineEnd + 1;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> AvailableMemoryBytes(const std::string& meminfoPath) {
    const FileContents contents = ReadWholeFile(meminfoPath, size_t{1} << 20);
    if (contents.error != 0) {
        return std::nullopt;
    }
    return ParseMemAvailable(contents.bytes);
}

}  // namespace platform
