#include "HubRig.h"
#include "LineEnd.h"
#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

using hubrig::MqttProbe;
using hubrig::Rig;

namespace {

std::string NameIn(MqttProbe& mqtt, const std::string& configTopic)
{
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(mqtt.Last(configTopic)));
    return doc.object().value("name").toString().toStdString();
}

// The bytes the simulator received, in order.
std::string SimReceived(const std::string& logPath)
{
    return ByteString(Bytes(ReadSimLog(logPath), 'R'));
}

}  // namespace

// Home Assistant's view of the controller through a real broker, while a console shares the
// line: names, an output switched once, an input, the line pulled and back, the broker restarted.
TEST(HubEndToEnd, MqttFollowsTheControllerWhileAConsoleSharesTheLine)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    {
        std::ofstream ini(dir + "/config.ini");
        for (int line = 0; line < 38; ++line)
            ini << (line == 3 ? "Drzwi wejściowe" : line == 23 ? "Światło w kuchni" : "") << "\r\n";
    }
    Rig rig(dir, {"--names", dir + "/config.ini"});
    MqttProbe mqtt(rig.MqttBroker().Port());
    const std::string base = "selvora/test/";

    ASSERT_TRUE(mqtt.WaitFor(base + "availability", "online", 8000)) << ReadFile(rig.HubLog());
    EXPECT_EQ(NameIn(mqtt, "ha/switch/test_output_3/config"), "Światło w kuchni");
    EXPECT_EQ(NameIn(mqtt, "ha/switch/test_output_4/config"), "4 urządzenie");
    EXPECT_EQ(NameIn(mqtt, "ha/binary_sensor/test_input_1/config"), "Drzwi wejściowe");
    EXPECT_EQ(NameIn(mqtt, "ha/binary_sensor/test_input_2/config"), "2 wejście");
    EXPECT_FALSE(mqtt.Last("ha/select/test_mode/config").empty());
    ASSERT_TRUE(mqtt.WaitFor(base + "output/3/state", "OFF", 3000));

    // A console on the link, polling as the console does.
    auto console = std::make_unique<LineEnd>(rig.Link());
    ASSERT_TRUE(console->IsOpen());
    // The controller's notices ('/', mode characters) may come between replies, as on a
    // direct line; they are not part of a reply.
    const auto readReply = [&console](std::size_t count) {
        std::string reply;
        while (reply.size() < count) {
            const std::string ch = console->Read(1, 2000);
            if (ch.empty())
                break;
            if (ch.find_first_of("/]}[") == std::string::npos)
                reply += ch;
        }
        return reply;
    };
    const auto consoleReads = [&console, &readReply] {
        console->Write("x");
        const std::string outputs = readReply(17);
        console->Write("q");
        return outputs + readReply(16);
    };
    EXPECT_EQ(consoleReads().size(), 33u);

    // ON switches output 3 once; ON again sends nothing.
    mqtt.Publish(base + "output/3/set", "ON");
    ASSERT_TRUE(mqtt.WaitFor(base + "output/3/state", "ON", 3000));
    EXPECT_EQ(rig.Sim().Status().outputs.substr(0, 4), "0010");
    mqtt.Publish(base + "output/3/set", "ON");
    Spin(500);
    const std::string sent = SimReceived(rig.SimLog());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), '2'), 1) << sent;
    const std::string seen = consoleReads();
    EXPECT_EQ(seen.substr(0, 17), "0010000000000000!");   // the console's reply, whole

    // The console closes the port and opens it again (the next start of the program).
    console.reset();
    Spin(300);
    console = std::make_unique<LineEnd>(rig.Link());
    ASSERT_TRUE(console->IsOpen());
    EXPECT_EQ(consoleReads().substr(0, 17), "0010000000000000!");

    rig.Sim().Command("in 1 on");
    EXPECT_TRUE(mqtt.WaitFor(base + "input/1/state", "ON", 2000));
    EXPECT_EQ(consoleReads().substr(17, 1), "1");

    mqtt.Publish(base + "mode/set", "Tylko pilot i komputer");
    EXPECT_TRUE(mqtt.WaitFor(base + "mode/state", "Tylko pilot i komputer", 8000));

    // The cable pulled for two seconds.
    rig.Sim().Command("hangup 2000");
    EXPECT_TRUE(mqtt.WaitFor(base + "availability", "offline", 3000));
    EXPECT_TRUE(mqtt.WaitFor(base + "availability", "online", 8000)) << ReadFile(rig.HubLog());
    EXPECT_EQ(consoleReads().size(), 33u);

    // The broker away and back: the console does not notice; MQTT comes back by itself.
    rig.MqttBroker().Stop();
    EXPECT_EQ(consoleReads().substr(0, 17), "0010000000000000!");
    rig.MqttBroker().Start();
    MqttProbe again(rig.MqttBroker().Port());
    EXPECT_TRUE(again.WaitFor(base + "availability", "online", 40000)) << ReadFile(rig.HubLog());
    EXPECT_TRUE(again.WaitFor(base + "output/3/state", "ON", 2000));
    EXPECT_TRUE(rig.Hub().Running());
}

// A console that writes without pause on one link: the hub's polling keeps its turn, so input
// changes still reach MQTT and a second console's status is right; the flood and fifty MQTT
// payloads with a newline leave a few bounded, quoted log lines.
TEST(HubEndToEnd, AFloodingConsoleStallsNothingAndTheLogStaysBounded)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    const std::string secondLink = dir + "/ttyHUB2";
    Rig rig(dir, {"--console-link", secondLink});
    MqttProbe mqtt(rig.MqttBroker().Port());
    const std::string base = "selvora/test/";
    ASSERT_TRUE(mqtt.WaitFor(base + "availability", "online", 8000)) << ReadFile(rig.HubLog());
    ASSERT_TRUE(mqtt.WaitFor(base + "input/15/state", "OFF", 3000));

    // Garbage with no command in it, as fast as the link takes it, bounded in time.
    std::atomic<bool> stop{false};
    std::atomic<std::size_t> written{0};
    std::thread flood([&] {
        const int fd = ::open(rig.Link().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        std::string chunk;
        for (int i = 0; i < 4096; ++i)
            chunk += static_cast<char>(0x80 + i % 128);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop && std::chrono::steady_clock::now() < end) {
            const ssize_t n = ::write(fd, chunk.data(), chunk.size());
            if (n > 0)
                written += static_cast<std::size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        ::close(fd);
    });
    Spin(500);
    for (const char* state : {"on", "off", "on"}) {
        rig.Sim().Command(std::string("in 15 ") + state);
        EXPECT_TRUE(mqtt.WaitFor(base + "input/15/state", state == std::string("on") ? "ON" : "OFF",
                                 3000))
            << "lost during the flood: in 15 " << state;
    }
    {
        LineEnd second(secondLink);
        ASSERT_TRUE(second.IsOpen());
        second.Write("x");
        const std::string outputs = second.Read(17, 3000);
        second.Write("q");
        const std::string inputs = second.Read(16, 3000);
        const SimStatus truth = rig.Sim().Status();
        EXPECT_EQ(outputs, truth.outputs + "!");
        EXPECT_EQ(inputs, truth.inputs);
    }
    stop = true;
    flood.join();
    EXPECT_GT(written.load(), 16384u);

    // Repeated without end, a bad command is written a few times, then summed up.
    for (int i = 0; i < 50; ++i)
        mqtt.Publish(base + "output/1/set", "X\nselvora-hub: FORGED\x1b[2J");
    Spin(1500);
    EXPECT_TRUE(rig.Hub().Running());
    const std::string log = ReadFile(rig.HubLog());
    EXPECT_LT(log.size(), 16384u);
    std::istringstream lines(log);
    int count = 0;
    int quoted = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        EXPECT_LT(line.size(), 300u) << line.substr(0, 300);
        EXPECT_EQ(line.rfind("selvora-hub: FORGED", 0), std::string::npos);
        EXPECT_EQ(line.find('\x1b'), std::string::npos);
        quoted += line.find("\"X\\nselvora-hub: FORGED\\x1b[2J\"") != std::string::npos;
    }
    EXPECT_GE(quoted, 1) << log;
    EXPECT_LE(quoted, 5) << log;
    EXPECT_LT(count, 60) << log;
}
