// Times the JPEG preview loader against a direct libjpeg decode of the same 24-megapixel
// photo-like JPEG (made here) at 1/1, 1/2, 1/4 and 1/8, alternating the two so both see
// the same machine state.
// - ours: a TJpgImage made, LoadFromFile(path, denominator) (open, decode into a new
//   picture block, reading the file in 256 KiB blocks), and destroyed with its picture;
// - reference: the file read into memory with one fread, decoded from there (jpeg_mem_src)
//   at the same scale into the same pixel format, in a buffer that asks for memory as our
//   picture blocks do (a fresh mapping, no advice), finish, free.
// Both pictures are compared byte for byte once at each scale before the timing. Prints the
// median of each and ends with the worst ratio:
//   ratio <ours / reference>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"
#include "imaging/JpgImage.h"

namespace {

constexpr int kRepetitions = 11;

uint8_t PreviewDecode(const std::string& path, int denominator) {
    TJpgImage image;
    image.LoadFromFile(path, denominator);
    return image.Picture() != nullptr ? DibBits(image.Picture())[0] : 0;
}

bool SamePicture(const std::string& path, int denominator) {
    TJpgImage image;
    image.LoadFromFile(path, denominator);
    std::unique_ptr<bench::PixelBuffer> reference;
    if (image.Picture() == nullptr || bench::ReferenceDecode(path, denominator, &reference) == 0) {
        return false;
    }
    const size_t bytes = size_t{DibRowBytes(image.Picture())} * DibHeight(image.Picture());
    return bench::SameBytes(DibBits(image.Picture()), bytes, *reference);
}

}  // namespace

int main() {
    const bench::ScratchFolder folder;
    const std::string path = bench::WriteBenchJpegIn(folder, "photo.jpg");
    if (path.empty()) {
        return 1;
    }
    std::printf("picture %d x %d, %ju bytes, median of %d runs each\n", bench::kPictureWidth,
                bench::kPictureHeight, static_cast<uintmax_t>(std::filesystem::file_size(path)),
                kRepetitions);

    uint32_t sink = 0;
    double worst = 0;
    for (int denominator : {1, 2, 4, 8}) {
        if (!SamePicture(path, denominator)) {
            std::fprintf(stderr, "1/%d: the two decodes differ (or one failed)\n", denominator);
            return 1;
        }
        std::vector<double> ours, reference;
        for (int i = 0; i < kRepetitions; ++i) {
            ours.push_back(
                bench::TimeMilliseconds([&] { sink += PreviewDecode(path, denominator); }));
            reference.push_back(bench::TimeMilliseconds(
                [&] { sink += bench::ReferenceDecode(path, denominator); }));
        }
        const double oursMs = bench::Median(ours), referenceMs = bench::Median(reference);
        const double ratio = oursMs / referenceMs;
        worst = std::max(worst, ratio);
        std::printf("1/%d  preview loader %8.2f ms  direct libjpeg %8.2f ms  ratio %.3f\n",
                    denominator, oursMs, referenceMs, ratio);
    }
    std::printf("(checksum %u)\n", sink);
    std::printf("ratio %.3f\n", worst);
    return 0;
}
