#pragma once
// What the PNG, GIF and TIFF fuzz harnesses share: a decode the way the panel runs it. Any outcome
// short of a crash or a sanitizer report passes: hostile files are expected to fail with a code.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Components/ImgPanel/ImgCtrl.h"
#include "fuzz/FuzzInputFile.h"

namespace fuzzing {

// Pictures above this many pixels are decoded only reduced: a few header bytes can claim
// a huge picture, and allocating it at full size says nothing about the parser.
inline constexpr long long kFullSizePixelLimit = 16LL * 1024 * 1024;

// Decodes path with a new Decoder at coefficient, set at the header event as the panel
// does; returns the number of pixels the header declared (0 when it never got that far).
template <class Decoder>
long long DecodeAt(const std::string& path, double coefficient) {
    long long pixels = 0;
    Decoder decoder;
    decoder.SetDisplayScanlines(7);
    decoder.OnProgress = [&pixels, coefficient](TImgCtrl* sender, PackedDib, int, int,
                                                TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            pixels = static_cast<long long>(sender->Width()) * sender->Height();
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(path);
    return pixels;
}

// The reduced decode first (cheap at any size), then full size when the picture is small.
template <class Decoder>
int FuzzDecoder(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "imgfuzz");
    if (!file.Ok()) {
        return 0;
    }
    if (DecodeAt<Decoder>(file.Path(), 0.1) <= kFullSizePixelLimit) {
        DecodeAt<Decoder>(file.Path(), 1.0);
    }
    return 0;
}

}  // namespace fuzzing
