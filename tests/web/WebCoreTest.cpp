// The web page's pure parts, fed strings and times: host names, origins, the options, signed
// sessions, ended sessions, the failed-login limit and the share of connections.
#include "ConnectionSlots.h"
#include "EndedSessions.h"
#include "HostCheck.h"
#include "LoginThrottle.h"
#include "SessionKeys.h"
#include "WebOptions.h"

#include <gtest/gtest.h>

using namespace web;

TEST(WebCore, HostAndOriginChecks)
{
    const TAllowedHosts hosts({"localhost", "192.168.1.5", "hubbox", "::1"});
    EXPECT_TRUE(hosts.Allows("192.168.1.5:8080"));
    EXPECT_TRUE(hosts.Allows("HubBox"));
    EXPECT_TRUE(hosts.Allows("localhost.:80"));
    EXPECT_TRUE(hosts.Allows("[::1]:8080"));
    EXPECT_FALSE(hosts.Allows("evil.example"));
    EXPECT_FALSE(hosts.Allows("hubbox.evil.example"));
    EXPECT_FALSE(hosts.Allows("hubbox:80x"));
    EXPECT_FALSE(hosts.Allows("hubbox@evil"));
    EXPECT_FALSE(hosts.Allows(""));

    EXPECT_TRUE(SameOrigin("http://hubbox:8080", "hubbox:8080"));
    EXPECT_TRUE(SameOrigin("https://HUBBOX", "hubbox"));
    EXPECT_FALSE(SameOrigin("http://hubbox:8081", "hubbox:8080"));
    EXPECT_FALSE(SameOrigin("http://evil.example", "hubbox"));
    EXPECT_FALSE(SameOrigin("null", "hubbox"));
    EXPECT_FALSE(SameOrigin("file://hubbox", "hubbox"));
}

TEST(WebCore, HttpOptions)
{
    WebOptions o;
    std::string error;
    ASSERT_TRUE(ParseHttpAddress("8080", o, error));
    EXPECT_EQ(o.address, "127.0.0.1");
    EXPECT_EQ(o.port, 8080);
    EXPECT_TRUE(CheckWebOptions(o, error));
    ASSERT_TRUE(ParseHttpAddress("0.0.0.0:80", o, error));
    EXPECT_FALSE(CheckWebOptions(o, error)) << "the house network without a password";
    o.passwordFile = "pw";
    EXPECT_TRUE(CheckWebOptions(o, error));
    o.certFile = "cert.pem";
    EXPECT_FALSE(CheckWebOptions(o, error)) << "a certificate without its key";
    ASSERT_TRUE(ParseHttpAddress("[::1]:8080", o, error));
    EXPECT_TRUE(IsLoopbackAddress(o.address));
    EXPECT_FALSE(ParseHttpAddress("hubbox:8080", o, error));
    EXPECT_FALSE(ParseHttpAddress("127.0.0.1:0", o, error));
    EXPECT_FALSE(ParseHttpAddress("127.0.0.1:99999", o, error));
    EXPECT_FALSE(ParseHttpAddress("80a", o, error));
}

TEST(WebCore, SessionsAreSignedExpireAndFollowThePassword)
{
    const TSessionKeys keys(SecretFromPassword("one"));
    const std::string cookie = keys.Issue(1000);
    EXPECT_TRUE(keys.Valid(cookie, 1000 + TSessionKeys::kLifetimeSeconds - 1));
    EXPECT_FALSE(keys.Valid(cookie, 1000 + TSessionKeys::kLifetimeSeconds));
    std::string longer = cookie;
    longer[0] = '9';   // a later expiry, same signature
    EXPECT_FALSE(keys.Valid(longer, 1000));
    EXPECT_FALSE(keys.Valid("", 1000));
    EXPECT_FALSE(TSessionKeys(SecretFromPassword("two")).Valid(cookie, 1000));
    EXPECT_TRUE(TSessionKeys(SecretFromPassword("one")).Valid(cookie, 1000)) << "across a restart";
    EXPECT_TRUE(keys.CsrfValid(cookie, keys.CsrfFor(cookie)));
    EXPECT_FALSE(keys.CsrfValid(keys.Issue(1000), keys.CsrfFor(cookie)));
    const std::string device = keys.IssueDevice(1000);
    EXPECT_TRUE(keys.ReadDevice(device, 1000 + TSessionKeys::kLifetimeSeconds));
    EXPECT_FALSE(keys.Valid(device, 1000)) << "a device mark is no session";
    EXPECT_FALSE(keys.ReadDevice(cookie, 1000)) << "nor the other way round";
    EXPECT_TRUE(PasswordMatches("secret", "secret"));
    EXPECT_FALSE(PasswordMatches("secreT", "secret"));
    EXPECT_FALSE(PasswordMatches("", ""));
}

TEST(WebCore, FailedLoginsLockAnAddressLongerEachTimeAndCapEverybody)
{
    TLoginThrottle throttle;
    auto now = ThrottleClock::time_point() + std::chrono::hours(1);
    for (int i = 0; i < TLoginThrottle::kFreeTries - 1; ++i)
        throttle.Failed("10.0.0.2", now);
    EXPECT_EQ(throttle.WaitFor("10.0.0.2", now).count(), 0);
    throttle.Failed("10.0.0.2", now);
    EXPECT_EQ(throttle.WaitFor("10.0.0.2", now), TLoginThrottle::kFirstLockout);
    EXPECT_EQ(throttle.WaitFor("10.0.0.3", now).count(), 0) << "another address";
    now += TLoginThrottle::kFirstLockout;
    EXPECT_EQ(throttle.WaitFor("10.0.0.2", now).count(), 0);
    throttle.Failed("10.0.0.2", now);
    EXPECT_EQ(throttle.WaitFor("10.0.0.2", now), 2 * TLoginThrottle::kFirstLockout);
    throttle.Succeeded("10.0.0.2");
    EXPECT_EQ(throttle.WaitFor("10.0.0.2", now).count(), 0);

    for (int i = 0; i < TLoginThrottle::kMostFailuresEverywhere; ++i)
        throttle.Failed("10.1.0." + std::to_string(i), now);
    EXPECT_GT(throttle.WaitFor("10.0.0.9", now).count(), 0) << "many addresses, one guesser";
    EXPECT_EQ(throttle.WaitFor("10.0.0.9", now + TLoginThrottle::kWindow).count(), 0);
}

TEST(WebCore, EndedSessionsStayEndedAndANewLoginSurvivesEndingAll)
{
    const TSessionKeys keys(RandomSecret());
    TEndedSessions ended;
    const auto read = [&](const std::string& cookie) { return *keys.Read(cookie, 2000); };
    const Ticket one = read(keys.Issue(1000));
    const Ticket two = read(keys.Issue(1000));
    ended.End(one, 1500);
    EXPECT_TRUE(ended.Ended(one));
    EXPECT_FALSE(ended.Ended(two));

    ended.EndAll(1600);
    EXPECT_TRUE(ended.Ended(two));
    const Ticket after = read(keys.Issue(ended.IssueTime(1600)));   // the same second
    EXPECT_FALSE(ended.Ended(after));
    ended.End(after, 1600);
    ended.EndAll(1600);   // again within the second: the one just ended stays ended
    EXPECT_TRUE(ended.Ended(after));

    // Full: the oldest is forgotten by ending everything issued up to it, never by reviving it.
    TEndedSessions full;
    std::vector<Ticket> tickets;
    for (std::size_t i = 0; i <= TEndedSessions::kMostRemembered; ++i) {
        tickets.push_back(read(keys.Issue(1000 + static_cast<std::int64_t>(i))));
        full.End(tickets.back(), 1000);
    }
    for (const Ticket& t : tickets)
        EXPECT_TRUE(full.Ended(t));
    EXPECT_FALSE(full.Ended(read(keys.Issue(1000 + 2 * TEndedSessions::kMostRemembered))));
}

TEST(WebCore, TheOwnersDeviceIsNotHeldByTheLockForEverybody)
{
    TLoginThrottle throttle;
    const auto now = ThrottleClock::time_point() + std::chrono::hours(1);
    for (int i = 0; i < TLoginThrottle::kMostFailuresEverywhere; ++i)
        throttle.Failed("10.1.0." + std::to_string(i % 7), now);
    EXPECT_GT(throttle.WaitFor("10.0.0.9", now).count(), 0);
    EXPECT_EQ(throttle.WaitFor("10.1.0.1", now, "owner").count(), 0) << "even at a guesser's address";
    // The device has a limit of its own.
    for (int i = 0; i < TLoginThrottle::kFreeTries; ++i)
        throttle.Failed("10.0.0.9", now, "owner");
    EXPECT_EQ(throttle.WaitFor("10.0.0.9", now, "owner"), TLoginThrottle::kFirstLockout);
    EXPECT_EQ(throttle.WaitFor("10.0.0.9", now, "other").count(), 0);
}

TEST(WebCore, EachAddressHasAShareAndWaitingConnectionsMakeRoom)
{
    TConnectionSlots slots(4, 2);
    auto now = SlotClock::time_point() + std::chrono::hours(1);
    const auto a1 = slots.Admit("a", now);
    now += std::chrono::seconds(1);
    const auto a2 = slots.Admit("a", now);
    ASSERT_TRUE(a1.id && a2.id);
    EXPECT_FALSE(a1.evict || a2.evict);
    // A third from "a" takes the place of a's longest waiting one.
    const auto a3 = slots.Admit("a", now);
    ASSERT_TRUE(a3.id);
    EXPECT_EQ(a3.evict, a1.id);
    slots.Release(*a1.id);   // the evicted one closing later changes nothing
    EXPECT_EQ(slots.Count(), 2);
    // Busy answering, a's connections stay; a's next is refused, another address comes in.
    slots.Answering(*a2.id);
    slots.Answering(*a3.id);
    EXPECT_FALSE(slots.Admit("a", now).id);
    const auto b1 = slots.Admit("b", now);
    const auto c1 = slots.Admit("c", now);
    ASSERT_TRUE(b1.id && c1.id);
    // Full: the heaviest address with a waiting connection makes room.
    now += std::chrono::seconds(1);
    const auto b2 = slots.Admit("b", now);
    ASSERT_TRUE(b2.id);
    EXPECT_TRUE(b2.evict == b1.id || b2.evict == c1.id);
    slots.Answering(*b2.id);
    const auto d1 = slots.Admit("d", now);
    ASSERT_TRUE(d1.id);
    EXPECT_EQ(d1.evict, b2.evict == b1.id ? c1.id : b1.id);
    slots.Answering(*d1.id);
    EXPECT_FALSE(slots.Admit("e", now).id) << "everybody busy";
    slots.Reading(*d1.id, now);   // its answer went out; waiting for the next request
    EXPECT_EQ(slots.Admit("e", now).evict, d1.id);
}
