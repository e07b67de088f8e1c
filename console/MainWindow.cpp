#include "MainWindow.h"

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

const QString MainWindow::kResetMessage =
    QStringLiteral("Naciśnij przycisk Reset w sterowniku oraz uruchom ponownie aplikację !");

MainWindow::MainWindow(TComPort& port, TControllerSession& session, TPortKeeper& keeper, QWidget* parent)
    : QWidget(parent), port_(&port), session_(&session), keeper_(&keeper)
{
    BuildLayout();
    BuildTimers();
    ConnectHandlers();
    UpdateCover();
    // A failure here ends the start-up but not the window; it is reported like any other
    // failure once the event loop runs.
    try {
        StartUp();
    } catch (...) {
        ReportLater(std::current_exception());
    }
}

MainWindow::~MainWindow()
{
    // Stop the port's event thread before the terminal it feeds goes away.
    try {
        port_->SetConnected(false);
    } catch (...) {
    }
}

void MainWindow::ReportLater(std::exception_ptr error)
{
    QMetaObject::invokeMethod(
        this, [error] { ErrorReport::Report(error); }, Qt::QueuedConnection);
}

// Every handler is entered through ErrorReport::Guard: a failure stops the handler there and is
// shown by the error report, and nothing is thrown into Qt's event delivery.
void MainWindow::ConnectHandlers()
{
    const auto on = [this](auto* sender, auto signal, void (MainWindow::*handler)()) {
        connect(sender, signal, this, [this, handler] { ErrorReport::Guard([&] { (this->*handler)(); }); });
    };
    for (int k = 0; k < 16; ++k) {
        connect(OutputButtons[k], &QPushButton::clicked, this,
                [this, k] { ErrorReport::Guard([&] { SwitchOutput(k + 1); }); });
    }
    on(sBitBtn1, &QPushButton::clicked, &MainWindow::StartLearning);
    on(sBitBtn2, &QPushButton::clicked, &MainWindow::OpenRoutingMatrix);
    on(sButton1, &QPushButton::clicked, &MainWindow::OpenNamingDialog);
    on(sButton2, &QPushButton::clicked, &MainWindow::CloseProgram);
    on(sButton3, &QPushButton::clicked, &MainWindow::LockProgram);
    on(sButton4, &QPushButton::clicked, &MainWindow::ChangeMode);
    on(sButton7, &QPushButton::clicked, &MainWindow::CloseLearning);
    on(sWebLabel1, &QPushButton::clicked, &MainWindow::OpenAboutBox);
    ConnectLockScreen();
    ConnectReconnect();
    ConnectSession();
    on(introTimer, &QTimer::timeout, &MainWindow::EndIntro);
    on(titleClock, &QTimer::timeout, &MainWindow::TickClock);
    on(lockWatch, &QTimer::timeout, &MainWindow::FollowLockMarker);
    on(firstRunNaming, &QTimer::timeout, &MainWindow::AskForNamesOnFirstRun);
    ComTerminal1->OnChar = [this](TCustomComTerminal*, char ch) {
        ErrorReport::Guard([&] { ReceiveChar(ch); });
    };
}

// The session reports; the window shows.
void MainWindow::ConnectSession()
{
    connect(session_, &TControllerSession::InputStateChanged, this,
            [this](int input, bool active) { InputBoxes[input - 1]->setChecked(active); });
    connect(session_, &TControllerSession::OutputStateChanged, this,
            [this](int output, bool on) { OutputIndicators[output - 1]->setChecked(on); });
    connect(session_, &TControllerSession::ModeAnnounced, this,
            [this](ControllerProtocol::Mode mode) { sButton5->setText(ModeCaption(mode)); });
    connect(session_, &TControllerSession::TerminalClearRequested, this, [this] { ComTerminal1->ClearDisplay(); });
    // A modal box inside the parser's step, as the console has always shown it.
    connect(session_, &TControllerSession::SavingFinished, this,
            [this] { ShowMessage(TMessageParser::kSavingFinished); });
}

void MainWindow::SetWindows(QDialog* matrix, QDialog* aboutBox, QDialog* namingDialog)
{
    matrix_ = matrix;
    aboutBox_ = aboutBox;
    namingDialog_ = namingDialog;
}

void MainWindow::showEvent(QShowEvent* event)
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

void MainWindow::StartUp()
{
    session_->State().OutputReadPosition = 0;
    session_->State().InputReadActive = false;
    ShockwaveFlash1->move(-5, -15);
    sPanel10->move(0, 0);
    const QString movie = QCoreApplication::applicationDirPath() + QStringLiteral("/conf.xls");

    if (!QFileInfo::exists(SettingsFile::kFileName)) {
        // First run: nothing is opened or polled; the naming dialog writes the file.
        session_->firstInputRead->stop();
        session_->StopPolling();
        ShockwaveFlash1->SetMovie(movie);
        firstRunNaming->start();
        return;
    }

    ShockwaveFlash1->SetMovie(movie);
    ShockwaveFlash1->Play();
    SettingsFile::Load(SettingsFile::kFileName, settingsLines_);
    port_->SetPort(SettingsFile::Line(settingsLines_, SettingsLayout::kPortLine));
    QThread::msleep(200);
    // A device that is not there yet (adapter unplugged, simulator not started) is a line that
    // was lost: the port's message says so once, the start-up goes on, and the keeper opens the
    // port when the device appears.
    try {
        keeper_->Open();
    } catch (const EComPort&) {
        session_->LineMissing();
        ReportLater(std::current_exception());
    }
    WatchSettingsFile();
    lockWatch->start();
    for (int k = 1; k <= SettingsLayout::kChannels; ++k) {
        InputBoxes[k - 1]->setText(SettingsFile::Line(settingsLines_, SettingsLayout::InputNameLine(k)));
        OutputButtons[k - 1]->setText(SettingsFile::Line(settingsLines_, SettingsLayout::OutputNameLine(k)));
    }
    SetLockMarker(SettingsFile::Line(settingsLines_, SettingsLayout::kLockMarkerLine));
}

void MainWindow::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.exec();
}

// --- Received characters ---

void MainWindow::ReceiveChar(char ch)
{
    session_->HandleChar(ch);
}

// --- Outputs and mode ---

void MainWindow::SwitchOutput(int output)
{
    session_->WriteCommand(std::string(1, ControllerProtocol::OutputCommand(output)));
}

void MainWindow::ChangeMode()
{
    session_->WriteCommand(std::string(1, ControllerProtocol::kNextMode));
}

// --- RC-5 learning ---

void MainWindow::StartLearning()
{
    sPanel7->move(0, 0);
    sPanel7->show();
    UpdateCover();
    ComTerminal1->setFocus();
    session_->WriteCommand(std::string(1, ControllerProtocol::kLearning));
    ComTerminal1->ClearDisplay();
    // Polling stops; a '/' or a reply's end may start it again under the terminal panel.
    session_->StopPolling();
    QThread::msleep(800);
    ComTerminal1->ClearDisplay();
}

void MainWindow::CloseLearning()
{
    ShowMessage(kResetMessage);
    OnTerminate();
}

// --- Other windows and the end ---

void MainWindow::OpenRoutingMatrix()
{
    if (!matrix_)
        return;
    // While the matrix window is open no "x" or "q" goes out, whoever asks: a reply still on
    // the line must not restart the cycle, or its replies would mix into the routing-table
    // reply and the routing write.
    session_->Suspend();
    QThread::msleep(800);
    hide();
    matrix_->exec();
}

void MainWindow::RoutingWindowClosed()
{
    show();
    session_->Resume();
}

void MainWindow::OpenNamingDialog()
{
    if (namingDialog_)
        namingDialog_->exec();
}

void MainWindow::CloseProgram()
{
    OnTerminate();
}

void MainWindow::OpenAboutBox()
{
    if (aboutBox_)
        aboutBox_->exec();
}

// --- Intro and title clock ---

void MainWindow::EndIntro()
{
    introTimer->stop();
    ShockwaveFlash1->Stop();
    ShockwaveFlash1->hide();
}

void MainWindow::AskForNamesOnFirstRun()
{
    ShockwaveFlash1->Stop();
    firstRunNaming->stop();
    if (namingDialog_)
        namingDialog_->exec();
}

// The caption can only change with the second, so the clock wakes just after each new second
// instead of polling every 10 ms: the same caption, at a hundredth of the wake-ups.
void MainWindow::TickClock()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    titleClock->start(static_cast<int>(1000 - now % 1000) + 1);
    const qint64 second = now / 1000;
    if (second == clockSecond_)
        return;
    clockSecond_ = second;
    const QString title = TitleClockText(QDateTime::fromMSecsSinceEpoch(second * 1000), QLocale::system());
    if (title != windowTitle())
        setWindowTitle(title);
}
