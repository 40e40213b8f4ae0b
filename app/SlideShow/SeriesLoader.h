#pragma once
// The non-visual side of loading a series: decoding one picture at a reduced scale,
// checking before loading that the series fits the memory available, and drawing the three
// previews that the orientation question shows. UI thread (the decoder runs where called).

#include <QColor>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "imaging/PackedDib.h"

namespace slideshow {

// The picture of name decoded at 1/denominator; null when the file cannot be opened or
// decoded or there is no memory for it.
UniqueDib JpegDecompress(const QString& name, int denominator);

// What the first picture's header tells about the pictures of a series.
struct SeriesPictureInfo {
    int outputWidth = 0;  // at the decode scale
    int outputHeight = 0;
    int bitCount = 0;           // 8 for grey pictures, else 24
    uint64_t decoderBytes = 0;  // what the decoder itself holds while decoding one picture
};
std::optional<SeriesPictureInfo> ReadSeriesPictureInfo(const QString& name, int denominator);

// Bytes a series of count such pictures takes while it is loaded, turned and shown: every
// picture and its turned copy, the pictures in flight, the buffers of decoders running at
// once, the thumbnails, and the scaled frames of the picture panel up to frameBudget.
uint64_t EstimateSeriesBytes(const SeriesPictureInfo& info, int count, int decoders = 1,
                             uint64_t frameBudget = 0);
// Whether needed bytes fit what is available with room left for the rest of the system
// (kMemoryReserve, or an eighth of what is available when that is more); an unknown
// figure never refuses.
inline constexpr uint64_t kMemoryReserve = uint64_t{64} << 20;
bool FitsAvailableMemory(uint64_t needed, std::optional<uint64_t> available);
// The most decoders, up to maxWorkers, with which a series of count such pictures fits
// what is available; 0 when it does not fit even with one.
int WorkersThatFit(const SeriesPictureInfo& info, int count, int maxWorkers,
                   std::optional<uint64_t> available, uint64_t frameBudget = 0);

// Why name could not be decoded, in a sentence that names the file; empty when only
// memory can have run short for it (the caller then says so in its own words).
QString LoadFailureText(const QString& name, int denominator, std::optional<uint64_t> available);

// The three orientation previews of a picture (turned left, as it is, turned right), each
// side x side with the picture fitted and centred on background. Empty when a turn fails.
std::optional<std::array<QImage, 3>> MakeOrientPreviews(const DibInfoHeader* picture,
                                                        const QColor& background, int side = 153);

}  // namespace slideshow
