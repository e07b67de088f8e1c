#include "BackupFiles.h"
#include "Commands.h"
#include "ControllerLine.h"
#include "CtlFailure.h"
#include "Printing.h"
#include "ProgressBar.h"
#include "RoutingChanges.h"
#include "RoutingWriteFlow.h"

#include <QtGlobal>

#include <optional>

void RunRoutingSet(const TCtlRequest& request)
{
    // A bad file is found before the controller is touched.
    const Routing::TRoutingBackup backup = ReadBackupFile(request.file);
    const Routing::TRoutingCells& wanted = backup.cells;

    TControllerLine line(request.port, request.timeoutMs);
    line.Open();

    // The line answers at once: a read that fails throws out of Start.
    TRoutingWriteFlow flow;
    flow.requestTable = [&] { flow.TableArrived(line.ReadTable()); };
    flow.write = [&](const std::string& text) { line.Send(text); };
    flow.wanted = [&] { return wanted; };
    flow.goAhead = [&](const std::optional<Routing::TRoutingCells>&, const Routing::TRoutingChanges& changes) {
        PrintLine(stdout, QStringLiteral("routing: %1 added, %2 removed").arg(changes.added).arg(changes.removed));
        if (changes.removed > 0 && !request.force)
            throw ECtlFailure(TExitCode::Refused,
                              QStringLiteral("the file would remove %1 connection(s) the controller holds; "
                                             "nothing was written. Check the file, then run again with "
                                             "--force to write it.")
                                  .arg(changes.removed));
        return true;
    };
    std::optional<TProgressBar> progress;
    int savedBefore = 0;
    flow.passBegins = [&] {
        progress.emplace(stderr, QStringLiteral("writing routing table"), Routing::kCells);
        savedBefore = line.SavedNotices();
    };
    flow.progress = [&](int sent) { progress->Show(sent); };
    // The controller saves after the last character and then sends '?': at least the flow's wait.
    const int confirmMs = qMax(TRoutingWriteFlow::kSavedAckMs, request.timeoutMs);
    flow.SaveWait()->setInterval(confirmMs);
    bool saved = false;
    bool missing = false;
    QObject::connect(&flow, &TRoutingWriteFlow::Saved, [&] { saved = true; });
    QObject::connect(&flow, &TRoutingWriteFlow::NotConfirmed, [&] { missing = true; });

    flow.Start();
    if (const std::exception_ptr failure = flow.PassFailure())
        std::rethrow_exception(failure);
    progress->Finish();

    line.WaitFor(
        [&] {
            if (line.SavedNotices() > savedBefore)
                flow.SavedNotice();
            return saved || missing;
        },
        confirmMs + 1000);
    if (!saved)
        throw ECtlFailure(TExitCode::NotConfirmed,
                          QStringLiteral("the controller did not confirm the write ('?' missing after "
                                         "%1 ms); it may not hold the new table. Run routing set "
                                         "again, then routing get to compare.")
                              .arg(confirmMs));
    // The table read back is the proof that every character arrived where it belongs.
    if (line.ReadTable() != wanted)
        throw ECtlFailure(TExitCode::NotConfirmed,
                          QStringLiteral("the controller confirmed the write but holds a different "
                                         "table. Check the line to the controller and run routing "
                                         "set again."));
    PrintLine(stdout, QStringLiteral("routing saved"));
}
