#include "CommandLine.h"
#include "ControllerSession.h"
#include "CtlFailure.h"
#include "ProgressBar.h"
#include "ReplyGate.h"
#include "RoutingReply.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <limits>
#include <vector>
#include <string>

namespace {

// The line as a string: what the session writes is kept, what the controller says goes through
// the gate. The session's cycle never comes due, as in the tool.
class ReplyGateTest : public ::testing::Test {
protected:
    void Feed(const std::string& bytes)
    {
        for (char ch : bytes)
            gate.Feed(ch);
    }

    std::string written;
    TControllerSession session{[this](const std::string& bytes) {
                                   written += bytes;
                                   return static_cast<int>(bytes.size());
                               },
                               nullptr, std::numeric_limits<int>::max()};
    TReplyGate gate{session};
    QSignalSpy outputs{&session, &TControllerSession::OutputStateChanged};
    QSignalSpy inputs{&session, &TControllerSession::InputStateChanged};
    QSignalSpy modes{&session, &TControllerSession::ModeCaptionChanged};
};

std::string States(const QSignalSpy& spy)
{
    std::string s;
    for (const QList<QVariant>& call : spy)
        s.push_back(call.at(1).toBool() ? '1' : '0');
    return s;
}

TEST_F(ReplyGateTest, CharactersOfTheControllersOwnAccordNeverShiftAReply)
{
    // A mode character announced as the output request went out lands in front of the reply.
    session.Button3Click();
    Feed("]1000000000000001!");
    EXPECT_EQ(States(outputs), "1000000000000001");
    EXPECT_FALSE(gate.Damaged());
    ASSERT_EQ(modes.count(), 1);   // handed over once the reply was complete
    EXPECT_EQ(modes.at(0).at(0).toString(), TMessageParser::kModeEqualInputs);

    // A '/' inside an input reply is counted, not read as a state, and sends nothing.
    written.clear();
    session.Button2Click();
    Feed("01000000/00000001");
    EXPECT_EQ(States(inputs), "0100000000000001");
    EXPECT_EQ(gate.OutputRequests(), 1);
    EXPECT_EQ(written, "q");

    // '?' and '[' inside a routing reply wait for its end; the table stays whole.
    QSignalSpy saved(&session, &TControllerSession::SavingFinished);
    session.BeginConfigDump();
    Feed(std::string(100, '0') + "?[" + std::string(155, '0') + "1");
    EXPECT_FALSE(session.State().ConfigDumpActive);
    const auto cells = Routing::DecodeReplyStrict(session.ConfigDumpRaw());
    ASSERT_TRUE(cells.has_value());
    EXPECT_TRUE(cells->At(1, 16));
    EXPECT_EQ(cells->Connections(), 1);
    EXPECT_EQ(saved.count(), 1);
    EXPECT_EQ(modes.count(), 2);
}

TEST_F(ReplyGateTest, AnythingButAStateInsideAReplyMarksItDamaged)
{
    session.Button2Click();
    Feed("0000000x00000000");
    EXPECT_TRUE(gate.Damaged());

    gate.ClearDamage();
    session.Button3Click();
    Feed(std::string(16, '0') + "!");
    EXPECT_FALSE(gate.Damaged());
    Feed("x!");   // outside any reply: no state is taken from it
    EXPECT_FALSE(gate.Damaged());
}

TCtlRequest Parse(const std::vector<const char*>& args)
{
    QStringList list;
    for (const char* a : args)
        list << QString::fromUtf8(a);
    return ParseCommandLine(list);
}

TEST(CommandLine, ReadsEveryCommandWithItsOptionsAnywhere)
{
    TCtlRequest r = Parse({"out", "16", "toggle", "--port=COM3", "--timeout", "250"});
    EXPECT_EQ(r.command, TCommand::Out);
    EXPECT_EQ(r.output, 16);
    EXPECT_EQ(r.outAction, TOutAction::Toggle);
    EXPECT_EQ(r.port, QStringLiteral("COM3"));
    EXPECT_EQ(r.timeoutMs, 250);

    r = Parse({"--port", "/dev/ttyUSB0", "mode", "next"});
    EXPECT_EQ(r.command, TCommand::Mode);
    EXPECT_FALSE(r.mode.has_value());
    r = Parse({"--port", "x", "mode", "Tylko pilot i komputer"});
    EXPECT_EQ(r.mode, TMode::RemoteOnly);
    r = Parse({"--port", "x", "mode", "Remote-First"});
    EXPECT_EQ(r.mode, TMode::RemoteFirst);

    r = Parse({"--port", "x", "routing", "get", "--names", "config.ini"});
    EXPECT_EQ(r.command, TCommand::RoutingGet);
    EXPECT_EQ(r.namesFile, QStringLiteral("config.ini"));
    EXPECT_TRUE(r.file.isEmpty());
    r = Parse({"--port", "x", "routing", "set", "--force", "--", "--odd-name"});
    EXPECT_EQ(r.command, TCommand::RoutingSet);
    EXPECT_TRUE(r.force);
    EXPECT_EQ(r.file, QStringLiteral("--odd-name"));

    // Help needs no port, for the tool or for one command.
    EXPECT_EQ(Parse({"help", "routing"}).command, TCommand::Routing);
    EXPECT_TRUE(Parse({"watch", "--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
}

TEST(CommandLine, RefusesWhatItCannotDoWithTheUsageCode)
{
    const std::vector<std::vector<const char*>> bad = {
        {},
        {"status"},                                   // no port
        {"--port", "x", "out", "17", "on"},
        {"--port", "x", "out", "3", "dim"},
        {"--port", "x", "out", "3"},
        {"--port", "x", "mode", "turbo"},
        {"--port", "x", "routing"},
        {"--port", "x", "routing", "copy", "a"},
        {"--port", "x", "routing", "set"},
        {"--port", "x", "routing", "get", "--force"},
        {"--port", "x", "status", "--names", "c.ini"},
        {"--port", "x", "status", "now"},
        {"--port", "x", "--timeout", "0", "status"},
        {"--port", "x", "--verbose", "status"},
        {"--port"},
        {"--port", "x", "reboot"},
    };
    for (const auto& args : bad) {
        try {
            Parse(args);
            std::string line;
            for (const char* a : args)
                line += std::string(a) + ' ';
            ADD_FAILURE() << "accepted: " << line;
        } catch (const ECtlFailure& e) {
            EXPECT_EQ(e.Code(), TExitCode::Usage);
            EXPECT_TRUE(e.Message().contains(QLatin1String("--help"))) << e.Message().toStdString();
        }
    }
}

TEST(ProgressBar, FillsInProportionAndKeepsItsWidth)
{
    EXPECT_EQ(TProgressBar::Line(QStringLiteral("w"), 0, 256, 8), QStringLiteral("w [        ]   0/256"));
    EXPECT_EQ(TProgressBar::Line(QStringLiteral("w"), 128, 256, 8), QStringLiteral("w [####    ] 128/256"));
    EXPECT_EQ(TProgressBar::Line(QStringLiteral("w"), 256, 256, 8), QStringLiteral("w [########] 256/256"));
}

}  // namespace
