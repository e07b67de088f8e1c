#include "ConsoleLine.h"

#include "ComPort.h"
#include "ControllerSession.h"
#include "LineSettings.h"
#include "PortKeeper.h"

TConsoleLine::TConsoleLine()
{
    port_ = std::make_unique<TComPort>();
    port_->setObjectName(QStringLiteral("ComPort1"));
    SetUpControllerLine(*port_, QStringLiteral("COM1"));

    TComPort* port = port_.get();
    session_ = std::make_unique<TControllerSession>([port](const std::string& bytes) { return port->WriteText(bytes); });
    session_->setObjectName(QStringLiteral("Session"));
    keeper_ = std::make_unique<TPortKeeper>(port);
}

TConsoleLine::~TConsoleLine() = default;
