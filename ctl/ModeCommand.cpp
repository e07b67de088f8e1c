#include "Commands.h"
#include "ControllerLine.h"
#include "ControllerProtocol.h"
#include "CtlFailure.h"
#include "Printing.h"

namespace {

// A controller that announces its mode does so as the line opens; waiting this long first
// keeps that announcement from being taken for the answer to "Q".
constexpr int kAnnouncementSettleMs = 50;
// Three modes: three steps reach any of them.
constexpr int kMaxSteps = 3;

}  // namespace

void RunMode(const TCtlRequest& request)
{
    TControllerLine line(request.port, request.timeoutMs);
    line.Open();
    line.WaitFor([] { return false; }, kAnnouncementSettleMs);

    const std::optional<ControllerProtocol::Mode> target = request.mode;
    for (int step = 0; step < kMaxSteps && (!target || line.Mode() != *target); ++step) {
        const int seen = line.ModeAnnouncements();
        line.Send(std::string(1, ControllerProtocol::kNextMode));
        const int deadlineMs = line.ReplyDeadlineMs(1);
        if (!line.WaitFor([&] { return line.ModeAnnouncements() > seen; }, deadlineMs))
            throw ECtlFailure(TExitCode::TimedOut,
                              QStringLiteral("the controller did not announce a mode within %1 ms after "
                                             "\"Q\". Check that it is powered and connected to %2; a "
                                             "slow line needs a longer --timeout.")
                                  .arg(deadlineMs)
                                  .arg(line.Port()));
        if (!target)
            break;
    }
    if (target && line.Mode() != *target)
        throw ECtlFailure(TExitCode::NotConfirmed,
                          QStringLiteral("the controller is in mode %1 after %2 changes, not %3. Run "
                                         "mode next to see which mode each change gives.")
                              .arg(ModeName(line.Mode()))
                              .arg(kMaxSteps)
                              .arg(ModeName(*target)));
    PrintLine(stdout, QStringLiteral("mode ") + ModeName(line.Mode()));
}
