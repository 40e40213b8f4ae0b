// The JPEG preview loader and the shared libjpeg error manager. Every fixture is made here
// at run time with the library's compressor, or by cutting and mangling those files.

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <jerror.h>

#include "app/imaging/EAbort.h"
#include "app/imaging/JpegError.h"
#include "app/imaging/JpgImage.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---- fixtures --------------------------------------------------------------------------

// Writes one pixel's samples in the input colour space (1, 3 or 4 bytes).
using PixelFn = std::function<void(int x, int y, uint8_t* samples)>;

struct JpegSpec {
    int width = 64;
    int height = 64;
    J_COLOR_SPACE input = JCS_RGB;       // JCS_RGB, JCS_GRAYSCALE or JCS_CMYK
    J_COLOR_SPACE stored = JCS_UNKNOWN;  // JCS_UNKNOWN: the library's default for input
    bool progressive = false;
    bool fullChroma = true;  // no subsampling, so flat colour bands stay exact
    bool adobeMarker = true;
    int quality = 95;
};

int ComponentsOf(J_COLOR_SPACE space) {
    return space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
}

Bytes EncodeJpeg(const JpegSpec& spec, const PixelFn& pixel) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(spec.width);
    c.image_height = static_cast<JDIMENSION>(spec.height);
    c.input_components = ComponentsOf(spec.input);
    c.in_color_space = spec.input;
    jpeg_set_defaults(&c);
    if (spec.stored != JCS_UNKNOWN) {
        jpeg_set_colorspace(&c, spec.stored);
    }
    jpeg_set_quality(&c, spec.quality, TRUE);
    if (spec.fullChroma) {
        for (int i = 0; i < c.num_components; ++i) {
            c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
        }
    }
    c.write_Adobe_marker = spec.adobeMarker ? c.write_Adobe_marker : FALSE;
    if (spec.progressive) {
        jpeg_simple_progression(&c);
    }
    jpeg_start_compress(&c, TRUE);
    Bytes row(static_cast<size_t>(spec.width) * c.input_components);
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            pixel(x, y, &row[static_cast<size_t>(x) * c.input_components]);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

// A 64 x 64 picture in four bands of 16 rows from the top: red, green, blue, white; the
// right half of every band is black, so both orientations show.
constexpr uint8_t kBandRgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

void ColourBands(int x, int y, uint8_t* rgb) {
    for (int i = 0; i < 3; ++i) {
        rgb[i] = x < 32 ? kBandRgb[(y / 16) % 4][i] : 0;
    }
}

// A photo-like pattern with detail everywhere, for comparisons with a direct decode.
void Texture(int x, int y, uint8_t* rgb) {
    rgb[0] = static_cast<uint8_t>((x * 7 + y * 3) ^ (y >> 2));
    rgb[1] = static_cast<uint8_t>((x * x + y * 5) >> 3);
    rgb[2] = static_cast<uint8_t>(x * y >> 6);
}

constexpr uint8_t kGreyBands[4] = {0, 64, 200, 255};

void GreyBands(int, int y, uint8_t* grey) {
    grey[0] = kGreyBands[(y / 16) % 4];
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

void PutBigEndian(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutPngChunk(Bytes& out, const char* type, const Bytes& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

// A valid 1 x 1 green PNG: its pixels sit in one stored (uncompressed) deflate block.
Bytes TinyPng() {
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PutPngChunk(png, "IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0});
    const Bytes raw = {0, 0, 255, 0};  // filter byte, then red, green, blue
    Bytes zlib = {0x78, 0x01, 0x01, 4, 0, 0xFB, 0xFF};
    zlib.insert(zlib.end(), raw.begin(), raw.end());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(zlib, (b << 16) | a);
    PutPngChunk(png, "IDAT", zlib);
    PutPngChunk(png, "IEND", {});
    return png;
}

// Offset of the first marker FF xx, or npos.
size_t FindMarker(const Bytes& jpeg, uint8_t marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) {
            return i;
        }
    }
    return std::string::npos;
}

// Offset of the first entropy-coded byte of the first scan.
size_t ScanDataStart(const Bytes& jpeg) {
    const size_t sos = FindMarker(jpeg, 0xDA);
    return sos + 2 + (size_t{jpeg[sos + 2]} << 8 | jpeg[sos + 3]);
}

void PutSofSize(Bytes& jpeg, uint8_t sofMarker, uint16_t width, uint16_t height) {
    const size_t sof = FindMarker(jpeg, sofMarker);
    jpeg[sof + 5] = static_cast<uint8_t>(height >> 8);
    jpeg[sof + 6] = static_cast<uint8_t>(height);
    jpeg[sof + 7] = static_cast<uint8_t>(width >> 8);
    jpeg[sof + 8] = static_cast<uint8_t>(width);
}

// A direct decode with the library, top row first and rows packed tightly: the reference
// the loader's picture must equal byte for byte.
Bytes ReferenceDecode(const Bytes& jpeg, int denominator, int* width, int* height) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.scale_num = 1;
    d.scale_denom = static_cast<unsigned>(denominator);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    *width = static_cast<int>(d.output_width);
    *height = static_cast<int>(d.output_height);
    const size_t stride = size_t{d.output_width} * 3;
    Bytes out(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &out[stride * d.output_scanline];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

// ---- reading pictures ----------------------------------------------------------------

// The bytes of pixel (x, y) with y counted from the top, as shown.
const uint8_t* PixelAt(PackedDib dib, int x, int y) {
    const int storedRow = DibHeight(dib) - 1 - y;
    return DibBits(dib) + size_t{DibRowBytes(dib)} * storedRow +
           static_cast<size_t>(x) * dib->biBitCount / 8;
}

void ExpectBgrNear(const uint8_t* bgr, const uint8_t* rgb, int tolerance,
                   const std::string& where) {
    EXPECT_NEAR(bgr[0], rgb[2], tolerance) << "blue at " << where;
    EXPECT_NEAR(bgr[1], rgb[1], tolerance) << "green at " << where;
    EXPECT_NEAR(bgr[2], rgb[0], tolerance) << "red at " << where;
}

size_t OpenDescriptorCount() {
    size_t count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) {
            ++count;
        }
        closedir(dir);
    }
    return count;
}

class JpgImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("orvane-jpg-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const Bytes& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    // Expects the loader to refuse the bytes with EAbort, leaving nothing behind.
    void ExpectRefused(const Bytes& bytes, int denominator = 1) {
        const std::string path = Write("refused.jpg", bytes);
        const size_t descriptors = OpenDescriptorCount();
        TJpgImage image;
        EXPECT_THROW(image.LoadFromFile(path, denominator), EAbort);
        EXPECT_EQ(image.Picture(), nullptr);
        EXPECT_TRUE(image.FileName().empty());
        EXPECT_EQ(OpenDescriptorCount(), descriptors) << "the file was left open";
    }

    fs::path dir_;
};

// ---- sizes and pixels ------------------------------------------------------------------

struct ScaledSize {
    int denominator;
    int width;
    int height;
};

TEST_F(JpgImageTest, OddSizedPicturesScaleByEachDenominatorAndMatchADirectDecode) {
    const ScaledSize cases[] = {{1, 1001, 601}, {2, 501, 301}, {4, 251, 151}, {8, 126, 76}};
    for (bool progressive : {false, true}) {
        JpegSpec spec;
        spec.width = 1001;
        spec.height = 601;
        spec.fullChroma = false;  // the common 2 x 2 subsampling
        spec.progressive = progressive;
        const Bytes jpeg = EncodeJpeg(spec, Texture);
        const std::string path = Write("odd.jpg", jpeg);
        for (const ScaledSize& c : cases) {
            SCOPED_TRACE("denominator " + std::to_string(c.denominator) +
                         (progressive ? " progressive" : " baseline"));
            TJpgImage image;
            image.LoadFromFile(path, c.denominator);
            PackedDib dib = image.Picture();
            ASSERT_NE(dib, nullptr);
            EXPECT_EQ(image.Width(), 1001);
            EXPECT_EQ(image.Height(), 601);
            EXPECT_EQ(image.OutputWidth(), c.width);
            EXPECT_EQ(image.OutputHeight(), c.height);
            EXPECT_EQ(DibWidth(dib), c.width);
            EXPECT_EQ(DibHeight(dib), c.height);
            EXPECT_EQ(image.BitCount(), 24);
            EXPECT_EQ(dib->biBitCount, 24);
            EXPECT_EQ(DibNumColors(dib), 0u) << "a colour picture carries no palette";
            EXPECT_EQ(image.FileName(), path);

            int refWidth = 0, refHeight = 0;
            const Bytes ref = ReferenceDecode(jpeg, c.denominator, &refWidth, &refHeight);
            ASSERT_EQ(refWidth, c.width);
            ASSERT_EQ(refHeight, c.height);
            for (int y = 0; y < c.height; ++y) {
                const uint8_t* expected = &ref[size_t{3} * c.width * y];
                ASSERT_EQ(0, std::memcmp(PixelAt(dib, 0, y), expected, size_t{3} * c.width))
                    << "row " << y << " from the top";
            }
        }
    }
}

TEST_F(JpgImageTest, ColourArrivesBlueGreenRedWithTheTopRowFirst) {
    const std::string path = Write("bands.jpg", EncodeJpeg({}, ColourBands));
    for (int denominator : {1, 2, 4, 8}) {
        SCOPED_TRACE("denominator " + std::to_string(denominator));
        TJpgImage image;
        image.LoadFromFile(path, denominator);
        PackedDib dib = image.Picture();
        ASSERT_NE(dib, nullptr);
        const int band = 16 / denominator;
        const uint8_t black[3] = {0, 0, 0};
        for (int b = 0; b < 4; ++b) {
            const int y = b * band + band / 2;
            ExpectBgrNear(PixelAt(dib, band / 2, y), kBandRgb[b], 12,
                          "left of band " + std::to_string(b));
            ExpectBgrNear(PixelAt(dib, DibWidth(dib) - 1, y), black, 12,
                          "right of band " + std::to_string(b));
        }
    }
}

TEST_F(JpgImageTest, GreyscaleBecomesAnEightBitPictureWith236GreysThenZeroEntries) {
    JpegSpec spec;
    spec.input = JCS_GRAYSCALE;
    const std::string path = Write("grey.jpg", EncodeJpeg(spec, GreyBands));
    for (int denominator : {1, 8}) {
        SCOPED_TRACE("denominator " + std::to_string(denominator));
        TJpgImage image;
        image.LoadFromFile(path, denominator);
        PackedDib dib = image.Picture();
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(image.BitCount(), 8);
        EXPECT_EQ(dib->biBitCount, 8);
        EXPECT_EQ(DibWidth(dib), 64 / denominator);
        const RgbQuad* palette = DibPalette(dib);
        for (int i = 0; i < 256; ++i) {
            const RgbQuad& e = palette[i];
            ASSERT_TRUE(e.rgbBlue == e.rgbGreen && e.rgbGreen == e.rgbRed) << "entry " << i;
            if (i >= 236) {
                ASSERT_EQ(e.rgbBlue, 0) << "entry " << i;
            } else if (i > 0) {
                ASSERT_GT(e.rgbBlue, palette[i - 1].rgbBlue) << "entry " << i;
            }
        }
        EXPECT_EQ(palette[0].rgbBlue, 0);
        EXPECT_EQ(palette[235].rgbBlue, 255);
        const int band = 16 / denominator;
        for (int b = 0; b < 4; ++b) {
            const uint8_t index = *PixelAt(dib, band / 2, b * band + band / 2);
            ASSERT_LT(index, 236);
            EXPECT_NEAR(palette[index].rgbBlue, kGreyBands[b], 4) << "band " << b;
        }
    }
}

struct InkCase {
    const char* name;
    J_COLOR_SPACE stored;
    bool adobeMarker;
    bool invertedInks;  // how the samples are written, as Adobe's applications do
};

// Inks for each band: cyan, magenta, yellow, black plus half-black over magenta; the
// light they leave is the expected colour.
constexpr uint8_t kInks[4][4] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 128}};
constexpr uint8_t kInkRgb[4][3] = {{0, 255, 255}, {255, 0, 255}, {255, 255, 0}, {127, 0, 127}};

TEST_F(JpgImageTest, CmykAndYcckPicturesConvertToTheirColours) {
    const InkCase cases[] = {
        {"Adobe CMYK", JCS_CMYK, true, true},
        {"Adobe YCCK", JCS_YCCK, true, true},
        {"plain CMYK", JCS_CMYK, false, false},
    };
    for (const InkCase& c : cases) {
        JpegSpec spec;
        spec.width = 61;  // odd, so four-byte samples would spill past three-byte rows
        spec.input = JCS_CMYK;
        spec.stored = c.stored;
        spec.adobeMarker = c.adobeMarker;
        const Bytes jpeg = EncodeJpeg(spec, [&](int, int y, uint8_t* cmyk) {
            for (int i = 0; i < 4; ++i) {
                const uint8_t ink = kInks[(y / 16) % 4][i];
                cmyk[i] = c.invertedInks ? static_cast<uint8_t>(255 - ink) : ink;
            }
        });
        const std::string path = Write("inks.jpg", jpeg);
        for (int denominator : {1, 8}) {
            SCOPED_TRACE(std::string(c.name) + " denominator " + std::to_string(denominator));
            TJpgImage image;
            image.LoadFromFile(path, denominator);
            PackedDib dib = image.Picture();
            ASSERT_NE(dib, nullptr);
            EXPECT_EQ(dib->biBitCount, 24);
            EXPECT_EQ(DibWidth(dib), (61 + denominator - 1) / denominator);
            const int band = 16 / denominator;
            for (int b = 0; b < 4; ++b) {
                ExpectBgrNear(PixelAt(dib, DibWidth(dib) / 2, b * band + band / 2), kInkRgb[b], 8,
                              "band " + std::to_string(b));
            }
        }
    }
}

// ---- files that are not (whole) pictures ---------------------------------------------

TEST_F(JpgImageTest, MissingFileLeavesNoPictureAndRaisesNothing) {
    TJpgImage image;
    const std::string good = Write("good.jpg", EncodeJpeg({}, ColourBands));
    image.LoadFromFile(good, 1);
    ASSERT_NE(image.Picture(), nullptr);

    EXPECT_NO_THROW(image.LoadFromFile((dir_ / "no-such.jpg").string(), 1));
    EXPECT_EQ(image.Picture(), nullptr) << "the previous picture must not survive";
    EXPECT_TRUE(image.FileName().empty());
}

TEST_F(JpgImageTest, TruncatedFilesAreRefused) {
    JpegSpec spec;
    spec.width = 200;
    spec.height = 120;
    for (bool progressive : {false, true}) {
        spec.progressive = progressive;
        const Bytes jpeg = EncodeJpeg(spec, Texture);
        const size_t scan = ScanDataStart(jpeg);
        for (size_t keep : {size_t{0}, size_t{2}, size_t{40}, scan, scan + 100, jpeg.size() / 2,
                            jpeg.size() - 300}) {
            SCOPED_TRACE("first " + std::to_string(keep) + " of " + std::to_string(jpeg.size()) +
                         (progressive ? " progressive" : " baseline"));
            ExpectRefused(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(keep)));
        }
    }
}

TEST_F(JpgImageTest, MissingEndMarkerAloneStillGivesTheWholePicture) {
    JpegSpec spec;
    const Bytes jpeg = EncodeJpeg(spec, ColourBands);
    ASSERT_EQ(jpeg[jpeg.size() - 2], 0xFF);
    ASSERT_EQ(jpeg[jpeg.size() - 1], 0xD9);
    const std::string path = Write("noeoi.jpg", Bytes(jpeg.begin(), jpeg.end() - 2));
    TJpgImage image;
    image.LoadFromFile(path, 1);
    ASSERT_NE(image.Picture(), nullptr);
    ExpectBgrNear(PixelAt(image.Picture(), 8, 56), kBandRgb[3], 12, "bottom band");
}

using Mangle = std::function<void(Bytes&)>;

struct CorruptCase {
    const char* name;
    Mangle mangle;
};

TEST_F(JpgImageTest, CorruptFilesAreRefused) {
    const CorruptCase cases[] = {
        {"start marker broken", [](Bytes& j) { j[1] = 0xD7; }},
        {"zero width", [](Bytes& j) { PutSofSize(j, 0xC0, 0, 64); }},
        {"twelve-bit samples", [](Bytes& j) { j[FindMarker(j, 0xC0) + 4] = 12; }},
        {"quantisation table number 7", [](Bytes& j) { j[FindMarker(j, 0xDB) + 4] = 7; }},
        {"scan names an unknown component", [](Bytes& j) { j[FindMarker(j, 0xDA) + 5] = 9; }},
        {"end marker inside the scan data",
         [](Bytes& j) {
             const size_t at = ScanDataStart(j) + 20;
             j[at] = 0xFF;
             j[at + 1] = 0xD9;
         }},
        {"no picture at all, tables only",
         [](Bytes& j) {
             j.resize(FindMarker(j, 0xC0));
             j.push_back(0xFF);
             j.push_back(0xD9);
         }},
    };
    const Bytes jpeg = EncodeJpeg({}, Texture);
    for (const CorruptCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes mangled = jpeg;
        c.mangle(mangled);
        ExpectRefused(mangled);
    }
}

TEST_F(JpgImageTest, PngNamedJpgAndEmptyFilesAreRefused) {
    ExpectRefused(TinyPng());
    ExpectRefused({});
}

TEST_F(JpgImageTest, HugeDeclaredSizesFailWithoutAskingForTheMemory) {
    // A few kilobytes that declare 60000 x 60000 pixels: the picture would need
    // 10 GB, a progressive file's coefficient buffers twice that.
    for (bool progressive : {false, true}) {
        JpegSpec spec;
        spec.progressive = progressive;
        Bytes jpeg = EncodeJpeg(spec, Texture);
        PutSofSize(jpeg, progressive ? 0xC2 : 0xC0, 60000, 60000);
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        ExpectRefused(jpeg, 1);
    }
}

TEST_F(JpgImageTest, OnlyTheFourLibraryDenominatorsAreAccepted) {
    const std::string path = Write("bands.jpg", EncodeJpeg({}, ColourBands));
    for (int denominator : {0, -8, 3, 16}) {
        SCOPED_TRACE(denominator);
        TJpgImage image;
        EXPECT_THROW(image.LoadFromFile(path, denominator), EAbort);
        EXPECT_EQ(image.Picture(), nullptr);
    }
}

TEST_F(JpgImageTest, RandomDamageNeverCrashes) {
    JpegSpec spec;
    spec.width = 48;
    spec.height = 40;
    std::mt19937 random(1234);
    for (bool progressive : {false, true}) {
        spec.progressive = progressive;
        const Bytes jpeg = EncodeJpeg(spec, Texture);
        for (int round = 0; round < 150; ++round) {
            Bytes damaged = jpeg;
            const int hits = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < hits; ++i) {
                damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
            }
            const std::string path = Write("damaged.jpg", damaged);
            TJpgImage image;
            try {
                image.LoadFromFile(path, 1 << (round % 4));
                EXPECT_NE(image.Picture(), nullptr);
            } catch (const EAbort&) {
                EXPECT_EQ(image.Picture(), nullptr);
            }
        }
    }
}

TEST_F(JpgImageTest, HarmlessWarningsPassSilently) {
    Bytes jpeg = EncodeJpeg({}, ColourBands);
    // Stray bytes between two markers: the library warns and carries on.
    const size_t dqt = FindMarker(jpeg, 0xDB);
    jpeg.insert(jpeg.begin() + static_cast<long>(dqt), {0x00, 0x13, 0x37});
    const std::string path = Write("stray.jpg", jpeg);
    TJpgImage image;
    ::testing::internal::CaptureStderr();
    image.LoadFromFile(path, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(image.Picture(), nullptr);
}

// ---- aborting ------------------------------------------------------------------------

TEST_F(JpgImageTest, AnAbortedLoaderRefusesEveryLaterDecode) {
    const std::string path = Write("bands.jpg", EncodeJpeg({}, ColourBands));
    TJpgImage image;
    image.LoadFromFile(path, 1);
    ASSERT_NE(image.Picture(), nullptr);
    image.AbortLoading();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(image.LoadFromFile(path, 1), EAbort);
        EXPECT_EQ(image.Picture(), nullptr);
        EXPECT_TRUE(image.FileName().empty());
    }
}

// Decodes with the shared error manager step by step, as the loaders do.
class JpegStepTest : public JpgImageTest {
  protected:
    // Runs the header step of bytes on decoder; the memory source reads from bytes.
    static int ReadHeader(JpegDecompressor& decoder, const Bytes& bytes) {
        j_decompress_ptr info = decoder.Info();
        return RunJpegStep(decoder, [&] {
            decoder.Create();
            jpeg_mem_src(info, bytes.data(), static_cast<unsigned long>(bytes.size()));
            jpeg_read_header(info, TRUE);
        });
    }
};

TEST_F(JpegStepTest, AbortIsSeenInsideTheProgressivePassOfStartDecompress) {
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        JpegSpec spec;
        spec.progressive = progressive;
        const Bytes jpeg = EncodeJpeg(spec, Texture);
        std::atomic<bool> abort{false};
        JpegDecompressor decoder(&abort);
        ASSERT_EQ(ReadHeader(decoder, jpeg), kJpegDone);
        abort = true;
        j_decompress_ptr info = decoder.Info();
        // A baseline file reads no data before the first row; a progressive one reads
        // all of it, and must stop there.
        EXPECT_EQ(RunJpegStep(decoder, [&] { jpeg_start_decompress(info); }),
                  progressive ? kJpegAborted : kJpegDone);
    }
}

TEST_F(JpegStepTest, AbortBetweenRowsStopsTheNextReadAndCleansUp) {
    const Bytes jpeg = EncodeJpeg({}, Texture);
    std::atomic<bool> abort{false};
    JpegDecompressor decoder(&abort);
    ASSERT_EQ(ReadHeader(decoder, jpeg), kJpegDone);
    j_decompress_ptr info = decoder.Info();
    info->out_color_space = JCS_EXT_BGR;
    ASSERT_EQ(RunJpegStep(decoder, [&] { jpeg_start_decompress(info); }), kJpegDone);
    Bytes row(size_t{info->output_width} * 3);
    auto readRow = [&] {
        JpegCheckAbort(reinterpret_cast<j_common_ptr>(info));
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(info, rows, 1);
    };
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(RunJpegStep(decoder, readRow), kJpegDone);
    }
    abort = true;
    EXPECT_EQ(RunJpegStep(decoder, readRow), kJpegAborted);
    EXPECT_EQ(info->output_scanline, 10u);
    EXPECT_STREQ(decoder.Message(), "");
    // The decompressor is destroyed unfinished; the sanitizer build checks for leaks.
}

TEST_F(JpegStepTest, LibraryErrorsComeBackWithTheirMessage) {
    JpegDecompressor decoder(nullptr);
    EXPECT_EQ(ReadHeader(decoder, TinyPng()), kJpegFailed);
    EXPECT_NE(std::string(decoder.Message()).find("Not a JPEG file"), std::string::npos)
        << decoder.Message();
}

TEST_F(JpegStepTest, ProgressiveBuffersBeyondTheMemoryLimitAreNeverAllocated) {
    JpegSpec spec;
    spec.progressive = true;
    Bytes jpeg = EncodeJpeg(spec, Texture);
    PutSofSize(jpeg, 0xC2, 60000, 60000);  // about 21 GB of coefficients
    JpegDecompressor decoder(nullptr);
    ASSERT_EQ(ReadHeader(decoder, jpeg), kJpegDone);
    j_decompress_ptr info = decoder.Info();
    info->out_color_space = JCS_EXT_BGR;
    EXPECT_EQ(RunJpegStep(decoder, [&] { jpeg_start_decompress(info); }), kJpegFailed);
    // Past the limit the library wants to spill to disk, which it cannot: it refuses.
    EXPECT_EQ(info->err->msg_code, JERR_NO_BACKING_STORE)
        << "failed for another reason, after allocating: " << decoder.Message();
}

}  // namespace
