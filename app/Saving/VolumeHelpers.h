#pragma once
// Locking the volume a picture is copied from. The lock requests exist only on the
// Windows families the save command was first written for; on this system the platform
// kind is always 0 (unknown), so no volume is ever opened or locked and the save command
// copies without a lock, as it did on later Windows versions.

#include <cstdint>
#include <string>

enum PlatformKind {
    pkUnknown = 0,
    pkWindows98 = 1,
    pkWindows95 = 2,
    pkNT4 = 3,
    pkNT5 = 4,
};

// An open volume; null when nothing was opened.
using VolumeHandle = void*;

int GetPlatformKind();
VolumeHandle OpenVolume(const std::string& drive);
bool LockVolume(VolumeHandle volume, const std::string& drive, uint8_t lockLevel,
                uint16_t permissions);
