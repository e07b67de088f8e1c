#include "HubOptions.h"

#include <gtest/gtest.h>

namespace {

struct Parsed {
    bool ok;
    hub::HubOptions options;
    std::string error;
};

Parsed Parse(std::vector<std::string> args)
{
    args.insert(args.begin(), {"--device", "/dev/ttyUSB0"});
    Parsed parsed{false, {}, {}};
    parsed.ok = hub::ParseHubOptions(args, parsed.options, parsed.error);
    return parsed;
}

}  // namespace

TEST(HubOptions, BrokerAddressesIncludingIpv6)
{
    struct Case {
        const char* text;
        const char* host;
        int port;   // as given; 0 for the default
    };
    for (const Case& c : {Case{"broker.lan", "broker.lan", 0}, Case{"broker.lan:1884", "broker.lan", 1884},
                          Case{"::1", "::1", 0}, Case{"[::1]:18831", "::1", 18831},
                          Case{"[fe80::1%eth0]", "fe80::1%eth0", 0}, Case{"127.0.0.1:1", "127.0.0.1", 1}}) {
        const Parsed p = Parse({"--mqtt", c.text});
        ASSERT_TRUE(p.ok) << c.text << ": " << p.error;
        EXPECT_EQ(p.options.mqttHost, c.host) << c.text;
        EXPECT_EQ(p.options.mqttPort, c.port) << c.text;
    }
    EXPECT_EQ(Parse({"--mqtt", "[::1]", "--mqtt-cafile", "ca.pem"}).options.MqttPort(), 8883);
    for (const char* bad : {"", ":1883", "[::1", "[]:1883", "[::1]1883", "[::1]:", "host:", "host:0",
                            "host:65536", "host:x", "[::1]:99999"}) {
        const Parsed p = Parse({"--mqtt", bad});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_FALSE(p.error.empty()) << bad;
    }
}

TEST(HubOptions, TopicPartsThatCannotWorkAreRefused)
{
    for (const char* prefix : {"ha/#", "a+b", "", "/ha", "ha/", "ha//x", "h a", "ha\n"}) {
        const Parsed p = Parse({"--discovery-prefix", prefix});
        EXPECT_FALSE(p.ok) << prefix;
        EXPECT_NE(p.error.find("--discovery-prefix"), std::string::npos) << p.error;
    }
    EXPECT_TRUE(Parse({"--discovery-prefix", "home/assistant"}).ok);
    for (const char* id : {"a/b", "a+", "#", "two words", "", "dom\t"}) {
        const Parsed p = Parse({"--id", id});
        EXPECT_FALSE(p.ok) << id;
        EXPECT_NE(p.error.find("--id"), std::string::npos) << p.error;
    }
    EXPECT_FALSE(Parse({"--name", ""}).ok);
    EXPECT_FALSE(Parse({"--name", "a\nb"}).ok);
}

TEST(HubOptions, DeviceNameAndWebPageAddress)
{
    EXPECT_EQ(Parse({}).options.DeviceName(), "Selvora");
    EXPECT_EQ(Parse({"--id", "garaz"}).options.DeviceName(), "Selvora garaz");
    EXPECT_EQ(Parse({"--id", "garaz", "--name", "Garaż"}).options.DeviceName(), "Garaż");

    EXPECT_EQ(Parse({}).options.WebPageUrl("box"), "");
    EXPECT_EQ(Parse({"--http", "8080"}).options.WebPageUrl("box"), "http://127.0.0.1:8080/");
    const Parsed anywhere = Parse({"--http", "0.0.0.0:8443", "--http-password-file", "p",
                                   "--http-cert", "c", "--http-key", "k"});
    ASSERT_TRUE(anywhere.ok) << anywhere.error;
    EXPECT_EQ(anywhere.options.WebPageUrl("box"), "https://box:8443/");
    EXPECT_EQ(Parse({"--http", "[::1]:8080"}).options.WebPageUrl("box"), "http://[::1]:8080/");
}
