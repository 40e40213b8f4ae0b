// The JPEG preview loader. Every fixture is made here at run time with the library's
// compressor (or Qt, for the PNG), or by cutting and mangling those files.

#include "imaging/JpgImage.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "imaging/EAbort.h"
#include "imaging/JpegFileSource.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct JpegLayout {
    int width = 64, height = 64;
    bool grey = false, progressive = false;
    bool subsampled = false;        // else every component at full size, so flat bands stay exact
    bool scanPerComponent = false;  // sequential, but one scan for each colour component
    bool arithmetic = false;        // arithmetic entropy coding instead of Huffman codes
    // Ink pictures: one colour of cyan, magenta, yellow and black stored as `inks`, with
    // Adobe's marker (and its 255 - ink) or without.
    J_COLOR_SPACE inks = JCS_UNKNOWN;
    bool adobe = false;
    std::array<uint8_t, 4> ink{};
};

// Bands of a quarter of the height each from the top: red, green, blue and white (grey
// pictures four levels instead) with their right half black, so that both orientations show.
constexpr uint8_t kBandRgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
constexpr uint8_t kGreyBands[4] = {0, 64, 200, 255};

// libjpeg's compressor writing into memory; its default error handling (which ends the
// process) never fires on these valid settings.
Bytes EncodeJpeg(const JpegLayout& layout) {
    jpeg_compress_struct c{};
    jpeg_error_mgr errors{};
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    const bool inks = layout.inks != JCS_UNKNOWN;
    c.image_width = JDIMENSION(layout.width);
    c.image_height = JDIMENSION(layout.height);
    c.input_components = layout.grey ? 1 : inks ? 4 : 3;
    c.in_color_space = layout.grey ? JCS_GRAYSCALE : inks ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (inks) {
        jpeg_set_colorspace(&c, layout.inks);
        c.write_Adobe_marker = layout.adobe ? TRUE : FALSE;
    }
    jpeg_set_quality(&c, 95, TRUE);
    for (int i = 0; !layout.subsampled && i < c.num_components; ++i) {
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    }
    if (layout.progressive) {
        jpeg_simple_progression(&c);
    }
    c.arith_code = layout.arithmetic ? TRUE : FALSE;
    jpeg_scan_info scans[3] = {};
    if (layout.scanPerComponent) {
        for (int i = 0; i < c.num_components; ++i) {
            scans[i].comps_in_scan = 1;
            scans[i].component_index[0] = i;
            scans[i].Se = DCTSIZE2 - 1;
        }
        c.scan_info = scans;
        c.num_scans = c.num_components;
    }
    jpeg_start_compress(&c, TRUE);
    Bytes row(size_t(layout.width) * c.input_components);
    for (int y = 0; y < layout.height; ++y) {
        const int band = y * 4 / layout.height;
        for (int x = 0; x < layout.width; ++x) {
            // A little noise keeps the entropy-coded data long enough to cut.
            const int noise = ((x * 7 + y * 3) ^ (y >> 2)) & 3;
            for (int i = 0; i < c.input_components; ++i) {
                const int value = inks ? (layout.adobe ? 255 - layout.ink[i] : layout.ink[i])
                                  : x >= layout.width / 2 ? noise
                                  : layout.grey           ? kGreyBands[band] ^ noise
                                                          : kBandRgb[band][i] ^ noise;
                row[size_t(x) * c.input_components + i] = uint8_t(value);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    const Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Offset of the first marker FF xx; the size when there is none.
size_t FindMarker(const Bytes& jpeg, uint8_t marker) {
    const uint8_t pattern[2] = {0xFF, marker};
    return size_t(std::search(jpeg.begin(), jpeg.end(), pattern, pattern + 2) - jpeg.begin());
}

size_t ScanDataStart(const Bytes& jpeg) {
    const size_t sos = FindMarker(jpeg, 0xDA);
    return sos + 2 + (size_t{jpeg[sos + 2]} << 8 | jpeg[sos + 3]);
}

void PutSofSize(Bytes& jpeg, int width, int height) {
    // Baseline, progressive, and both with arithmetic coding.
    const size_t sof = std::min({FindMarker(jpeg, 0xC0), FindMarker(jpeg, 0xC2),
                                 FindMarker(jpeg, 0xC9), FindMarker(jpeg, 0xCA)});
    const uint8_t size[4] = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                             uint8_t(width)};
    std::copy(size, size + 4, jpeg.begin() + long(sof) + 5);
}

// Pixel (x, y), y counted from the top as shown.
const uint8_t* PixelAt(PackedDib dib, int x, int y) {
    return DibBits(dib) + size_t{DibRowBytes(dib)} * (DibHeight(dib) - 1 - y) +
           size_t(x) * dib->biBitCount / 8;
}

long OpenDescriptorCount() {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
}

class JpgImageTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(dir_); }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const Bytes& bytes) {
        const std::string path = (dir_ / ("picture" + std::to_string(files_++) + ".jpg")).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

    // The loader must refuse the file with EAbort, leaving no picture and no open file.
    void ExpectRefused(const std::string& path, int denominator = 1) {
        const long descriptors = OpenDescriptorCount();
        TJpgImage image;
        EXPECT_THROW(image.LoadFromFile(path, denominator), EAbort);
        EXPECT_EQ(nullptr, image.Picture());
        EXPECT_TRUE(image.FileName().empty());
        EXPECT_EQ(descriptors, OpenDescriptorCount()) << "the file was left open";
    }

    const fs::path dir_ = fs::temp_directory_path() / ("orvane-jpg-" + std::to_string(getpid()));
    int files_ = 0;
};

// Each denominator on odd sizes, baseline and progressive: blue, green, red top row first,
// or grey as 8 bits with 236 greys then zero entries. Both sides of the edge between colour
// and black are looked at: rows written at a wrong place would shift it.
TEST_F(JpgImageTest, OddSizesScaleByEachDenominatorInBlueGreenRedOrGreysTopRowFirst) {
    const int sizes[][3] = {{1, 1001, 601}, {2, 501, 301}, {4, 251, 151}, {8, 126, 76}};
    for (const auto& [grey, progressive] :
         {std::pair{false, false}, {false, true}, {true, false}}) {
        const std::string path = Write(EncodeJpeg({.width = 1001,
                                                   .height = 601,
                                                   .grey = grey,
                                                   .progressive = progressive,
                                                   .subsampled = true}));
        for (const auto& [denominator, width, height] : sizes) {
            SCOPED_TRACE(::testing::Message() << "1/" << denominator << (grey ? " grey" : "")
                                              << (progressive ? " progressive" : ""));
            TJpgImage image;
            image.LoadFromFile(path, denominator);
            PackedDib dib = image.Picture();
            ASSERT_NE(nullptr, dib);
            EXPECT_EQ(1001, image.Width());
            EXPECT_EQ(601, image.Height());
            EXPECT_EQ(width, DibWidth(dib));
            EXPECT_EQ(height, DibHeight(dib));
            EXPECT_EQ(grey ? 8 : 24, dib->biBitCount);
            EXPECT_EQ(path, image.FileName());
            const RgbQuad* palette = DibPalette(dib);
            for (int i = 1; grey && i < 256; ++i) {
                const RgbQuad& e = palette[i];
                ASSERT_TRUE(e.rgbBlue == e.rgbGreen && e.rgbGreen == e.rgbRed &&
                            (i < 236 ? e.rgbBlue > palette[i - 1].rgbBlue : e.rgbBlue == 0))
                    << "entry " << i;
            }
            // Blue, green, red of a pixel, through the palette for grey pictures.
            const auto shown = [&](int x, int y) {
                const uint8_t* p = PixelAt(dib, x, y);
                return grey ? std::array{palette[*p].rgbBlue, palette[*p].rgbGreen,
                                         palette[*p].rgbRed}
                            : std::array{p[0], p[1], p[2]};
            };
            for (int band = 0; band < 4; ++band) {
                const int y = (2 * band + 1) * height / 8;
                const auto colour = shown(width / 2 - 4, y), black = shown(width / 2 + 4, y);
                for (int i = 0; i < 3; ++i) {
                    EXPECT_NEAR(grey ? kGreyBands[band] : kBandRgb[band][2 - i], colour[i], 12)
                        << "band " << band << " byte " << i;
                    EXPECT_NEAR(0, black[i], 12) << "band " << band << " byte " << i;
                }
            }
        }
    }
}

TEST_F(JpgImageTest, AMissingFileLeavesNoPictureAndRaisesNothing) {
    TJpgImage image;
    image.LoadFromFile(Write(EncodeJpeg({})), 1);
    ASSERT_NE(nullptr, image.Picture());
    EXPECT_NO_THROW(image.LoadFromFile((dir_ / "no-such.jpg").string(), 1));
    EXPECT_EQ(nullptr, image.Picture()) << "the previous picture must not survive";
    EXPECT_TRUE(image.FileName().empty());
}

// Where a file is cut: anywhere in its headers and scans, halfway, or between the scans of a
// file with a scan for each component.
enum class Cuts { Everywhere, Halfway, BetweenScans };

std::vector<size_t> CutsOf(const Bytes& jpeg, Cuts cuts) {
    if (cuts == Cuts::Halfway) {
        return {jpeg.size() / 2};
    }
    if (cuts == Cuts::Everywhere) {
        const size_t scan = ScanDataStart(jpeg);
        return {2, scan, scan + 100, jpeg.size() / 2, jpeg.size() - 300};
    }
    const size_t first = FindMarker(jpeg, 0xDA);
    return {first + 2 + FindMarker(Bytes(jpeg.begin() + long(first) + 2, jpeg.end()), 0xDA)};
}

// A file with a scan for each component is read whole before its first row, like a
// progressive one, so a cut between two scans loses components without damaging any scan;
// the arithmetic decoder fills a scan cut short with zeros and says nothing about it. The
// library only warns about a missing end marker: that loses nothing, and nothing may be
// printed.
TEST_F(JpgImageTest, TruncatedFilesAreRefusedButAMissingEndMarkerAloneIsNot) {
    const std::tuple<const char*, JpegLayout, Cuts> cases[] = {
        {"sequential", {.width = 200, .height = 120}, Cuts::Everywhere},
        {"progressive", {.width = 200, .height = 120, .progressive = true}, Cuts::Everywhere},
        {"scan per component", {.scanPerComponent = true}, Cuts::BetweenScans},
        {"arithmetic", {.width = 200, .height = 120, .arithmetic = true}, Cuts::Halfway},
        {"arithmetic progressive",
         {.width = 200, .height = 120, .progressive = true, .arithmetic = true},
         Cuts::Halfway},
    };
    for (const auto& [name, layout, cuts] : cases) {
        const Bytes jpeg = EncodeJpeg(layout);
        for (size_t keep : CutsOf(jpeg, cuts)) {
            SCOPED_TRACE(::testing::Message() << name << ": " << keep << " of " << jpeg.size());
            ExpectRefused(Write(Bytes(jpeg.begin(), jpeg.begin() + long(keep))));
        }
        TJpgImage image;
        ::testing::internal::CaptureStderr();
        image.LoadFromFile(Write(Bytes(jpeg.begin(), jpeg.end() - 2)), 1);
        EXPECT_EQ("", ::testing::internal::GetCapturedStderr()) << name;
        EXPECT_NE(nullptr, image.Picture()) << name;
    }
}

TEST_F(JpgImageTest, CorruptFilesAndOtherFormatsAreRefused) {
    const Bytes jpeg = EncodeJpeg({});
    const std::function<void(Bytes&)> mangles[] = {
        [](Bytes& j) { j[1] = 0xD7; },                      // no start marker
        [](Bytes& j) { PutSofSize(j, 0, 64); },             // zero width
        [](Bytes& j) { j[FindMarker(j, 0xC0) + 4] = 12; },  // twelve-bit samples
        [](Bytes& j) { j[FindMarker(j, 0xDA) + 5] = 9; },   // the scan names an unknown component
        [](Bytes& j) {                                      // an end marker inside the scan data
            j[ScanDataStart(j) + 20] = 0xFF;
            j[ScanDataStart(j) + 21] = 0xD9;
        },
        [](Bytes& j) { j.resize(FindMarker(j, 0xC0)); },  // tables only, no picture
        [](Bytes& j) { PutSofSize(j, 60000, 60000); },    // 10 GB declared in a few kilobytes
    };
    for (size_t i = 0; i < std::size(mangles); ++i) {
        Bytes mangled = jpeg;
        mangles[i](mangled);
        SCOPED_TRACE(i);
        ExpectRefused(Write(mangled));
    }
    Bytes progressive = EncodeJpeg({64, 64, false, true});
    PutSofSize(progressive, 60000, 60000);  // coefficient buffers of 21 GB
    ExpectRefused(Write(progressive));
    // Arithmetic coding spends next to nothing on flat blocks: 65500 x 65500 declared in a
    // few hundred bytes is seconds of decoding even at 1/8.
    Bytes arithmetic = EncodeJpeg({.grey = true, .arithmetic = true});
    PutSofSize(arithmetic, 65500, 65500);
    ExpectRefused(Write(arithmetic), 8);
    ExpectRefused(Write({}));
    const std::string png = (dir_ / "png.jpg").string();
    ASSERT_TRUE(QImage(1, 1, QImage::Format_RGB32).save(QString::fromStdString(png), "PNG"));
    ExpectRefused(png);
    for (int denominator : {0, 3, 16}) {
        ExpectRefused(Write(jpeg), denominator);
    }
}

// The file is read in blocks of JpegFileSource::kBlockBytes: application markers in front of
// the picture put one block end inside a skipped marker and the next inside the scan data.
// The markers hold end markers, so a skip that lands wrong ends the picture.
Bytes WithMarkersBefore(const Bytes& jpeg, size_t scanStartWanted) {
    Bytes padded(jpeg.begin(), jpeg.begin() + 2);  // the start marker
    const size_t headers = ScanDataStart(jpeg) - 2;
    while (padded.size() + headers < scanStartWanted) {
        const size_t length =
            std::min<size_t>(65535, scanStartWanted - headers - padded.size() - 2);
        const uint8_t marker[4] = {0xFF, 0xE5, uint8_t(length >> 8), uint8_t(length)};
        padded.insert(padded.end(), marker, marker + 4);
        for (size_t i = 2; i < length; ++i) {
            padded.push_back(i % 2 == 0 ? 0xFF : JPEG_EOI);
        }
    }
    padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
    return padded;
}

TEST_F(JpgImageTest, FilesLongerThanAReadBlockDecodeAsFromMemory) {
    const size_t block = JpegFileSource::kBlockBytes;
    const Bytes jpeg =
        WithMarkersBefore(EncodeJpeg({400, 240, false, false, true}), 2 * block - 900);
    ASSERT_EQ(2 * block - 900, ScanDataStart(jpeg));
    ASSERT_GT(jpeg.size(), 2 * block + 900) << "the scan data must cross the block end";
    TJpgImage image;
    image.LoadFromFile(Write(jpeg), 1);
    ASSERT_NE(nullptr, image.Picture());
    const QImage reference =
        QImage::fromData(jpeg.data(), int(jpeg.size())).convertToFormat(QImage::Format_BGR888);
    ASSERT_EQ(reference.size(), QSize(400, 240));
    for (int y = 0; y < 240; ++y) {
        ASSERT_EQ(0,
                  std::memcmp(reference.constScanLine(y), PixelAt(image.Picture(), 0, y), 400 * 3))
            << y;
    }
    // Cut inside a marker that spans a block end: the skip meets the file's end.
    ExpectRefused(Write(Bytes(jpeg.begin(), jpeg.begin() + long(block + 100))));
}

// Plain CMYK stores ink amounts, Adobe's files (with its marker, and every YCCK file)
// store 255 - ink. Each must come out in the colour the inks make.
TEST_F(JpgImageTest, InkPicturesBecomeTheColoursTheirInksMake) {
    const struct {
        J_COLOR_SPACE stored;
        bool adobe;
        std::array<uint8_t, 4> ink;  // cyan, magenta, yellow, black
        uint8_t bgr[3];
    } cases[] = {
        {JCS_CMYK, false, {0, 255, 255, 0}, {0, 0, 255}},  // red
        {JCS_CMYK, true, {0, 255, 255, 0}, {0, 0, 255}},
        {JCS_YCCK, true, {255, 0, 255, 0}, {0, 255, 0}},  // green
        {JCS_CMYK, true, {0, 0, 0, 255}, {0, 0, 0}},      // black ink alone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "stored " << c.stored << " adobe " << c.adobe);
        TJpgImage image;
        image.LoadFromFile(
            Write(EncodeJpeg(
                {.width = 32, .height = 32, .inks = c.stored, .adobe = c.adobe, .ink = c.ink})),
            2);
        PackedDib dib = image.Picture();
        ASSERT_NE(nullptr, dib);
        EXPECT_EQ(24, dib->biBitCount);
        EXPECT_EQ(16, DibWidth(dib));
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(c.bgr[i], PixelAt(dib, 15, 15)[i], 8) << "byte " << i;
        }
    }
}

TEST_F(JpgImageTest, AnAbortedLoaderRefusesEveryLaterDecode) {
    const std::string path = Write(EncodeJpeg({}));
    TJpgImage image;
    image.LoadFromFile(path, 1);
    ASSERT_NE(nullptr, image.Picture());
    image.AbortLoading();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_THROW(image.LoadFromFile(path, 1), EAbort);
        EXPECT_EQ(nullptr, image.Picture());
    }
}

// Writes all of bytes to fd; stops early when the reader has gone.
void WriteToPipe(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n <= 0) {
            return;
        }
        bytes += n;
        size -= size_t(n);
    }
}

// A stop asked while the rows are decoded ends the decode at the next row. The file comes
// through a pipe, as slowly as from a busy share: the stop is asked only once the loader
// has taken its first block, and the rest (which holds most rows) follows. A loader that
// looked at the flag only as it began would decode the whole picture.
TEST_F(JpgImageTest, AStopAskedBetweenRowsEndsTheDecode) {
    const Bytes jpeg = EncodeJpeg({3072, 3072});
    const std::string path = (dir_ / "pipe.jpg").string();
    ASSERT_EQ(0, ::mkfifo(path.c_str(), 0600));
    const sighandler_t previous = ::signal(SIGPIPE, SIG_IGN);
    TJpgImage image;
    size_t started = 0;
    std::thread writer([&] {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        // Once the pipe holds no more than its capacity, the loader has read the rest.
        ::fcntl(fd, F_SETPIPE_SZ, 4096);
        started = std::min(jpeg.size(), JpegFileSource::kBlockBytes +
                                            size_t(std::max(0, ::fcntl(fd, F_GETPIPE_SZ))));
        WriteToPipe(fd, jpeg.data(), started);
        image.AbortLoading();
        WriteToPipe(fd, jpeg.data() + started, jpeg.size() - started);
        ::close(fd);
    });
    EXPECT_THROW(image.LoadFromFile(path, 1), EAbort);
    writer.join();
    ::signal(SIGPIPE, previous);
    EXPECT_EQ(nullptr, image.Picture());
    EXPECT_LT(started, jpeg.size() / 2) << "most rows must come after the stop";
}

// A progressive file is read whole inside the library before its first row: the abort
// flag must be seen there too.
TEST(JpegDecompressor, SeesTheAbortFlagWhileTheLibraryReadsAProgressiveFile) {
    for (bool progressive : {false, true}) {
        const Bytes jpeg = EncodeJpeg({64, 64, false, progressive});
        std::atomic<bool> abort{false};
        JpegDecompressor decoder(&abort);
        j_decompress_ptr info = decoder.Info();
        ASSERT_EQ(kJpegDone, RunJpegStep(decoder, [&] {
                      decoder.Create();
                      jpeg_mem_src(info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
                      jpeg_read_header(info, TRUE);
                  }));
        abort = true;
        EXPECT_EQ(progressive ? kJpegAborted : kJpegDone,
                  RunJpegStep(decoder, [&] { jpeg_start_decompress(info); }));
    }
}

}  // namespace
