#include "bench/decoders/BenchFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include <gif_lib.h>
#include <png.h>
#include <tiffio.h>

#include "bench/common/BenchPicture.h"

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

bool DecodeBmpWhole(const std::string& path, const UsePicture& use) {
    FilePtr file(std::fopen(path.c_str(), "rb"));
    uint8_t header[kBmpHeaderBytes];
    if (!file || std::fread(header, sizeof header, 1, file.get()) != 1) {
        return false;
    }
    const auto get32 = [&header](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, header + at, 4);  // little-endian, as the machines we run on
        return v;
    };
    FullPicture out;
    out.width = static_cast<int>(get32(18));
    out.height = static_cast<int>(get32(22));
    out.bitCount = 24;
    out.rowBytes = (static_cast<size_t>(out.width) * 3 + 3) & ~size_t{3};
    std::vector<uint8_t> pixels(out.rowBytes * static_cast<size_t>(out.height));
    if (std::fseek(file.get(), static_cast<long>(get32(10)), SEEK_SET) != 0) {
        return false;
    }
    // The rows are stored bottom first; each is read into its place from the top.
    for (int y = out.height - 1; y >= 0; --y) {
        if (std::fread(pixels.data() + out.rowBytes * y, out.rowBytes, 1, file.get()) != 1) {
            return false;
        }
    }
    out.pixels = pixels.data();
    use(out);
    return true;
}

bool DecodePngWhole(const std::string& path, const UsePicture& use) {
    FullPicture out;
    std::vector<uint8_t> pixels;
    FilePtr file(std::fopen(path.c_str(), "rb"));
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (!file || info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    out.width = static_cast<int>(png_get_image_width(png, info));
    out.height = static_cast<int>(png_get_image_height(png, info));
    out.bitCount = 24;
    out.rowBytes = png_get_rowbytes(png, info);
    pixels.resize(out.rowBytes * static_cast<size_t>(out.height));
    std::vector<png_bytep> rows(static_cast<size_t>(out.height));
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = pixels.data() + y * out.rowBytes;
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    out.pixels = pixels.data();
    use(out);
    return true;
}

bool DecodeTiffWhole(const std::string& path, const UsePicture& use) {
    FullPicture out;
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), TIFFClose);
    uint32_t width = 0, height = 0;
    if (!tif || !TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height)) {
        return false;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.bitCount = 24;
    out.redFirst = true;
    out.rowBytes = static_cast<size_t>(TIFFScanlineSize(tif.get()));
    std::vector<uint8_t> pixels(out.rowBytes * height);
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif.get(), pixels.data() + y * out.rowBytes, y, 0) < 0) {
            return false;
        }
    }
    out.pixels = pixels.data();
    use(out);
    return true;
}

bool DecodeGifWhole(const std::string& path, const UsePicture& use) {
    FullPicture out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        return false;
    }
    const bool ok = DGifSlurp(gif) != GIF_ERROR && gif->ImageCount > 0 && gif->SColorMap;
    if (ok) {
        const SavedImage& image = gif->SavedImages[0];
        out.width = image.ImageDesc.Width;
        out.height = image.ImageDesc.Height;
        out.bitCount = 8;
        out.pixels = image.RasterBits;
        out.rowBytes = static_cast<size_t>(out.width);
        for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
            const GifColorType c = gif->SColorMap->Colors[i];
            out.palette.push_back(RgbQuad{c.Blue, c.Green, c.Red, 0});
        }
        use(out);
    }
    DGifCloseFile(gif, &error);
    return ok;
}

}  // namespace benchformats
