#include "LineSettings.h"

#include "ComPort.h"

void SetUpControllerLine(TComPort& port, const QString& device)
{
    port.BeginLoading();
    port.SetBaudRate(br9600);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity()->SetBits(prNone);
    port.FlowControl()->SetFlowControl(fcNone);
    port.FlowControl()->SetControlDTR(dtrDisable);
    port.FlowControl()->SetControlRTS(rtsDisable);
    port.SetPort(device);
    port.Loaded();
}
