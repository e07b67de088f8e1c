#include "RoutingPass.h"
#include "RoutingTable.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <vector>

using namespace std::chrono;
using Routing::PassClock;

TEST(RoutingTable, WirePositionsGroupByOutputWithInputsLeftToRight)
{
    EXPECT_EQ(Routing::CellPosition(1, 1), 0);
    EXPECT_EQ(Routing::CellPosition(16, 1), 15);
    EXPECT_EQ(Routing::CellPosition(1, 2), 16);
    EXPECT_EQ(Routing::CellPosition(16, 16), 255);
    std::set<int> seen;
    for (int k = 1; k <= 16; ++k)
        for (int j = 1; j <= 16; ++j) {
            const int p = Routing::CellPosition(k, j);
            EXPECT_EQ(Routing::InputOfPosition(p), k);
            EXPECT_EQ(Routing::OutputOfPosition(p), j);
            seen.insert(p);
        }
    EXPECT_EQ(seen.size(), 256u);
    EXPECT_EQ(*seen.begin(), 0);
    EXPECT_EQ(*seen.rbegin(), 255);
}

TEST(RoutingTable, ControlNamesFollowTheFormNotTheInputOrder)
{
    EXPECT_STREQ(Routing::ColumnOf(1).panel, "sPanel2");
    EXPECT_STREQ(Routing::ColumnOf(1).header, "sCheckBox1");
    EXPECT_EQ(Routing::CellObjectName(1, 1), "CheckBox17");
    EXPECT_EQ(Routing::CellObjectName(1, 16), "CheckBox32");
    EXPECT_STREQ(Routing::ColumnOf(2).header, "a");
    EXPECT_EQ(Routing::CellObjectName(2, 1), "CheckBox1");
    EXPECT_STREQ(Routing::ColumnOf(9).panel, "sPanel14");
    EXPECT_EQ(Routing::CellObjectName(9, 1), "CheckBox209");
    EXPECT_EQ(Routing::CellObjectName(11, 16), "CheckBox144");
    EXPECT_STREQ(Routing::ColumnOf(16).header, "sCheckBox15");
    EXPECT_EQ(Routing::CellObjectName(16, 16), "CheckBox256");

    // Every name is used exactly once across the window.
    std::set<QString> names;
    for (int k = 1; k <= 16; ++k) {
        names.insert(QString::fromLatin1(Routing::ColumnOf(k).panel));
        names.insert(QString::fromLatin1(Routing::ColumnOf(k).header));
        for (int j = 1; j <= 16; ++j)
            names.insert(Routing::CellObjectName(k, j));
    }
    EXPECT_EQ(names.size(), 16u + 16u + 256u);
    for (int n = 1; n <= 256; ++n)
        EXPECT_TRUE(names.count(QStringLiteral("CheckBox%1").arg(n))) << n;

    EXPECT_THROW(Routing::ColumnOf(0), std::out_of_range);
    EXPECT_THROW(Routing::CellObjectName(1, 17), std::out_of_range);
}

namespace {

// A pass driven by a simulated clock: writes take `writeCost`, sleeps jump to the deadline
// plus `wakeLate`.
struct FakePass {
    PassClock::time_point t{};
    milliseconds writeCost{0};
    milliseconds wakeLate{0};
    std::vector<std::pair<std::string, PassClock::time_point>> writes;   // text, start time
    std::vector<int> progress;
    std::function<bool(int, int)> checked = [](int, int) { return false; };
    int failAtWrite = -1;
    PassClock::time_point end{};

    void Run(const Routing::TRoutingPacing& pacing = {})
    {
        Routing::RoutingPassIo io;
        io.now = [this] { return t; };
        io.sleepUntil = [this](PassClock::time_point d) {
            if (d > t)
                t = d;
            t += wakeLate;
        };
        io.write = [this](const std::string& s) {
            if (static_cast<int>(writes.size()) == failAtWrite)
                throw std::runtime_error("write failed");
            writes.emplace_back(s, t);
            t += writeCost;
        };
        io.checked = checked;
        io.progress = [this](int n) { progress.push_back(n); };
        Routing::RunRoutingPass(io, pacing);
        end = t;
    }
    std::string Text() const
    {
        std::string s;
        for (const auto& w : writes)
            s += w.first;
        return s;
    }
    milliseconds Gap(size_t i) const
    {
        return duration_cast<milliseconds>(writes[i].second - writes[i - 1].second);
    }
};

}  // namespace

TEST(RoutingPass, SendsStartThenEveryCellInWireOrderOneWriteEach)
{
    FakePass pass;
    pass.Run();
    ASSERT_EQ(pass.writes.size(), 257u);
    for (const auto& w : pass.writes)
        EXPECT_EQ(w.first.size(), 1u);
    EXPECT_EQ(pass.Text(), "c" + std::string(256, '0'));
    ASSERT_EQ(pass.progress.size(), 257u);
    for (int i = 0; i <= 256; ++i)
        EXPECT_EQ(pass.progress[i], i);

    const struct {
        int input, output;
        size_t index;   // 1-based character after "c"
    } singles[] = {{1, 1, 1}, {16, 1, 16}, {1, 2, 17}, {16, 16, 256}, {5, 3, 37}};
    for (const auto& s : singles) {
        FakePass one;
        one.checked = [&](int k, int j) { return k == s.input && j == s.output; };
        one.Run();
        std::string expected = "c" + std::string(256, '0');
        expected[s.index] = '1';
        EXPECT_EQ(one.Text(), expected) << "input " << s.input << " output " << s.output;
    }
}

TEST(RoutingPass, ReadsEachCellWhenItsCharacterGoesOut)
{
    FakePass pass;
    // The cell of input 1, output 2 is switched on while output 1's group is being sent.
    bool on = false;
    pass.checked = [&](int k, int j) {
        if (k == 8 && j == 1)
            on = true;
        return on && k == 1 && j == 2;
    };
    pass.Run();
    EXPECT_EQ(pass.Text()[17], '1');
}

TEST(RoutingPass, EveryPauseRunsItsFullLengthAfterTheWriteHasCompleted)
{
    // Writes of 3 ms, one of them blocking 250 ms, and wake-ups 1 ms late: no pause may be
    // shortened to catch up, whatever came before it.
    for (const milliseconds wakeLate : {milliseconds(0), milliseconds(1)}) {
        PassClock::time_point t{};
        std::vector<std::pair<PassClock::time_point, PassClock::time_point>> writes;   // start, end
        Routing::RoutingPassIo io;
        io.now = [&] { return t; };
        io.sleepUntil = [&](PassClock::time_point d) { t = std::max(t, d) + wakeLate; };
        io.write = [&](const std::string&) {
            const auto start = t;
            t += writes.size() == 10 ? milliseconds(250) : milliseconds(3);
            writes.emplace_back(start, t);
        };
        io.checked = [](int, int) { return false; };
        Routing::TRoutingPacing pacing;
        pacing.margin = milliseconds(0);
        Routing::RunRoutingPass(io, pacing);
        ASSERT_EQ(writes.size(), 257u);
        for (size_t i = 1; i < writes.size(); ++i) {
            const auto pause = duration_cast<milliseconds>(writes[i].first - writes[i - 1].second);
            ASSERT_EQ(pause, milliseconds(i == 1 ? 1000 : 100) + wakeLate) << i;
        }
        // The pass returns only after the pause that follows the last character.
        EXPECT_EQ(t - writes.back().second, milliseconds(100) + wakeLate);
    }
}

TEST(RoutingPass, AFailedWriteEndsThePassAtThatCharacter)
{
    FakePass atStart;
    atStart.failAtWrite = 0;
    EXPECT_THROW(atStart.Run(), std::runtime_error);
    EXPECT_TRUE(atStart.writes.empty());
    EXPECT_TRUE(atStart.progress.empty());

    FakePass midway;
    midway.failAtWrite = 40;   // the 40th routing character
    EXPECT_THROW(midway.Run(), std::runtime_error);
    EXPECT_EQ(midway.writes.size(), 40u);
    EXPECT_EQ(midway.progress.back(), 39);
}

TEST(RoutingPass, RealSleepReachesItsDeadline)
{
    const auto deadline = PassClock::now() + milliseconds(30);
    Routing::SleepUntilDeadline(deadline);
    // Never early; how late depends on the machine's load and is measured by the benchmark.
    EXPECT_GE(PassClock::now(), deadline);
}
