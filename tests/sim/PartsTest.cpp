#include "ControlCommand.h"
#include "ControlSequencer.h"
#include "FaultInjector.h"
#include "StateCodec.h"
#include "TxPacer.h"

#include <gtest/gtest.h>

using namespace sim;
using K = ControlCommand::Kind;

namespace {

ControlCommand Parse(const std::string& line)
{
    ControlCommand c;
    std::string error;
    EXPECT_TRUE(ParseControlLine(line, c, error)) << line << ": " << error;
    return c;
}

bool Rejects(const std::string& line)
{
    ControlCommand c;
    std::string error;
    const bool ok = ParseControlLine(line, c, error);
    return !ok && !error.empty();
}

}  // namespace

TEST(SimControlChannel, ParsesEveryCommandAndRejectsMalformedLines)
{
    ControlCommand c = Parse("in 16 on");
    EXPECT_EQ(c.kind, K::Input);
    EXPECT_EQ(c.channel, 16);
    EXPECT_TRUE(c.on);
    EXPECT_FALSE(Parse("  in 1 off  # comment").on);
    EXPECT_EQ(Parse("press 3").ms, kDefaultPressMs);
    EXPECT_EQ(Parse("press 3 50").ms, 50);
    EXPECT_EQ(Parse("wait 250").ms, 250);
    EXPECT_EQ(Parse("hangup").ms, kDefaultHangupMs);
    EXPECT_EQ(Parse("hangup 20\r").ms, 20);
    EXPECT_TRUE(Parse("silent on").on);
    EXPECT_EQ(Parse("remote 7").channel, 7);
    EXPECT_EQ(Parse("send 3f 5F2f").bytes, "?_/");
    EXPECT_EQ(Parse("mode").kind, K::Mode);
    EXPECT_EQ(Parse("quit").kind, K::Quit);
    EXPECT_EQ(Parse("reset").kind, K::Reset);
    EXPECT_EQ(Parse("status").kind, K::Status);
    EXPECT_EQ(Parse("").kind, K::Nothing);
    EXPECT_EQ(Parse("# only a comment").kind, K::Nothing);

    for (const char* bad : {"in 0 on", "in 17 on", "in 3", "in 3 maybe", "in x on", "press", "press 2 -5",
             "wait", "wait -1", "wait 1e3", "wait 99999999999999", "silent", "hangup 1 2", "remote 0",
             "send", "send 3", "send zz", "mode now", "jump", "IN 1 on"}) {
        EXPECT_TRUE(Rejects(bad)) << bad;
    }
}

TEST(SimControlChannel, SequencerHoldsCommandsBehindWaitsAndExpandsPresses)
{
    ControlSequencer s;
    s.Push(Parse("in 1 on"));
    s.Push(Parse("wait 100"));
    s.Push(Parse("press 2 40"));
    s.Push(Parse("quit"));

    auto next = s.Next(0);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->kind, K::Input);
    EXPECT_FALSE(s.Next(0)) << "the wait starts";
    ASSERT_TRUE(s.Deadline());
    EXPECT_EQ(*s.Deadline(), 100000);
    EXPECT_FALSE(s.Next(99999));
    next = s.Next(100000);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->kind, K::Input);
    EXPECT_EQ(next->channel, 2);
    EXPECT_TRUE(next->on);
    EXPECT_FALSE(s.Next(100000));
    next = s.Next(140000);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->channel, 2);
    EXPECT_FALSE(next->on);
    next = s.Next(140000);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->kind, K::Quit);
    EXPECT_TRUE(s.Idle(140000));

    ControlSequencer full;
    for (size_t i = 0; i < ControlSequencer::kMaxPending; ++i)
        ASSERT_TRUE(full.Push(Parse("mode")));
    EXPECT_FALSE(full.Push(Parse("mode")));
}

TEST(SimState, RoundTripsAndRefusesDamagedFiles)
{
    ControllerModel m;
    m.SetMode(Mode::RemoteOnly);
    m.SetOutput(1, true);
    m.SetOutput(16, true);
    m.SetRoute(3, 5, true);
    m.SetRoute(16, 16, true);
    const std::string text = EncodeState(m);

    ControllerModel back;
    std::string error;
    ASSERT_TRUE(DecodeState(text, back, error)) << error;
    EXPECT_EQ(back.GetMode(), Mode::RemoteOnly);
    EXPECT_EQ(back.OutputReply(), m.OutputReply());
    EXPECT_EQ(back.RoutingDump(), m.RoutingDump());

    const std::string damaged[] = {
        "",
        "garbage\n",
        text.substr(0, text.size() / 2),
        "selvora-sim-state 1\nmode 3\noutputs 0000000000000000\nrouting " + std::string(256, '0') + "\n",
        "selvora-sim-state 1\nmode 0\noutputs 000000000000000x\nrouting " + std::string(256, '0') + "\n",
        "selvora-sim-state 1\nmode 0\noutputs 0000000000000000\nrouting " + std::string(255, '0') + "\n",
    };
    for (const std::string& d : damaged) {
        ControllerModel untouched;
        untouched.SetOutput(2, true);
        EXPECT_FALSE(DecodeState(d, untouched, error)) << d;
        EXPECT_EQ(untouched.OutputReply(), "0100000000000000!");
    }
}

TEST(SimFaults, EachFaultDoesWhatItSaysAndNothingWhenOff)
{
    const Emission x{EmissionKind::StateReply, "1010101010101010!"};
    const Emission q{EmissionKind::StateReply, "1111000011110000"};
    const Emission ack{EmissionKind::Acknowledge, "?"};
    std::vector<std::string> events;

    FaultInjector off({}, 1);
    EXPECT_FALSE(off.Active());
    EXPECT_EQ(off.Apply(x, events), x.bytes);
    EXPECT_TRUE(events.empty());

    FaultInjector drop({1.0, 0, 0}, 1);
    EXPECT_EQ(drop.Apply(x, events), "");
    EXPECT_EQ(events.size(), 17u);

    FaultInjector garbage({0, 1.0, 0}, 1);
    const std::string g = garbage.Apply(q, events);
    ASSERT_EQ(g.size(), 32u);
    for (size_t i = 0; i < q.bytes.size(); ++i)
        EXPECT_EQ(g[2 * i + 1], q.bytes[i]);

    FaultInjector cut({0, 0, 1.0}, 1);
    for (int i = 0; i < 50; ++i) {
        const std::string sx = cut.Apply(x, events);
        ASSERT_FALSE(sx.empty());
        EXPECT_LT(sx.size(), x.bytes.size());
        EXPECT_EQ(sx.back(), '!') << "an output reply keeps its end mark";
        EXPECT_EQ(x.bytes.compare(0, sx.size() - 1, sx, 0, sx.size() - 1), 0);
        const std::string sq = cut.Apply(q, events);
        EXPECT_LT(sq.size(), q.bytes.size());
        EXPECT_EQ(cut.Apply(ack, events), "?") << "only state replies are cut";
    }

    // Rates in between: roughly the asked share, and the same for the same seed.
    FaultInjector a({0.25, 0, 0}, 42), b({0.25, 0, 0}, 42);
    const Emission big{EmissionKind::Dialogue, std::string(20000, 'z')};
    const std::string ra = a.Apply(big, events);
    EXPECT_EQ(ra, b.Apply(big, events));
    EXPECT_NEAR(static_cast<double>(ra.size()) / 20000.0, 0.75, 0.02);

    double rate = 0;
    EXPECT_TRUE(ParseRate("0.5", rate));
    EXPECT_EQ(rate, 0.5);
    for (const char* bad : {"", "-0.1", "1.5", "abc", "0.5x", "nan"})
        EXPECT_FALSE(ParseRate(bad, rate)) << bad;
}

TEST(SimPacing, BytesKeepToTheUartGridAndRestartAfterIdle)
{
    TxPacer p(true);
    const int64_t t0 = 5000000000;
    EXPECT_TRUE(p.Due(t0));
    p.Sent(t0);
    EXPECT_FALSE(p.Due(t0 + TxPacer::kByteNs - 1));
    // A slightly late byte does not push the following ones back...
    p.Sent(t0 + TxPacer::kByteNs + 50000);
    EXPECT_EQ(p.NextNs(), t0 + 2 * TxPacer::kByteNs);
    // ...a stall is made up, but never closer than 90 % of a byte time.
    const int64_t late = t0 + 2 * TxPacer::kByteNs + 5000000;
    p.Sent(late);
    EXPECT_EQ(p.NextNs(), late + TxPacer::kMinGapNs);
    int64_t now = late;
    int caughtUp = 0;
    for (int i = 0; i < 100 && p.NextNs() - now < TxPacer::kByteNs; ++i, ++caughtUp) {
        EXPECT_GE(p.NextNs() - now, TxPacer::kMinGapNs);
        now = p.NextNs();
        p.Sent(now);
    }
    EXPECT_LT(caughtUp, 100) << "back on the grid";
    EXPECT_EQ((p.NextNs() - t0) % TxPacer::kByteNs, 0);
    // After the queue ran empty the next byte goes at once and the grid restarts there.
    p.Idle();
    const int64_t t1 = t0 + 100000;
    EXPECT_TRUE(p.Due(t1));
    p.Sent(t1);
    EXPECT_EQ(p.NextNs(), t1 + TxPacer::kByteNs);
    EXPECT_TRUE(TxPacer(false).Due(0));
}
