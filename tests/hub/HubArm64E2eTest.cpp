// The arm64 build of the hub and selvora-ctl, run by qemu-user with the arm64 libraries, against
// this machine's simulator and broker: the board's programs with nothing changed for the test.
#include "HubRig.h"
#include "LineEnd.h"
#include "SimLog.h"
#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

using hubrig::MqttProbe;
using hubrig::Rig;

namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// qemu-user with the sysroot's dynamic linker and libraries before an arm64 program.
std::vector<std::string> Emulated(const std::string& program)
{
    return {Env("KONF_QEMU_AARCH64"), "-L", Env("KONF_ARM64_SYSROOT"),
            Env("KONF_ARM64_BUILD_DIR") + "/" + program};
}

// Microseconds from `fromUs` to the controller's first received byte after it, or -1.
int64_t FirstReceivedAfter(const std::string& simLog, int64_t fromUs, int timeoutMs)
{
    int64_t at = -1;
    WaitFor([&] {
        const auto bytes = Bytes(ReadSimLog(simLog), 'R', fromUs);
        if (!bytes.empty())
            at = bytes.front().us - fromUs;
        return at >= 0;
    }, timeoutMs, 5);
    return at;
}

}  // namespace

// MQTT set -> output, input -> MQTT, and selvora-ctl's status through a console link.
TEST(HubArm64E2e, EmulatedHubServesMqttAndAConsoleLink)
{
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    Rig rig(dir, {}, Rig::WebPage::Off, Emulated("selvora-hub"));
    MqttProbe mqtt(rig.MqttBroker().Port());
    const std::string base = "selvora/test/";
    // Emulation makes the start slow, not the serving.
    ASSERT_TRUE(mqtt.WaitFor(base + "availability", "online", 30000)) << ReadFile(rig.HubLog());
    ASSERT_TRUE(mqtt.WaitFor(base + "output/3/state", "OFF", 5000));

    // Each set reaches the wire; the figure is for comparison with the native hub's.
    std::vector<int64_t> setToCommandUs;
    for (int round = 0; round < 6; ++round) {
        const std::string state = round % 2 == 0 ? "ON" : "OFF";
        Spin(200);   // the hub's poll after the previous switch has gone out
        const int64_t published = hubrig::NowUs();
        mqtt.Publish(base + "output/3/set", state);
        setToCommandUs.push_back(FirstReceivedAfter(rig.SimLog(), published, 5000));
        ASSERT_TRUE(mqtt.WaitFor(base + "output/3/state", state, 5000)) << ReadFile(rig.HubLog());
        EXPECT_EQ(rig.Sim().Status().outputs.substr(0, 4), round % 2 == 0 ? "0010" : "0000");
    }
    EXPECT_TRUE(std::none_of(setToCommandUs.begin(), setToCommandUs.end(), [](int64_t us) { return us < 0; }));
    std::sort(setToCommandUs.begin(), setToCommandUs.end());
    std::cout << "emulated arm64 hub: MQTT set -> command on the wire, median "
              << setToCommandUs[setToCommandUs.size() / 2] / 1000.0 << " ms" << std::endl;

    rig.Sim().Command("in 1 on");
    EXPECT_TRUE(mqtt.WaitFor(base + "input/1/state", "ON", 5000));

    mqtt.Publish(base + "output/16/set", "ON");
    ASSERT_TRUE(mqtt.WaitFor(base + "output/16/state", "ON", 5000));
    const std::vector<std::string> ctl = Emulated("selvora-ctl");
    QStringList args;
    for (std::size_t i = 1; i < ctl.size(); ++i)
        args << QString::fromStdString(ctl[i]);
    args << QStringLiteral("--port") << QString::fromStdString(rig.Link()) << QStringLiteral("status");
    QProcess status;
    status.start(QString::fromStdString(ctl[0]), args);
    ASSERT_TRUE(status.waitForFinished(60000));
    EXPECT_EQ(status.exitCode(), 0) << status.readAllStandardError().toStdString();
    const std::string out = status.readAllStandardOutput().toStdString();
    EXPECT_EQ(out.substr(0, std::min<std::size_t>(out.size(), 49)),
              "outputs 0000000000000001\ninputs 1000000000000000\n") << out;
    EXPECT_TRUE(rig.Hub().Running());
}
