// A fleet on one machine: N simulators, each with its own selvora-hub, all on one Mosquitto on
// 127.0.0.1 (no console links). Figures: each hub's CPU time per wall-clock time over a quiet
// window (its own CPU time, so other load on the machine does not count), its resident memory,
// and MQTT set -> state through the broker, the hub and the simulated line.
// Usage: hub_fleet_bench HUBS [SECONDS] [SETS]   (defaults 50, 60, 200)
#include "HubRig.h"
#include "SimulatorProcess.h"
#include "WaitFor.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

using hubrig::NowUs;
using hubrig::Percentile;

namespace {

std::string Id(int i)
{
    return "fleet" + std::to_string(i);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int hubs = std::clamp(argc > 1 ? std::atoi(argv[1]) : 50, 1, 250);
    const int seconds = std::clamp(argc > 2 ? std::atoi(argv[2]) : 60, 5, 600);
    const int sets = std::clamp(argc > 3 ? std::atoi(argv[3]) : 200, 1, 2000);
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    hubrig::Broker broker(dir);
    broker.Start();
    hubrig::MqttProbe mqtt(broker.Port());

    std::vector<std::unique_ptr<SimulatorProcess>> sims;
    std::vector<std::unique_ptr<hubrig::Child>> fleet;
    for (int i = 0; i < hubs; ++i) {
        const std::string own = dir + "/" + Id(i);
        ::mkdir(own.c_str(), 0700);
        sims.push_back(std::make_unique<SimulatorProcess>(own));
        if (!sims.back()->Start({"--no-realtime"})) {
            std::fprintf(stderr, "selvora-sim %d: %s\n", i, sims.back()->Error().c_str());
            return 1;
        }
        fleet.push_back(std::make_unique<hubrig::Child>(
            std::vector<std::string>{hubrig::BuildDir() + "/selvora-hub", "--device",
                                     sims.back()->LinkPath(), "--mqtt",
                                     "127.0.0.1:" + std::to_string(broker.Port()), "--id", Id(i)},
            own + "/hub.log"));
    }
    const auto online = [&] {
        for (int i = 0; i < hubs; ++i)
            if (mqtt.Last("selvora/" + Id(i) + "/output/1/state").empty() ||
                mqtt.Last("selvora/" + Id(i) + "/availability") != "online")
                return false;
        return true;
    };
    if (!hubrig::WaitUntil(online, 60000)) {
        std::fprintf(stderr, "not every hub came online within 60 s\n");
        return 1;
    }
    Spin(3000);

    std::vector<double> before;
    for (const auto& hub : fleet)
        before.push_back(hubrig::CpuSeconds(hub->Pid()));
    const int64_t w0 = NowUs();
    Spin(seconds * 1000);
    const double wall = (NowUs() - w0) / 1e6;
    std::vector<double> cpu;
    std::vector<double> rssMb;
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        cpu.push_back((hubrig::CpuSeconds(fleet[i]->Pid()) - before[i]) / wall * 100.0);
        rssMb.push_back(hubrig::RssKb(fleet[i]->Pid()) / 1024.0);
    }

    // Set -> state, one hub after another, each output 1 switched back and forth.
    std::vector<double> delays;
    int lost = 0;
    for (int n = 0; n < sets; ++n) {
        const int i = n % hubs;
        const std::string base = "selvora/" + Id(i) + "/output/1/";
        const std::string wanted = (n / hubs) % 2 == 0 ? "ON" : "OFF";
        const int64_t t0 = NowUs();
        mqtt.Publish(base + "set", wanted);
        if (!mqtt.WaitFor(base + "state", wanted, 3000)) {
            ++lost;
            continue;
        }
        for (const hubrig::Message& m : mqtt.Since(t0))
            if (m.topic == base + "state" && m.payload == wanted) {
                delays.push_back((m.us - t0) / 1000.0);
                break;
            }
        Spin(20);
    }

    double total = 0;
    for (double c : cpu)
        total += c;
    std::printf("hubs: %d, each on its own simulator, one broker\n", hubs);
    std::printf("hub CPU: median %.2f %% of a core, max %.2f %%, all together %.1f %% (over %.0f s)\n",
                Percentile(cpu, 0.5), Percentile(cpu, 1.0), total, wall);
    std::printf("hub resident memory: median %.1f MB, max %.1f MB\n", Percentile(rssMb, 0.5),
                Percentile(rssMb, 1.0));
    std::printf("MQTT set -> state: median %.1f ms, p95 %.1f ms (%zu samples, %d not confirmed)\n",
                Percentile(delays, 0.5), Percentile(delays, 0.95), delays.size(), lost);
    fleet.clear();
    sims.clear();
    return 0;
}
