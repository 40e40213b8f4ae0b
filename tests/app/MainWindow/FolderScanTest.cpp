#include "app/MainWindow/FolderScan.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/app/TestApp.h"

namespace {

TEST(FolderScan, PictureNamesIgnoreCaseOfTheExtensionOnly) {
    for (const char* yes : {"a.jpg", "A.JPG", "b.Jpeg", "x.y.jpeg"}) {
        EXPECT_TRUE(IsPictureName(yes)) << yes;
    }
    for (const char* no : {"c.jpe", "d.jpg.txt", "jpg", "f.jpgx"}) {
        EXPECT_FALSE(IsPictureName(no)) << no;
    }
}

TEST(FolderScan, OnlyRegularPictureFilesOutsideTheSeriesAreListed) {
    QTemporaryDir dir;
    const QString f = dir.path();
    WriteFileBytes(f + "/A.JPG", "x");
    WriteFileBytes(f + "/b.Jpeg", "x");
    WriteFileBytes(f + "/c.jpe", "x");
    WriteFileBytes(f + "/in-series.jpg", "x");
    QDir().mkpath(f + "/d.jpg");                              // a folder
    ASSERT_TRUE(QFile::link(f + "/gone.jpg", f + "/e.jpg"));  // broken link
    ASSERT_TRUE(QFile::link(f + "/A.JPG", f + "/f.jpg"));     // link to a picture

    const auto inSeries = [&](const QString& path) { return path == f + "/in-series.jpg"; };
    FolderScanResult scan = ScanFolderPictures(f, inSeries);
    scan.names.sort();
    EXPECT_EQ(scan.names, (QStringList{"A.JPG", "b.Jpeg", "f.jpg"}));
    EXPECT_TRUE(scan.found);

    // A folder whose only picture is in the series still counts as having pictures.
    QDir().mkpath(f + "/only");
    WriteFileBytes(f + "/only/p.jpg", "x");
    scan = ScanFolderPictures(f + "/only", [](const QString&) { return true; });
    EXPECT_TRUE(scan.names.isEmpty());
    EXPECT_TRUE(scan.found);
    EXPECT_FALSE(ScanFolderPictures(f + "/d.jpg", {}).found);
    EXPECT_FALSE(ScanFolderPictures(f + "/missing", {}).found);
}

TEST(FolderScan, FolderMembershipOnNormalisedPaths) {
    const struct {
        const char* path;
        const char* folder;
        bool belongs;
    } cases[] = {
        {"/a.jpg", "/", true},
        {"/media/stick/a.jpg", "/media//stick/./", true},
        {"/media/stick/sub/a.jpg", "/media/stick", false},
        {"/media/stick2/a.jpg", "/media/stick", false},
        {"/Media/Stick/a.jpg", "/media/stick", false},  // names are case-sensitive
        {"/a.jpg", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BelongsToFolder(c.path, c.folder), c.belongs) << c.path << " in " << c.folder;
    }
}

}  // namespace
