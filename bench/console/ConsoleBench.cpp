// Figures of the console polling the controller simulator: CPU use, resident memory, the
// polling cycle period against its theoretical value, and the time from the simulator's last
// reply byte to the updated display. Plain program; prints its figures.
//   console_bench [seconds]   (default 30; selvora-sim is looked up in $KONF_BUILD_DIR or
//                              beside this program's folder)
#include "ComTerminal.h"
#include "ConfigFile.h"
#include "ConsoleLine.h"
#include "ControllerSession.h"
#include "FindChild.h"
#include "MainWindow.h"
#include "SimulatorProcess.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t NowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

long StatusKb(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::strlen(key)));
    }
    return -1;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 30;

    SimulatorProcess sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "console_bench: %s\n", sim.Error().c_str());
        return 1;
    }
    const QString link = QString::fromStdString(sim.LinkPath());
    const QDir dir(QString::fromStdString(sim.Dir()));

    TConfigFile config;
    config.port = link;
    config.Write(dir.filePath(QStringLiteral("config.ini")));
    QDir::setCurrent(dir.path());

    // Times at which the parser has put a complete reply on the display.
    std::vector<std::int64_t> outputShown, inputShown;
    TConsoleLine line;
    MainWindow form(line.Port(), line.Session(), line.Keeper());
    form.show();
    form.EndIntro();   // the intro only covers the window; its 15 s are not what is measured
    auto* terminal = FindChild<TComTerminal>(&form, QStringLiteral("ComTerminal1"));
    auto parserChar = terminal->OnChar;
    terminal->OnChar = [&](TCustomComTerminal* sender, char ch) {
        const bool inputsPending = line.Session().State().InputReadActive;
        parserChar(sender, ch);
        if (ch == '!')
            outputShown.push_back(NowUs());
        else if (inputsPending && !line.Session().State().InputReadActive)
            inputShown.push_back(NowUs());
    };

    // Settle past firstInputRead's single extra request at 5 s, then measure.
    if (qEnvironmentVariableIsSet("KONF_BENCH_NO_CLOCK"))
        FindChild<QTimer>(&form, QStringLiteral("titleClock"))->stop();
    if (qEnvironmentVariableIsSet("KONF_BENCH_NO_WATCH"))
        FindChild<QTimer>(&form, QStringLiteral("lockWatch"))->stop();
    QTimer::singleShot(6000, &app, &QApplication::quit);
    app.exec();
    const double cpu0 = CpuSeconds();
    const auto wall0 = Clock::now();
    const std::int64_t from = NowUs();
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    const std::int64_t to = NowUs();
    const long rss = StatusKb("VmRSS:"), hwm = StatusKb("VmHWM:");

    sim.Stop();

    const std::vector<SimLogRecord> log = sim.Log();
    const std::vector<SimLogRecord> rx = Bytes(log, 'R'), tx = Bytes(log, 'T');

    // Cycle period: from one "x" request to the next.
    std::vector<double> periods;
    std::int64_t lastX = -1;
    for (const SimLogRecord& b : rx) {
        if (b.byte != 'x' || b.us < from || b.us > to)
            continue;
        if (lastX >= 0)
            periods.push_back((b.us - lastX) / 1000.0);
        lastX = b.us;
    }
    // Last byte of each reply as the simulator wrote it: the '!' and the 16th input state.
    std::vector<std::int64_t> bangSent, inputEndSent;
    for (size_t i = 0; i < tx.size(); ++i) {
        if (tx[i].byte == '!')
            bangSent.push_back(tx[i].us);
    }
    {
        // Each "q" is answered with 16 state characters; the 16th is the last byte of the reply.
        size_t t = 0;
        for (const SimLogRecord& r : rx) {
            if (r.byte != 'q')
                continue;
            while (t < tx.size() && tx[t].us < r.us)
                ++t;
            if (t + 15 < tx.size())
                inputEndSent.push_back(tx[t + 15].us);
        }
    }
    std::vector<double> latencies;
    auto match = [&](const std::vector<std::int64_t>& sent, const std::vector<std::int64_t>& shown) {
        for (std::int64_t s : shown) {
            if (s < from || s > to)
                continue;
            // The newest byte sent before the display changed.
            auto it = std::upper_bound(sent.begin(), sent.end(), s);
            if (it == sent.begin())
                continue;
            const double ms = (s - *(it - 1)) / 1000.0;
            if (ms < 50)
                latencies.push_back(ms);
        }
    };
    match(bangSent, outputShown);
    match(inputEndSent, inputShown);

    const double theoretical = 200.0 + 200.0 + 35 * 10 * 1000.0 / 9600.0;
    double mean = 0;
    for (double p : periods)
        mean += p;
    mean = periods.empty() ? 0 : mean / periods.size();

    std::printf("console_bench: %d s polling selvora-sim (in-process window, offscreen)\n", seconds);
    std::printf("  CPU use: %.3f %% of one core (%.3f s in %.1f s)\n", 100.0 * cpu / wall, cpu, wall);
    std::printf("  resident memory: %.1f MB now, %.1f MB peak\n", rss / 1024.0, hwm / 1024.0);
    std::printf("  polling cycle: %zu cycles, mean %.2f ms, median %.2f ms, theoretical %.2f ms (%+.2f %%)\n",
                periods.size(), mean, Percentile(periods, 0.5), theoretical,
                100.0 * (mean - theoretical) / theoretical);
    std::printf("  last reply byte -> display: %zu replies, median %.3f ms, 90th %.3f ms, max %.3f ms\n",
                latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.9),
                latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()));
    return 0;
}
