#include "platform/Paths.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

struct SplitCase {
    const char* path;
    const char* folder;
    const char* name;
    const char* extension;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << '"' << c.path << '"';
}

class PathSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PathSplitTest, SplitsAtTheLastSlashAndTheNamesLastDot) {
    const SplitCase& c = GetParam();
    EXPECT_EQ(FolderPart(c.path), c.folder);
    EXPECT_EQ(FileNamePart(c.path), c.name);
    EXPECT_EQ(ExtensionPart(c.path), c.extension);
    // The QString forms agree with the std::string forms.
    const QString path = QString::fromUtf8(c.path);
    EXPECT_EQ(FolderPart(path), QString::fromUtf8(c.folder));
    EXPECT_EQ(FileNamePart(path), QString::fromUtf8(c.name));
    EXPECT_EQ(ExtensionPart(path), QString::fromUtf8(c.extension));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathSplitTest,
    ::testing::Values(SplitCase{"/a/b/c.jpg", "/a/b/", "c.jpg", ".jpg"},
                      SplitCase{"/a.d/b/c", "/a.d/b/", "c", ""},
                      SplitCase{"/a/b.dir/", "/a/b.dir/", "", ""},
                      SplitCase{"c.tar.gz", "", "c.tar.gz", ".gz"}, SplitCase{"/x", "/", "x", ""},
                      SplitCase{"/", "/", "", ""}, SplitCase{"", "", "", ""},
                      SplitCase{"/a/name.", "/a/", "name.", "."},
                      SplitCase{"/a/.hidden", "/a/", ".hidden", ".hidden"},
                      SplitCase{"/a/Bild \xC3\xA4.JPEG", "/a/", "Bild \xC3\xA4.JPEG", ".JPEG"}));

struct JoinCase {
    const char* folder;
    const char* name;
    const char* joined;
};

void PrintTo(const JoinCase& c, std::ostream* os) {
    *os << '"' << c.folder << "\" + \"" << c.name << '"';
}

class PathJoinTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(PathJoinTest, PutsExactlyOneSlashBetween) {
    const JoinCase& c = GetParam();
    EXPECT_EQ(JoinPath(c.folder, c.name), c.joined);
    EXPECT_EQ(JoinPath(QString(c.folder), QString(c.name)), QString(c.joined));
}

INSTANTIATE_TEST_SUITE_P(Cases, PathJoinTest,
                         ::testing::Values(JoinCase{"/a", "b", "/a/b"},
                                           JoinCase{"/a/", "b", "/a/b"},
                                           JoinCase{"/a/", "/b", "/a/b"},
                                           JoinCase{"/a", "//b", "/a/b"}, JoinCase{"/", "b", "/b"},
                                           JoinCase{"", "b", "b"}, JoinCase{"", "/b", "/b"},
                                           JoinCase{"/a", "", "/a/"}));

struct SlashCase {
    const char* path;
    const char* with;
    const char* without;
};

void PrintTo(const SlashCase& c, std::ostream* os) {
    *os << '"' << c.path << '"';
}

class TrailingSlashTest : public ::testing::TestWithParam<SlashCase> {};

TEST_P(TrailingSlashTest, AddsOrDropsButNeverMakesOrLosesTheRoot) {
    const SlashCase& c = GetParam();
    EXPECT_EQ(WithTrailingSlash(c.path), c.with);
    EXPECT_EQ(WithoutTrailingSlash(c.path), c.without);
    EXPECT_EQ(WithTrailingSlash(QString(c.path)), QString(c.with));
    EXPECT_EQ(WithoutTrailingSlash(QString(c.path)), QString(c.without));
}

INSTANTIATE_TEST_SUITE_P(Cases, TrailingSlashTest,
                         ::testing::Values(SlashCase{"/a", "/a/", "/a"},
                                           SlashCase{"/a/", "/a/", "/a"},
                                           SlashCase{"/a//", "/a//", "/a"},
                                           SlashCase{"/", "/", "/"}, SlashCase{"", "", ""}));

TEST(PathsTest, ChangeExtensionReplacesOnlyTheNamesExtension) {
    EXPECT_EQ(ChangeExtension("/opt/viewer", ".ini"), "/opt/viewer.ini");
    EXPECT_EQ(ChangeExtension("/opt/viewer.bin", ".ini"), "/opt/viewer.ini");
    EXPECT_EQ(ChangeExtension("/o.pt/viewer", ".ini"), "/o.pt/viewer.ini");
    EXPECT_EQ(ChangeExtension(QString("/o.pt/viewer.x"), QString(".ini")), "/o.pt/viewer.ini");
}

TEST(PathsTest, ExtensionTestsIgnoreCaseButNotTheFolder) {
    EXPECT_TRUE(HasExtension("/a/b.JPG", {".jpg", ".jpeg"}));
    EXPECT_TRUE(HasExtension("/a/b.jpeg", {".jpg", ".jpeg"}));
    EXPECT_FALSE(HasExtension("/a.jpg/b", {".jpg", ".jpeg"}));
    EXPECT_FALSE(HasExtension("/a/b.jpgx", {".jpg"}));
    EXPECT_FALSE(HasExtension("/a/bjpg", {".jpg"}));
    EXPECT_FALSE(HasExtension("/a/b", {""}));
    EXPECT_TRUE(HasExtension(QString("/a/b.JpEg"), {u".jpg", u".jpeg"}));
    EXPECT_FALSE(HasExtension(QString("/a.jpg/b"), {u".jpg"}));
}

}  // namespace
