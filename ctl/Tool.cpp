#include "Tool.h"

#include "Commands.h"
#include "CtlFailure.h"
#include "HelpText.h"
#include "KonfVersion.h"
#include "Printing.h"

#include <exception>

namespace {

void Dispatch(const TCtlRequest& request)
{
    switch (request.command) {
    case TCommand::Status:
        return RunStatus(request);
    case TCommand::Out:
        return RunOut(request);
    case TCommand::Mode:
        return RunMode(request);
    case TCommand::RoutingGet:
        return RunRoutingGet(request);
    case TCommand::RoutingSet:
        return RunRoutingSet(request);
    case TCommand::Watch:
        return RunWatch(request);
    case TCommand::Routing:
    case TCommand::None:
        break;
    }
}

int Fail(TExitCode code, const QString& message)
{
    PrintLine(stderr, QStringLiteral("selvora-ctl: ") + message);
    return static_cast<int>(code);
}

}  // namespace

int RunTool(const QStringList& args)
{
    try {
        const TCtlRequest request = ParseCommandLine(args);
        if (request.help) {
            PrintBytes(stdout, HelpText(request.command).toUtf8());
            return 0;
        }
        if (request.version) {
            PrintLine(stdout, QStringLiteral("selvora-ctl " KONF_VERSION));
            return 0;
        }
        Dispatch(request);
        return 0;
    } catch (const ECtlFailure& e) {
        return Fail(e.Code(), e.Message());
    } catch (const std::exception& e) {
        return Fail(TExitCode::Failed, QString::fromLocal8Bit(e.what()));
    }
}
