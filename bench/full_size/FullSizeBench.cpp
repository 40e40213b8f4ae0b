// Decodes a 24-megapixel photo-like JPEG (made here) at full size with the image panel's
// decoder against a plain libjpeg decode of the same file, alternating the two so both see
// the same machine state.
// - ours: a TJpegImg made, LoadFromFile as the panel's loader thread runs it (filter kind
//   12, the panel's default, coefficient 1.0 set at the header event: the picture is shown
//   at its own size), and destroyed with its picture;
// - reference: the file read into memory with one fread, decoded from there
//   (jpeg_mem_src) into blue, green, red rows padded to four bytes, bottom row first (the
//   picture's pixel format), into a fresh mapping as our pictures are, then freed.
// Both pictures are compared byte for byte once before the timing. Prints the medians and
// ends with
//   ratio <ours / reference>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Components/ImgPanel/JpegImg.h"
#include "bench/common/BenchPicture.h"
#include "bench/common/BenchTiming.h"

namespace {

constexpr int kRepetitions = 11;

// Decodes like the panel's loader thread at coefficient 1.0; the decoder keeps the picture.
bool DecodeOurs(TJpegImg& decoder, const std::string& path) {
    decoder.OnProgress = [](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(1.0);
        }
    };
    decoder.SetFilterKind(TImgCtrl::kDefaultFilterKind);
    decoder.LoadFromFile(path);
    return decoder.ErrorCode() == 0;
}

bool SamePixels(PackedDib ours, const bench::PixelBuffer& reference) {
    const size_t bytes = size_t{DibRowBytes(ours)} * static_cast<size_t>(DibHeight(ours));
    return DibWidth(ours) == bench::kPictureWidth && DibHeight(ours) == bench::kPictureHeight &&
           bench::SameBytes(DibBits(ours), bytes, reference);
}

}  // namespace

int main() {
    const bench::ScratchFolder folder;
    const std::string path = bench::WriteBenchJpegIn(folder, "photo.jpg");
    if (path.empty()) {
        return 1;
    }
    {
        TJpegImg decoder;
        std::unique_ptr<bench::PixelBuffer> reference;
        if (!DecodeOurs(decoder, path) || bench::ReferenceDecode(path, 1, &reference) == 0 ||
            !SamePixels(decoder.Picture(), *reference)) {
            std::fprintf(stderr, "the two decodes differ (or one failed)\n");
            return 1;
        }
    }
    std::printf("picture %d x %d, filter kind %d, pixels equal, median of %d runs\n",
                bench::kPictureWidth, bench::kPictureHeight, TImgCtrl::kDefaultFilterKind,
                kRepetitions);
    std::vector<double> ours, reference;
    unsigned sink = 0;
    for (int i = 0; i < kRepetitions; ++i) {
        ours.push_back(bench::TimeMilliseconds([&] {
            TJpegImg decoder;
            sink += DecodeOurs(decoder, path) ? 1 : 0;
        }));
        reference.push_back(
            bench::TimeMilliseconds([&] { sink += bench::ReferenceDecode(path, 1); }));
    }
    const double oursMs = bench::Median(ours), referenceMs = bench::Median(reference);
    std::printf("panel decoder %.2f ms  libjpeg from memory %.2f ms  (checksum %u)\n", oursMs,
                referenceMs, sink);
    std::printf("ratio %.3f\n", oursMs / referenceMs);
    return 0;
}
