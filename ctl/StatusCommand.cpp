#include "Commands.h"
#include "ControllerLine.h"
#include "Printing.h"

void RunStatus(const TCtlRequest& request)
{
    TControllerLine line(request.port, request.timeoutMs);
    line.Open();
    const TControllerLine::TStates outputs = line.ReadOutputs();
    const TControllerLine::TStates inputs = line.ReadInputs();
    PrintLine(stdout, QStringLiteral("outputs ") + StatesText(outputs));
    PrintLine(stdout, QStringLiteral("inputs ") + StatesText(inputs));
    // The mode cannot be asked for, only changed; it is known when the line announced it.
    PrintLine(stdout, QStringLiteral("mode ") + ModeName(line.Mode()));
}
