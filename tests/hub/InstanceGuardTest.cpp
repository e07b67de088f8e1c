#include "InstanceGuard.h"

#include <gtest/gtest.h>

using hub::HubRecord;
using hub::InstanceGuard;
using Role = InstanceGuard::Role;

namespace {

std::string Record(const std::string& instance, HubRecord::State state,
                   const std::string& started = "2026-01-01T10:00:00.000Z")
{
    HubRecord record;
    record.instance = instance;
    record.started = started;
    record.device = "/dev/ttyUSB0";
    record.state = state;
    return hub::HubRecordJson(record);
}

constexpr auto kServing = HubRecord::State::Serving;
constexpr auto kStarting = HubRecord::State::Starting;
constexpr auto kStopped = HubRecord::State::Stopped;

}  // namespace

TEST(InstanceGuard, AloneItServesOnceItHearsItself)
{
    InstanceGuard guard("dom", "aaaa", "2026-01-01T12:00:00.000Z");
    EXPECT_TRUE(guard.Connected().publishRecord);
    EXPECT_EQ(guard.RecordState(), kStarting);
    // Its own record kept from an earlier connection is no sign of anything.
    EXPECT_FALSE(guard.RecordSeen(Record("aaaa", kServing), true).publishRecord);
    EXPECT_EQ(guard.CurrentRole(), Role::Joining);
    const auto step = guard.RecordSeen(Record("aaaa", kStarting), false);
    EXPECT_TRUE(guard.Serving());
    EXPECT_TRUE(step.publishRecord);
    EXPECT_EQ(guard.RecordState(), kServing);
    // Rubbish on the topic changes nothing.
    for (const char* junk : {"", "{}", "ON", "{\"instance\":\"x\",\"state\":\"boss\"}"})
        EXPECT_FALSE(guard.RecordSeen(junk, false).publishRecord) << junk;
    EXPECT_TRUE(guard.Serving());
}

// The second hub with the same id stands by, the first tells it so and says so once; when the
// first goes away (cleanly, or only its last will), the second takes over.
TEST(InstanceGuard, TheLaterHubStandsByWhileTheFirstRuns)
{
    InstanceGuard first("dom", "aaaa", "2026-01-01T10:00:00.000Z");
    first.Connected();
    first.RecordSeen(Record("aaaa", kStarting), false);
    ASSERT_TRUE(first.Serving());

    InstanceGuard second("dom", "bbbb", "2026-01-01T09:00:00.000Z");   // its clock is behind
    second.Connected();
    EXPECT_FALSE(second.RecordSeen(Record("aaaa", kServing), true).startCheck);
    EXPECT_TRUE(second.RecordSeen(Record("bbbb", kStarting), false).startCheck);
    EXPECT_FALSE(second.Serving());

    const auto told = first.RecordSeen(Record("bbbb", kStarting, "2026-01-01T09:00:00.000Z"), false);
    EXPECT_TRUE(told.publishRecord);
    EXPECT_NE(told.log.find("second selvora-hub with --id dom"), std::string::npos) << told.log;
    EXPECT_TRUE(first.Serving());
    EXPECT_TRUE(first.RecordSeen(Record("bbbb", kStarting), false).log.empty());   // once

    const auto standBy = second.RecordSeen(Record("aaaa", kServing), false);
    EXPECT_EQ(second.CurrentRole(), Role::StandingBy);
    EXPECT_NE(standBy.log.find("obeys no commands"), std::string::npos) << standBy.log;
    EXPECT_NE(standBy.log.find("--id"), std::string::npos);
    EXPECT_FALSE(second.CheckTimedOut().publishRecord);   // answered: no check pending
    EXPECT_FALSE(second.Serving());

    // The first hub's line drops: it answers the look, and nothing more is logged.
    const auto look = second.AvailabilitySeen("offline", false);
    EXPECT_TRUE(look.publishRecord && look.startCheck);
    EXPECT_EQ(second.RecordState(), kStarting);
    EXPECT_TRUE(second.RecordSeen(Record("aaaa", kServing), false).log.empty());
    EXPECT_FALSE(second.CheckTimedOut().publishRecord);
    EXPECT_FALSE(second.Serving());

    // Its last will: nobody answers, and the second takes over.
    second.AvailabilitySeen("offline", false);
    const auto takeOver = second.CheckTimedOut();
    EXPECT_TRUE(second.Serving());
    EXPECT_NE(takeOver.log.find("no longer answers"), std::string::npos) << takeOver.log;

    // A clean stop hands over at once.
    InstanceGuard third("dom", "cccc", "2026-01-01T11:00:00.000Z");
    third.Connected();
    third.RecordSeen(Record("bbbb", kServing), false);
    ASSERT_EQ(third.CurrentRole(), Role::StandingBy);
    EXPECT_FALSE(third.AvailabilitySeen("offline", true).startCheck);   // kept, not said now
    third.RecordSeen(Record("bbbb", kStopped), false);
    EXPECT_TRUE(third.Serving());
}

TEST(InstanceGuard, ARecordLeftByAGoneHubOnlyDelaysTheStart)
{
    InstanceGuard guard("dom", "bbbb", "2026-01-01T12:00:00.000Z");
    guard.Connected();
    guard.RecordSeen(Record("aaaa", kServing), true);
    EXPECT_TRUE(guard.RecordSeen(Record("bbbb", kStarting), false).startCheck);
    EXPECT_FALSE(guard.Serving());
    EXPECT_TRUE(guard.CheckTimedOut().publishRecord);
    EXPECT_TRUE(guard.Serving());
}

TEST(InstanceGuard, TwoThatServedAtOnceKeepTheEarlierOne)
{
    InstanceGuard early("dom", "bbbb", "2026-01-01T10:00:00.000Z");
    InstanceGuard late("dom", "aaaa", "2026-01-01T10:00:05.000Z");
    for (InstanceGuard* g : {&early, &late})
        g->Connected();
    early.RecordSeen(Record("bbbb", kStarting), false);
    late.RecordSeen(Record("aaaa", kStarting), false);
    ASSERT_TRUE(early.Serving() && late.Serving());

    const auto keep = early.RecordSeen(Record("aaaa", kServing, "2026-01-01T10:00:05.000Z"), false);
    EXPECT_TRUE(early.Serving());
    EXPECT_TRUE(keep.publishAll);
    late.RecordSeen(Record("bbbb", kServing, "2026-01-01T10:00:00.000Z"), false);
    EXPECT_EQ(late.CurrentRole(), Role::StandingBy);
}
