// The PNG, TIFF, GIF and BMP decoders of the image panel against each library's plain
// decode streamed into the same scaling.
//
// For each format a 12-megapixel colour picture (GIF: 256 colours) is written once, then
// decoded for a 300 x 200 panel and at coefficient 1.0:
//   ours:      the panel's decoder (TPNGImg, TTiffImg, TGifImg, TBmpImg) from opening the
//              file to its finished picture, the coefficient set at the header event as the
//              panel does, filter kind 12, the panel's scaler mode; destroyed with its
//              picture;
//   reference: the library's plain row-by-row decode (png_read_row, TIFFReadScanline,
//              DGifGetLine; for BMP the header and then every row read with fread), each row
//              streamed into the scaling our decoder uses (TIFF, BMP: our area filter, kind
//              12; PNG: the line resampler; GIF: none) into a picture like ours, then freed.
// Before the timing both sides decode once and their pictures are compared: the same size,
// depth, palette and pixels, or the benchmark fails. Both run on this one thread,
// alternating, and the median of the runs counts. Each side's peak memory (the growth of the
// resident set's high-water mark over one run) is printed beside its time. The last line is
//   ratio <the worst of ours / reference over every row>
// A format joins with one entry in kFormats; formats named on the command line run alone.

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
#include "Components/ImgPanel/GifImg.h"
#include "Components/ImgPanel/PanelGeometry.h"
#include "Components/ImgPanel/PngImg.h"
#include "Components/ImgPanel/TiffImg.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"
#include "bench/decoders/BenchFormats.h"

namespace {

constexpr int kRepetitions = 5;
constexpr int kPanelWidth = 300;
constexpr int kPanelHeight = 200;
constexpr uint8_t kFilterKind = 12;

using Reference = std::function<UniqueDib(const std::string& path, double coefficient)>;

struct Format {
    const char* name;
    const char* file;
    bool (*write)(const std::string& path);
    std::function<std::unique_ptr<TImgCtrl>()> makeDecoder;
    Reference reference;
};

template <class T>
std::unique_ptr<TImgCtrl> Make() {
    return std::make_unique<T>();
}

const Format kFormats[] = {
    {"png", "bench.png", benchformats::WritePng, Make<TPNGImg>, benchformats::ReferencePng},
    {"tiff", "bench.tif", benchformats::WriteTiff, Make<TTiffImg>,
     [](const std::string& path, double coefficient) {
         return benchformats::ReferenceTiff(path, coefficient, kFilterKind);
     }},
    {"gif", "bench.gif", benchformats::WriteGif, Make<TGifImg>,
     [](const std::string& path, double) { return benchformats::ReferenceGif(path); }},
    {"bmp", "bench.bmp", benchformats::WriteBmp, Make<TBmpImg>,
     [](const std::string& path, double coefficient) {
         return benchformats::ReferenceBmp(path, coefficient, kFilterKind);
     }},
};

double PanelCoefficient() {
    const FrameGeometry panel{kPanelWidth, kPanelHeight, 0, FrameBorderOf(ftLowered), -1.0};
    return CalcFrameRect(panel, benchformats::kWidth, benchformats::kHeight).coefficient;
}

// Our side's picture, or null when the decode fails.
UniqueDib DecodeOurs(const Format& format, const std::string& path, double coefficient) {
    const std::unique_ptr<TImgCtrl> decoder = format.makeDecoder();
    decoder->SetFilterKind(kFilterKind);
    decoder->OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder->LoadFromFile(path);
    return decoder->ErrorCode() == 0 ? decoder->TakePicture() : nullptr;
}

bool SamePicture(PackedDib a, PackedDib b) {
    if (a == nullptr || b == nullptr || DibWidth(a) != DibWidth(b) ||
        DibHeight(a) != DibHeight(b) || a->biBitCount != b->biBitCount) {
        return false;
    }
    const size_t bytes = size_t{DibRowBytes(a)} * static_cast<size_t>(DibHeight(a));
    const size_t entries = a->biBitCount <= 8 ? size_t{1} << a->biBitCount : 0;
    return std::memcmp(DibBits(a), DibBits(b), bytes) == 0 &&
           std::memcmp(DibPalette(a), DibPalette(b), entries * sizeof(RgbQuad)) == 0;
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
    if (!SamePicture(DecodeOurs(format, path, coefficient).get(),
                     format.reference(path, coefficient).get())) {
        std::fprintf(stderr, "%s at %.4f: the pictures differ (or a decode failed)\n", format.name,
                     coefficient);
        return false;
    }
    bool ok = true;
    std::vector<double> ours, reference;
    for (int i = 0; i < kRepetitions && ok; ++i) {
        ours.push_back(bench::TimeMilliseconds(
            [&] { ok = DecodeOurs(format, path, coefficient) != nullptr && ok; }));
        reference.push_back(bench::TimeMilliseconds(
            [&] { ok = format.reference(path, coefficient) != nullptr && ok; }));
    }
    if (!ok) {
        return false;
    }
    row.oursMs = bench::Median(ours);
    row.referenceMs = bench::Median(reference);
    row.oursMb = PeakMegabytes([&] { return DecodeOurs(format, path, coefficient) != nullptr; });
    row.referenceMb = PeakMegabytes([&] { return format.reference(path, coefficient) != nullptr; });
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Formats to run: all by default, or those named on the command line.
    const std::vector<std::string> named(argv + 1, argv + argc);
    bench::ScratchFolder folder;
    if (!folder.Ok()) {
        std::fprintf(stderr, "no scratch folder\n");
        return 1;
    }
    const double panel = PanelCoefficient();
    std::printf("picture %dx%d, panel %dx%d (coefficient %.5f), filter kind %d, pictures equal\n",
                benchformats::kWidth, benchformats::kHeight, kPanelWidth, kPanelHeight, panel,
                kFilterKind);
    std::printf("%-5s %-6s %10s %10s %8s %10s %10s\n", "fmt", "coeff", "ours_ms", "ref_ms", "ratio",
                "ours_MiB", "ref_MiB");
    double worst = 0;
    for (const Format& format : kFormats) {
        if (!named.empty() && std::find(named.begin(), named.end(), format.name) == named.end()) {
            continue;
        }
        const std::string path = folder.File(format.file);
        if (!format.write(path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        for (const double coefficient : {panel, 1.0}) {
            Row row{};
            if (!Measure(format, path, coefficient, row)) {
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
