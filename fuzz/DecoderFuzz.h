#pragma once
// What the decoders' fuzz harnesses share: a decode the way the panel runs it, within a
// memory budget like the panel's. Any outcome short of a crash or a sanitizer report passes:
// hostile files are expected to fail with a code.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "Components/ImgPanel/ImgCtrl.h"
#include "fuzz/FuzzInputFile.h"

namespace fuzzing {

// The panel's budget when 1 GiB is available: whatever a header declares, the budget is
// what stops a decode too large to make, as in the panel, and the runs' memory limit
// (-rss_limit_mb=2048) leaves room for the sanitizers' own.
inline const std::optional<uint64_t> kMemoryBudget = PictureBudget(uint64_t{1} << 30);

// Decodes path with decoder at coefficient, set at the header event as the panel does.
inline void DecodeAt(TImgCtrl& decoder, const std::string& path, double coefficient) {
    decoder.SetDisplayScanlines(7);
    decoder.SetMemoryBudget(kMemoryBudget);
    decoder.OnProgress = [coefficient](TImgCtrl* sender, PackedDib, int, int, TImgEvent e) {
        if (e == TImgEvent::HeaderRead) {
            sender->SetDisplayCoeff(coefficient);
        }
    };
    decoder.OnError = [](TImgCtrl*, const std::string&) {};
    decoder.LoadFromFile(path);
}

// Reduced, then at full size.
template <class Decoder>
int FuzzDecoder(const uint8_t* data, std::size_t size) {
    const FuzzInputFile file(data, size, "imgfuzz");
    if (!file.Ok()) {
        return 0;
    }
    for (const double coefficient : {0.1, 1.0}) {
        Decoder decoder;
        DecodeAt(decoder, file.Path(), coefficient);
    }
    return 0;
}

}  // namespace fuzzing
