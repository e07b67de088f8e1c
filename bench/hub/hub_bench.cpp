// Figures of selvora-hub with the simulator on the device side, a real Mosquitto broker and one
// console polling on a link as the console does (x, '!', 200 ms, q, 16 states, 200 ms):
//   MQTT set -> command on the wire, input change -> MQTT state, the console's reply through
//   the hub against a direct line, the hub's CPU and resident memory.
// Usage: [HUB_POLL_MS=N] hub_bench [SECONDS]   (the CPU window; default 30)
#include "HubRig.h"
#include "WaitFor.h"
#include "LineEnd.h"
#include "SimLog.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

using hubrig::CpuSeconds;
using hubrig::NowUs;
using hubrig::Percentile;
using hubrig::RssKb;

namespace {

// A console's polling cycle on `path`; records, for every output reply, when its '!' arrived.
class ConsolePoller {
public:
    explicit ConsolePoller(const std::string& path) : line_(path)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~ConsolePoller()
    {
        stop_ = true;
        thread_.join();
    }
    std::vector<int64_t> BangTimesUs()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bangs_;
    }

private:
    void Run()
    {
        while (!stop_) {
            std::string bytes;
            line_.Write("x");
            const auto times = line_.ReadTimed(17, bytes, 2000);
            if (bytes.size() == 17 && bytes.back() == '!') {
                std::lock_guard<std::mutex> lock(mutex_);
                bangs_.push_back(times.back() / 1000);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            line_.Write("q");
            line_.ReadTimed(16, bytes, 2000);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

    LineEnd line_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<int64_t> bangs_;
    std::thread thread_;
};

// For each '!' the console read, the delay since the simulator sent the closest '!' before.
std::vector<double> ReplyDelaysMs(const std::string& logPath, const std::vector<int64_t>& bangs)
{
    std::vector<int64_t> sent;
    for (const SimLogRecord& r : Bytes(ReadSimLog(logPath), 'T'))
        if (r.byte == '!')
            sent.push_back(r.us);
    std::vector<double> delays;
    for (int64_t got : bangs) {
        const auto it = std::upper_bound(sent.begin(), sent.end(), got);
        if (it != sent.begin())
            delays.push_back((got - *(it - 1)) / 1000.0);
    }
    return delays;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    // HUB_POLL_MS tries another pause between the hub's own requests.
    std::vector<std::string> hubOptions;
    if (const char* poll = std::getenv("HUB_POLL_MS"))
        hubOptions = {"--poll-ms", poll};
    hubrig::Rig rig(dir, hubOptions);
    hubrig::MqttProbe mqtt(rig.MqttBroker().Port());
    const std::string base = "selvora/test/";
    if (!mqtt.WaitFor(base + "availability", "online", 10000)) {
        std::fprintf(stderr, "the hub did not come online\n%s", ReadFile(rig.HubLog()).c_str());
        return 1;
    }
    ConsolePoller console(rig.Link());
    Spin(1000);

    // MQTT set -> output command on the wire (output 5's command is '4').
    std::vector<double> setDelays;
    for (int i = 0; i < 20; ++i) {
        const bool on = i % 2 == 0;
        const int64_t t0 = NowUs();
        mqtt.Publish(base + "output/5/set", on ? "ON" : "OFF");
        if (!mqtt.WaitFor(base + "output/5/state", on ? "ON" : "OFF", 3000))
            continue;
        for (const SimLogRecord& r : Bytes(ReadSimLog(rig.SimLog()), 'R', t0))
            if (r.byte == '4') {
                setDelays.push_back((r.us - t0) / 1000.0);
                break;
            }
        Spin(150);
    }

    // Input change on the controller -> MQTT state.
    std::vector<double> inputDelays;
    for (int i = 0; i < 30; ++i) {
        const bool on = i % 2 == 0;
        const int64_t t0 = NowUs();
        rig.Sim().Command(std::string("in 2 ") + (on ? "on" : "off"));
        if (!mqtt.WaitFor(base + "input/2/state", on ? "ON" : "OFF", 3000))
            continue;
        int64_t changed = 0;
        for (const SimLogRecord& r : ReadSimLog(rig.SimLog()))
            if (r.us >= t0 && r.kind == 'E' && r.text.rfind("input 2 ", 0) == 0) {
                changed = r.us;
                break;
            }
        int64_t published = 0;
        for (const hubrig::Message& m : mqtt.Since(t0))
            if (m.topic == base + "input/2/state") {
                published = m.us;
                break;
            }
        if (changed && published)
            inputDelays.push_back((published - changed) / 1000.0);
        // A random phase against the polling cycle.
        Spin(100 + (i * 37) % 150);
    }

    // CPU and memory of the hub over a quiet window with the console polling.
    const pid_t pid = rig.Hub().Pid();
    const double cpu0 = CpuSeconds(pid);
    const int64_t w0 = NowUs();
    Spin(seconds * 1000);
    const int64_t w1 = NowUs();
    const double cpu = (CpuSeconds(pid) - cpu0) / ((w1 - w0) / 1e6) * 100.0;
    long txBytes = 0;
    for (const SimLogRecord& r : Bytes(ReadSimLog(rig.SimLog()), 'T', w0))
        if (r.us < w1)
            ++txBytes;
    const auto viaHub = ReplyDelaysMs(rig.SimLog(), console.BangTimesUs());

    // The same console directly on a simulator, for comparison.
    std::vector<double> direct;
    {
        SimulatorProcess sim;
        if (!sim.Start()) {
            std::fprintf(stderr, "selvora-sim: %s\n", sim.Error().c_str());
            return 1;
        }
        ConsolePoller directConsole(sim.LinkPath());
        Spin(std::min(seconds, 15) * 1000);
        direct = ReplyDelaysMs(sim.LogPath(), directConsole.BangTimesUs());
    }

    std::printf("MQTT set -> command written: median %.2f ms, p95 %.2f ms (%zu samples)\n",
                Percentile(setDelays, 0.5), Percentile(setDelays, 0.95), setDelays.size());
    std::printf("input change -> MQTT state: median %.1f ms, p95 %.1f ms (%zu samples)\n",
                Percentile(inputDelays, 0.5), Percentile(inputDelays, 0.95), inputDelays.size());
    std::printf("console reply end -> console, through the hub: median %.2f ms, p95 %.2f ms\n",
                Percentile(viaHub, 0.5), Percentile(viaHub, 0.95));
    std::printf("console reply end -> console, direct: median %.2f ms, p95 %.2f ms\n",
                Percentile(direct, 0.5), Percentile(direct, 0.95));
    std::printf("hub CPU: %.2f %% of a core over %d s\n", cpu, seconds);
    std::printf("hub resident memory: %.1f MB\n", RssKb(pid) / 1024.0);
    std::printf("line use (hub and console): %.0f bytes/s from the controller\n",
                txBytes / ((w1 - w0) / 1e6));
    return 0;
}
