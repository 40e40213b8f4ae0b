#pragma once
// What the image decoders' tests share: the fixtures of tests/data/imgpanel, the decoder
// the factory makes for a file, a decode the way the panel runs it with its events logged,
// and pixel access.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Components/ImgPanel/ImgCtrl.h"

namespace decoderkit {

// A file of tests/data/imgpanel, e.g. Fixture("png/rgb.png").
std::string Fixture(const std::string& relative);

// The decoder the factory makes for the format the file's extension names (.jpg, .bmp,
// .ico, .cur, .gif, .png, .tif, .wic, .j2k), whatever the file holds.
std::unique_ptr<TImgCtrl> DecoderFor(const std::string& path);

struct Event {
    int from, to;
    TImgEvent event;
    bool operator==(const Event&) const = default;
};

struct Log {
    std::vector<Event> events;
    std::vector<std::string> errors;
};

// Decodes path, setting the coefficient at the header event as the panel does; onEvent
// sees every event after it is logged.
void Decode(TImgCtrl& decoder, Log& log, const std::string& path, double coefficient,
            std::function<void(TImgCtrl*, const Event&)> onEvent = {});

// Blue, green, red of the picture's pixel (x, y), y counted from the top; palette
// pictures are looked up in their palette.
std::array<uint8_t, 3> PixelBgr(PackedDib dib, int x, int y);

}  // namespace decoderkit
