#include "HelpText.h"

namespace {

const char kToolHelp[] = R"(Usage: selvora-ctl --port PATH [--timeout MS] COMMAND [ARGUMENTS]
       selvora-ctl [COMMAND] --help | --version

Talks to a Selvora controller on its serial line: reads the inputs and outputs, switches an
output, changes the operating mode, backs up and restores the routing table. The port is held
only while a command runs (watch keeps it until it is stopped), and only one program can hold
it: close the Konfigurator console first, or use a selvora-hub console link.

Commands:
  status                     the outputs, the inputs and the mode, one line each
  out N on|off|toggle        switch output N (1-16); nothing is sent when it is already so
  mode next|NAME             change the operating mode (equal-inputs, remote-first, remote-only)
  routing get [--names config.ini] [FILE]
                             save the routing table as a backup file (standard output without FILE)
  routing set FILE [--force] write a backup file's table into the controller (about 27 s)
  watch                      print every input, output and mode change until stopped

Options:
  --port PATH      the controller's line: COM1..COM256, /dev/ttyUSB0, ttyUSB0, or the path of a
                   simulator or selvora-hub link
  --timeout MS     how long the controller may take to answer, on top of the time its reply
                   needs on the line (default 1000)
  --help           this text; after a command, that command's help
  --version        the version

Exit codes:
  0  done
  1  an unexpected failure
  2  usage: unknown command or option, missing or bad argument
  3  the port is busy or missing, or was lost during the command
  4  the controller did not answer in time, or its answer was damaged
  5  a bad file: unreadable, not a valid backup, or not writable
  6  a write not confirmed: routing table, output or mode not as asked after the write
  7  refused: routing set would remove connections and --force was not given
)";

const char kStatusHelp[] = R"(Usage: selvora-ctl --port PATH status

Reads the output and input states ("x", then "q": 35 bytes on the line) and prints:
  outputs 0100000000000001    output 1 first, 1 = switched on
  inputs 0000000000000000     input 1 first, 1 = active (low)
  mode remote-first           equal-inputs, remote-first, remote-only, or unknown
The controller cannot be asked for its mode, only told to change it; the mode is known only
when the controller announces it while the command runs, else it is unknown.
)";

const char kOutHelp[] = R"(Usage: selvora-ctl --port PATH out N on|off|toggle

Switches output N (1-16). The controller only toggles outputs, so the outputs are read first
and the output's command is sent only when the state has to change; a second read confirms it.
Prints "output N on" or "output N off", the state it is in now.
Exit code 6 when the output did not follow the command.
)";

const char kModeHelp[] = R"(Usage: selvora-ctl --port PATH mode next|NAME

Changes the operating mode. The controller steps through its three modes, one "Q" each, and
answers with the new mode; each step waits for that answer, and at most three are sent.
  next           one step
  equal-inputs   "Wejścia równorzędne": inputs of equal rank
  remote-first   "Pilot i komputer nadrzędne": remote control and computer take precedence
  remote-only    "Tylko pilot i komputer": remote control and computer only
The Polish names are accepted too. Prints "mode NAME", the mode it is in now.
Exit code 6 when three steps did not reach the mode.
)";

const char kRoutingHelp[] = R"(Usage: selvora-ctl --port PATH routing get [--names config.ini] [FILE]
       selvora-ctl --port PATH routing set FILE [--force]

get  reads the routing table ("C") and writes it as a backup file, the format of the console's
     "Zapisz do pliku" (README.md): to FILE, replaced whole or not at all, or to standard output
     without FILE or with "-". --names takes the input and output names from the console's
     config.ini; without it the names are left empty.
set  reads a backup file (FILE, or "-" for standard input), reads the controller's table and
     prints "routing: A added, R removed", then writes the table: "c", 1 s, and the 256 cells
     100 ms apart, about 27 s. A progress bar is shown when standard error is a terminal. The
     controller answers '?' when it has saved; the table is then read back and compared. Prints
     "routing saved".
     A table that removes connections the controller holds is written only with --force
     (exit code 7 without it). Exit code 6 when the '?' does not come or the table read back
     differs; exit code 5 when the file is not a valid backup.
)";

const char kWatchHelp[] = R"(Usage: selvora-ctl --port PATH watch

Holds the port and prints a line, with the local time, for every change until SIGINT (Ctrl+C),
SIGTERM or SIGHUP, which end it with exit code 0:
  2025-03-01T18:04:05.120 outputs 0000000000000000    the first reading
  2025-03-01T18:04:05.140 inputs 0000000000000000
  2025-03-01T18:04:09.311 input 3 on
  2025-03-01T18:04:09.330 output 5 on
  2025-03-01T18:04:12.002 mode remote-only
The outputs and inputs are read in turn every 200 ms; a '/' from the controller has the outputs
read at once. Exit code 4 when the controller stops answering, 3 when the line goes away.
)";

}  // namespace

QString HelpText(TCommand command)
{
    switch (command) {
    case TCommand::Status:
        return QString::fromUtf8(kStatusHelp);
    case TCommand::Out:
        return QString::fromUtf8(kOutHelp);
    case TCommand::Mode:
        return QString::fromUtf8(kModeHelp);
    case TCommand::Routing:
    case TCommand::RoutingGet:
    case TCommand::RoutingSet:
        return QString::fromUtf8(kRoutingHelp);
    case TCommand::Watch:
        return QString::fromUtf8(kWatchHelp);
    case TCommand::None:
        break;
    }
    return QString::fromUtf8(kToolHelp);
}
