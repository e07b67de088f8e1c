#pragma once
#include <QThread>
#include <termios.h>

#include "ComPort.h"
#include "PtyPair.h"
#include "WaitFor.h"

// A port set up as the console sets up its own, on the slave side of a pty.
inline void ConfigureAsConsole(TCustomComPort& port, const PtyPair& pty)
{
    port.SetBaudRate(br9600);
    port.SetPort(QString::fromStdString(pty.SlavePath()));
    port.Parity()->SetBits(prNone);
    port.SetStopBits(sbOneStopBit);
    port.SetDataBits(dbEight);
    port.SetEvents(AllComEvents);
    port.FlowControl()->SetOutCTSFlow(false);
    port.FlowControl()->SetOutDSRFlow(false);
    port.FlowControl()->SetControlDTR(dtrDisable);
    port.FlowControl()->SetControlRTS(rtsDisable);
    port.FlowControl()->SetXonXoffOut(false);
    port.FlowControl()->SetXonXoffIn(false);
}

// The line settings as the driver holds them (the master side reports the slave's).
inline termios LineOf(const PtyPair& pty)
{
    termios t{};
    tcgetattr(pty.MasterFd(), &t);
    return t;
}
