#include "BackupFiles.h"
#include "Commands.h"
#include "ControllerLine.h"
#include "CtlFailure.h"
#include "Printing.h"
#include "ProgressBar.h"
#include "RoutingChanges.h"
#include "RoutingPass.h"

#include <QtGlobal>

namespace {

// The controller saves after the last character and then sends '?'; allow it this long at least.
constexpr int kSaveConfirmMs = 5000;

}  // namespace

void RunRoutingSet(const TCtlRequest& request)
{
    // A bad file is found before the controller is touched.
    const Routing::TRoutingBackup backup = ReadBackupFile(request.file);
    const Routing::TRoutingCells& wanted = backup.cells;

    TControllerLine line(request.port, request.timeoutMs);
    line.Open();
    const Routing::TRoutingChanges changes = Routing::CountChanges(line.ReadTable(), wanted);
    PrintLine(stdout, QStringLiteral("routing: %1 added, %2 removed").arg(changes.added).arg(changes.removed));
    if (changes.removed > 0 && !request.force)
        throw ECtlFailure(TExitCode::Refused,
                          QStringLiteral("the file would remove %1 connection(s) the controller holds; "
                                         "nothing was written. Check the file, then run again with "
                                         "--force to write it.")
                              .arg(changes.removed));

    TProgressBar progress(stderr, QStringLiteral("writing routing table"), Routing::kCells);
    Routing::RoutingPassIo io;
    io.write = [&](const std::string& text) { line.Send(text); };
    io.checked = [&](int input, int output) { return wanted.At(input, output); };
    io.progress = [&](int sent) { progress.Show(sent); };
    io.now = Routing::SteadyNow;
    io.sleepUntil = Routing::SleepUntilDeadline;
    const int savedBefore = line.SavedNotices();
    Routing::RunRoutingPass(io, Routing::TRoutingPacing{});
    progress.Finish();

    const int confirmMs = qMax(kSaveConfirmMs, request.timeoutMs);
    if (!line.WaitFor([&] { return line.SavedNotices() > savedBefore; }, confirmMs))
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
