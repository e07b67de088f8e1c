#include "ReplyRouter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using hub::ClientId;
using hub::LinePhase;
using hub::TimePoint;
using hub::TReplyRouter;

namespace {

// Records what the router does: the wire with the time of every byte, each client's bytes, the
// reply ends and the phases. It is the line too, one that may be made to fail.
struct Recorder : hub::IRouterSink, IComWriter {
    TimePoint now;
    std::string wire;
    std::vector<TimePoint> wireTimes;
    std::map<ClientId, std::string> got;
    std::vector<std::string> ends;
    std::vector<LinePhase> phases;
    std::vector<std::string> log;
    bool lineBroken = false;
    std::vector<std::string> failures;
    int settled = 0;
    std::function<void()> onSettled;

    bool WriteBytes(const std::string& bytes, std::string& why) override
    {
        if (lineBroken) {
            why = "broken";
            return false;
        }
        wire += bytes;
        wireTimes.insert(wireTimes.end(), bytes.size(), now);
        return true;
    }
    void LineFailed(const std::string& why) override { failures.push_back(why); }
    void Settled() override
    {
        ++settled;
        if (onSettled)
            onSettled();
    }
    void DeliverToClient(ClientId client, const std::string& bytes) override { got[client] += bytes; }
    void ReplyEnded(ClientId client, char request, bool complete) override
    {
        ends.push_back(std::to_string(client) + request + (complete ? "+" : "-"));
    }
    void PhaseChanged(LinePhase phase) override { phases.push_back(phase); }
    void Log(const std::string& text, const std::string&) override { log.push_back(text); }
};

class RouterTest : public ::testing::Test {
protected:
    Recorder out;
    TimePoint now = TimePoint{} + 1h;
    TReplyRouter router{out, out, true, [this] { return now; }};

    void SetUp() override
    {
        out.now = now;
        for (ClientId id : {1, 2, 3})
            router.AddClient(id);
    }
    void Client(ClientId id, const std::string& bytes) { router.FromClient(id, bytes, now); }
    void Controller(const std::string& bytes)
    {
        for (char ch : bytes) {
            router.FromController(std::string(1, ch), now);
            Advance(1ms);
        }
    }
    // Lets time pass, ticking the router at each deadline on the way.
    void Advance(std::chrono::nanoseconds step)
    {
        const TimePoint until = now + step;
        for (auto next = router.NextDeadline(); next && *next <= until; next = router.NextDeadline()) {
            now = std::max(now, *next);
            out.now = now;
            router.Tick(now);
        }
        now = until;
        out.now = now;
        router.Tick(now);
    }
    static std::string States(char first = '1') { return std::string(1, first) + std::string(15, '0'); }
};

TEST_F(RouterTest, InterleavedClientsEachGetTheirOwnReply)
{
    Client(1, "x");
    Client(2, "q");
    EXPECT_EQ(out.wire, "x");   // one request at a time

    Client(2, "4");             // an output command does not wait
    EXPECT_EQ(out.wire, "x4");

    Controller(States() + "!");
    EXPECT_EQ(out.got[1], States() + "!");
    EXPECT_EQ(out.wire, "x4q");
    EXPECT_TRUE(out.got[2].empty());

    Controller(States('0'));
    EXPECT_EQ(out.got[2], States('0'));
    EXPECT_EQ(out.got[1], States() + "!");
    EXPECT_TRUE(out.got[3].empty());
    EXPECT_EQ(out.ends, (std::vector<std::string>{"1x+", "2q+"}));

    // The routing table is 256 characters long, not 16.
    Client(3, "C");
    Controller(std::string(256, '0'));
    EXPECT_EQ(out.got[3].size(), 256u);
    EXPECT_EQ(out.ends.back(), "3C+");
}

TEST_F(RouterTest, NoticesWaitForTheEndOfAClientsRepliesAndRepeatsMerge)
{
    Client(1, "q");
    Client(2, "x");   // waits behind client 1
    Controller("0000");
    Controller("/");
    Controller("000");
    Controller("/");
    Controller("]");
    EXPECT_EQ(out.got[3], "//]");   // nothing pending: at once, each one
    EXPECT_EQ(out.got[1], "0000000");
    EXPECT_TRUE(out.got[2].empty());

    Controller("000000000");
    EXPECT_EQ(out.got[1], std::string(16, '0') + "/]");   // after its reply, '/' once
    EXPECT_TRUE(out.got[2].empty());

    Controller(States() + "!");
    EXPECT_EQ(out.got[2], States() + "!/]");

    Controller("?");   // neither a reply nor a notice
    EXPECT_EQ(out.got[3], "//]");
    EXPECT_FALSE(out.log.empty());
}

TEST_F(RouterTest, AShortReplyEndsAfterAQuietTenthOfASecond)
{
    Client(1, "q");
    Client(2, "x");
    Controller("10101");
    Advance(98ms);
    EXPECT_EQ(out.wire, "q");
    Advance(3ms);
    EXPECT_EQ(out.ends, (std::vector<std::string>{"1q-"}));
    EXPECT_EQ(out.got[1], "10101");
    EXPECT_EQ(out.wire, "qx");

    // No answer at all: the reply start counts as well.
    Advance(101ms);
    EXPECT_EQ(out.ends.back(), "2x-");
    Controller("1");   // late: belongs to nobody
    EXPECT_TRUE(out.got[2].empty());
    EXPECT_EQ(out.got[1], "10101");
}

TEST_F(RouterTest, AClientClosingMidReplyCostsTheOthersNothing)
{
    Client(1, "C");
    Client(2, "x");
    Controller(std::string(100, '1'));
    router.RemoveClient(1, now);
    Controller(std::string(156, '1'));
    EXPECT_EQ(out.wire, "Cx");   // the dump ran its course before the next request
    Controller(States() + "!");
    EXPECT_EQ(out.got[2], States() + "!");
}

TEST_F(RouterTest, LearningGivesTheLineToOneClientUntilItCloses)
{
    Client(1, "R");
    EXPECT_EQ(router.Phase(), LinePhase::Learning);
    Client(2, "x5");
    Client(1, "\x1b[A k");
    EXPECT_EQ(out.wire, "R\x1b[A k");   // passed through, held for nobody else

    Controller("_\x1b[2J[Wyj/]");
    EXPECT_EQ(out.got[1], "_\x1b[2J[Wyj/]");
    EXPECT_TRUE(out.got[2].empty());
    EXPECT_TRUE(out.got[3].empty());

    router.RemoveClient(1, now);
    EXPECT_EQ(router.Phase(), LinePhase::AwaitingReset);
    EXPECT_EQ(out.wire, "R\x1b[A kx5");

    Advance(101ms);   // the controller waits for its Reset and says nothing
    EXPECT_EQ(router.Phase(), LinePhase::AwaitingReset);
    Client(2, "x");
    Controller(States() + "!");
    EXPECT_EQ(router.Phase(), LinePhase::Normal);
}

TEST_F(RouterTest, RoutingWriteHoldsOthersKeepsItsGapsAndRefusesASecondWriter)
{
    Client(2, "x");
    const TimePoint cWritten = now;
    Client(1, "c");   // waits for client 2's reply
    Advance(20ms);
    Controller(States() + "!");   // 17 ms
    EXPECT_EQ(out.wire, "xc");
    const TimePoint cForwarded = out.wireTimes[1];
    EXPECT_GT(cForwarded, cWritten);
    EXPECT_EQ(router.Phase(), LinePhase::RoutingWrite);

    // The writer's pacing as the console keeps it: 1000 ms after "c", then 100 ms per cell.
    const TimePoint firstCell = cWritten + 1000ms;
    Advance(firstCell - now);
    std::string cells;
    for (int i = 0; i < 256; ++i) {
        const std::string cell = i % 3 ? "0" : "1";
        cells += cell;
        Client(1, cell);
        if (i == 10) {
            Client(2, "q3");    // held
            Client(3, "c01");   // refused, its cells dropped
            Client(3, "x");     // held
        }
        Advance(100ms);
    }
    Advance(100ms);
    ASSERT_EQ(out.wire, "xc" + cells);
    for (int i = 2; i < static_cast<int>(out.wireTimes.size()); ++i) {
        const auto gap = out.wireTimes[i] - out.wireTimes[i - 1];
        EXPECT_GE(gap, i == 2 ? 1000ms : 100ms) << "byte " << i;
    }

    Controller("?");
    EXPECT_EQ(out.got[1], "?");
    EXPECT_EQ(router.Phase(), LinePhase::Normal);
    // Held bytes go out in their order; the requests one after the other.
    EXPECT_EQ(out.wire.substr(2 + 256), "q3");
    EXPECT_TRUE(out.got[3].empty());
    Controller(States());
    EXPECT_EQ(out.wire.substr(2 + 256), "q3x");
}

TEST_F(RouterTest, AfterAnAbandonedWriteTheWritersCellsAreNotOutputCommands)
{
    Client(1, "c");
    Advance(1000ms);
    Client(1, "1");
    Client(2, "x");
    Advance(5001ms);   // the controller gives up on the write
    EXPECT_EQ(router.Phase(), LinePhase::Normal);
    EXPECT_EQ(out.wire, "c1x");
    Controller(States() + "!");
    Client(1, "0110");
    EXPECT_EQ(out.wire, "c1x");
    Client(1, "q1");   // any other byte ends the dropping
    EXPECT_EQ(out.wire, "c1xq1");
}

}  // namespace

TEST_F(RouterTest, RequestsTakeTurnsByClientAndAGoneClientsQueueNeverGoesOut)
{
    Client(1, std::string(20, 'q'));   // a careless client: sixteen are kept
    Client(2, "x");
    Client(3, "q");
    Controller(States('0'));
    EXPECT_EQ(out.wire, "qx");   // the others' turn comes before its second
    Controller(States() + "!");
    EXPECT_EQ(out.wire, "qxq");
    Controller(States('0'));
    EXPECT_EQ(out.wire, "qxqq");
    Client(2, "x");
    Controller("0000");
    router.RemoveClient(1, now);   // mid-reply, fourteen requests still queued
    Controller(std::string(12, '0'));
    EXPECT_EQ(out.wire, "qxqqx");
    Controller(States() + "!");
    Advance(1s);
    EXPECT_EQ(out.wire, "qxqqx");
    EXPECT_EQ(out.got[2], States() + "!" + States() + "!");
    EXPECT_EQ(out.got[1], std::string(16 + 4, '0'));   // nothing after it left
}

TEST_F(RouterTest, AnInProcessClientMayAskAgainOnceTheRouterSettlesAndFailedWritesAreTold)
{
    // Like the hub's session: it reads its reply only when the router has returned, and asks
    // again from there. That call settles too, or its reply's deadline would not be armed.
    const auto write = router.ClientWriter(1);
    bool asking = false;
    bool askSettled = false;
    out.onSettled = [&] {
        if (asking) {
            askSettled = true;
        } else if (out.got[1] == States() + "!" && out.wire == "x") {
            asking = true;
            write("q");
            asking = false;
        }
    };
    EXPECT_EQ(write("x"), 1);
    EXPECT_EQ(out.settled, 1);
    Controller(States() + "!");
    EXPECT_EQ(out.wire, "xq");
    EXPECT_TRUE(askSettled);
    EXPECT_TRUE(router.Waiting(1));

    out.onSettled = nullptr;
    out.lineBroken = true;
    Client(2, "4");
    ASSERT_EQ(out.failures, std::vector<std::string>{"broken"});
    EXPECT_EQ(out.wire, "xq");
}
