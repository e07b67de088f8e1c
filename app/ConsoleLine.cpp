#include "ConsoleLine.h"

#include "ComPort.h"
#include "ControllerSession.h"
#include "PortKeeper.h"

TConsoleLine::TConsoleLine()
{
    port_ = std::make_unique<TComPort>();
    port_->setObjectName(QStringLiteral("ComPort1"));
    port_->BeginLoading();
    port_->SetBaudRate(br9600);
    port_->SetDataBits(dbEight);
    port_->SetStopBits(sbOneStopBit);
    port_->Parity()->SetBits(prNone);
    port_->FlowControl()->SetFlowControl(fcNone);
    port_->FlowControl()->SetControlDTR(dtrDisable);
    port_->FlowControl()->SetControlRTS(rtsDisable);
    port_->SetPort(QStringLiteral("COM1"));
    port_->Loaded();

    TComPort* port = port_.get();
    session_ = std::make_unique<TControllerSession>([port](const std::string& bytes) { return port->WriteText(bytes); });
    session_->setObjectName(QStringLiteral("Session"));
    keeper_ = std::make_unique<TPortKeeper>(port);
}

TConsoleLine::~TConsoleLine() = default;
