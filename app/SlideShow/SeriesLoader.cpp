#include "app/SlideShow/SeriesLoader.h"

#include <QFile>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/SlideShow/SlideGeometry.h"
#include "imaging/DibDraw.h"
#include "imaging/JpegError.h"
#include "imaging/JpgImage.h"

namespace slideshow {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

constexpr uint64_t kPageBytes = 4096;

uint64_t WholePages(uint64_t bytes) {
    return (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
}

}  // namespace

UniqueDib JpegDecompress(const QString& name, int denominator) {
    try {
        TJpgImage loader;
        loader.LoadFromFile(QFile::encodeName(name).toStdString(), denominator);
        PackedDib copy = nullptr;
        DibCopy(loader.Picture(), &copy);
        return UniqueDib(copy);
    } catch (...) {
        return nullptr;
    }
}

std::optional<SeriesPictureInfo> ReadSeriesPictureInfo(const QString& name, int denominator) {
    UniqueFile file(std::fopen(QFile::encodeName(name).constData(), "rb"));
    if (!file) {
        return std::nullopt;
    }
    JpegDecompressor decoder(nullptr);
    j_decompress_ptr info = decoder.Info();
    std::FILE* source = file.get();
    const int outcome = RunJpegStep(decoder, [&decoder, info, source, denominator] {
        decoder.Create();
        jpeg_stdio_src(info, source);
        jpeg_read_header(info, TRUE);
        info->scale_num = 1;
        info->scale_denom = static_cast<unsigned>(denominator);
        jpeg_calc_output_dimensions(info);
    });
    if (outcome != kJpegDone) {
        return std::nullopt;
    }
    SeriesPictureInfo result;
    result.outputWidth = static_cast<int>(info->output_width);
    result.outputHeight = static_cast<int>(info->output_height);
    result.bitCount = info->jpeg_color_space == JCS_GRAYSCALE ? 8 : 24;
    // A progressive file keeps every coefficient of the full-size picture while decoding.
    if (info->progressive_mode) {
        result.decoderBytes = uint64_t{info->image_width} * info->image_height *
                              static_cast<uint64_t>(info->num_components) * 2;
    }
    return result;
}

uint64_t EstimateSeriesBytes(const SeriesPictureInfo& info, int count, int decoders,
                             uint64_t frameBudget) {
    const uint64_t pictures = static_cast<uint64_t>(std::max(count, 0));
    const uint64_t picture =
        WholePages(DibCreateSize(info.outputWidth, info.outputHeight, info.bitCount));
    const uint64_t running = static_cast<uint64_t>(std::max(decoders, 1));
    // The series and, while it is turned, a turned copy of it; each running decoder holds
    // its own picture, its copy and one waiting picture.
    const uint64_t series = picture * (2 * pictures + 3 * running);
    // A thumbnail is drawn into an image and kept as a pixmap, four bytes a pixel each.
    const QSize cell = ThumbCellSize({info.outputWidth, info.outputHeight});
    const uint64_t thumbnails = pictures * 2 * 4 * uint64_t(cell.width()) * uint64_t(cell.height());
    // The panel's frames are at most the picture's own size, four bytes a pixel.
    const uint64_t frames = std::min(
        frameBudget, pictures * 4 * uint64_t(info.outputWidth) * uint64_t(info.outputHeight));
    return series + info.decoderBytes * running + thumbnails + frames;
}

bool FitsAvailableMemory(uint64_t needed, std::optional<uint64_t> available) {
    if (!available.has_value()) {
        return true;
    }
    const uint64_t reserve = std::max(kMemoryReserve, *available / 8);
    return *available >= reserve && needed <= *available - reserve;
}

QString LoadFailureText(const QString& name, int denominator, std::optional<uint64_t> available) {
    const QString prefix = "Can't load image '" + name + "': ";
    UniqueFile file(std::fopen(QFile::encodeName(name).constData(), "rb"));
    if (!file) {
        return prefix + QString::fromLocal8Bit(std::strerror(errno)) + ".";
    }
    if (std::fgetc(file.get()) == EOF) {
        return prefix + "the file is empty.";
    }
    const std::optional<SeriesPictureInfo> info = ReadSeriesPictureInfo(name, denominator);
    if (!info) {
        return prefix + "it is not a JPEG picture, or its header is damaged.";
    }
    // A picture whose decode alone does not fit failed for memory; otherwise its data did.
    const uint64_t one = EstimateSeriesBytes(*info, 1);
    if (available.has_value() && one > *available) {
        return {};
    }
    return prefix + "its picture data is damaged or cut short.";
}

int WorkersThatFit(const SeriesPictureInfo& info, int count, int maxWorkers,
                   std::optional<uint64_t> available, uint64_t frameBudget) {
    for (int workers = std::max(maxWorkers, 1); workers >= 1; --workers) {
        if (FitsAvailableMemory(EstimateSeriesBytes(info, count, workers, frameBudget),
                                available)) {
            return workers;
        }
    }
    return 0;
}

std::optional<std::array<QImage, 3>> MakeOrientPreviews(const DibInfoHeader* picture,
                                                        const QColor& background, int side) {
    if (picture == nullptr) {
        return std::nullopt;
    }
    std::array<QImage, 3> previews;
    const int directions[3] = {-1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        UniqueDib turned;
        const DibInfoHeader* shown = picture;
        if (directions[i] != 0) {
            turned.reset(DibRotate(picture, directions[i]));
            if (!turned) {
                return std::nullopt;
            }
            shown = turned.get();
        }
        QImage preview(side, side, QImage::Format_RGB32);
        if (preview.isNull()) {
            return std::nullopt;
        }
        preview.fill(background);
        QPainter painter(&preview);
        DibDraw(shown, painter, OrientPreviewRect({DibWidth(shown), DibHeight(shown)}, side), true);
        painter.end();
        previews[i] = std::move(preview);
    }
    return previews;
}

}  // namespace slideshow
