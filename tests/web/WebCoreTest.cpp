// The web page's pure parts, fed strings and times: host names, origins, the options, signed
// sessions and the failed-login limit.
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
