#pragma once
// How much memory the machine has. The total decides quality defaults; what is available
// now (MemAvailable, which counts reclaimable caches) is the figure for a budget check.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Installed physical memory in bytes: physical pages x page size; 0 when unknown.
std::uint64_t PhysicalMemoryBytes();

// MemAvailable of /proc/meminfo in bytes; empty when the file or the line is missing.
std::optional<std::uint64_t> AvailableMemoryBytes(const std::string& meminfoPath = "/proc/meminfo");

// The MemAvailable line of a meminfo text ("MemAvailable:    123456 kB") in bytes.
std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfoText);

}  // namespace platform
