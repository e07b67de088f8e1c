#include "Form1.h"

#include "ComPort.h"
#include "ComTerminal.h"
#include "ConfigDumpSink.h"
#include "IntroLayer.h"
#include "LockScreen.h"
#include "ReceiveState.h"
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
    // A failure here (the port that does not open) ends the start-up but not the window; it
    // is reported like any other failure once the event loop runs.
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
        this, [error] { std::rethrow_exception(error); }, Qt::QueuedConnection);
}

void TForm1::ConnectHandlers()
{
    for (int k = 0; k < 16; ++k)
        connect(OutputButtons[k], &QPushButton::clicked, this, [this, k] { OutputButtonClick(k + 1); });
    connect(sBitBtn1, &QPushButton::clicked, this, &TForm1::sBitBtn1Click);
    connect(sBitBtn2, &QPushButton::clicked, this, &TForm1::sBitBtn2Click);
    connect(sButton1, &QPushButton::clicked, this, &TForm1::sButton1Click);
    connect(sButton2, &QPushButton::clicked, this, &TForm1::sButton2Click);
    connect(sButton3, &QPushButton::clicked, this, &TForm1::sButton3Click);
    connect(sButton4, &QPushButton::clicked, this, &TForm1::sButton4Click);
    connect(sButton7, &QPushButton::clicked, this, &TForm1::sButton7Click);
    connect(sWebLabel1, &QPushButton::clicked, this, &TForm1::sWebLabel1Click);
    ConnectLockScreen();
    ConnectReconnect();
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    connect(Timer4, &QTimer::timeout, this, &TForm1::Timer4Timer);
    connect(Timer5, &QTimer::timeout, this, &TForm1::Timer5Timer);
    connect(Timer6, &QTimer::timeout, this, &TForm1::Timer6Timer);
    connect(Timer7, &QTimer::timeout, this, &TForm1::Timer7Timer);
    connect(Timerx, &QTimer::timeout, this, &TForm1::TimerxTimer);
    ComTerminal1->OnChar = [this](TCustomComTerminal*, char ch) { ComTerminal1Char(ch); };
}

void TForm1::SetWindows(QDialog* form2, QDialog* form4, QDialog* form6)
{
    form2_ = form2;
    form4_ = form4;
    form6_ = form6;
}

void TForm1::SetConfigDumpSink(IConfigDumpSink* sink)
{
    dumpSink_ = sink;
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
    OutputReadPosition = 0;
    InputReadActive = false;
    ShockwaveFlash1->move(-5, -15);
    sPanel10->move(0, 0);
    const QString movie = QCoreApplication::applicationDirPath() + QStringLiteral("/conf.xls");

    if (!QFileInfo::exists(SettingsFile::kFileName)) {
        // First run: nothing is opened or polled; the naming dialog writes the file.
        Timer5->stop();
        Timer6->stop();
        Timer7->stop();
        ShockwaveFlash1->SetMovie(movie);
        Timerx->start();
        return;
    }

    ShockwaveFlash1->SetMovie(movie);
    ShockwaveFlash1->Play();
    SettingsFile::Load(SettingsFile::kFileName, memo1_);
    ComPort1->SetPort(SettingsFile::Line(memo1_, 1));
    QThread::msleep(200);
    try {
        ComPort1->SetConnected(true);
    } catch (const EComPort&) {
        // Its message says why the port is not there; the requests that will fail because of
        // it need not say so again, on top of it.
        pollFailureReported_ = true;
        throw;
    }
    WatchSettingsFile();
    Timer4->start();
    for (int k = 0; k < 16; ++k) {
        InputBoxes[k]->setText(SettingsFile::Line(memo1_, 3 + k));
        OutputButtons[k]->setText(SettingsFile::Line(memo1_, 21 + k));
    }
    SetEdit2(SettingsFile::Line(memo1_, SettingsFile::kLockMarkerLine));
}

void TForm1::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, this);
    box.exec();
}

// --- Requests and the polling cycle ---

void TForm1::Button2Click()
{
    BeginInputRead();
    WritePollRequest("q");
}

void TForm1::Button3Click()
{
    BeginOutputRead();
    WritePollRequest("x");
}

// While the port is missing or has failed, each request of the cycle would fail again: the
// first failure is reported and ends the chain; later ones stay quiet until a request gets
// through again, so the error boxes do not pile up.
void TForm1::WritePollRequest(const char* command)
{
    try {
        ComPort1->WriteText(command);
    } catch (const EComPort&) {
        if (pollFailureReported_)
            return;
        pollFailureReported_ = true;
        throw;
    }
    pollFailureReported_ = false;
}

// The one-shot protocol timers stop before they act, so a failing request cannot repeat.
void TForm1::Timer5Timer()
{
    Timer5->stop();
    Button2Click();
}

void TForm1::Timer6Timer()
{
    Timer6->stop();
    Button3Click();
}

void TForm1::Timer7Timer()
{
    Timer7->stop();
    Button2Click();
}

void TForm1::ComTerminal1Char(char ch)
{
    parser_.HandleChar(ch);
}

void TForm1::ClearTerminal()
{
    ComTerminal1->ClearDisplay();
}

void TForm1::AppendDumpLine(const QString& line)
{
    if (dumpSink_)
        dumpSink_->AppendDumpLine(line);
}

void TForm1::RequestOutputStates()
{
    Button3Click();
}

void TForm1::ShowSavingFinished()
{
    ShowMessage(TMessageParser::kSavingFinished);
}

// The cycle keeps one pending request, the one asked for last. A request out of turn (Timer5,
// a '/') that lands inside a reply makes both the '!' and the sixteenth input character ask for
// the next request; two chains would then run interleaved for good, each reading the other's
// replies into the wrong displays.
void TForm1::StartTimer6()
{
    Timer7->stop();
    Timer6->start();
}

void TForm1::StartTimer7()
{
    Timer6->stop();
    Timer7->start();
}

void TForm1::SetInputState(int input, bool active)
{
    InputBoxes[input - 1]->setChecked(active);
}

void TForm1::SetOutputState(int output, bool on)
{
    OutputIndicators[output - 1]->setChecked(on);
}

void TForm1::SetModeCaption(const QString& caption)
{
    sButton5->setText(caption);
}

// --- Outputs and mode ---

char TForm1::OutputCommand(int output)
{
    static const char kCommands[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                       '8', '9', '=', 'a', 's', 'd', 'f', 'g'};
    return kCommands[output - 1];
}

void TForm1::OutputButtonClick(int output)
{
    ComPort1->WriteText(std::string(1, OutputCommand(output)));
}

void TForm1::sButton4Click()
{
    ComPort1->WriteText("Q");
}

// --- RC-5 learning ---

void TForm1::sBitBtn1Click()
{
    sPanel7->move(0, 0);
    sPanel7->show();
    UpdateCover();
    ComTerminal1->setFocus();
    ComPort1->WriteText("R");
    ComTerminal1->ClearDisplay();
    Timer6->stop();
    Timer7->stop();
    InputReadActive = false;
    OutputReadActive = false;
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
    Timer6->stop();
    Timer7->stop();
    InputReadActive = false;
    OutputReadActive = false;
    QThread::msleep(800);
    hide();
    form2_->exec();
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
