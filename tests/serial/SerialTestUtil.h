#pragma once
#include <QThread>
#include <termios.h>

#include "ComPort.h"
#include "ConsolePortSettings.h"
#include "PtyPair.h"
#include "WaitFor.h"

// A port set up as the console sets up its own, on the slave side of a pty.
inline void ConfigureAsConsole(TCustomComPort& port, const PtyPair& pty)
{
    ConfigureAsConsole(port, QString::fromStdString(pty.SlavePath()));
}

// The line settings as the driver holds them (the master side reports the slave's).
inline termios LineOf(const PtyPair& pty)
{
    termios t{};
    tcgetattr(pty.MasterFd(), &t);
    return t;
}
