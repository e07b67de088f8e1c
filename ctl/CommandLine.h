#pragma once
#include <QString>
#include <QStringList>

#include <optional>

#include "ModeNames.h"

// What the user asked selvora-ctl to do, read from its arguments. No I/O.
enum class TCommand { None, Status, Out, Mode, Routing, RoutingGet, RoutingSet, Watch };
enum class TOutAction { On, Off, Toggle };

struct TCtlRequest {
    bool help = false;      // for `command` when one is named, else for the tool
    bool version = false;
    TCommand command = TCommand::None;

    QString port;
    int timeoutMs = 1000;

    int output = 0;                        // out: 1..16
    TOutAction outAction = TOutAction::On;
    std::optional<ControllerProtocol::Mode> mode;   // mode: nullopt is "next"
    QString file;                          // routing: the backup file, "-" or empty for stdio
    QString namesFile;                     // routing get --names
    bool force = false;                    // routing set --force
};

// Throws ECtlFailure with TExitCode::Usage, naming the fault and the help to read.
TCtlRequest ParseCommandLine(const QStringList& args);

// The word a command is typed as ("routing get"), for messages and help.
QString CommandWord(TCommand command);
