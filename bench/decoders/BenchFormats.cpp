#include "bench/decoders/BenchFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include "Components/ImgPanel/Filters.h"
#include "bench/common/BenchPicture.h"
#include "imaging/Resample.h"

namespace benchformats {

namespace {

void PictureRow(int y, std::vector<uint8_t>& rgb, uint32_t& seed) {
    testpicture::PhotoRow(y, kWidth, kHeight, bench::kPhotoGrain, rgb.data(), seed);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// File header and information header of an uncompressed bitmap.
constexpr size_t kBmpHeaderBytes = 14 + 40;

}  // namespace

bool WritePng(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (!file || info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t{kWidth} * 3);
    uint32_t seed = testpicture::kPhotoSeed;
    for (int y = 0; y < kHeight; ++y) {
        PictureRow(y, row, seed);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool WriteTiff(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (tif == nullptr) {
        return false;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t{kWidth});
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t{kHeight});
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t{3});
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t{8});
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    std::vector<uint8_t> row(size_t{kWidth} * 3);
    uint32_t seed = testpicture::kPhotoSeed;
    bool ok = true;
    for (int y = 0; y < kHeight && ok; ++y) {
        PictureRow(y, row, seed);
        ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

bool WriteGif(const std::string& path) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr) {
        return false;
    }
    // 8 reds x 8 greens x 4 blues: 256 colours, each pixel the nearest.
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i) {
        map->Colors[i] = GifColorType{static_cast<GifByteType>((i >> 5) * 255 / 7),
                                      static_cast<GifByteType>(((i >> 2) & 7) * 255 / 7),
                                      static_cast<GifByteType>((i & 3) * 255 / 3)};
    }
    bool ok = EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map) != GIF_ERROR &&
              EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr) != GIF_ERROR;
    std::vector<uint8_t> rgb(size_t{kWidth} * 3);
    std::vector<GifPixelType> line(kWidth);
    uint32_t seed = testpicture::kPhotoSeed;
    for (int y = 0; y < kHeight && ok; ++y) {
        PictureRow(y, rgb, seed);
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &rgb[size_t(x) * 3];
            line[x] =
                static_cast<GifPixelType>(((p[0] * 7 + 127) / 255) << 5 |
                                          ((p[1] * 7 + 127) / 255) << 2 | ((p[2] * 3 + 127) / 255));
        }
        ok = EGifPutLine(gif, line.data(), kWidth) != GIF_ERROR;
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) != GIF_ERROR && ok;
}

bool WriteBmp(const std::string& path) {
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        return false;
    }
    const uint32_t rowBytes = (uint32_t{kWidth} * 3 + 3) & ~3u;
    const uint32_t pixelBytes = rowBytes * kHeight;
    uint8_t header[kBmpHeaderBytes] = {'B', 'M'};
    const auto put32 = [&header](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            header[at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    put32(2, kBmpHeaderBytes + pixelBytes);
    put32(10, kBmpHeaderBytes);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
    put32(26, 1 | (24 << 16));  // planes, bit count
    put32(34, pixelBytes);
    bool ok = std::fwrite(header, sizeof header, 1, file.get()) == 1;
    // Rows bottom first, blue-green-red; the picture's top row is written last.
    std::vector<std::vector<uint8_t>> rows(kHeight, std::vector<uint8_t>(rowBytes, 0));
    uint32_t seed = testpicture::kPhotoSeed;
    std::vector<uint8_t> rgb(size_t{kWidth} * 3);
    for (int y = 0; y < kHeight; ++y) {
        PictureRow(y, rgb, seed);
        uint8_t* row = rows[kHeight - 1 - y].data();
        for (size_t i = 0; i < rgb.size(); i += 3) {
            row[i] = rgb[i + 2], row[i + 1] = rgb[i + 1], row[i + 2] = rgb[i];
        }
    }
    for (int y = 0; y < kHeight && ok; ++y) {
        ok = std::fwrite(rows[y].data(), rowBytes, 1, file.get()) == 1;
    }
    return std::fclose(file.release()) == 0 && ok;
}

namespace {

// The rows of a reference picture: the filter's or resampler's output rows, top first, in a
// bottom-up picture as ours are.
uint8_t* ScreenRow(PackedDib dib, int y) {
    return DibBits(dib) + size_t{DibRowBytes(dib)} * static_cast<size_t>(DibHeight(dib) - 1 - y);
}

// Streams `height` source rows of 24 bits through our area filter (kind, coefficient as the
// panel gives them) into a new picture; readRow(slot) writes the next source row. The
// output rows fill the picture from the top, or in stored order (bottom up) for a source
// stored that way.
template <class ReadRow>
UniqueDib FilterRows(int width, int height, double coefficient, uint8_t kind, bool storedOrder,
                     const ReadRow& readRow) {
    FilterParams filter;
    filter.srcWidth = width;
    filter.srcHeight = height;
    filter.srcBpp = 24;
    filter.dstBpp = 24;
    filter.scaleX = filter.scaleY = static_cast<float>(coefficient);
    filter.kind = kind;
    if (filter_open(&filter) != 0) {
        return nullptr;
    }
    FilterGuard guard(filter);
    UniqueDib out(DibCreate(filter.dstWidth, filter.dstHeight, 24));
    for (int y = 0; out && y < filter.dstHeight; ++y) {
        uint8_t* row = storedOrder ? DibBits(out.get()) + size_t{DibRowBytes(out.get())} * y
                                   : ScreenRow(out.get(), y);
        FilterNextRow(filter, row, readRow);
    }
    return out;
}

}  // namespace

UniqueDib ReferenceBmp(const std::string& path, double coefficient, uint8_t kind) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    uint8_t header[kBmpHeaderBytes];
    if (!file || std::fread(header, sizeof header, 1, file.get()) != 1) {
        return nullptr;
    }
    const auto get32 = [&header](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, header + at, 4);  // little-endian, as the machines we run on
        return v;
    };
    const int width = static_cast<int>(get32(18));
    const int height = static_cast<int>(get32(22));
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    if (std::fseek(file.get(), static_cast<long>(get32(10)), SEEK_SET) != 0) {
        return nullptr;
    }
    // Stored bottom row first: the filter takes them in that order and fills the picture
    // from its bottom row up, as ours does.
    bool ok = true;
    UniqueDib out = FilterRows(width, height, coefficient, kind, true, [&](uint8_t* slot) {
        ok = std::fread(slot, rowBytes, 1, file.get()) == 1 && ok;
    });
    return ok ? std::move(out) : nullptr;
}

UniqueDib ReferenceTiff(const std::string& path, double coefficient, uint8_t kind) {
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), TIFFClose);
    uint32_t width = 0, height = 0;
    if (!tif || !TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height)) {
        return nullptr;
    }
    std::vector<uint8_t> scanline(static_cast<size_t>(TIFFScanlineSize(tif.get())));
    uint32_t row = 0;
    bool ok = true;
    UniqueDib out =
        FilterRows(static_cast<int>(width), static_cast<int>(height), coefficient, kind, false,
                   [&](uint8_t* slot) {
                       ok = TIFFReadScanline(tif.get(), scanline.data(), row++, 0) >= 0 && ok;
                       for (size_t i = 0; i < size_t{width} * 3; i += 3) {
                           slot[i] = scanline[i + 2];
                           slot[i + 1] = scanline[i + 1];
                           slot[i + 2] = scanline[i];
                       }
                   });
    return ok ? std::move(out) : nullptr;
}

UniqueDib ReferencePng(const std::string& path, double coefficient) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    // Made before the jump point, so that a jump back finds them to free.
    ResampleState st;
    UniqueDib out;
    if (!file || info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    st.factor = coefficient >= 1.0 ? 1.0 : 1.0 / coefficient;
    st.srcWidth = png_get_image_width(png, info);
    st.srcHeight = png_get_image_height(png, info);
    st.bitCount = 24;
    st.mode = kResampleHalvingWithSquare;  // the panel's scaler mode
    if (ResampleCreateWeights(&st)) {
        out.reset(DibCreate(static_cast<int>(st.outWidth), static_cast<int>(st.outHeight), 24));
    }
    if (out && st.factor == 1.0) {
        for (uint32_t y = 0; y < st.srcHeight; ++y) {
            png_read_row(png, ScreenRow(out.get(), static_cast<int>(y)), nullptr);
        }
    } else if (out) {
        while (st.srcRowsDone < st.srcHeight) {
            for (uint32_t k = 0; k < st.rowsToRead; ++k) {
                png_read_row(png, st.writePos + size_t{k} * st.srcRowBytes, nullptr);
            }
            ResampleRows(&st);
            ResampleStoreRow(&st, out.get(), st.outRowsDone - 1);
        }
        ResampleFinishRows(&st, out.get());
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}

UniqueDib ReferenceGif(const std::string& path) {
    int error = 0;
    std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(DGifOpenFileName(path.c_str(), &error),
                                                             [](GifFileType* g) {
                                                                 int ignored = 0;
                                                                 DGifCloseFile(g, &ignored);
                                                             });
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (!gif || gif->SColorMap == nullptr || DGifGetRecordType(gif.get(), &type) == GIF_ERROR ||
        type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) == GIF_ERROR) {
        return nullptr;
    }
    const int width = gif->Image.Width, height = gif->Image.Height;
    UniqueDib out(DibCreate(width, height, 8));
    if (!out) {
        return nullptr;
    }
    const ColorMapObject* map = gif->SColorMap;
    for (int i = 0; i < map->ColorCount && i < 256; ++i) {
        DibPalette(out.get())[i] =
            RgbQuad{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
    }
    for (int y = 0; y < height; ++y) {
        if (DGifGetLine(gif.get(), ScreenRow(out.get(), y), width) == GIF_ERROR) {
            return nullptr;
        }
    }
    return out;
}

}  // namespace benchformats
