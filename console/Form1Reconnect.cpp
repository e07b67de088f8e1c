#include "Form1.h"

#include "ComPort.h"
#include "ReceiveState.h"

#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <unistd.h>

namespace {
constexpr int kReconnectIntervalMs = 1000;
}

void TForm1::ConnectReconnect()
{
    ReconnectTimer = new QTimer(this);
    ReconnectTimer->setInterval(kReconnectIntervalMs);
    connect(ReconnectTimer, &QTimer::timeout, this, &TForm1::ReconnectTimerTimer);
    connect(ComPort1, &TCustomComPort::HungUp, this, &TForm1::ComPort1HungUp);
}

void TForm1::ComPort1HungUp()
{
    Timer5->stop();
    Timer6->stop();
    Timer7->stop();
    InputReadActive = false;
    OutputReadActive = false;
    // The box below tells the user; requests made meanwhile need not say it again.
    pollFailureReported_ = true;
    ComPort1->SetConnected(false);

    // Not modal: the window stays usable, and the box goes away by itself once the device is
    // back, so nobody has to answer a stale message.
    if (!LineLostBox) {
        LineLostBox = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                      QString(), QMessageBox::Ok, this);
        LineLostBox->setWindowModality(Qt::NonModal);
    }
    LineLostBox->setText(QStringLiteral("Utracono połączenie ze sterownikiem (%1). Program połączy "
                                        "się ponownie, gdy urządzenie wróci.")
                             .arg(ComPort1->Port()));
    LineLostBox->show();
    ReconnectTimer->start();
}

void TForm1::ReconnectTimerTimer()
{
    if (ComPort1->Connected()) {
        ReconnectTimer->stop();
        return;
    }
    // A cheap look first: a missing device is the common case while the cable is out.
    const std::string path = DevicePathForPort(ComPort1->Port());
    if (::access(path.c_str(), F_OK) != 0)
        return;
    try {
        ComPort1->SetConnected(true);
    } catch (const EComPort&) {
        return;   // there but not usable yet (still held, permissions not set): next tick
    }
    ReconnectTimer->stop();
    pollFailureReported_ = false;
    // A request that failed while the device was away left its reply machine waiting; the
    // cycle starts afresh, or the first reply would be counted as both kinds.
    InputReadActive = false;
    OutputReadActive = false;
    if (LineLostBox)
        LineLostBox->hide();
    // Polling resumes as the routing window's closing would resume it; while that window is
    // open or learning runs, polling stays stopped on purpose.
    const bool routingOpen = form2_ && form2_->isVisible();
    if (!routingOpen && sPanel7->isHidden())
        Timer6->start();
}
