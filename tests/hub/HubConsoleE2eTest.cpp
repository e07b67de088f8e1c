// The real console on a hub link while Home Assistant's commands go through MQTT: the console's
// displays follow, and the hub's and the console's replies never mix (no display and no MQTT
// state ever shows a state the controller did not have).
#include "ConsoleSession.h"
#include "HubRig.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <map>

using namespace e2e;

namespace {

const std::string kOff(16, '0');

std::string With(std::string states, int channel)
{
    states[channel - 1] = '1';
    return states;
}

}  // namespace

TEST(HubWithConsole, DisplaysFollowMqttCommandsAndRepliesNeverMix)
{
    if (!MissingTools().isEmpty())
        GTEST_SKIP() << "not installed: " << MissingTools().join(QLatin1Char(' ')).toStdString();
    if (Executable(QStringLiteral("konfigurator")).isEmpty())
        GTEST_SKIP() << "konfigurator is not built";
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString();
    QString error;
    XServer x;
    ASSERT_TRUE(x.Start(&error)) << error.toStdString();
    SimulatorProcess sim(path);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    hubrig::Broker broker(path);
    broker.Start();
    const std::string link = path + "/ttyHUB";
    hubrig::Child hub({hubrig::BuildDir() + "/selvora-hub", "--device", sim.LinkPath(),
                       "--console-link", link, "--console-group", hubrig::OwnGroup(), "--mqtt",
                       "127.0.0.1:" + std::to_string(broker.Port()), "--id", "e2e"},
                      path + "/hub.log");
    const int64_t sinceUs = hubrig::NowUs();
    hubrig::MqttProbe mqtt(broker.Port());
    const std::string base = "selvora/e2e/";
    ASSERT_TRUE(mqtt.WaitFor(base + "availability", "online", 8000))
        << ReadFileBytes(dir.filePath("hub.log")).toStdString();

    WriteSettings(dir.path(), QString::fromStdString(link), true);
    Console console;
    ASSERT_TRUE(console.Start(x, dir.path(), &error)) << error.toStdString();
    const qulonglong window = x.WaitWindow(kMainWindowName, 10000);
    ASSERT_NE(window, 0u) << console.Output().toStdString();
    Spin(15600);   // the intro covers the window
    const auto displays = [&] { return ReadDisplays(x.Grab(window)); };
    const auto showing = [&](const std::string& inputs, const std::string& outputs) {
        Displays d;
        const bool ok = WaitFor(
            [&] {
                d = displays();
                return d.valid && d.inputs == inputs && d.outputs == outputs;
            },
            10000, 50);
        EXPECT_TRUE(ok) << "inputs " << d.inputs << " outputs " << d.outputs;
        return ok;
    };
    ASSERT_TRUE(showing(kOff, kOff)) << console.Output().toStdString();

    mqtt.Publish(base + "output/3/set", "ON");
    EXPECT_TRUE(mqtt.WaitFor(base + "output/3/state", "ON", 3000));
    showing(kOff, With(kOff, 3));

    sim.Command("in 1 on");
    EXPECT_TRUE(mqtt.WaitFor(base + "input/1/state", "ON", 3000));
    showing(With(kOff, 1), With(kOff, 3));

    // The console's own button: the hub sees the change as well.
    x.Click(window, layout::OutputButton(5).x(), layout::OutputButton(5).y());
    EXPECT_TRUE(mqtt.WaitFor(base + "output/5/state", "ON", 3000));
    const std::string outputs = With(With(kOff, 3), 5);
    showing(With(kOff, 1), outputs);
    EXPECT_EQ(sim.Status().outputs, outputs);

    // A while of both polling: every reading is the controller's.
    for (int i = 0; i < 15; ++i) {
        const Displays d = displays();
        EXPECT_TRUE(d.valid && d.inputs == With(kOff, 1) && d.outputs == outputs)
            << "inputs " << d.inputs << " outputs " << d.outputs;
        Spin(200);
    }
    // Each state went from OFF to ON at most once, and only where the controller's did.
    std::map<std::string, std::string> last;
    for (const hubrig::Message& m : mqtt.Since(sinceUs)) {
        if (m.topic.find("/state") == std::string::npos || m.topic == base + "mode/state")
            continue;
        const bool mayBeOn = m.topic == base + "output/3/state" ||
                             m.topic == base + "output/5/state" || m.topic == base + "input/1/state";
        EXPECT_TRUE(m.payload == "OFF" ? last[m.topic] != "ON" : mayBeOn && m.payload == "ON")
            << m.topic << " " << m.payload;
        last[m.topic] = m.payload;
    }
    EXPECT_TRUE(console.Running());
    console.Kill();
    sim.Stop();
}
