#include "ControllerSession.h"
#include "RoutingReply.h"
#include "RoutingTableRead.h"
#include "RoutingWriteFlow.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <string>

using Routing::TRoutingCells;
using Routing::TRoutingChanges;

namespace {

TRoutingCells Table(std::initializer_list<std::pair<int, int>> connections)
{
    TRoutingCells t;
    for (auto [k, j] : connections)
        t.Set(k, j, true);
    return t;
}

// What the controller sends for "C".
std::string Reply(const TRoutingCells& table)
{
    std::string s(Routing::kReplyLength, '0');
    for (int k = 1; k <= Routing::kInputs; ++k)
        for (int j = 1; j <= Routing::kOutputs; ++j)
            if (table.At(k, j))
                s[Routing::ReplyPosition(k, j)] = '1';
    return s;
}

// The flow on a session whose line is a string: what goes out is kept, the controller's side
// is fed byte by byte. The pass runs without pauses.
class RoutingWriteFlowTest : public ::testing::Test {
protected:
    RoutingWriteFlowTest()
    {
        read.SetSession(&session);
        read.SetQuietLimit(100);
        flow.AttachSession(&session, &read);
        flow.wanted = [this] { return wanted; };
        flow.goAhead = [this](const std::optional<TRoutingCells>& held, const TRoutingChanges& changes) {
            asked.push_back({held, changes});
            return answer;
        };
        flow.pacing = Routing::TRoutingPacing{std::chrono::milliseconds(0), std::chrono::milliseconds(0),
                                              std::chrono::microseconds(0)};
        flow.sleepUntil = [](Routing::PassClock::time_point) {};
    }
    void Feed(const std::string& bytes)
    {
        for (char ch : bytes)
            session.HandleChar(ch);
    }

    struct Question {
        std::optional<TRoutingCells> held;
        TRoutingChanges changes;
    };
    std::string written;
    int lineTakes = 1 << 30;   // bytes the line takes before it stops taking any
    TControllerSession session{[this](const std::string& bytes) {
                                   const int n = std::min<int>(lineTakes, static_cast<int>(bytes.size()));
                                   lineTakes -= n;
                                   written += bytes.substr(0, static_cast<size_t>(n));
                                   return n;
                               },
                               nullptr, TControllerSession::Policy{20}};
    TRoutingTableRead read;
    TRoutingWriteFlow flow;
    TRoutingCells wanted;
    bool answer = true;
    std::vector<Question> asked;
};

}  // namespace

TEST_F(RoutingWriteFlowTest, ReadsAsksWritesAndTakesTheTableOnlyWhenTheControllerSaves)
{
    session.Suspend();   // no polling mixes into the conversation
    QSignalSpy saved(&flow, &TRoutingWriteFlow::Saved);
    const TRoutingCells held = Table({{1, 1}, {2, 3}});
    wanted = Table({{2, 3}, {5, 5}});

    ASSERT_TRUE(flow.Start());
    EXPECT_FALSE(flow.Start());   // one read at a time
    EXPECT_EQ(written, "C");
    Feed(Reply(held));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].held, held);
    EXPECT_EQ(asked[0].changes.added, 1);
    EXPECT_EQ(asked[0].changes.removed, 1);
    EXPECT_EQ(written, "Cc" + wanted.WireText());
    EXPECT_TRUE(flow.AwaitingSave());
    EXPECT_TRUE(saved.isEmpty());

    Feed("?");
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0][0].value<TRoutingCells>(), wanted);
    Feed("?");   // a second '?' stores nothing new
    EXPECT_EQ(saved.size(), 1);
}

TEST_F(RoutingWriteFlowTest, AnUnreadTableIsAskedAboutAndADeclinedWriteSendsNothing)
{
    session.Suspend();
    QSignalSpy declined(&flow, &TRoutingWriteFlow::Declined);
    wanted = Table({{4, 4}});
    answer = false;
    flow.Start();
    std::string damaged = Reply(Table({{1, 1}}));
    damaged[10] = 'x';
    Feed(damaged);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].held.has_value());
    EXPECT_EQ(declined.size(), 1);
    EXPECT_EQ(written, "C");

    // A reply that stops: the read ends after the quiet limit, as unread.
    flow.Start();
    Feed(std::string(100, '0'));
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.size() == 2; }, 2000));
    EXPECT_FALSE(asked[1].held.has_value());
    EXPECT_EQ(written, "CC");
}

TEST_F(RoutingWriteFlowTest, NoSaveInTimeIsReportedAndALateSaveStillCounts)
{
    session.Suspend();
    QSignalSpy missing(&flow, &TRoutingWriteFlow::NotConfirmed);
    QSignalSpy saved(&flow, &TRoutingWriteFlow::Saved);
    flow.SaveWait()->setInterval(50);
    wanted = Table({{7, 7}});
    flow.Start();
    Feed(Reply(TRoutingCells{}));   // only adding: no question needed, the caller says go
    ASSERT_TRUE(missing.wait(2000));
    EXPECT_TRUE(saved.isEmpty());
    Feed("?");
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0][0].value<TRoutingCells>(), wanted);
}

TEST_F(RoutingWriteFlowTest, ALineThatStopsTakingCharactersFailsThePassAndAwaitsNoSave)
{
    session.Suspend();
    QSignalSpy failed(&flow, &TRoutingWriteFlow::PassFailed);
    QSignalSpy saved(&flow, &TRoutingWriteFlow::Saved);
    wanted = Table({{1, 2}});
    lineTakes = 1 + 1 + 40;   // "C", "c" and 40 cells
    flow.Start();
    Feed(Reply(TRoutingCells{}));
    ASSERT_EQ(failed.size(), 1);
    EXPECT_TRUE(failed[0][0].toString().contains(QStringLiteral("0 of 1")));
    EXPECT_TRUE(flow.PassFailure());
    EXPECT_FALSE(flow.AwaitingSave());
    EXPECT_EQ(written.size(), 42u);
    Feed("?");
    EXPECT_TRUE(saved.isEmpty());
}
