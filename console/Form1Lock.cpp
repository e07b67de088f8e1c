// The program lock: the lock screen follows line 37 of config.ini, reread within 20 ms of a
// change.
#include "Form1.h"

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

void TForm1::ConnectLockScreen()
{
    connect(sPanel10->sButton6, &QPushButton::clicked, this,
            [this] { ErrorReport::Guard([this] { sButton6Click(); }); });
}

namespace {
constexpr int kLockTickMs = 20;            // looking at the file where no change notices come
constexpr int kLockWatchedTickMs = 1000;   // with notices, a slow look as a safety net only
}  // namespace

// Waking 50 times a second to look at an unchanged file cost more than all the polling of the
// controller; the kernel tells when the file is written instead. Timer4 keeps its role: while
// it is stopped, changes are not followed.
void TForm1::WatchSettingsFile()
{
    const auto follow = [this] {
        if (Timer4->isActive())
            ErrorReport::Guard([this] { Timer4Timer(); });
    };
    if (!settingsSettle_) {
        settingsSettle_ = new QTimer(this);
        settingsSettle_->setSingleShot(true);
        settingsSettle_->setInterval(kLockTickMs);
        connect(settingsSettle_, &QTimer::timeout, this, follow);
    }
    settingsWatch_.OnChanged = follow;
    settingsWatch_.OnTouched = [this] {
        if (Timer4->isActive() && !settingsSettle_->isActive())
            settingsSettle_->start();
    };
    settingsWatch_.OnLost = [this] { Timer4->setInterval(kLockTickMs); };
    Timer4->setInterval(settingsWatch_.Watch(SettingsFile::kFileName) ? kLockWatchedTickMs : kLockTickMs);
}

void TForm1::SetEdit2(const QString& text)
{
    if (text == edit2_)
        return;
    edit2_ = text;
    Edit2Change();
}

void TForm1::Edit2Change()
{
    if (edit2_ == SettingsFile::kUnlockedMarker)
        sPanel10->hide();
    else
        sPanel10->show();
    UpdateCover();
}

// Reads the file only when it may have changed; a file that cannot be read leaves the lock
// state as it is (an editor may be between deleting and writing it).
void TForm1::Timer4Timer()
{
    if (!settingsStamp_.Changed(SettingsFile::kFileName))
        return;
    QStringList lines;
    if (!SettingsFile::Load(SettingsFile::kFileName, lines)) {
        settingsStamp_.Forget();
        return;
    }
    memo1_ = lines;
    SetEdit2(SettingsFile::Line(memo1_, SettingsFile::kLockMarkerLine));
}

void TForm1::sButton3Click()
{
    sPanel10->sEdit1->clear();
    Timer4->stop();
    SaveLockMarker(SettingsFile::kLockedMarker);
    Timer4->start();
}

void TForm1::sButton6Click()
{
    const QString code = UnlockCode(QDate::currentDate(), QLocale::system());
    if (sPanel10->sEdit1->text() != code)
        return;
    const QStringList composed = SettingsFile::WithLockMarker(memo1_, SettingsFile::kUnlockedMarker);
    Timer4->stop();
    SettingsFile::Save(SettingsFile::kFileName, composed);
    Timer4->start();
}

void TForm1::SaveLockMarker(const QString& marker)
{
    SettingsFile::Save(SettingsFile::kFileName, SettingsFile::WithLockMarker(memo1_, marker));
}

// Disabled widgets take no focus, click, key or shortcut, so whatever an overlay covers is out
// of reach; only the overlay on top stays usable.
void TForm1::UpdateCover()
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
