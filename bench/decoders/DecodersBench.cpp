// The PNG, TIFF, GIF and BMP decoders of the image panel against each library's plain
// decode (for BMP, a plain read of its rows).
//
// For each format a 12-megapixel colour picture (GIF: 256 colours) is written once, then
// decoded for a 300 x 200 panel and at coefficient 1.0:
//   ours:      the panel's decoder (TPNGImg, TTiffImg, TGifImg, TBmpImg) from opening the
//              file to its finished picture, the coefficient set at the header event as the
//              panel does, filter kind 12;
//   reference: the whole file decoded into one buffer in memory (png_read_image, a
//              TIFFReadScanline loop, DGifSlurp; for BMP the header and then every row read
//              with fread), then our area filter (kind 12, as the panel uses) over that
//              buffer, row by row, to a 24-bit picture at the same coefficient.
// Both run on this one thread, alternating, and the median of the runs counts. Each side's
// peak memory (the growth of the resident set's high-water mark over one run) is printed
// beside its time. The last line is
//   ratio <the worst of ours / reference over every row>
// A format joins with one entry in kFormats.

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Components/ImgPanel/BmpImg.h"
#include "Components/ImgPanel/Filters.h"
#include "Components/ImgPanel/GifImg.h"
#include "Components/ImgPanel/PanelGeometry.h"
#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"
#include "bench/decoders/BenchFormats.h"

namespace {

using benchformats::FullPicture;

constexpr int kRepetitions = 5;
constexpr int kPanelWidth = 300;
constexpr int kPanelHeight = 200;
constexpr uint8_t kFilterKind = 12;

struct Format {
    const char* name;
    const char* file;
    bool (*write)(const std::string& path);
    std::function<std::unique_ptr<TImgCtrl>()> makeDecoder;
    bool (*decodeWhole)(const std::string& path, const benchformats::UsePicture& use);
};

template <class T>
std::unique_ptr<TImgCtrl> Make() {
    return std::make_unique<T>();
}

const Format kFormats[] = {
    {"png", "bench.png", benchformats::WritePng, Make<TPNGImg>, benchformats::DecodePngWhole},
    {"tiff", "bench.tif", benchformats::WriteTiff, Make<TTiffImg>, benchformats::DecodeTiffWhole},
    {"gif", "bench.gif", benchformats::WriteGif, Make<TGifImg>, benchformats::DecodeGifWhole},
    {"bmp", "bench.bmp", benchformats::WriteBmp, Make<TBmpImg>, benchformats::DecodeBmpWhole},
};

double PanelCoefficient() {
    const FrameGeometry panel{kPanelWidth, kPanelHeight, 0, FrameBorderOf(ftLowered), -1.0};
    return CalcFrameRect(panel, benchformats::kWidth, benchformats::kHeight).coefficient;
}

// Our side: the decoder keeps its picture until it is destroyed with the result.
bool DecodeOurs(const Format& format, const std::string& path, double coefficient) {
    const std::unique_ptr<TImgCtrl> decoder = format.makeDecoder();
    decoder->SetFilterKind(kFilterKind);
    decoder->OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder->LoadFromFile(path);
    return decoder->ErrorCode() == 0;
}

// The area filter over a whole picture in memory, the way our decoders feed it.
bool FilterWhole(const FullPicture& picture, double coefficient) {
    FilterParams filter;
    filter.srcWidth = picture.width;
    filter.srcHeight = picture.height;
    filter.srcBpp = static_cast<uint8_t>(picture.bitCount);
    filter.dstBpp = 24;
    filter.scaleX = filter.scaleY = static_cast<float>(coefficient);
    filter.kind = kFilterKind;
    std::vector<RgbQuad> palette = picture.palette;
    filter.palette = palette.empty() ? nullptr : palette.data();
    filter.paletteSize = static_cast<int>(palette.size());
    if (filter_create(&filter) != 0) {
        return false;
    }
    FilterGuard guard(filter);
    UniqueDib out(DibCreate(filter.dstWidth, filter.dstHeight, 24));
    if (!out) {
        return false;
    }
    const uint32_t rowBytes = DibRowBytes(out.get());
    const size_t pixelBytes = static_cast<size_t>(picture.width) * picture.bitCount / 8;
    int sourceRow = 0;
    const auto copyNextRow = [&](uint8_t* slot) {
        const uint8_t* row = picture.pixels + picture.rowBytes * sourceRow++;
        if (picture.redFirst) {
            for (size_t i = 0; i + 2 < pixelBytes; i += 3) {
                slot[i] = row[i + 2], slot[i + 1] = row[i + 1], slot[i + 2] = row[i];
            }
        } else {
            std::memcpy(slot, row, pixelBytes);
        }
    };
    for (int y = 0; y < filter.dstHeight; ++y) {
        FilterNextRow(filter, DibBits(out.get()) + size_t(filter.dstHeight - 1 - y) * rowBytes,
                      copyNextRow);
    }
    return true;
}

bool DecodeReference(const Format& format, const std::string& path, double coefficient) {
    bool filtered = false;
    const bool decoded = format.decodeWhole(
        path, [&](const FullPicture& picture) { filtered = FilterWhole(picture, coefficient); });
    return decoded && filtered;
}

long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(std::strlen(key)));
        }
    }
    return 0;
}

// Peak growth of the resident set over one run of work, in MiB: freed memory is handed
// back first, then the kernel's high-water mark is reset to the current size.
double PeakMegabytes(const std::function<bool()>& work) {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKilobytes("VmRSS:");
    work();
    return std::max(0L, StatusKilobytes("VmHWM:") - before) / 1024.0;
}

struct Row {
    double oursMs, referenceMs, oursMb, referenceMb;
};

bool Measure(const Format& format, const std::string& path, double coefficient, Row& row) {
    bool ok = DecodeOurs(format, path, coefficient) && DecodeReference(format, path, coefficient);
    std::vector<double> ours, reference;
    for (int i = 0; i < kRepetitions && ok; ++i) {
        ours.push_back(
            bench::TimeMilliseconds([&] { ok = DecodeOurs(format, path, coefficient) && ok; }));
        reference.push_back(bench::TimeMilliseconds(
            [&] { ok = DecodeReference(format, path, coefficient) && ok; }));
    }
    if (!ok) {
        return false;
    }
    row.oursMs = bench::Median(ours);
    row.referenceMs = bench::Median(reference);
    row.oursMb = PeakMegabytes([&] { return DecodeOurs(format, path, coefficient); });
    row.referenceMb = PeakMegabytes([&] { return DecodeReference(format, path, coefficient); });
    return true;
}

}  // namespace

int main() {
    bench::ScratchFolder folder;
    if (!folder.Ok()) {
        std::fprintf(stderr, "no scratch folder\n");
        return 1;
    }
    const double panel = PanelCoefficient();
    std::printf("picture %dx%d, panel %dx%d (coefficient %.5f), filter kind %d\n",
                benchformats::kWidth, benchformats::kHeight, kPanelWidth, kPanelHeight, panel,
                kFilterKind);
    std::printf("%-5s %-6s %10s %10s %8s %10s %10s\n", "fmt", "coeff", "ours_ms", "ref_ms", "ratio",
                "ours_MiB", "ref_MiB");
    double worst = 0;
    for (const Format& format : kFormats) {
        const std::string path = folder.File(format.file);
        if (!format.write(path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        for (const double coefficient : {panel, 1.0}) {
            Row row{};
            if (!Measure(format, path, coefficient, row)) {
                std::fprintf(stderr, "%s: a decode failed\n", format.name);
                return 1;
            }
            const double ratio = row.oursMs / row.referenceMs;
            worst = std::max(worst, ratio);
            std::printf("%-5s %-6.4f %10.1f %10.1f %8.3f %10.1f %10.1f\n", format.name, coefficient,
                        row.oursMs, row.referenceMs, ratio, row.oursMb, row.referenceMb);
        }
    }
    std::printf("ratio %.3f\n", worst);
    return 0;
}
