#include "tests/Components/ImgPanel/DecoderKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "Components/ImgPanel/ImgErrors.h"

namespace decoderkit {

std::string Fixture(const std::string& relative) {
    return std::string(ORVANE_IMGPANEL_DATA) + "/" + relative;
}

void Decode(TImgCtrl& decoder, Log& log, const std::string& path, double coefficient,
            std::function<void(TImgCtrl*, const Event&)> onEvent) {
    decoder.OnProgress = [&log, coefficient, onEvent](TImgCtrl* sender, PackedDib, int from, int to,
                                                      TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
        log.events.push_back({from, to, e});
        if (onEvent) {
            onEvent(sender, log.events.back());
        }
    };
    decoder.OnError = [&log](TImgCtrl*, const std::string& text) { log.errors.push_back(text); };
    decoder.LoadFromFile(path);
}

int CheckMalformedFixtures(const std::string& extension,
                           const std::function<std::unique_ptr<TImgCtrl>()>& make) {
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Fixture("malformed"))) {
        const std::filesystem::path path = entry.path();
        if (path.extension() != extension) {
            continue;
        }
        const unsigned long expected = std::stoul(path.stem().extension().string().substr(1));
        const std::unique_ptr<TImgCtrl> decoder = make();
        Log log;
        Decode(*decoder, log, path.string(), 1.0);
        EXPECT_EQ(decoder->ErrorCode(), expected) << path.filename();
        EXPECT_EQ(decoder->Picture(), nullptr) << path.filename();
        EXPECT_EQ(log.errors, std::vector{FormatErrorMessage(expected)}) << path.filename();
        ++checked;
    }
    return checked;
}

Log DecodeAbortedFromAnotherThread(TImgCtrl& decoder, const std::string& path, TImgEvent at) {
    Log log;
    std::mutex mutex;
    std::condition_variable changed;
    bool reached = false;
    std::thread loader([&] {
        Decode(decoder, log, path, 1.0, [&](TImgCtrl* sender, const Event& e) {
            if (e.event != at || reached) {
                return;
            }
            std::unique_lock lock(mutex);
            reached = true;
            changed.notify_all();
            changed.wait(lock, [sender] { return sender->AbortRequested(); });
        });
    });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return reached; });
        decoder.AbortLoading();
        changed.notify_all();
    }
    loader.join();
    return log;
}

std::array<uint8_t, 3> PixelBgr(PackedDib dib, int x, int y) {
    const uint8_t* row = DibBits(dib) + size_t(DibHeight(dib) - 1 - y) * DibRowBytes(dib);
    const int bits = dib->biBitCount;
    if (bits >= 24) {
        const uint8_t* p = row + x * (bits / 8);
        return {p[0], p[1], p[2]};
    }
    const int perByte = 8 / bits;
    const int shift = 8 - bits * (x % perByte + 1);
    const int index = (row[x / perByte] >> shift) & ((1 << bits) - 1);
    const RgbQuad q = DibPalette(dib)[index];
    return {q.rgbBlue, q.rgbGreen, q.rgbRed};
}

QColor PixelAt(PackedDib dib, int x, int y) {
    const std::array<uint8_t, 3> bgr = PixelBgr(dib, x, y);
    return QColor(bgr[2], bgr[1], bgr[0]);
}

int WorstDifference(PackedDib dib, const QImage& image, const std::function<bool(int, int)>& keep) {
    int worst = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (keep && !keep(x, y)) {
                continue;
            }
            const QColor ours = PixelAt(dib, x, y);
            const QColor theirs = image.pixelColor(x, y);
            worst = std::max({worst, std::abs(ours.red() - theirs.red()),
                              std::abs(ours.green() - theirs.green()),
                              std::abs(ours.blue() - theirs.blue())});
        }
    }
    return worst;
}

}  // namespace decoderkit
