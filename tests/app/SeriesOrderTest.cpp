#include <gtest/gtest.h>

#include <functional>

#include "QtPrinters.h"
#include "app/SeriesOrder.h"
#include "platform/testing/ScriptedMessageService.h"

using platform::MsgButton;

namespace {

QStringList L(const char* joined) {
    return QString(joined).split(u' ', Qt::SkipEmptyParts);
}

struct StepCase {
    const char* name;
    std::function<int(QStringList&, int)> step;
    const char* before;
    int selected;
    const char* after;
    int selectedAfter;
};

class SeriesStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(SeriesStep, MovesAndSelects) {
    const StepCase& c = GetParam();
    QStringList series = L(c.before);
    EXPECT_EQ(c.step(series, c.selected), c.selectedAfter);
    EXPECT_EQ(series, L(c.after));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SeriesStep,
    ::testing::Values(
        StepCase{"UpInside", MoveUp, "p1 p2 p3", 2, "p1 p3 p2", 1},
        StepCase{"UpWrapsFirstToEnd", MoveUp, "p1 p2 p3", 0, "p2 p3 p1", 2},
        StepCase{"DownInside", MoveDown, "p1 p2 p3", 0, "p2 p1 p3", 1},
        StepCase{"DownWrapsLastToFront", MoveDown, "p1 p2 p3", 2, "p3 p1 p2", 0},
        StepCase{"UpWithoutSelection", MoveUp, "p1 p2", -1, "p1 p2", -1},
        StepCase{"DownOutOfRange", MoveDown, "p1 p2", 2, "p1 p2", -1},
        StepCase{"MakeThirdFirst", MakeFirst, "p1 p2 p3 p4", 2, "p3 p4 p1 p2", 0},
        StepCase{"MakeFirstWithout", MakeFirst, "p1 p2", -1, "p1 p2", -1},
        StepCase{"SortKeepsSelected", SortSeries, "/b/Z /a/y /A/x", 0, "/A/x /a/y /b/Z", 2},
        StepCase{"SortCaseTiesInByteOrder", SortSeries, "/a/b /A/B /a/A", 0, "/a/A /A/B /a/b", 2},
        StepCase{"SortWithoutSelection", SortSeries, "/c /b /a", -1, "/a /b /c", 0},
        StepCase{"SortEmpty", SortSeries, "", -1, "", -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SeriesOrder, SaveBeginsFromTheChosenPicture) {
    const struct {
        int first;
        const char* after;
    } cases[] = {
        {2, "p2 p3 p1"}, {3, "p3 p1 p2"}, {1, "p1 p2 p3"}, {0, "p1 p2 p3"}, {4, "p1 p2 p3"}};
    for (const auto& c : cases) {
        QStringList series = L("p1 p2 p3");
        RotateToPicture(series, c.first);
        EXPECT_EQ(series, L(c.after)) << c.first;
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
        {1, "a", "/s/p1 /s/p2 /cur/a", 2},
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
        const char* before;
        QList<int> selected;
        int target;
        const char* after;
        int select;
    } cases[] = {
        {"p1 p2 p3", {0}, 2, "p2 p3 p1", 2},
        {"p1 p2 p3", {2}, 0, "p3 p1 p2", 0},
        {"p1 p2 p3 p4 p5", {0, 1}, 4, "p3 p4 p5 p1 p2", 4},
        {"p1 p2 p3 p4 p5", {4, 3}, 0, "p4 p5 p1 p2 p3", 0},
        {"p1 p2 p3 p4 p5", {0, 4}, 2, "p2 p3 p1 p5 p4", 2},
        {"p1 p2 p3 p4 p5", {7, 1, 1}, 3, "p1 p3 p4 p2 p5", 3},
        {"p1 p2 p3", {1}, 1, "p1 p2 p3", 1},
        {"p1 p2 p3", {1}, -1, "p1 p2 p3", -1},
    };
    for (const auto& c : cases) {
        QStringList series = L(c.before);
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

TEST(SeriesOrder, QuestionsBeforeSortAndRemoval) {
    platform::ScriptedMessageService messages;
    platform::ScopedMessageService scope(messages);
    messages.QueueAnswers({MsgButton::Yes, MsgButton::No});
    EXPECT_TRUE(AskSortSeries());
    EXPECT_FALSE(AskRemoveDraggedPictures());
    const auto questions = messages.Questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].caption, "Sort list");
    EXPECT_EQ(questions[0].defaultButton, MsgButton::No);
    EXPECT_EQ(questions[1].text, "Do you want to remove selected picture from list?");
}

}  // namespace
