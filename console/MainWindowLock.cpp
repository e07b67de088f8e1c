// The program lock: the lock screen follows line 37 of config.ini, reread within 20 ms of a
// change.
#include "MainWindow.h"

#include "ComTerminal.h"
#include "ErrorReport.h"
#include "LockScreen.h"
#include "SettingsFile.h"
#include "UnlockCode.h"

#include <QApplication>
#include <QDate>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

void MainWindow::ConnectLockScreen()
{
    connect(sPanel10->sButton6, &QPushButton::clicked, this,
            [this] { ErrorReport::Guard([this] { Unlock(); }); });
}

namespace {
constexpr int kLockTickMs = 20;            // looking at the file where no change notices come
constexpr int kLockWatchedTickMs = 1000;   // with notices, a slow look as a safety net only
}  // namespace

// Waking 50 times a second to look at an unchanged file cost more than all the polling of the
// controller; the kernel tells when the file is written instead. lockWatch keeps its role: while
// it is stopped, changes are not followed.
void MainWindow::WatchSettingsFile()
{
    const auto follow = [this] {
        if (lockWatch->isActive())
            ErrorReport::Guard([this] { FollowLockMarker(); });
    };
    if (!settingsSettle_) {
        settingsSettle_ = new QTimer(this);
        settingsSettle_->setSingleShot(true);
        settingsSettle_->setInterval(kLockTickMs);
        connect(settingsSettle_, &QTimer::timeout, this, follow);
    }
    settingsWatch_.OnChanged = follow;
    settingsWatch_.OnTouched = [this] {
        if (lockWatch->isActive() && !settingsSettle_->isActive())
            settingsSettle_->start();
    };
    settingsWatch_.OnLost = [this] { lockWatch->setInterval(kLockTickMs); };
    lockWatch->setInterval(settingsWatch_.Watch(SettingsFile::kFileName) ? kLockWatchedTickMs : kLockTickMs);
}

void MainWindow::SetLockMarker(const QString& text)
{
    if (text == lockMarker_)
        return;
    lockMarker_ = text;
    LockMarkerChanged();
}

void MainWindow::LockMarkerChanged()
{
    if (lockMarker_ == SettingsFile::kUnlockedMarker)
        sPanel10->hide();
    else
        sPanel10->show();
    UpdateCover();
}

// Reads the file only when it may have changed; a file that cannot be read leaves the lock
// state as it is (an editor may be between deleting and writing it).
void MainWindow::FollowLockMarker()
{
    if (!settingsStamp_.Changed(SettingsFile::kFileName))
        return;
    QStringList lines;
    if (!SettingsFile::Load(SettingsFile::kFileName, lines)) {
        settingsStamp_.Forget();
        return;
    }
    settingsLines_ = lines;
    SetLockMarker(SettingsFile::Line(settingsLines_, SettingsFile::kLockMarkerLine));
}

void MainWindow::LockProgram()
{
    sPanel10->sEdit1->clear();
    lockWatch->stop();
    SaveLockMarker(SettingsFile::kLockedMarker);
    lockWatch->start();
}

void MainWindow::Unlock()
{
    const QString code = UnlockCode(QDate::currentDate(), QLocale::system());
    if (sPanel10->sEdit1->text() != code)
        return;
    const QStringList composed = SettingsFile::WithLockMarker(settingsLines_, SettingsFile::kUnlockedMarker);
    lockWatch->stop();
    SettingsFile::Save(SettingsFile::kFileName, composed);
    lockWatch->start();
}

void MainWindow::SaveLockMarker(const QString& marker)
{
    SettingsFile::Save(SettingsFile::kFileName, SettingsFile::WithLockMarker(settingsLines_, marker));
}

// Disabled widgets take no focus, click, key or shortcut, so whatever an overlay covers is out
// of reach; only the overlay on top stays usable.
void MainWindow::UpdateCover()
{
    const bool locked = !sPanel10->isHidden();
    const bool learning = !sPanel7->isHidden();
    ClientArea->setEnabled(!locked && !learning);
    sPanel7->setEnabled(!locked);
    if (locked) {
        if (isActiveWindow() || !QApplication::focusWidget() || isAncestorOf(QApplication::focusWidget()))
            sPanel10->sEdit1->setFocus();
    } else if (learning) {
        ComTerminal1->setFocus();
    }
}
