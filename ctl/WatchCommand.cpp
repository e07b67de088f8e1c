#include "Commands.h"
#include "ControllerLine.h"
#include "CtlFailure.h"
#include "Printing.h"
#include "SignalWatch.h"

#include <QDateTime>

namespace {

// The console's pace: one request every 200 ms, outputs and inputs in turn.
constexpr int kPollPauseMs = 200;

QString Now()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

// One line per channel that differs from what was printed before.
void PrintChanges(const char* kind, const TControllerLine::TStates& before,
                  const TControllerLine::TStates& now)
{
    for (int n = 1; n <= ControllerProtocol::kChannels; ++n) {
        if (before[n - 1] != now[n - 1])
            PrintLine(stdout, QStringLiteral("%1 %2 %3 %4")
                                  .arg(Now(), QLatin1String(kind))
                                  .arg(n)
                                  .arg(now[n - 1] ? QStringLiteral("on") : QStringLiteral("off")));
    }
}

}  // namespace

void RunWatch(const TCtlRequest& request)
{
    TSignalWatch stop;   // before the port's thread starts
    TControllerLine line(request.port, request.timeoutMs);
    QObject::connect(&stop, &TSignalWatch::Signalled, &line, &TControllerLine::Interrupt);
    QObject::connect(&line, &TControllerLine::ModeAnnounced, &line,
                     [](ControllerProtocol::Mode mode) { PrintLine(stdout, Now() + QStringLiteral(" mode ") + ModeName(mode)); });
    line.Open();

    try {
        int noticesRead = line.OutputChangeNotices();
        TControllerLine::TStates outputs = line.ReadOutputs();
        PrintLine(stdout, Now() + QStringLiteral(" outputs ") + StatesText(outputs));
        TControllerLine::TStates inputs = line.ReadInputs();
        PrintLine(stdout, Now() + QStringLiteral(" inputs ") + StatesText(inputs));

        // Outputs and inputs in turn; a '/' (the outputs changed) cuts the pause short and puts
        // the outputs next.
        bool outputsNext = true;
        for (;;) {
            auto changed = [&] { return line.OutputChangeNotices() != noticesRead; };
            if (line.WaitFor(changed, kPollPauseMs))
                outputsNext = true;
            if (outputsNext) {
                noticesRead = line.OutputChangeNotices();
                const TControllerLine::TStates now = line.ReadOutputs();
                PrintChanges("output", outputs, now);
                outputs = now;
            } else {
                const TControllerLine::TStates now = line.ReadInputs();
                PrintChanges("input", inputs, now);
                inputs = now;
            }
            outputsNext = !outputsNext;
        }
    } catch (const EInterrupted&) {
        // Ctrl+C or a service stop: the normal end of a watch.
    }
}
