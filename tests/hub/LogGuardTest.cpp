#include "LogGuard.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using hub::QuotedForLog;
using hub::TRepeatLimiter;

TEST(LogGuard, QuotesEscapesAndCutsWhatCameFromOutside)
{
    // A newline cannot start a forged line, nor an escape sequence reach the reader's terminal.
    EXPECT_EQ(QuotedForLog("X\nselvora-hub: FORGED\x1b[2J\"\\"),
              "\"X\\nselvora-hub: FORGED\\x1b[2J\\\"\\\\\"");
    // Polish text stays readable; broken UTF-8 and C1 controls are escaped.
    EXPECT_EQ(QuotedForLog("Wejścia równorzędne"), "\"Wejścia równorzędne\"");
    EXPECT_EQ(QuotedForLog("a\xc5\xc2\x9b"), "\"a\\xc5\\xc2\\x9b\"");
    // A megabyte becomes 64 characters and its size.
    const std::string big(1048576, 'A');
    EXPECT_EQ(QuotedForLog(big), "\"" + std::string(64, 'A') + "\"… (1048576 bytes)");
    EXPECT_EQ(QuotedForLog(std::string(64, 'A')), "\"" + std::string(64, 'A') + "\"");
}

TEST(LogGuard, RepeatsAreCountedAndSummedUpOnceAMinute)
{
    TRepeatLimiter limiter;
    const auto start = TRepeatLimiter::Clock::time_point{} + 1h;
    int written = 0;
    for (int i = 0; i < 1048576; ++i)
        written += limiter.Admit("client 1: no command, dropped", start + std::chrono::microseconds(i));
    EXPECT_EQ(written, TRepeatLimiter::kWrittenPerWindow);
    EXPECT_TRUE(limiter.Admit("controller line up", start + 2s));   // another kind is its own
    EXPECT_TRUE(limiter.Summaries(start + 59s).empty());
    ASSERT_TRUE(limiter.NextSummary());
    EXPECT_EQ(*limiter.NextSummary(), start + 60s);
    EXPECT_EQ(limiter.Summaries(start + 60s),
              std::vector<std::string>{"client 1: no command, dropped … and 1 048 571 more in the "
                                       "last minute"});
    EXPECT_FALSE(limiter.NextSummary());
    EXPECT_TRUE(limiter.Admit("client 1: no command, dropped", start + 61s));

    // Endless different messages still make a bounded log.
    written = 0;
    for (int i = 0; i < 10000; ++i)
        written += limiter.Admit("message " + std::to_string(i), start + 62s);
    EXPECT_LE(written, static_cast<int>(TRepeatLimiter::kMaxKeys + TRepeatLimiter::kWrittenPerWindow));
}
