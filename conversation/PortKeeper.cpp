#include "PortKeeper.h"

#include "ComPort.h"
#include "ErrorReport.h"

#include <QTimer>

TPortKeeper::TPortKeeper(TCustomComPort* port, QObject* parent) : QObject(parent), port_(port)
{
    ReconnectTimer = new QTimer(this);
    ReconnectTimer->setObjectName(QStringLiteral("ReconnectTimer"));
    ReconnectTimer->setInterval(kReconnectIntervalMs);
    connect(ReconnectTimer, &QTimer::timeout, this,
            [this] { ErrorReport::Guard([this] { ReconnectTimerTimer(); }); });
    connect(port_, &TCustomComPort::HungUp, this, [this] { ErrorReport::Guard([this] { PortHungUp(); }); });
}

bool TPortKeeper::Searching() const
{
    return ReconnectTimer->isActive();
}

void TPortKeeper::Open()
{
    try {
        port_->SetConnected(true);
    } catch (const EComPort&) {
        ReconnectTimer->start();
        throw;
    }
}

void TPortKeeper::PortHungUp()
{
    port_->SetConnected(false);
    ReconnectTimer->start();
    emit Lost();
}

void TPortKeeper::ReconnectTimerTimer()
{
    if (port_->Connected()) {
        ReconnectTimer->stop();
        return;
    }
    // A cheap look first: a missing device is the common case while the cable is out.
    const std::string path = DevicePathForPort(port_->Port());
    if (!ComDeviceExists(path))
        return;
    try {
        port_->SetConnected(true);
    } catch (const EComPort&) {
        return;   // there but not usable yet (still held, permissions not set): next tick
    }
    ReconnectTimer->stop();
    emit Restored();
}
