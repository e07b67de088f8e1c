#include "Controller.h"

#include <gtest/gtest.h>
#include <random>

using namespace sim;

namespace {

constexpr int64_t kMs = 1000;

// Feeds bytes at one time and returns everything sent in answer.
std::string Feed(Controller& c, const std::string& bytes, int64_t now = 0)
{
    for (char b : bytes)
        c.Receive(static_cast<uint8_t>(b), now);
    std::string out;
    for (const Emission& e : c.TakeEmissions())
        out += e.bytes;
    return out;
}

std::string Drain(Controller& c)
{
    std::string out;
    for (const Emission& e : c.TakeEmissions())
        out += e.bytes;
    return out;
}

// A routing write in the console's order from a predicate on (input, output).
template <typename F>
std::string WriteBody(F routes)
{
    std::string s;
    for (int j = 1; j <= 16; ++j)
        for (int k = 1; k <= 16; ++k)
            s.push_back(routes(k, j) ? '1' : '0');
    return s;
}

}  // namespace

TEST(SimController, OutputCommandsToggleTheirOutputAndXReportsThem)
{
    const std::string commands = "0123456789=asdfg";
    for (int j = 1; j <= 16; ++j) {
        Controller c;
        EXPECT_EQ(Feed(c, std::string(1, commands[static_cast<size_t>(j - 1)])), "") << j;
        std::string expected(16, '0');
        expected[static_cast<size_t>(j - 1)] = '1';
        EXPECT_EQ(Feed(c, "x"), expected + "!") << j;
        // A second press switches it off again.
        Feed(c, std::string(1, commands[static_cast<size_t>(j - 1)]));
        EXPECT_EQ(Feed(c, "x"), std::string(16, '0') + "!") << j;
    }
}

TEST(SimController, InputsReportedInOrderAndModesCycleWithTheirCharacters)
{
    Controller c;
    EXPECT_EQ(Feed(c, "q"), std::string(16, '0'));
    c.SetInput(2, true, 0);
    c.SetInput(16, true, 0);
    Drain(c);
    EXPECT_EQ(Feed(c, "q"), "0100000000000001");
    c.SetInput(2, false, 0);
    EXPECT_EQ(Feed(c, "q"), "0000000000000001");

    EXPECT_EQ(c.Model().GetMode(), Mode::EqualInputs);
    EXPECT_EQ(Feed(c, "Q"), "}");
    EXPECT_EQ(Feed(c, "Q"), "[");
    EXPECT_EQ(Feed(c, "Q"), "]");
    EXPECT_EQ(c.Model().GetMode(), Mode::EqualInputs);
    c.PressModeButton(0);
    EXPECT_EQ(Drain(c), "}");
}

TEST(SimController, RoutingWriteIsReadBackByOutputWithInputSixteenFirst)
{
    // Single cells at the corners of both orders.
    struct Case {
        int k, j;
        size_t writePos, dumpPos;
    };
    const Case cases[] = {{1, 1, 0, 15}, {16, 1, 15, 0}, {1, 2, 16, 31}, {16, 16, 255, 240}, {4, 3, 35, 44}};
    for (const Case& cs : cases) {
        Controller c;
        const std::string body = WriteBody([&](int k, int j) { return k == cs.k && j == cs.j; });
        ASSERT_EQ(body.find('1'), cs.writePos);
        EXPECT_EQ(Feed(c, "c" + body, 0), "");
        const std::string dump = Feed(c, "C", 0);
        ASSERT_EQ(dump.size(), 256u);
        EXPECT_EQ(dump.find('1'), cs.dumpPos) << cs.k << "," << cs.j;
        EXPECT_EQ(dump.rfind('1'), cs.dumpPos);
    }

    // A random table survives the round trip cell by cell.
    std::mt19937 rng(7);
    bool cells[17][17] = {};
    for (int k = 1; k <= 16; ++k)
        for (int j = 1; j <= 16; ++j)
            cells[k][j] = rng() & 1;
    Controller c;
    Feed(c, "c" + WriteBody([&](int k, int j) { return cells[k][j]; }));
    const std::string dump = Feed(c, "C");
    for (int m = 1; m <= 16; ++m)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(dump[static_cast<size_t>(16 * (m - 1) + i)] == '1', cells[16 - i][m]);
}

TEST(SimController, SavedMarkComesAfterTheSaveDelay)
{
    ControllerTiming t;
    t.saveDelayUs = 400 * kMs;
    Controller c(t);
    Feed(c, "c", 0);
    const std::string body(256, '1');
    for (size_t i = 0; i < body.size(); ++i)
        c.Receive('1', static_cast<int64_t>(1000 + 100 * i) * kMs);
    const int64_t last = (1000 + 100 * 255) * kMs;
    EXPECT_EQ(Drain(c), "");
    ASSERT_TRUE(c.NextDeadline());
    EXPECT_EQ(*c.NextDeadline(), last + 400 * kMs);
    c.Tick(last + 399 * kMs);
    EXPECT_EQ(Drain(c), "");
    c.Tick(last + 400 * kMs);
    EXPECT_EQ(Drain(c), "?");
    c.Tick(last + 900 * kMs);
    EXPECT_EQ(Drain(c), "") << "only one '?' per write";
    EXPECT_EQ(Feed(c, "C", last + kMs * 1000), std::string(256, '1'));
}

TEST(SimController, MalformedWritesStoreNothing)
{
    const std::string good = WriteBody([](int k, int j) { return k == j; });
    // A foreign byte in the middle: abandoned, and the byte is taken as a command.
    {
        Controller c;
        Feed(c, "c" + good);
        c.TakeEvents();
        const std::string reply = Feed(c, "c" + std::string(100, '0') + "x");
        EXPECT_EQ(reply, std::string(16, '0') + "!");
        Controller ref;
        Feed(ref, "c" + good);
        EXPECT_EQ(Feed(c, "C"), Feed(ref, "C"));
        EXPECT_FALSE(c.WriteInProgress());
    }
    // A pause of more than the timeout inside the write.
    {
        Controller c;
        c.Receive('c', 0);
        for (int i = 0; i < 100; ++i)
            c.Receive('1', (1000 + 100 * i) * kMs);
        const int64_t last = (1000 + 100 * 99) * kMs;
        c.Tick(last + 5000 * kMs);
        EXPECT_TRUE(c.WriteInProgress()) << "exactly 5 s is still within the write";
        c.Tick(last + 5001 * kMs);
        EXPECT_FALSE(c.WriteInProgress());
        // The rest of the table now arrives as ordinary commands ('0'/'1' toggle outputs 1/2).
        for (int i = 0; i < 156; ++i)
            c.Receive('0', last + 6000 * kMs);
        EXPECT_EQ(Drain(c), "");
        EXPECT_EQ(Feed(c, "C", last + 7000 * kMs), std::string(256, '0'));
        EXPECT_EQ(Feed(c, "x", last + 7000 * kMs), std::string(16, '0') + "!");
    }
    // The timeout is also noticed when the late byte arrives before any Tick().
    {
        Controller c;
        c.Receive('c', 0);
        c.Receive('1', 5001 * kMs);
        EXPECT_FALSE(c.WriteInProgress());
        EXPECT_EQ(Feed(c, "x", 5001 * kMs), "0100000000000000!");
    }
    // The console's own pacing (1 s after "c", then 100 ms) is well inside the limit.
    {
        Controller c;
        c.Receive('c', 0);
        for (int i = 0; i < 256; ++i)
            c.Receive(good[static_cast<size_t>(i)], (1000 + 100 * i) * kMs);
        c.Tick(30000 * kMs);
        EXPECT_EQ(Drain(c), "?");
        EXPECT_EQ(Feed(c, "C", 30000 * kMs).find('1'), 15u);
    }
}

TEST(SimController, ActiveInputTogglesItsOutputsAndAnnouncesWithSlash)
{
    Controller c;
    // Input 3 controls outputs 1 and 5.
    Feed(c, "c" + WriteBody([](int k, int j) { return k == 3 && (j == 1 || j == 5); }));
    c.TakeEvents();
    c.SetInput(3, true, 0);
    EXPECT_EQ(Drain(c), "/");
    EXPECT_EQ(Feed(c, "x"), "1000100000000000!");
    c.SetInput(3, true, 0);   // already active: no edge
    c.SetInput(3, false, 0);  // release switches nothing
    EXPECT_EQ(Drain(c), "");
    c.SetInput(3, true, 0);
    EXPECT_EQ(Drain(c), "/");
    EXPECT_EQ(Feed(c, "x"), std::string(16, '0') + "!");

    // An input that controls nothing changes no output and sends nothing.
    c.SetInput(4, true, 0);
    EXPECT_EQ(Drain(c), "");
    EXPECT_EQ(Feed(c, "q"), "0011000000000000");

    // Still switching with the remote taking precedence; not at all in remote-only mode.
    c.SetInput(3, false, 0);
    Feed(c, "Q");
    c.SetInput(3, true, 0);
    EXPECT_EQ(Drain(c), "/");
    c.SetInput(3, false, 0);
    EXPECT_EQ(Feed(c, "Q"), "[");
    c.SetInput(3, true, 0);
    EXPECT_EQ(Drain(c), "");
    EXPECT_EQ(Feed(c, "x"), "1000100000000000!");
    EXPECT_EQ(Feed(c, "q"), "0011000000000000");
}

TEST(SimController, AnythingElseIsIgnoredAndSilenceSendsNothing)
{
    const std::string commands = "0123456789=asdfgxqQCcR";
    Controller c;
    for (int b = 0; b < 256; ++b) {
        if (commands.find(static_cast<char>(b)) != std::string::npos)
            continue;
        EXPECT_EQ(Feed(c, std::string(1, static_cast<char>(b))), "") << b;
    }
    EXPECT_EQ(Feed(c, "x"), std::string(16, '0') + "!");
    EXPECT_EQ(Feed(c, "q"), std::string(16, '0'));
    EXPECT_FALSE(c.WriteInProgress());
    EXPECT_FALSE(c.LearningRunning());

    c.SetSilent(true);
    EXPECT_EQ(Feed(c, "0xqQC"), "");
    c.SetSilent(false);
    EXPECT_EQ(Feed(c, "x"), "1000000000000000!") << "silent still obeys commands";
}

TEST(SimController, RandomTrafficNeverWedgesOrHoardsMemory)
{
    std::mt19937_64 rng(12345);
    Controller c;
    int64_t now = 0;
    size_t maxEmission = 0;
    for (int i = 0; i < 200000; ++i) {
        now += static_cast<int64_t>(rng() % 3000) * kMs / 100;
        c.Receive(static_cast<uint8_t>(rng()), now);
        if (i % 97 == 0)
            c.SetInput(static_cast<int>(rng() % 18), rng() & 1, now);
        c.Tick(now);
        for (const Emission& e : c.TakeEmissions())
            maxEmission = std::max(maxEmission, e.bytes.size());
        c.TakeEvents();
    }
    EXPECT_LT(maxEmission, 4096u);
    // Whatever state the traffic left, a reset brings the protocol back.
    c.PressReset(now);
    Drain(c);
    now += 10000 * kMs;
    c.Tick(now);
    Drain(c);
    const std::string x = Feed(c, "x", now);
    EXPECT_EQ(x, std::string(16, '0') + "!");
}
