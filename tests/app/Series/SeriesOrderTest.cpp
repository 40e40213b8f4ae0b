#include <gtest/gtest.h>

#include <functional>

#include "app/Series/SeriesOrder.h"
#include "tests/app/QtPrinters.h"

namespace {

QStringList L(const char* joined) {
    return QString(joined).split(u' ', Qt::SkipEmptyParts);
}

TEST(SeriesOrder, StepsWrapAndSelect) {
    const struct {
        std::function<int(QStringList&, int)> step;
        const char* before;
        int selected;
        const char* after;
        int selectedAfter;
    } cases[] = {
        {MoveUp, "p1 p2 p3", 2, "p1 p3 p2", 1},
        {MoveUp, "p1 p2 p3", 0, "p2 p3 p1", 2},    // the first goes to the end
        {MoveDown, "p1 p2 p3", 2, "p3 p1 p2", 0},  // the last goes to the front
        {MoveUp, "p1 p2", -1, "p1 p2", -1},
        {MoveDown, "p1 p2", 2, "p1 p2", -1},
        {MakeFirst, "p1 p2 p3 p4", 2, "p3 p4 p1 p2", 0},
        {SortSeries, "/b/Z /a/y /A/x", 0, "/A/x /a/y /b/Z", 2},  // keeps the selected one
        {SortSeries, "/a/b /A/B /a/A", 0, "/a/A /A/B /a/b", 2},  // case ties in byte order
        {SortSeries, "/c /b /a", -1, "/a /b /c", 0},
        {SortSeries, "", -1, "", -1},
    };
    for (const auto& c : cases) {
        QStringList series = L(c.before);
        EXPECT_EQ(c.step(series, c.selected), c.selectedAfter) << c.before << " @" << c.selected;
        EXPECT_EQ(series, L(c.after));
    }
}

TEST(SeriesOrder, SaveBeginsFromTheChosenPicture) {
    for (const auto& [first, after] : {std::pair{2, "p2 p3 p1"},
                                       {3, "p3 p1 p2"},
                                       {1, "p1 p2 p3"},
                                       {0, "p1 p2 p3"},
                                       {4, "p1 p2 p3"}}) {
        QStringList series = L("p1 p2 p3");
        RotateToPicture(series, first);
        EXPECT_EQ(series, L(after)) << first;
    }
}

TEST(SeriesOrder, FilesDroppedOnTheSeriesKeepTheirOrder) {
    const struct {
        int target;
        const char* names;
        const char* after;
        int select;
    } cases[] = {
        {0, "a b", "/s/p1 /cur/a /cur/b /s/p2", 1},
        {-1, "a b", "/cur/a /cur/b /s/p1 /s/p2", 0},
        {0, "", "/s/p1 /s/p2", -1},
    };
    for (const auto& c : cases) {
        QStringList series = L("/s/p1 /s/p2");
        EXPECT_EQ(DropFilesOnSeries(series, c.target, "/cur/", L(c.names)), c.select);
        EXPECT_EQ(series, L(c.after)) << c.target << " " << c.names;
    }
}

TEST(SeriesOrder, DragWithinTheSeriesMovesTheDraggedPictures) {
    const struct {
        QList<int> selected;
        int target;
        const char* after;
        int select;
    } cases[] = {
        {{0}, 2, "p2 p3 p1 p4 p5", 2},       {{0, 1}, 4, "p3 p4 p5 p1 p2", 4},
        {{4, 3}, 0, "p4 p5 p1 p2 p3", 0},    {{0, 4}, 2, "p2 p3 p1 p5 p4", 2},
        {{7, 1, 1}, 3, "p1 p3 p4 p2 p5", 3},  // out of range and doubled indexes
        {{1}, 1, "p1 p2 p3 p4 p5", 1},       {{1}, -1, "p1 p2 p3 p4 p5", -1},
    };
    for (const auto& c : cases) {
        QStringList series = L("p1 p2 p3 p4 p5");
        EXPECT_EQ(MoveWithinSeries(series, c.selected, c.target), c.select) << c.after;
        EXPECT_EQ(series, L(c.after));
    }
}

TEST(SeriesOrder, DragOutReadsEachPathBeforeItGoes) {
    QStringList series = L("/cur/a /other/b /cur/c /Cur/d /cur/sub/e /cur/f");
    const TDragOutResult result = DragOutOfSeries(series, {4, 2, 0, 1, 3}, "/cur");
    EXPECT_EQ(result.removed, L("/cur/a /other/b /cur/c /Cur/d /cur/sub/e"));
    EXPECT_EQ(result.putBack, L("a c"));
    EXPECT_EQ(series, L("/cur/f"));
    EXPECT_FALSE(result.seriesEmptied);
    EXPECT_TRUE(DragOutOfSeries(series, {0}, "/cur/").seriesEmptied);
}

}  // namespace
