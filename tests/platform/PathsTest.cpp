#include "platform/Paths.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

// Each case is checked in both the std::string and the QString form.
TEST(PathsTest, SplitsAtTheLastSlashAndTheNamesLastDot) {
    const char* cases[][4] = {{"/a/b/c.jpg", "/a/b/", "c.jpg", ".jpg"},
                              {"/a.d/b/c", "/a.d/b/", "c", ""},
                              {"c.tar.gz", "", "c.tar.gz", ".gz"},
                              {"/", "/", "", ""},
                              {"", "", "", ""},
                              {"/a/.hidden", "/a/", ".hidden", ".hidden"},
                              {"/a/Bild \xC3\xA4.JPEG", "/a/", "Bild \xC3\xA4.JPEG", ".JPEG"}};
    for (const auto& [path, folder, name, extension] : cases) {
        EXPECT_EQ(FolderPart(path), folder) << path;
        EXPECT_EQ(FileNamePart(path), name) << path;
        EXPECT_EQ(ExtensionPart(path), extension) << path;
        EXPECT_EQ(FolderPart(QString::fromUtf8(path)), QString::fromUtf8(folder)) << path;
        EXPECT_EQ(FileNamePart(QString::fromUtf8(path)), QString::fromUtf8(name)) << path;
        EXPECT_EQ(ExtensionPart(QString::fromUtf8(path)), QString::fromUtf8(extension)) << path;
    }
}

TEST(PathsTest, JoinsWithExactlyOneSlashAndNeverMakesOrLosesTheRoot) {
    const char* joins[][3] = {{"/a", "b", "/a/b"}, {"/a/", "/b", "/a/b"}, {"/", "b", "/b"},
                              {"", "b", "b"},      {"", "/b", "/b"},      {"/a", "", "/a/"}};
    for (const auto& [folder, name, joined] : joins) {
        EXPECT_EQ(JoinPath(folder, name), joined) << folder << " + " << name;
        EXPECT_EQ(JoinPath(QString(folder), QString(name)), QString(joined));
    }
    const char* slashes[][3] = {
        {"/a", "/a/", "/a"}, {"/a//", "/a//", "/a"}, {"/", "/", "/"}, {"", "", ""}};
    for (const auto& [path, with, without] : slashes) {
        EXPECT_EQ(WithTrailingSlash(path), with) << path;
        EXPECT_EQ(WithoutTrailingSlash(path), without) << path;
        EXPECT_EQ(WithTrailingSlash(QString(path)), QString(with));
        EXPECT_EQ(WithoutTrailingSlash(QString(path)), QString(without));
    }
}

TEST(PathsTest, ExtensionsChangeAndCompareInTheNameOnlyIgnoringCase) {
    EXPECT_EQ(ChangeExtension("/opt/viewer.bin", ".ini"), "/opt/viewer.ini");
    EXPECT_EQ(ChangeExtension("/o.pt/viewer", ".ini"), "/o.pt/viewer.ini");
    EXPECT_EQ(ChangeExtension(QString("/o.pt/viewer.x"), QString(".ini")), "/o.pt/viewer.ini");
    EXPECT_TRUE(HasExtension("/a/b.JPG", {".jpg", ".jpeg"}));
    EXPECT_FALSE(HasExtension("/a.jpg/b", {".jpg", ".jpeg"}));
    EXPECT_FALSE(HasExtension("/a/b.jpgx", {".jpg"}));
    EXPECT_TRUE(HasExtension(QString("/a/b.JpEg"), {u".jpg", u".jpeg"}));
    EXPECT_FALSE(HasExtension(QString("/a.jpg/b"), {u".jpg"}));
}

}  // namespace
