#include "Form1.h"

#include "ComPort.h"
#include "ComTerminal.h"
#include "ControllerProtocol.h"
#include "ErrorReport.h"
#include "IntroLayer.h"
#include "LockScreen.h"
#include "ModeCaptions.h"
#include "PortKeeper.h"
#include "SettingsFile.h"
#include "TitleClock.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>

const QString TForm1::kResetMessage =
    QStringLiteral("Naciśnij przycisk Reset w sterowniku oraz uruchom ponownie aplikację !");

TForm1::TForm1(QWidget* parent) : QWidget(parent)
{
    BuildLayout();
    BuildTimers();
    ConnectHandlers();
    UpdateCover();
    // A failure here ends the start-up but not the window; it is reported like any other
    // failure once the event loop runs.
    try {
        FormCreate();
    } catch (...) {
        ReportLater(std::current_exception());
    }
}

TForm1::~TForm1()
{
    // Stop the port's event thread before the terminal it feeds goes away.
    try {
        ComPort1->SetConnected(false);
    } catch (...) {
    }
}

void TForm1::ReportLater(std::exception_ptr error)
{
    QMetaObject::invokeMethod(
        this, [error] { ErrorReport::Report(error); }, Qt::QueuedConnection);
}

// Every handler is entered through ErrorReport::Guard: a failure stops the handler there and is
// shown by the error report, and nothing is thrown into Qt's event delivery.
void TForm1::ConnectHandlers()
{
    const auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { ErrorReport::Guard([&] { (this->*handler)(); }); });
    };
    for (int k = 0; k < 16; ++k) {
        connect(OutputButtons[k], &QPushButton::clicked, this,
                [this, k] { ErrorReport::Guard([&] { OutputButtonClick(k + 1); }); });
    }
    on(sBitBtn1, &QPushButton::clicked, &TForm1::sBitBtn1Click);
    on(sBitBtn2, &QPushButton::clicked, &TForm1::sBitBtn2Click);
    on(sButton1, &QPushButton::clicked, &TForm1::sButton1Click);
    on(sButton2, &QPushButton::clicked, &TForm1::sButton2Click);
    on(sButton3, &QPushButton::clicked, &TForm1::sButton3Click);
    on(sButton4, &QPushButton::clicked, &TForm1::sButton4Click);
    on(sButton7, &QPushButton::clicked, &TForm1::sButton7Click);
    on(sWebLabel1, &QPushButton::clicked, &TForm1::sWebLabel1Click);
    ConnectLockScreen();
    ConnectReconnect();
    ConnectSession();
    on(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
    on(Timer2, &QTimer::timeout, &TForm1::Timer2Timer);
    on(Timer4, &QTimer::timeout, &TForm1::Timer4Timer);
    on(Timerx, &QTimer::timeout, &TForm1::TimerxTimer);
    ComTerminal1->OnChar = [this](TCustomComTerminal*, char ch) {
        ErrorReport::Guard([&] { ComTerminal1Char(ch); });
    };
}

// The session reports; the window shows.
void TForm1::ConnectSession()
{
    connect(Session, &TControllerSession::InputStateChanged, this,
            [this](int input, bool active) { InputBoxes[input - 1]->setChecked(active); });
    connect(Session, &TControllerSession::OutputStateChanged, this,
            [this](int output, bool on) { OutputIndicators[output - 1]->setChecked(on); });
    connect(Session, &TControllerSession::ModeAnnounced, this,
            [this](ControllerProtocol::Mode mode) { sButton5->setText(ModeCaption(mode)); });
    connect(Session, &TControllerSession::TerminalClearRequested, this, [this] { ComTerminal1->ClearDisplay(); });
    // A modal box inside the parser's step, as the console has always shown it.
    connect(Session, &TControllerSession::SavingFinished, this,
            [this] { ShowMessage(TMessageParser::kSavingFinished); });
}

void TForm1::SetWindows(QDialog* form2, QDialog* form4, QDialog* form6)
{
    form2_ = form2;
    form4_ = form4;
    form6_ = form6;
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

void TForm1::FormCreate()
{
    Session->State().OutputReadPosition = 0;
    Session->State().InputReadActive = false;
    ShockwaveFlash1->move(-5, -15);
    sPanel10->move(0, 0);
    const QString movie = QCoreApplication::applicationDirPath() + QStringLiteral("/conf.xls");

    if (!QFileInfo::exists(SettingsFile::kFileName)) {
        // First run: nothing is opened or polled; the naming dialog writes the file.
        Session->firstInputRead->stop();
        Session->StopPolling();
        ShockwaveFlash1->SetMovie(movie);
        Timerx->start();
        return;
    }

    ShockwaveFlash1->SetMovie(movie);
    ShockwaveFlash1->Play();
    SettingsFile::Load(SettingsFile::kFileName, memo1_);
    ComPort1->SetPort(SettingsFile::Line(memo1_, SettingsLayout::kPortLine));
    QThread::msleep(200);
    // A device that is not there yet (adapter unplugged, simulator not started) is a line that
    // was lost: the port's message says so once, the start-up goes on, and the keeper opens the
    // port when the device appears.
    try {
        Keeper->Open();
    } catch (const EComPort&) {
        Session->LineMissing();
        ReportLater(std::current_exception());
    }
    WatchSettingsFile();
    Timer4->start();
    for (int k = 1; k <= SettingsLayout::kChannels; ++k) {
        InputBoxes[k - 1]->setText(SettingsFile::Line(memo1_, SettingsLayout::InputNameLine(k)));
        OutputButtons[k - 1]->setText(SettingsFile::Line(memo1_, SettingsLayout::OutputNameLine(k)));
    }
    SetEdit2(SettingsFile::Line(memo1_, SettingsLayout::kLockMarkerLine));
}

void TForm1::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.exec();
}

// --- Received characters ---

void TForm1::ComTerminal1Char(char ch)
{
    Session->HandleChar(ch);
}

// --- Outputs and mode ---

char TForm1::OutputCommand(int output)
{
    return ControllerProtocol::OutputCommand(output);
}

void TForm1::OutputButtonClick(int output)
{
    Session->WriteCommand(std::string(1, OutputCommand(output)));
}

void TForm1::sButton4Click()
{
    Session->WriteCommand(std::string(1, ControllerProtocol::kNextMode));
}

// --- RC-5 learning ---

void TForm1::sBitBtn1Click()
{
    sPanel7->move(0, 0);
    sPanel7->show();
    UpdateCover();
    ComTerminal1->setFocus();
    Session->WriteCommand(std::string(1, ControllerProtocol::kLearning));
    ComTerminal1->ClearDisplay();
    // Polling stops; a '/' or a reply's end may start it again under the terminal panel.
    Session->StopPolling();
    QThread::msleep(800);
    ComTerminal1->ClearDisplay();
}

void TForm1::sButton7Click()
{
    ShowMessage(kResetMessage);
    OnTerminate();
}

// --- Other windows and the end ---

void TForm1::sBitBtn2Click()
{
    if (!form2_)
        return;
    // While the matrix window is open no "x" or "q" goes out, whoever asks: a reply still on
    // the line must not restart the cycle, or its replies would mix into the routing-table
    // reply and the routing write.
    Session->Suspend();
    QThread::msleep(800);
    hide();
    form2_->exec();
}

void TForm1::RoutingWindowClosed()
{
    show();
    Session->Resume();
}

void TForm1::sButton1Click()
{
    if (form6_)
        form6_->exec();
}

void TForm1::sButton2Click()
{
    OnTerminate();
}

void TForm1::sWebLabel1Click()
{
    if (form4_)
        form4_->exec();
}

// --- Intro and title clock ---

void TForm1::Timer1Timer()
{
    Timer1->stop();
    ShockwaveFlash1->Stop();
    ShockwaveFlash1->hide();
}

void TForm1::TimerxTimer()
{
    ShockwaveFlash1->Stop();
    Timerx->stop();
    if (form6_)
        form6_->exec();
}

// The caption can only change with the second, so the clock wakes just after each new second
// instead of polling every 10 ms: the same caption, at a hundredth of the wake-ups.
void TForm1::Timer2Timer()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    Timer2->start(static_cast<int>(1000 - now % 1000) + 1);
    const qint64 second = now / 1000;
    if (second == clockSecond_)
        return;
    clockSecond_ = second;
    const QString title = TitleClockText(QDateTime::fromMSecsSinceEpoch(second * 1000), QLocale::system());
    if (title != windowTitle())
        setWindowTitle(title);
}
