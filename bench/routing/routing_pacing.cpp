// Measures the pacing of a real routing write as the controller sees it: runs one pass of the
// routing window against the simulator and reads the arrival times from the simulator's log.
//   bench_routing_pacing   (selvora-sim is looked up in $KONF_BUILD_DIR or beside this program's
//                           folder)
#include "ComPort.h"
#include "ControllerSession.h"
#include "RoutingMatrixWindow.h"
#include "RoutingWriteLog.h"
#include "SimulatorProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <exception>
#include <vector>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SimulatorProcess sim;
    if (!sim.Start()) {
        std::fprintf(stderr, "%s\n", sim.Error().c_str());
        return 1;
    }
    try {
        TComPort port;
        port.SetPort(QString::fromStdString(sim.LinkPath()));
        port.SetConnected(true);
        // When each write started and completed, as this side sees it: the pause the console keeps
        // is from one write's completion to the next write's start.
        std::vector<std::pair<Routing::PassClock::time_point, Routing::PassClock::time_point>> writes;
        TControllerSession session([&](const std::string& bytes) {
            const auto start = Routing::PassClock::now();
            const int sent = port.WriteText(bytes);
            writes.emplace_back(start, Routing::PassClock::now());
            return sent;
        });
        RoutingMatrixWindow form;
        form.Bind(&session, nullptr);
        for (int k = 1; k <= 16; ++k)
            for (int j = 1; j <= 16; ++j)
                form.Cell(k, j)->setChecked((k + j) % 3 == 0);
        form.show();
        QCoreApplication::processEvents();

        // How late this side wakes for each write, to tell its jitter from the simulator's.
        std::vector<double> lateMs;
        form.SleepUntil = [&](Routing::PassClock::time_point deadline) {
            Routing::SleepUntilDeadline(deadline);
            lateMs.push_back(
                std::chrono::duration<double, std::milli>(Routing::PassClock::now() - deadline).count());
        };

        const auto begin = Routing::PassClock::now();
        form.WriteMatrix();
        const double totalMs =
            std::chrono::duration<double, std::milli>(Routing::PassClock::now() - begin).count();
        // Let the simulator log the last character.
        QThread::msleep(200);
        port.SetConnected(false);

        const simlog::RoutingWrite w = simlog::LastRoutingWrite(sim.Log());
        if (!w.found || w.cells.size() != 256) {
            std::fprintf(stderr, "the simulator's log holds no whole routing write (%zu cells)\n",
                         w.cells.size());
            return 1;
        }
        const simlog::IntervalStats cells = simlog::Stats(w.betweenCellsMs, 100.0);
        std::printf("routing write against the simulator, arrival times from its log\n");
        std::printf("  pass duration (handler)        %10.3f ms (goal 26600..27200)\n", totalMs);
        std::printf("  \"c\" -> first cell             %10.3f ms (goal >= 1000)\n", w.afterStartMs);
        std::printf("  cell -> cell, %3d intervals    mean %.3f ms, min %.3f (goal >= 100), max %.3f\n",
                    cells.count, cells.meanMs, cells.minMs, cells.maxMs);
        std::vector<double> pausesMs;
        for (size_t i = 2; i < writes.size(); ++i)
            pausesMs.push_back(std::chrono::duration<double, std::milli>(writes[i].first - writes[i - 1].second).count());
        const simlog::IntervalStats pauses = simlog::Stats(pausesMs, 100.0);
        const double firstPauseMs =
            writes.size() > 1 ? std::chrono::duration<double, std::milli>(writes[1].first - writes[0].second).count() : 0;
        std::printf("  console pause after \"c\"       %10.3f ms (goal >= 1000)\n", firstPauseMs);
        std::printf("  console pause after a cell     mean %.3f ms, min %.3f (goal >= 100), max %.3f\n",
                    pauses.meanMs, pauses.minMs, pauses.maxMs);
        const simlog::IntervalStats late = simlog::Stats(lateMs, 0.0);
        std::printf("  console wake-up after deadline mean %.3f ms, max %.3f ms (%d waits)\n",
                    late.meanMs, late.maxMs, late.count);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
