#include "app/FolderScan.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("x");
}

TEST(FolderScan, PictureNamesIgnoreCaseOfTheExtensionOnly) {
    for (const char* yes : {"a.jpg", "A.JPG", "b.Jpeg", "x.y.jpeg", ".jpg"}) {
        EXPECT_TRUE(IsPictureName(yes)) << yes;
    }
    for (const char* no : {"c.jpe", "d.jpg.txt", "jpg", "e.png", "f.jpgx", "g."}) {
        EXPECT_FALSE(IsPictureName(no)) << no;
    }
}

TEST(FolderScan, OnlyRegularPictureFilesAreListedWithTheirRealNames) {
    QTemporaryDir dir;
    const QString f = dir.path();
    Touch(f + "/A.JPG");
    Touch(f + "/b.Jpeg");
    Touch(f + "/c.jpe");
    Touch(f + "/notes.txt");
    QDir().mkpath(f + "/d.jpg");                              // a folder
    ASSERT_TRUE(QFile::link(f + "/gone.jpg", f + "/e.jpg"));  // broken link
    ASSERT_TRUE(QFile::link(f + "/A.JPG", f + "/f.jpg"));     // link to a picture

    const FolderScanResult scan = ScanFolderPictures(f, {});
    QStringList names = scan.names;
    names.sort();
    EXPECT_EQ(names, (QStringList{"A.JPG", "b.Jpeg", "f.jpg"}));
    EXPECT_TRUE(scan.found);
}

TEST(FolderScan, SeriesPicturesAreLeftOutButStillCountAsFound) {
    QTemporaryDir dir;
    Touch(dir.path() + "/only.jpg");
    const QString inSeries = dir.path() + "/only.jpg";
    const FolderScanResult scan =
        ScanFolderPictures(dir.path(), [&](const QString& path) { return path == inSeries; });
    EXPECT_TRUE(scan.names.isEmpty());
    EXPECT_TRUE(scan.found);

    QDir().mkpath(dir.path() + "/empty");
    EXPECT_FALSE(ScanFolderPictures(dir.path() + "/empty", {}).found);
    EXPECT_FALSE(ScanFolderPictures(dir.path() + "/missing", {}).found);
}

TEST(FolderScan, FolderMembershipOnNormalisedPaths) {
    const struct {
        const char* path;
        const char* folder;
        bool belongs;
    } cases[] = {
        {"/a.jpg", "/", true},
        {"/media/stick/a.jpg", "/media/stick", true},
        {"/media/stick/a.jpg", "/media/stick/", true},
        {"/media/stick/a.jpg", "/media//stick/./", true},
        {"/media/stick/sub/a.jpg", "/media/stick", false},
        {"/media/stick2/a.jpg", "/media/stick", false},
        {"/Media/Stick/a.jpg", "/media/stick", false},  // names are case-sensitive
        {"/a.jpg", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BelongsToFolder(c.path, c.folder), c.belongs) << c.path << " in " << c.folder;
    }
    EXPECT_EQ(NormalisedFolder("/"), "/");
    EXPECT_EQ(NormalisedFolder("/a/b/"), "/a/b");
}

TEST(FolderScan, ReadableFilesAndShellPaths) {
    QTemporaryDir dir;
    Touch(dir.path() + "/p.jpg");
    QDir().mkpath(dir.path() + "/sub");
    EXPECT_TRUE(IsReadableFile(dir.path() + "/p.jpg"));
    EXPECT_FALSE(IsReadableFile(dir.path() + "/sub"));
    EXPECT_FALSE(IsReadableFile(dir.path() + "/none.jpg"));
    EXPECT_FALSE(IsReadableFile(QString()));
    EXPECT_TRUE(IsShellPath(dir.path() + "/sub/"));
    EXPECT_FALSE(IsShellPath(dir.path() + "/p.jpg"));
    EXPECT_FALSE(IsShellPath("relative/folder"));
    EXPECT_FALSE(IsShellPath(QString()));
}

}  // namespace
