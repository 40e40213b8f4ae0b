#pragma once
// Running a decoder the way the panel does, recording what it reports, and reading the
// pictures it makes, for the tests of the BMP and icon decoders.

#include <QColor>
#include <QImage>
#include <functional>
#include <string>
#include <vector>

#include "Components/ImgPanel/ImgCtrl.h"

namespace testdecode {

struct Event {
    int from, to;
    TImgEvent event;
    bool operator==(const Event&) const = default;
};

struct Log {
    std::vector<Event> events;
    std::vector<std::string> errors;
};

// Decodes path, setting coefficient at the header event; onEvent sees every event after it
// is logged.
void Decode(TImgCtrl& decoder, Log& log, const std::string& path, double coefficient,
            std::function<void(TImgCtrl*, const Event&)> onEvent = {});

// Decodes path on a thread of its own; at the first event of kind `at` the decoder waits
// until this thread has called AbortLoading, then goes on. Returns what it reported.
Log DecodeAbortedFromAnotherThread(TImgCtrl& decoder, const std::string& path, TImgEvent at);

// The colour of screen pixel (x, y) (0, 0 = top left) of a picture of any bit count.
QColor PixelAt(const DibInfoHeader* dib, int x, int y);

// The largest difference of a red, green or blue value between the picture and image,
// over the pixels where keep(x, y) holds (all by default).
int WorstDifference(const DibInfoHeader* dib, const QImage& image,
                    const std::function<bool(int, int)>& keep = {});

// Where the test data made by tests/data/imgpanel/make_bmp_ico.py lies.
std::string DataFile(const std::string& relative);

}  // namespace testdecode
