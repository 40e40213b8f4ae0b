// Format detection by the first bytes.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "Components/ImgPanel/ImageFormat.h"
#include "tests/Components/ImgPanel/TestJpeg.h"

namespace {

TEST(ImageFormat, FirstBytesGiveTheFormat) {
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        TImgFormat expected;
    } cases[] = {
        {"jpeg", {0xFF, 0xD8, 0xFF, 0xE0, 0x00}, ifJpeg},
        {"jpeg beats every later test", {0xFF, 0xD8, 'N', 'G'}, ifJpeg},
        {"bmp", {'B', 'M', 0x36, 0x00}, ifBmp},
        {"gif87a", {'G', 'I', 'F', '8', '7', 'a'}, ifGif},
        {"gif89a", {'G', 'I', 'F', '8', '9', 'a'}, ifGif},
        {"png", {0x89, 'P', 'N', 'G', 0x0D, 0x0A}, ifPng},
        {"any first byte then PNG", {'x', 'P', 'N', 'G'}, ifPng},
        {"icon", {0x00, 0x00, 0x01, 0x00}, ifIco},
        {"cursor", {0x00, 0x00, 0x02, 0x00}, ifIco},
        {"jpeg 2000 box is no icon", {0x00, 0x00, 0x00, 0x0C, 'j', 'P'}, ifUnsupported},
        {"empty file is no icon", {}, ifUnsupported},
        {"jpeg 2000 codestream", {0xFF, 0x4F, 0xFF, 0x51, 0x00}, ifJpeg2000},
        {"wic", {0xCE, 0x02, 0x00, 0x00, 0x10}, ifWic},
        {"tiff motorola", {'M', 'M', 0x00, 0x2A}, ifTiff},
        {"tiff intel", {'I', 'I', '*', 0x00}, ifTiff},
        {"text", {'h', 'e', 'l', 'l', 'o'}, ifUnsupported},
        {"jpeg 2000 prefix only", {0xFF, 0x4F, 0xFF}, ifUnsupported},
        {"lone FF", {0xFF}, ifUnsupported},
    };
    testjpeg::ScratchDir dir;
    for (const auto& c : cases) {
        const std::string file = dir.File(c.what);
        testjpeg::WriteBytes(file, c.bytes);
        EXPECT_EQ(GetImageFormat(file), c.expected) << c.what;
        EXPECT_EQ(ImageFormatOfBytes(c.bytes.data(), c.bytes.size()), c.expected) << c.what;
    }
}

TEST(ImageFormat, MissingFileFolderAndPipeAreUnsupported) {
    testjpeg::ScratchDir dir;
    EXPECT_EQ(GetImageFormat(dir.File("absent.jpg")), ifUnsupported);
    EXPECT_EQ(GetImageFormat(dir.File("")), ifUnsupported);
    const std::string pipe = dir.File("pipe");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(GetImageFormat(pipe), ifUnsupported);  // and it does not hang
}

}  // namespace
