#pragma once
#include <QString>

#include "ComPort.h"

// A port set up as the console sets up its own: 9600 8N1, every event, no handshake.
inline void ConfigureAsConsole(TCustomComPort& port, const QString& portName)
{
    port.SetBaudRate(br9600);
    port.SetPort(portName);
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
