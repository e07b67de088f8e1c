#include "UnlockCode.h"

#include <gtest/gtest.h>

namespace {

TEST(UnlockCode, PrefixThenTheDayInTheLocalesShortDateFormat)
{
    const QDate day(2026, 12, 8);
    const QString prefix = QLatin1String(kUnlockCodePrefix);
    ASSERT_EQ(prefix.size(), 7);
    EXPECT_TRUE(prefix.endsWith(QLatin1Char('-')));
    for (QChar ch : prefix)
        EXPECT_LT(ch.unicode(), 0x80);

    const QLocale pl(QLocale::Polish, QLocale::Poland);
    EXPECT_EQ(UnlockCode(day, pl), prefix + "8.12.2026");
    EXPECT_EQ(UnlockCode(day.addDays(-1), pl), prefix + "7.12.2026");
    EXPECT_EQ(UnlockCode(day, QLocale(QLocale::English, QLocale::UnitedStates)), prefix + "12/8/26");
    EXPECT_EQ(UnlockCode(day, QLocale(QLocale::German, QLocale::Germany)), prefix + "08.12.26");
}

}  // namespace
