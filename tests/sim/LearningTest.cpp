#include "Controller.h"
#include "Cp1250.h"
#include "LearningDialogue.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace sim;

namespace {

constexpr int64_t kMs = 1000;

std::string Drain(Controller& c)
{
    std::string out;
    for (const Emission& e : c.TakeEmissions())
        out += e.bytes;
    return out;
}

// Characters outside escape sequences: what the console's parser gets to see.
std::string PlainText(const std::string& wire)
{
    std::string plain;
    for (size_t i = 0; i < wire.size(); ++i) {
        if (wire[i] != '\x1b') {
            plain.push_back(wire[i]);
            continue;
        }
        if (i + 1 < wire.size() && wire[i + 1] == '[') {
            i += 2;
            while (i < wire.size() && !(wire[i] >= 0x40 && wire[i] <= 0x7E))
                ++i;
        } else {
            ++i;
        }
    }
    return plain;
}

// Runs a whole learning pass, answering each prompt with the next key of `keys`.
std::string LearnAll(Controller& c, const std::string& keys, int64_t& now)
{
    std::string wire;
    c.Receive('R', now);
    wire += Drain(c);
    for (char k : keys) {
        c.Receive(static_cast<uint8_t>(k), now);
        wire += Drain(c);
        now += 2000 * kMs;
        c.Tick(now);
        wire += Drain(c);
    }
    return wire;
}

}  // namespace

TEST(SimLearning, TextIsWindows1250AndAvoidsTheConsolesControlCharacters)
{
    EXPECT_EQ(Utf8ToCp1250("ąćęłńóśźż"), "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF");
    EXPECT_EQ(Utf8ToCp1250("ĄĆĘŁŃÓŚŹŻ"), "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF");
    EXPECT_EQ(Utf8ToCp1250("Wyjście 1"), "Wyj\x9C" "cie 1");
    EXPECT_EQ(Utf8ToCp1250("€\xff"), "..") << "unmapped or broken input must not become a command";

    Controller c;
    int64_t now = 0;
    const std::string wire = LearnAll(c, "abcdefghijklmnop", now);
    const std::string plain = PlainText(wire);
    for (char forbidden : std::string("/?!]}["))
        EXPECT_EQ(plain.find(forbidden), std::string::npos) << forbidden;
    // One clear per screen: the first step, the fifteen next ones and the closing screen.
    EXPECT_EQ(std::count(plain.begin(), plain.end(), '_'), 17);
    EXPECT_EQ(plain.front(), '_');
    EXPECT_NE(plain.find(Utf8ToCp1250("Wyjście 16 z 16")), std::string::npos);
    EXPECT_NE(plain.find(Utf8ToCp1250("Naciśnij przycisk Reset w sterowniku.")), std::string::npos);
    for (unsigned char b : wire)
        EXPECT_TRUE(b >= 0x20 || b == 0x1b) << "no raw control bytes besides ESC: " << int(b);
}

TEST(SimLearning, AsksEveryOutputInTurnAndSkipsOrRefusesDuplicates)
{
    LearningDialogue d(500 * kMs);
    std::string s = d.Start(0);
    EXPECT_EQ(d.CurrentOutput(), 1);
    EXPECT_NE(s.find(Utf8ToCp1250("Wyjście 1 z 16")), std::string::npos);

    s = d.Key('a', 0);
    EXPECT_NE(s.find("komenda 33"), std::string::npos);
    EXPECT_EQ(d.Code(1), 33);
    EXPECT_EQ(d.Key('b', 100 * kMs), "") << "keys are not taken while the result is shown";
    EXPECT_EQ(d.Tick(499 * kMs), "");
    s = d.Tick(500 * kMs);
    EXPECT_EQ(s.front(), '_');
    EXPECT_EQ(d.CurrentOutput(), 2);

    // The same remote key for a second output is refused; the prompt stays.
    s = d.Key('a', 600 * kMs);
    EXPECT_NE(s.find(Utf8ToCp1250("Ten kod steruje już wyjściem 1")), std::string::npos);
    EXPECT_EQ(d.Code(2), LearningDialogue::kNoCode);
    // Arrow keys arrive as escape sequences and are no remote keys.
    for (char b : std::string("\x1b[A\x1bOB"))
        EXPECT_EQ(d.Key(static_cast<uint8_t>(b), 700 * kMs), "");
    EXPECT_EQ(d.Code(2), LearningDialogue::kNoCode);
    // Space skips the output.
    EXPECT_NE(d.Key(' ', 800 * kMs), "");
    d.Tick(1300 * kMs);
    EXPECT_EQ(d.CurrentOutput(), 3);
    EXPECT_EQ(d.Code(2), LearningDialogue::kNoCode);
    EXPECT_EQ(d.OutputForCode(33), 1);
}

TEST(SimLearning, ControllerIgnoresCommandsWhileLearningAndUntilReset)
{
    Controller c;
    int64_t now = 0;
    c.Receive('R', now);
    EXPECT_TRUE(c.LearningRunning());
    Drain(c);
    // "x" is a remote key here, not a state request.
    c.Receive('x', now);
    const std::string answer = Drain(c);
    EXPECT_EQ(answer.find('!'), std::string::npos);
    EXPECT_NE(answer.find("komenda"), std::string::npos);
    EXPECT_EQ(c.Model().OutputReply(), std::string(16, '0') + "!");

    for (char k : std::string("bcdefghijklmnop")) {
        now += 2000 * kMs;
        c.Tick(now);
        Drain(c);
        c.Receive(static_cast<uint8_t>(k), now);
        Drain(c);
    }
    now += 2000 * kMs;
    c.Tick(now);
    Drain(c);
    EXPECT_FALSE(c.LearningRunning());
    EXPECT_TRUE(c.AwaitingReset());
    c.Receive('x', now);
    c.Receive('0', now);
    EXPECT_EQ(Drain(c), "");
    EXPECT_EQ(c.Model().OutputReply(), std::string(16, '0') + "!");

    c.PressReset(now);
    c.Receive('x', now);
    EXPECT_EQ(Drain(c), std::string(16, '0') + "!");
}

TEST(SimLearning, ConsoleClosingTheLineResetsALearningRun)
{
    Controller c;
    c.Receive('3', 0);
    c.Receive('R', 0);
    Drain(c);
    c.PeerClosed(0);
    EXPECT_FALSE(c.LearningRunning());
    c.Receive('x', 0);
    EXPECT_EQ(Drain(c), std::string(16, '0') + "!") << "a reset drops the outputs";

    // Outside learning a closed line changes nothing.
    c.Receive('3', 0);
    c.PeerClosed(0);
    c.Receive('x', 0);
    EXPECT_EQ(Drain(c), "0001000000000000!");
}
