#include "HubRig.h"
#include "LineEnd.h"
#include "SimulatorProcess.h"
#include "TlsBroker.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

using hubrig::Child;
using hubrig::MqttProbe;
using hubrig::TlsBroker;

namespace {

QJsonObject Json(const std::string& text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool LogSays(const std::string& path, const std::string& what, int timeoutMs, int times = 1)
{
    return hubrig::WaitUntil([&] { return Count(ReadFile(path), what) >= times; }, timeoutMs);
}

std::unique_ptr<Child> StartHub(const std::string& logFile, const std::string& device,
                                const std::vector<std::string>& mqtt)
{
    std::vector<std::string> args{hubrig::BuildDir() + "/selvora-hub", "--device", device,
                                  "--id", "test", "--discovery-prefix", "ha"};
    args.insert(args.end(), mqtt.begin(), mqtt.end());
    return std::make_unique<Child>(args, logFile);
}

bool MessageSince(MqttProbe& mqtt, int64_t since, const std::string& topic)
{
    return hubrig::WaitUntil(
        [&] {
            for (const hubrig::Message& m : mqtt.Since(since))
                if (m.topic == topic)
                    return true;
            return false;
        },
        5000);
}

}  // namespace

// A hub on a TLS broker, as a house runs it for months: a command left retained does not run
// again at a reconnect, a broker that comes back with the wrong certificate and then the right
// one is reconnected, Home Assistant's "online" brings everything again, and a second hub given
// the same --id is told to stand by and switches nothing.
TEST(HubBroker, ReconnectsThroughBadCertificatesAndServesOneHubPerId)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    ::mkdir((dir + "/first").c_str(), 0700);
    ::mkdir((dir + "/second").c_str(), 0700);
    TlsBroker broker(dir);
    broker.Start(true);
    SimulatorProcess firstSim(dir + "/first");
    ASSERT_TRUE(firstSim.Start()) << firstSim.Error();
    const std::string firstLog = dir + "/hub1.log";
    auto firstHub = StartHub(firstLog, firstSim.LinkPath(),
                             {"--mqtt", "127.0.0.1:" + std::to_string(broker.TlsPort()),
                              "--mqtt-cafile", broker.CaFile(), "--name", "Dom testowy"});
    MqttProbe mqtt(broker.PlainPort());
    const std::string base = "selvora/test/";

    ASSERT_TRUE(mqtt.WaitFor(base + "availability", "online", 10000)) << ReadFile(firstLog);
    const QJsonObject config = Json(mqtt.Last("ha/switch/test_output_8/config"));
    EXPECT_EQ(config["unique_id"].toString(), "test_output_8");
    EXPECT_EQ(config["device"].toObject()["name"].toString(), "Dom testowy");
    EXPECT_EQ(config["o"].toObject()["name"].toString(), "selvora-hub");
    const QJsonObject record = Json(mqtt.Last(base + "hub"));
    EXPECT_EQ(record["state"].toString(), "serving");
    EXPECT_EQ(record["device"].toString().toStdString(), firstSim.LinkPath());
    EXPECT_TRUE(record["line_up"].toBool());
    const QString firstInstance = record["instance"].toString();

    // A retained TOGGLE runs once, live.
    ASSERT_TRUE(mqtt.WaitFor(base + "output/8/state", "OFF", 3000));
    mqtt.Publish(base + "output/8/set", "TOGGLE", true);
    ASSERT_TRUE(mqtt.WaitFor(base + "output/8/state", "ON", 3000));

    // The broker comes back with a certificate for another name: attempts go on, the reason is
    // logged once; then with the right one, and the hub is back.
    broker.Stop();
    broker.Start(false);
    const int seen = broker.TlsConnectionsSeen();
    EXPECT_TRUE(hubrig::WaitUntil([&] { return broker.TlsConnectionsSeen() >= seen + 2; }, 10000))
        << ReadFile(broker.Log());
    EXPECT_TRUE(LogSays(firstLog, "host name verification failed", 5000)) << ReadFile(firstLog);
    const std::string hubLog = ReadFile(firstLog);
    EXPECT_EQ(Count(hubLog, "host name verification failed"), 1) << hubLog;
    broker.Stop();
    broker.Start(true);
    ASSERT_TRUE(LogSays(firstLog, "MQTT connected to", 40000, 2)) << ReadFile(firstLog);

    // The retained TOGGLE came again with the subscription, and was only logged.
    EXPECT_TRUE(LogSays(firstLog, "retained command ignored", 5000)) << ReadFile(firstLog);
    Spin(1000);
    EXPECT_EQ(firstSim.Status().outputs.substr(7, 1), "1");

    // Home Assistant is back: discovery and states again.
    int64_t since = hubrig::NowUs();
    mqtt.Publish("ha/status", "online");
    EXPECT_TRUE(MessageSince(mqtt, since, "ha/select/test_mode/config"));
    EXPECT_TRUE(MessageSince(mqtt, since, base + "output/8/state"));

    // A second hub with the same --id, on its own controller, on the same broker.
    SimulatorProcess secondSim(dir + "/second");
    ASSERT_TRUE(secondSim.Start()) << secondSim.Error();
    const std::string secondLog = dir + "/hub2.log";
    auto secondHub = StartHub(secondLog, secondSim.LinkPath(),
                              {"--mqtt", "127.0.0.1:" + std::to_string(broker.PlainPort())});
    EXPECT_TRUE(LogSays(secondLog, "another selvora-hub with --id test", 10000)) << ReadFile(secondLog);
    EXPECT_TRUE(LogSays(firstLog, "second selvora-hub with --id test", 5000)) << ReadFile(firstLog);

    mqtt.Publish(base + "output/5/set", "on");
    EXPECT_TRUE(mqtt.WaitFor(base + "output/5/state", "ON", 3000));
    Spin(1500);
    EXPECT_EQ(firstSim.Status().outputs.substr(4, 1), "1");
    EXPECT_EQ(secondSim.Status().outputs, std::string(16, '0'));
    EXPECT_EQ(Json(mqtt.Last(base + "hub"))["instance"].toString(), firstInstance);
    EXPECT_EQ(mqtt.Last(base + "availability"), "online");
    // Both stay connected: nobody pushes anybody off.
    EXPECT_EQ(Count(ReadFile(firstLog), "MQTT connected to"), 2) << ReadFile(firstLog);
    EXPECT_EQ(Count(ReadFile(secondLog), "another selvora-hub"), 1) << ReadFile(secondLog);
    EXPECT_TRUE(firstHub->Running());
    EXPECT_TRUE(secondHub->Running());

    // The standing-by hub dies without a word: its last will says "offline" for the id, and the
    // serving hub puts it right.
    since = hubrig::NowUs();
    ::kill(secondHub->Pid(), SIGKILL);
    EXPECT_TRUE(hubrig::WaitUntil(
        [&] {
            bool offline = false;
            for (const hubrig::Message& m : mqtt.Since(since)) {
                if (m.topic != base + "availability")
                    continue;
                if (m.payload == "offline")
                    offline = true;
                else if (offline && m.payload == "online")
                    return true;
            }
            return false;
        },
        5000));
}

// What cannot work stops the program at the start, with the reason, instead of later and
// silently: exit code 2 for bad options, 1 with the file named for a CA file that is not there.
TEST(HubBroker, SettingsThatCannotWorkStopItWithTheReason)
{
    const auto run = [](const std::string& options, std::string& output) {
        const std::string command = hubrig::BuildDir() + "/selvora-hub --device /nonexistent " +
                                    options + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        char buffer[512];
        output.clear();
        while (pipe && std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        const int status = pipe ? ::pclose(pipe) : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string output;
    EXPECT_EQ(run("--mqtt 127.0.0.1:1 --mqtt-cafile /nonexistent/ca.pem", output), 1);
    EXPECT_NE(output.find("/nonexistent/ca.pem: No such file or directory"), std::string::npos)
        << output;
    EXPECT_EQ(run("--mqtt 127.0.0.1 --discovery-prefix 'ha/#'", output), 2);
    EXPECT_NE(output.find("--discovery-prefix"), std::string::npos) << output;
    EXPECT_EQ(run("--mqtt '[::1' ", output), 2);
}
