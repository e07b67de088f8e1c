#include "MessageParser.h"
#include "ModeCaptions.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// Records what the parser asks the window to do; requests do the window's bookkeeping.
struct Recorder : IParserEffects {
    TReceiveState* state = nullptr;
    std::map<int, bool> inputs, outputs;
    std::vector<QString> dumpLines;
    QString mode;
    int clears = 0, outputRequests = 0, savingMessages = 0, timer6 = 0, timer7 = 0;
    std::vector<std::string> order;

    void ClearTerminal() override { ++clears; order.push_back("clear"); }
    void AppendDumpLine(const QString& line) override { dumpLines.push_back(line); }
    void RequestOutputs() override
    {
        ++outputRequests;
        state->BeginOutputRead();
        order.push_back("x");
    }
    void ShowSavingFinished() override { ++savingMessages; order.push_back("?"); }
    void InputReplyEnded() override { ++timer6; order.push_back("t6"); }
    void OutputReplyEnded() override { ++timer7; order.push_back("t7"); }
    void SetInputState(int n, bool on) override { inputs[n] = on; }
    void SetOutputState(int n, bool on) override { outputs[n] = on; order.push_back("out"); }
    void SetMode(ControllerProtocol::Mode m) override { mode = ModeCaption(m); order.push_back("mode"); }
};

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override { fx.state = &st; }
    void Feed(const std::string& s)
    {
        for (char ch : s)
            parser.HandleChar(ch);
    }
    static std::string Block(int onlyOneAt)   // 16 chars, '1' at 1-based position or none
    {
        std::string b(16, '0');
        if (onlyOneAt > 0)
            b[onlyOneAt - 1] = '1';
        return b;
    }
    Recorder fx;
    TReceiveState st;
    TMessageParser parser{st, fx};
};

TEST_F(ParserTest, OutputReplySetsIndicatorsAndEndsOnBang)
{
    st.BeginOutputRead();
    Feed("1" + std::string(14, '0') + "1");
    EXPECT_TRUE(st.OutputReadActive);
    Feed("!");
    ASSERT_EQ(fx.outputs.size(), 16u);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(fx.outputs[n], n == 1 || n == 16) << "output " << n;
    EXPECT_FALSE(st.OutputReadActive);
    EXPECT_EQ(fx.timer7, 1);
    EXPECT_EQ(fx.timer6, 0);

    // Characters past the 16th are counted but change nothing; only '!' ends the reply.
    fx.outputs.clear();
    st.BeginOutputRead();
    Feed(std::string(16, '1') + "10\r\n");
    EXPECT_EQ(fx.outputs.size(), 16u);
    EXPECT_EQ(st.OutputReadPosition, 20);
    EXPECT_TRUE(st.OutputReadActive);
}

TEST_F(ParserTest, InputReplyChecksBoxesAndRestartsPolling)
{
    st.BeginInputRead();
    Feed("01" + std::string(13, '0'));
    EXPECT_EQ(fx.timer6, 0);
    EXPECT_TRUE(st.InputReadActive);
    Feed("0");
    ASSERT_EQ(fx.inputs.size(), 16u);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(fx.inputs[n], n == 2) << "input " << n;
    EXPECT_EQ(fx.timer6, 1);
    EXPECT_FALSE(st.InputReadActive);
    EXPECT_EQ(st.InputReadPosition, 0);

    // Line ends and any other character take a position and count as inactive.
    fx.inputs.clear();
    st.BeginInputRead();
    Feed("\r\n1x" + std::string(12, '1'));
    EXPECT_FALSE(fx.inputs[1]);
    EXPECT_FALSE(fx.inputs[2]);
    EXPECT_TRUE(fx.inputs[3]);
    EXPECT_FALSE(fx.inputs[4]);
    EXPECT_TRUE(fx.inputs[16]);
    EXPECT_EQ(fx.timer6, 2);
}

TEST_F(ParserTest, BothRepliesCountTheSameCharacters)
{
    st.BeginOutputRead();
    st.BeginInputRead();
    Feed(std::string(16, '1'));
    EXPECT_EQ(fx.inputs.size(), 16u);
    EXPECT_EQ(fx.outputs.size(), 16u);
    EXPECT_EQ(fx.timer6, 1);
    EXPECT_TRUE(st.OutputReadActive);
}

TEST_F(ParserTest, RoutingDumpListsInputsInFallingOrder)
{
    st.ConfigDumpActive = true;
    Feed("1" + std::string(14, '0') + "1");     // output 1: inputs 16 and 1
    for (int m = 2; m <= 16; ++m)
        Feed(Block(0));
    ASSERT_EQ(fx.dumpLines.size(), 16u);
    EXPECT_EQ(fx.dumpLines[0], QStringLiteral("Wyjście 1 jest sterowane przez wejścia : 16,1"));
    EXPECT_EQ(fx.dumpLines[8], QStringLiteral("Wyjście 9 jest sterowane przez wejścia : "));
    EXPECT_EQ(fx.dumpLines[9], QStringLiteral("Wyjście 10 jest sterowane przez wejścia: "));
    EXPECT_EQ(fx.dumpLines[15], QStringLiteral("Wyjście 16 jest sterowane przez wejścia: "));
    EXPECT_EQ(parser.ListField(1), QStringLiteral("16,1"));
    EXPECT_FALSE(st.ConfigDumpActive);
    EXPECT_EQ(st.ConfigDumpPosition, 0);
}

TEST_F(ParserTest, RoutingDumpSingleInputsKeepTheirComma)
{
    const std::pair<int, const char*> cases[] = {{13, "4,"}, {12, "5,"}, {6, "11,"}, {2, "15,"}, {16, "1"}};
    for (const auto& [pos, list] : cases) {
        fx.dumpLines.clear();
        st.ConfigDumpActive = true;
        for (int m = 1; m <= 16; ++m)
            Feed(Block(pos));
        ASSERT_EQ(fx.dumpLines.size(), 16u);
        for (int m = 1; m <= 16; ++m) {
            EXPECT_EQ(fx.dumpLines[m - 1], TMessageParser::DumpLinePrefix(m) + QLatin1String(list))
                << "position " << pos << " output " << m;
            EXPECT_EQ(parser.ListField(m), QLatin1String(list));
        }
    }
    // Several inputs, and a fresh dump starts with empty lists.
    fx.dumpLines.clear();
    st.ConfigDumpActive = true;
    Feed("1000000000010000");   // inputs 16 and 5
    Feed("0000000000000101");   // inputs 3 and 1
    for (int m = 3; m <= 16; ++m)
        Feed(Block(0));
    EXPECT_EQ(fx.dumpLines[0], TMessageParser::DumpLinePrefix(1) + "16,5,");
    EXPECT_EQ(fx.dumpLines[1], TMessageParser::DumpLinePrefix(2) + "3,1");
    EXPECT_EQ(parser.ListField(3), QString());
}

TEST_F(ParserTest, CharacterAfterTheDumpBelongsToNoDump)
{
    st.ConfigDumpActive = true;
    Feed(std::string(255, '0'));
    EXPECT_TRUE(st.ConfigDumpActive);
    EXPECT_EQ(st.ConfigDumpPosition, 255);
    Feed("0");
    EXPECT_FALSE(st.ConfigDumpActive);
    EXPECT_EQ(fx.dumpLines.size(), 16u);
    Feed("1");
    EXPECT_EQ(fx.dumpLines.size(), 16u);
    EXPECT_EQ(st.ConfigDumpPosition, 0);

    // A request made in the middle of a dump continues where the dump stands.
    st.ConfigDumpActive = true;
    Feed(std::string(20, '0'));
    st.ConfigDumpActive = true;
    EXPECT_EQ(st.ConfigDumpPosition, 20);
}

TEST_F(ParserTest, SlashRequestsOutputsWithoutCountingItself)
{
    st.BeginOutputRead();
    Feed("111");   // a regular reply interrupted by the controller's '/'
    Feed("/");
    EXPECT_EQ(fx.outputRequests, 1);
    EXPECT_TRUE(st.OutputReadActive);
    EXPECT_EQ(st.OutputReadPosition, 0);
    fx.outputs.clear();
    Feed(std::string(15, '0') + "1!");
    ASSERT_EQ(fx.outputs.size(), 16u);
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(fx.outputs[n], n == 16) << "output " << n;
    EXPECT_EQ(fx.timer7, 1);
}

TEST_F(ParserTest, QuestionMarkOnlyShowsTheMessage)
{
    Feed("?");
    EXPECT_EQ(fx.savingMessages, 1);
    EXPECT_FALSE(st.InputReadActive);
    EXPECT_FALSE(st.OutputReadActive);
    EXPECT_FALSE(st.ConfigDumpActive);
    EXPECT_EQ(st.InputReadPosition, 0);
    EXPECT_EQ(st.OutputReadPosition, 0);
    EXPECT_EQ(fx.timer6 + fx.timer7 + fx.outputRequests + fx.clears, 0);
    EXPECT_TRUE(fx.inputs.empty());
    EXPECT_TRUE(fx.outputs.empty());
    EXPECT_TRUE(fx.mode.isEmpty());
}

TEST_F(ParserTest, ModeCharactersAlsoCountInActiveReplies)
{
    st.BeginOutputRead();
    Feed("1]");
    EXPECT_EQ(fx.mode, QStringLiteral("Wejścia równorzędne"));
    EXPECT_FALSE(fx.outputs[2]);
    EXPECT_EQ(st.OutputReadPosition, 2);
    // The caption is set before the reply's state in the same call.
    EXPECT_EQ(fx.order[fx.order.size() - 2], "mode");
    Feed("}");
    EXPECT_EQ(fx.mode, QStringLiteral("Pilot i komputer nadrzędne"));
    Feed("[");
    EXPECT_EQ(fx.mode, QStringLiteral("Tylko pilot i komputer"));
    EXPECT_EQ(st.OutputReadPosition, 4);
}

TEST_F(ParserTest, UnderscoreClearsAndStillCounts)
{
    st.BeginInputRead();
    Feed("_");
    EXPECT_EQ(fx.clears, 1);
    EXPECT_EQ(st.InputReadPosition, 1);
    EXPECT_FALSE(fx.inputs[1]);
    Feed("abc");
    EXPECT_EQ(fx.clears, 1);
}

}  // namespace
