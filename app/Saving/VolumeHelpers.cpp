#include "app/Saving/VolumeHelpers.h"

int GetPlatformKind() {
    return pkUnknown;
}

// Only the Windows kinds have a volume device to open or a lock request to send.
VolumeHandle OpenVolume(const std::string&) {
    return nullptr;
}

bool LockVolume(VolumeHandle, const std::string&, uint8_t, uint16_t) {
    return false;
}
