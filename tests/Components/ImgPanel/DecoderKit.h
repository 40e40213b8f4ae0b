#pragma once
// What the image decoders' tests share: the fixtures of tests/data/imgpanel, a decode the
// way the panel runs it with its events logged, a stop from another thread, and pixel
// access and comparison with a reference image.

#include <QColor>
#include <QImage>
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

// Decodes every malformed/*<extension> fixture, named <what>.<code><extension>, with a
// decoder from make, and checks that it fails with that code, no picture and that code's
// one error report. Returns how many files it checked.
int CheckMalformedFixtures(const std::string& extension,
                           const std::function<std::unique_ptr<TImgCtrl>()>& make);

// Decodes path on a thread of its own; at the first event of kind `at` the decoder waits
// until this thread has called AbortLoading, then goes on. Returns what it reported.
Log DecodeAbortedFromAnotherThread(TImgCtrl& decoder, const std::string& path, TImgEvent at);

// Blue, green, red of the picture's pixel (x, y), y counted from the top; palette
// pictures are looked up in their palette.
std::array<uint8_t, 3> PixelBgr(PackedDib dib, int x, int y);
QColor PixelAt(PackedDib dib, int x, int y);  // the same as a colour

// The largest difference of a red, green or blue value between the picture and image,
// over the pixels where keep(x, y) holds (all by default).
int WorstDifference(PackedDib dib, const QImage& image,
                    const std::function<bool(int, int)>& keep = {});

}  // namespace decoderkit
