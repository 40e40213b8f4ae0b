#include "platform/DateTimeFormat.h"

#include <gtest/gtest.h>

namespace {

using platform::ScopedDisplayLocale;

class TimeFormatTest : public ::testing::TestWithParam<const char*> {};

// Time stamps become folder names: they need the seconds (two saves a few seconds apart
// must differ) and must not carry a time-zone name.
TEST_P(TimeFormatTest, KeepsSecondsAndDropsTheTimeZone) {
    const QLocale locale(QString::fromLatin1(GetParam()));
    const QString format = platform::TimeFormatWithoutZone(locale);
    EXPECT_TRUE(format.contains(u's')) << format.toStdString();
    EXPECT_FALSE(format.contains('t')) << format.toStdString();
    EXPECT_EQ(format, format.trimmed());
    EXPECT_FALSE(format.contains("  "));

    ScopedDisplayLocale scope(locale);
    const QString text = platform::TimeText(QTime(13, 5, 9));
    EXPECT_NE(text, platform::TimeText(QTime(13, 5, 10)));
    const QString zone = QDateTime::currentDateTime().timeZoneAbbreviation();
    if (!zone.isEmpty()) {
        EXPECT_FALSE(text.contains(zone)) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, TimeFormatTest,
                         ::testing::Values("C", "en_US", "en_GB", "de_DE", "fr_FR", "ja_JP",
                                           "zh_CN", "ko_KR", "fi_FI", "ar_EG", "pt_BR"));

TEST(DateTimeFormatTest, ScopedLocalesNestAndRestoreTheSystemLocale) {
    const QDate date(2024, 1, 2);
    const QString systemText = platform::ShortDateText(date);
    {
        ScopedDisplayLocale german(QLocale(QLocale::German, QLocale::Germany));
        const QString germanText = platform::ShortDateText(date);
        EXPECT_TRUE(germanText.startsWith("02.01.")) << germanText.toStdString();
        {
            ScopedDisplayLocale american(QLocale(QLocale::English, QLocale::UnitedStates));
            EXPECT_TRUE(platform::ShortDateText(date).startsWith("1/2/"));
        }
        EXPECT_EQ(platform::ShortDateText(date), germanText);
    }
    EXPECT_EQ(platform::DisplayLocale(), QLocale::system());
    EXPECT_EQ(platform::ShortDateText(date), systemText);
}

TEST(DateTimeFormatTest, DateTimeTextJoinsDateAndTimeWithABlank) {
    ScopedDisplayLocale german(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime moment(QDate(2024, 12, 31), QTime(23, 59, 58));
    EXPECT_EQ(platform::DateTimeText(moment), "31.12.24 23:59:58");
}

}  // namespace
