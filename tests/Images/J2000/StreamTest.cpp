// Byte streams, the bit reader's stuffing rule and the image record's sample stores.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Images/J2000/BitStream.h"
#include "Images/J2000/Image.h"
#include "Images/J2000/Stream.h"

namespace j2000 {
namespace {

std::string temp_file(const std::vector<std::uint8_t>& bytes) {
    char name[] = "/tmp/j2k-stream-XXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    return name;
}

TEST(Stream, FileReadsAreBufferedAndEndsAreSticky) {
    std::vector<std::uint8_t> bytes(20000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7);
    const std::string path = temp_file(bytes);
    StreamPtr s = stream_fopen(path.c_str(), "rb");
    ASSERT_TRUE(s);
    std::uint8_t buf[10];
    EXPECT_EQ(s->read(buf, 10), 10);
    EXPECT_EQ(s->tell(), 10);  // though a whole buffer was read from the file
    EXPECT_EQ(s->seek(19998, SeekOrigin::Set), 19998);
    EXPECT_EQ(s->getc(), bytes[19998]);
    EXPECT_EQ(s->getc(), bytes[19999]);
    EXPECT_EQ(s->getc(), EOF_);
    EXPECT_TRUE(s->eof());
    EXPECT_EQ(s->getc(), EOF_);
    unlink(path.c_str());

    const std::string empty = temp_file({});
    StreamPtr e = stream_fopen(empty.c_str(), "r");
    EXPECT_EQ(e->getc(), EOF_);
    EXPECT_EQ(e->flags(), kStreamEnd);
    unlink(empty.c_str());
    EXPECT_FALSE(stream_fopen("/nonexistent/dir/file", "rb"));
}

TEST(Stream, PutBackHoldsSixteenBytesBeforeTheBuffer) {
    std::vector<std::uint8_t> bytes(40, 0x5A);
    StreamPtr s = stream_memopen(bytes.data(), bytes.size());
    EXPECT_EQ(s->ungetc(1), -1);  // nothing read yet
    ASSERT_EQ(s->getc(), 0x5A);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(s->ungetc(i), i);
    EXPECT_EQ(s->ungetc(0x5A), -1);
    for (int i = 16; i >= 0; --i)
        EXPECT_EQ(s->getc(), i);
    EXPECT_EQ(s->tell(), 1);
    // A look-ahead that met the end puts its byte back for reading.
    std::vector<std::uint8_t> last{0xFF};
    StreamPtr t = stream_memopen(last.data(), last.size());
    EXPECT_EQ(t->getc(), 0xFF);
    EXPECT_EQ(t->getc(), EOF_);
    EXPECT_EQ(t->ungetc(0xFF), 0xFF);
    EXPECT_EQ(t->getc(), 0xFF);
}

TEST(Stream, MemoryStreamsGrowOrStayFixed) {
    StreamPtr grow = stream_memopen();
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(grow->putc(i & 0xFF), i & 0xFF);
    ASSERT_EQ(grow->rewind(), 0);
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(grow->getc(), i & 0xFF);
    EXPECT_EQ(grow->getc(), EOF_);

    StreamPtr fixed = stream_memopen(nullptr, 4);
    EXPECT_EQ(fixed->write("abcdef", 6), 6);  // buffered; the store refuses on flush
    EXPECT_NE(fixed->flush(), 0);
    EXPECT_TRUE(fixed->error());
}

TEST(Stream, TemporaryStoresKeepTheirOwnBytesAndEnds) {
    std::vector<StreamPtr> t = stream_tmpstores({5, 20000});
    ASSERT_EQ(t.size(), 2u);
    const std::string text = "temporary\xff\x00 bytes";
    // The first store ends after 5 bytes, however much is written to it.
    EXPECT_EQ(t[1]->write(text.data(), static_cast<long>(text.size())),
              static_cast<long>(text.size()));
    EXPECT_EQ(t[0]->write(text.data(), 9), 9);
    EXPECT_NE(t[0]->flush(), 0);
    ASSERT_EQ(t[1]->seek(19999, SeekOrigin::Set), 19999);
    EXPECT_EQ(t[1]->getc(), 0);  // a store reads as zeros before it is written
    EXPECT_EQ(t[1]->getc(), EOF_);
    ASSERT_EQ(t[1]->rewind(), 0);
    std::string back(text.size(), '\0');
    EXPECT_EQ(t[1]->read(back.data(), static_cast<long>(back.size())),
              static_cast<long>(back.size()));
    EXPECT_EQ(back, text);
}

TEST(Stream, CopyStopsAtTheEndOfItsInput) {
    std::vector<std::uint8_t> bytes{1, 2, 3};
    StreamPtr in = stream_memopen(bytes.data(), bytes.size());
    StreamPtr out = stream_memopen();
    EXPECT_EQ(stream_copy(*out, *in, 10), 0);
    EXPECT_EQ(out->tell(), 3);
}

TEST(BitStream, ByteAfterFFCarriesSevenBits) {
    std::vector<std::uint8_t> bytes{0xFF, 0x7F, 0x80, 0x00};
    StreamPtr s = stream_memopen(bytes.data(), bytes.size());
    bitstream_t bits(*s);
    EXPECT_EQ(bits.getbits(8), 0xFF);
    EXPECT_EQ(bits.getbits(8), 0xFF);  // the 7 bits of 0x7F, then the top bit of 0x80
    EXPECT_TRUE(bits.needalign());
    EXPECT_EQ(bits.inalign(0x7F, 0), 0);  // the 7 zero bits left of 0x80
    EXPECT_EQ(bits.getbits(8), 0x00);
    EXPECT_EQ(bits.getbit(), -1);
}

TEST(BitStream, AlignmentChecksTheFillBitsAndSkipsTheByteAfterFF) {
    std::vector<std::uint8_t> fill{0xD5};  // 1, then 1010101
    StreamPtr s = stream_memopen(fill.data(), fill.size());
    bitstream_t bits(*s);
    EXPECT_EQ(bits.getbit(), 1);
    EXPECT_EQ(bits.inalign(0x7F, 0x2A), 1);  // 1010101 is not 0101010

    std::vector<std::uint8_t> ff{0xFF, 0x2A, 0x11};
    StreamPtr t = stream_memopen(ff.data(), ff.size());
    bitstream_t fb(*t);
    EXPECT_EQ(fb.getbits(8), 0xFF);
    EXPECT_EQ(fb.inalign(0x7F, 0x2A), 0);  // the stuffed byte is consumed by the alignment
    EXPECT_EQ(fb.getbits(8), 0x11);
}

TEST(Image, SamplesAreStoredMostSignificantByteFirst) {
    ImagePtr image =
        image_create(100, 80, {{100, 80, 12, false, 1, 1}, {50, 40, 8, true, 2, 2}}, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->cmpts[0]->cps, 2);
    EXPECT_EQ(image->cmpts[1]->hsubsamp_, 2);
    const std::int32_t twelve[2] = {0xABC, 0x123};
    ASSERT_EQ(image_writecmpt(*image, 0, 98, 79, 2, 1, twelve, 2), 0);
    const std::int32_t negative[1] = {-2};
    ASSERT_EQ(image_writecmpt(*image, 1, 0, 0, 1, 1, negative, 1), 0);
    std::vector<std::int32_t> back;
    ASSERT_EQ(image_readcmpt(*image, 0, 97, 79, 3, 1, back), 0);
    EXPECT_EQ(back, (std::vector<std::int32_t>{0, 0xABC, 0x123}));
    ASSERT_EQ(image->cmpts[0]->stream->seek((79 * 100 + 98) * 2, SeekOrigin::Set),
              (79 * 100 + 98) * 2);
    EXPECT_EQ(image->cmpts[0]->stream->getc(), 0x0A);
    EXPECT_EQ(image->cmpts[0]->stream->getc(), 0xBC);
    ASSERT_EQ(image_readcmpt(*image, 1, 0, 0, 1, 1, back), 0);
    EXPECT_EQ(back[0], 0xFE);  // the low byte of -2, no sign extension
    // Rectangles reaching out of the component are refused.
    EXPECT_EQ(image_writecmpt(*image, 0, 99, 0, 2, 1, twelve, 2), -1);
    EXPECT_EQ(image_writecmpt(*image, 2, 0, 0, 1, 1, twelve, 1), -1);
    EXPECT_FALSE(image_create(1, 1, {{0, 1, 8, false, 1, 1}}, 0));
}

// Bytes the process has taken from the heap and not given back (glibc's count; the
// sanitizers' allocators keep their own, and the check below is not made under them).
size_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Pages of memory the process has touched.
size_t resident_pages() {
    std::ifstream statm("/proc/self/statm");
    size_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident;
}

// Stores in memory cost nothing before they are written: an image of thousands of small
// components holds no stream buffer (8 KB) per component (16384 of them would take 134 MB), and
// a store of 60 MB is not touched (zeroing it kept a stop waiting at the main header).
TEST(Image, MemoryStoresCostNothingBeforeTheyAreWritten) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "heap counts and untouched pages are glibc's";
#endif
    const size_t heap = heap_in_use();
    ImagePtr many = image_create(16, 16, std::vector<image_cmptparm_t>(16384, {16, 16, 8}), 0);
    ASSERT_TRUE(many);
    EXPECT_LT(heap_in_use() - heap, size_t{16384} * 2048);
    const size_t pages = resident_pages();
    ImagePtr large = image_create(7500, 8000, {{7500, 8000, 8}}, 0);
    ASSERT_TRUE(large);
    EXPECT_LT((resident_pages() - pages) * 4096, size_t{8} << 20);
}

// Descriptors the process holds open.
size_t open_descriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

TEST(Image, LargeImagesGoToOneTemporaryFile) {
    // 3 x 4096 x 2048 x 2 bytes = 48 MiB stays in memory; one more component does not, and the
    // five components' stores share one file.
    const image_cmptparm_t big{4096, 2048, 16, false, 1, 1};
    const size_t before = open_descriptors();
    ImagePtr image = image_create(4096, 2048, {big, big, big, big, big}, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(open_descriptors(), before + 1);
    const std::int32_t v[1] = {0xBEEF};
    ASSERT_EQ(image_writecmpt(*image, 4, 4095, 2047, 1, 1, v, 1), 0);
    std::vector<std::int32_t> back;
    ASSERT_EQ(image_readcmpt(*image, 4, 4094, 2047, 2, 1, back), 0);
    EXPECT_EQ(back, (std::vector<std::int32_t>{0, 0xBEEF}));
}

}  // namespace
}  // namespace j2000
