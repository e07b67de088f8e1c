#include "Commands.h"
#include "ControllerLine.h"
#include "ControllerProtocol.h"
#include "CtlFailure.h"
#include "Printing.h"

namespace {

QString OnOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

}  // namespace

// The controller only toggles outputs, so the state is read first and the command goes out
// only when it changes something.
void RunOut(const TCtlRequest& request)
{
    TControllerLine line(request.port, request.timeoutMs);
    line.Open();
    const int n = request.output;
    const bool was = line.ReadOutputs()[n - 1];
    const bool wanted = request.outAction == TOutAction::Toggle ? !was
                        : request.outAction == TOutAction::On   ? true
                                                                : false;
    if (wanted != was) {
        line.Send(std::string(1, ControllerProtocol::OutputCommand(n)));
        if (line.ReadOutputs()[n - 1] != wanted)
            throw ECtlFailure(TExitCode::NotConfirmed,
                              QStringLiteral("output %1 is still %2 after the command. Something else "
                                             "may have switched it at the same time; run status and "
                                             "try again.")
                                  .arg(n)
                                  .arg(OnOff(was)));
    }
    PrintLine(stdout, QStringLiteral("output %1 %2").arg(n).arg(OnOff(wanted)));
}
