#include "MainWindow.h"

#include "ComPort.h"
#include "PortKeeper.h"

#include <QFrame>
#include <QGuiApplication>
#include <QMessageBox>

void MainWindow::ConnectReconnect()
{
    connect(keeper_, &TPortKeeper::Lost, this, &MainWindow::LineLost);
    connect(keeper_, &TPortKeeper::Restored, this, &MainWindow::LineRestored);
}

void MainWindow::LineLost()
{
    session_->LineLost();

    // Not modal: the window stays usable, and the box goes away by itself once the device is
    // back, so nobody has to answer a stale message.
    if (!LineLostBox) {
        LineLostBox = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                      QString(), QMessageBox::Ok, this);
        LineLostBox->setObjectName(QStringLiteral("LineLostBox"));
        LineLostBox->setWindowModality(Qt::NonModal);
    }
    LineLostBox->setText(QStringLiteral("Utracono połączenie ze sterownikiem (%1). Program połączy "
                                        "się ponownie, gdy urządzenie wróci.")
                             .arg(port_->Port()));
    LineLostBox->show();
}

void MainWindow::LineRestored()
{
    if (LineLostBox)
        LineLostBox->hide();
    // While learning runs, polling stays stopped on purpose; while the routing window is open
    // the session is suspended and resumes when it closes.
    session_->LineRestored(sPanel7->isHidden());
}
