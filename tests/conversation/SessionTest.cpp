#include "ControllerSession.h"
#include "RoutingReply.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>

namespace {

// A session whose line is a string: what it writes is kept, what the controller says is fed.
class SessionTest : public ::testing::Test {
protected:
    void Feed(const std::string& bytes)
    {
        for (char ch : bytes)
            session.HandleChar(ch);
    }
    // Lets the session's timers run for a while.
    static void Run(int ms) { QTest::qWait(ms); }

    std::string written;
    TControllerSession session{[this](const std::string& bytes) {
                                   written += bytes;
                                   return static_cast<int>(bytes.size());
                               },
                               nullptr, TControllerSession::Policy{20}};
};

TEST_F(SessionTest, WhileSuspendedNoRequestGoesOutWhoeverAsks)
{
    QSignalSpy modes(&session, &TControllerSession::ModeAnnounced);
    session.RequestOutputs();
    Feed("10100000");   // half an output reply is on the line
    session.Suspend();
    written.clear();

    Feed("00000000!");         // its end would start inputPoll
    Feed(std::string(16, '0'));   // an input reply's end would start outputPoll
    Feed("/");                 // the controller asks for an output read
    session.FirstInputReadDue();
    session.LineRestored();
    Feed("]");
    Run(120);
    EXPECT_EQ(written, "");
    EXPECT_FALSE(session.outputPoll->isActive() || session.inputPoll->isActive());
    EXPECT_EQ(modes.count(), 1);   // the displays still follow what arrives

    // Resuming restarts the cycle through outputPoll, and it runs as before.
    session.Resume();
    EXPECT_TRUE(session.outputPoll->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(written, std::string("x"), 1000);
    Feed(std::string(16, '1') + "!");
    QTRY_COMPARE_WITH_TIMEOUT(written, std::string("xq"), 1000);
}

TEST_F(SessionTest, EachRoutingRequestCountsOnlyItsOwnReply)
{
    QSignalSpy complete(&session, &TControllerSession::ConfigDumpComplete);
    session.BeginConfigDump();
    Feed(std::string(100, '1'));   // a reply cut short
    session.BeginConfigDump();
    std::string table(256, '0');
    table[5] = table[255] = '1';
    Feed(table);
    EXPECT_EQ(written, "CC");
    ASSERT_EQ(complete.count(), 1);
    EXPECT_EQ(complete.at(0).at(0).toByteArray(), QByteArray::fromStdString(table));
    EXPECT_FALSE(session.State().ConfigDumpActive);
}

// A session that keeps one request out at a time and holds the controller's notices back while
// a reply runs, as selvora-ctl and the hub use it.
class OneRequestSessionTest : public ::testing::Test {
protected:
    static TControllerSession::Policy Shared(bool polling)
    {
        TControllerSession::Policy policy{20};
        policy.polling = polling;
        policy.oneRequestAtATime = true;
        policy.holdNoticesInsideReply = true;
        return policy;
    }
    void Feed(TControllerSession& s, const std::string& bytes)
    {
        for (char ch : bytes)
            s.HandleChar(ch);
    }
    static std::string States(const QSignalSpy& spy)
    {
        std::string s;
        for (const QList<QVariant>& call : spy)
            s.push_back(call.at(1).toBool() ? '1' : '0');
        return s;
    }
    TControllerSession::Writer Line()
    {
        return [this](const std::string& bytes) {
            written += bytes;
            return static_cast<int>(bytes.size());
        };
    }

    std::string written;
};

TEST_F(OneRequestSessionTest, NoticesInsideAReplyNeverShiftIt)
{
    TControllerSession session(Line(), nullptr, Shared(false));
    QSignalSpy outputs(&session, &TControllerSession::OutputStateChanged);
    QSignalSpy inputs(&session, &TControllerSession::InputStateChanged);
    QSignalSpy modes(&session, &TControllerSession::ModeAnnounced);
    QSignalSpy notices(&session, &TControllerSession::OutputChangeNoticed);

    // A mode character announced as the output request went out lands in front of the reply.
    session.RequestOutputs();
    Feed(session, "]1000000000000001!");
    EXPECT_EQ(States(outputs), "1000000000000001");
    EXPECT_FALSE(session.ReplyDamaged());
    ASSERT_EQ(modes.count(), 1);   // handed over once the reply was complete
    EXPECT_EQ(modes.at(0).at(0).value<ControllerProtocol::Mode>(), ControllerProtocol::Mode::EqualInputs);

    // Without a cycle a '/' inside an input reply is only reported, and sends nothing.
    written.clear();
    session.RequestInputs();
    Feed(session, "01000000/00000001");
    EXPECT_EQ(States(inputs), "0100000000000001");
    EXPECT_EQ(notices.count(), 1);
    EXPECT_EQ(written, "q");

    // '?' and '[' inside a routing reply wait for its end; the table stays whole.
    QSignalSpy saved(&session, &TControllerSession::SavingFinished);
    session.BeginConfigDump();
    Feed(session, std::string(100, '0') + "?[" + std::string(155, '0') + "1");
    EXPECT_FALSE(session.State().ConfigDumpActive);
    const auto cells = Routing::DecodeReplyStrict(session.ConfigDumpRaw());
    ASSERT_TRUE(cells.has_value());
    EXPECT_TRUE(cells->At(1, 16));
    EXPECT_EQ(cells->Connections(), 1);
    EXPECT_EQ(saved.count(), 1);
    EXPECT_EQ(modes.count(), 2);
}

TEST_F(OneRequestSessionTest, AnythingButAStateInsideAReplyMarksItDamaged)
{
    TControllerSession session(Line(), nullptr, Shared(false));
    session.RequestInputs();
    Feed(session, "0000000x00000000");
    EXPECT_TRUE(session.ReplyDamaged());

    session.RequestOutputs();
    Feed(session, std::string(16, '0') + "!");
    EXPECT_FALSE(session.ReplyDamaged());
    Feed(session, "x!");   // outside any reply: no state is taken from it
    EXPECT_FALSE(session.ReplyDamaged());
}

TEST_F(OneRequestSessionTest, RequestsWaitTheirTurnAndACutReplyRestartsTheCycle)
{
    TControllerSession session(Line(), nullptr, Shared(true));
    QSignalSpy ended(&session, &TControllerSession::ReplyFinished);
    QSignalSpy outputs(&session, &TControllerSession::OutputStateChanged);
    session.RequestOutputs();
    session.RequestInputs();
    session.RequestOutputs();   // already out: asked for once more, after it
    session.BeginConfigDump();
    EXPECT_EQ(written, "x");

    // A '/' inside the reply waits, and then asks for the outputs before the waiting requests.
    Feed(session, "1/000000000000000!");
    EXPECT_EQ(States(outputs), "1000000000000000");
    EXPECT_EQ(written, "xx");
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).value<char>(), 'x');
    EXPECT_TRUE(ended.at(0).at(1).toBool());
    session.LineEndedReply();   // the line's word on the same reply changes nothing
    EXPECT_EQ(written, "xx");

    Feed(session, std::string(16, '0') + "!");
    EXPECT_EQ(written, "xxq");
    session.LineEndedReply();
    // The line gave up on the input reply after five characters: it is cut, the cycle starts
    // afresh, and the next waiting request goes out.
    Feed(session, "00000");
    session.LineEndedReply();
    EXPECT_EQ(written, "xxqx");
    ASSERT_EQ(ended.count(), 3);
    EXPECT_EQ(ended.at(2).at(0).value<char>(), 'q');
    EXPECT_FALSE(ended.at(2).at(1).toBool());
    EXPECT_FALSE(session.State().InputReadActive);
    EXPECT_TRUE(session.outputPoll->isActive());
}

}  // namespace
