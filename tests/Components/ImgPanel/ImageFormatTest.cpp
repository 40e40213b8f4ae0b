// Format detection by the first bytes, and the file helpers.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Components/ImgPanel/ImageFormat.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

using testjpeg::ScratchDir;
using testjpeg::WriteBytes;

struct SignatureCase {
    const char* what;
    std::vector<uint8_t> bytes;
    TImgFormat expected;
};

class ImageFormatByBytes : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(ImageFormatByBytes, FileOfTheseBytesGivesItsFormat) {
    ScratchDir dir;
    const std::string file = dir.File("picture");
    WriteBytes(file, GetParam().bytes);
    EXPECT_EQ(GetImageFormat(file), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, ImageFormatByBytes,
    ::testing::Values(SignatureCase{"jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0x00}, ifJpeg},
                      SignatureCase{"jpeg beats every later test", {0xFF, 0xD8, 'N', 'G'}, ifJpeg},
                      SignatureCase{"bmp", {'B', 'M', 0x36, 0x00}, ifBmp},
                      SignatureCase{"gif87a", {'G', 'I', 'F', '8', '7', 'a'}, ifGif},
                      SignatureCase{"gif89a", {'G', 'I', 'F', '8', '9', 'a'}, ifGif},
                      SignatureCase{"png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A}, ifPng},
                      SignatureCase{"any first byte then PNG", {'x', 'P', 'N', 'G'}, ifPng},
                      SignatureCase{"icon", {0x00, 0x00, 0x01, 0x00}, ifIco},
                      SignatureCase{"empty file reads as zeros", {}, ifIco},
                      SignatureCase{"one zero byte", {0x00}, ifIco},
                      SignatureCase{
                          "jpeg 2000 codestream", {0xFF, 0x4F, 0xFF, 0x51, 0x00}, ifJpeg2000},
                      SignatureCase{"wic", {0xCE, 0x02, 0x00, 0x00, 0x10}, ifWic},
                      SignatureCase{"tiff motorola", {'M', 'M', 0x00, 0x2A}, ifTiff},
                      SignatureCase{"tiff intel", {'I', 'I', '*', 0x00}, ifTiff},
                      SignatureCase{"text", {'h', 'e', 'l', 'l', 'o'}, ifUnsupported},
                      SignatureCase{"jpeg 2000 prefix only", {0xFF, 0x4F, 0xFF}, ifUnsupported},
                      SignatureCase{"lone FF", {0xFF}, ifUnsupported}));

TEST(ImageFormat, MissingFileDirectoryAndPipeAreUnsupported) {
    ScratchDir dir;
    EXPECT_EQ(GetImageFormat(dir.File("absent.jpg")), ifUnsupported);
    EXPECT_EQ(GetImageFormat(dir.Path()), ifUnsupported);
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(GetImageFormat(pipe), ifUnsupported);  // and it does not hang
}

TEST(ImageFormat, BytesTestPadsShortInputWithZeros) {
    const uint8_t twoZeros[] = {0, 0};
    EXPECT_EQ(ImageFormatOfBytes(twoZeros, 2), ifIco);
    EXPECT_EQ(ImageFormatOfBytes(nullptr, 0), ifIco);
}

TEST(ImageFormat, ReadFileExactFailsOnShortReadAndSeekMoves) {
    ScratchDir dir;
    const std::string file = dir.File("data");
    WriteBytes(file, {1, 2, 3, 4, 5});
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    uint8_t buffer[8] = {};
    EXPECT_TRUE(ReadFileExact(fd, buffer, 2));
    EXPECT_EQ(buffer[1], 2);
    EXPECT_TRUE(SeekFile(fd, 4, SEEK_SET));
    EXPECT_TRUE(ReadFileExact(fd, buffer, 1));
    EXPECT_EQ(buffer[0], 5);
    EXPECT_TRUE(SeekFile(fd, 0, SEEK_SET));
    EXPECT_FALSE(ReadFileExact(fd, buffer, 6));
    EXPECT_FALSE(SeekFile(fd, -10, SEEK_SET));
    ::close(fd);
    EXPECT_FALSE(ReadFileExact(-1, buffer, 1));
}

}  // namespace
