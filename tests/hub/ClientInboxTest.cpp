#include "ClientInbox.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using hub::TClientInbox;

TEST(ClientInbox, TakesAConsolesBytesAtTheLinesPaceAndDropsWhatOverflows)
{
    TClientInbox inbox;
    auto now = TClientInbox::Clock::time_point{} + 1h;
    // A console's single command goes on at once.
    EXPECT_EQ(inbox.Push("x"), 0u);
    EXPECT_EQ(inbox.Take(now), "x");
    EXPECT_FALSE(inbox.NextDue());

    // A flood: the queue keeps its bound, the rest is the client's loss.
    const std::string flood(5000, '\xff');
    EXPECT_EQ(inbox.Push(flood), 5000u - TClientInbox::kCapacity);
    EXPECT_TRUE(inbox.Full());
    std::size_t taken = inbox.Take(now).size();
    EXPECT_LE(taken, TClientInbox::kBurst);
    for (int ms = 1; ms <= 500; ++ms)
        taken += inbox.Take(now + std::chrono::milliseconds(ms)).size();
    // Half a second of a 9600 bit/s line carries 480 characters, plus the burst.
    EXPECT_GE(taken, 470u);
    EXPECT_LE(taken, 480u + TClientInbox::kBurst);
    ASSERT_TRUE(inbox.NextDue());
    EXPECT_GT(*inbox.NextDue(), now + 500ms);

    // The next client starts empty, with a fresh allowance.
    inbox.Clear();
    EXPECT_EQ(inbox.Size(), 0u);
    inbox.Push("q");
    EXPECT_EQ(inbox.Take(now + 500ms), "q");
}
