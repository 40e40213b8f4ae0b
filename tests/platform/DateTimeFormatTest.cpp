#include "platform/DateTimeFormat.h"

#include <gtest/gtest.h>

namespace {

using platform::ScopedDisplayLocale;

// Time stamps become folder names: they need the seconds (two saves a few seconds apart must
// differ) and must not carry a time-zone name.
TEST(DateTimeFormatTest, TimesKeepSecondsAndDropTheTimeZone) {
    for (const char* name : {"C", "en_US", "de_DE", "ja_JP", "zh_CN", "fi_FI", "ar_EG"}) {
        const QLocale locale{QString::fromLatin1(name)};
        const QString format = platform::TimeFormatWithoutZone(locale);
        EXPECT_TRUE(format.contains(u's')) << name << ": " << format.toStdString();
        EXPECT_FALSE(format.contains(u't')) << name << ": " << format.toStdString();
        EXPECT_EQ(format, format.trimmed()) << name;
        EXPECT_FALSE(format.contains("  ")) << name;
        ScopedDisplayLocale scope(locale);
        EXPECT_NE(platform::TimeText(QTime(13, 5, 9)), platform::TimeText(QTime(13, 5, 10)));
    }
}

TEST(DateTimeFormatTest, ScopedLocalesNestAndRestoreTheSystemLocale) {
    const QDate date(2024, 1, 2);
    const QString systemText = platform::ShortDateText(date);
    {
        ScopedDisplayLocale german(QLocale(QLocale::German, QLocale::Germany));
        {
            ScopedDisplayLocale american(QLocale(QLocale::English, QLocale::UnitedStates));
            EXPECT_TRUE(platform::ShortDateText(date).startsWith("1/2/"));
        }
        const QDateTime moment(QDate(2024, 12, 31), QTime(23, 59, 58));
        EXPECT_EQ(platform::DateTimeText(moment), "31.12.24 23:59:58");
    }
    EXPECT_EQ(platform::ShortDateText(date), systemText);
}

}  // namespace
