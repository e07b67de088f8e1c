#pragma once
#include <QCoreApplication>
#include <QStringList>
#include <QWidget>

#include <array>
#include <exception>
#include <functional>
#include <string>

#include "ControllerSession.h"
#include "FileStamp.h"
#include "FileWatch.h"

class QCheckBox;
class QDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QMessageBox;
class QPushButton;
class QTimer;
class TComPort;
class TComTerminal;
class TIntroLayer;
class TLockScreen;
class TPortKeeper;

// The main window: input and output states, output switching, the mode, RC-5 learning, and the
// doors to the other windows. The controller's characters reach the session through the
// terminal's character event; the window shows what the session reports. Everything runs on the
// GUI thread.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 604;
    static constexpr int kClientHeight = 371;
    static constexpr int kRowTop = 32;     // first input / output row
    static constexpr int kRowPitch = 16;   // inputs and outputs share rows

    // Creates the window and runs FormCreate: the settings file and the port are those of the
    // current directory.
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The other windows, once they exist; the main window only opens them.
    void SetWindows(QDialog* form2, QDialog* form4, QDialog* form6);

    // Ends the application; tests replace it.
    std::function<void()> OnTerminate = [] { QCoreApplication::quit(); };

    // Handlers.
    void FormCreate();
    void ComTerminal1Char(char ch);
    void OutputButtonClick(int output);   // a1Click .. u1Click
    void sBitBtn1Click();                 // RC-5 learning
    void sBitBtn2Click();                 // routing matrix window
    void sButton1Click();                 // naming and port dialog
    void sButton2Click();                 // close the program
    void sButton3Click();                 // lock
    void sButton4Click();                 // change mode
    void sButton6Click();                 // unlock
    void sButton7Click();                 // close the terminal panel
    void sWebLabel1Click();               // About box
    void Timer1Timer();
    void Timer2Timer();
    void Timer4Timer();
    void TimerxTimer();
    void Edit2Change();
    // The routing matrix window has closed: the main window comes back and polling resumes.
    void RoutingWindowClosed();
    // The device is gone (cable or adapter pulled): say so once; the keeper looks for it.
    void LineLost();
    void LineRestored();

    // The lock marker field: setting a different text raises Edit2Change.
    const QString& Edit2() const { return edit2_; }
    void SetEdit2(const QString& text);
    // The settings copy as last loaded.
    const QStringList& Memo1() const { return memo1_; }
    // The per-output input list of the last routing-table reply (Edit3 .. Edit18).
    const QString& ListField(int output) const { return Session->ListField(output); }

    // Command character of output 1..16.
    static char OutputCommand(int output);

    TComPort* ComPort1 = nullptr;
    TComTerminal* ComTerminal1 = nullptr;
    TControllerSession* Session = nullptr;   // the conversation with the controller
    TPortKeeper* Keeper = nullptr;           // reopens the port after a lost device

    std::array<QCheckBox*, 16> InputBoxes{};        // a .. p
    std::array<QPushButton*, 16> OutputButtons{};   // a1 .. u1
    std::array<QCheckBox*, 16> OutputIndicators{};  // sCheckBox15 .. sCheckBox30

    QWidget* ClientArea = nullptr;   // every ordinary control; the layers lie above it
    QGroupBox* InputsPanel = nullptr;
    QGroupBox* OutputsPanel = nullptr;
    QGroupBox* ConfigPanel = nullptr;
    QGroupBox* LearningPanel = nullptr;
    QGroupBox* OtherPanel = nullptr;
    QGroupBox* ModePanel = nullptr;
    QCheckBox* LegendInactive = nullptr;
    QCheckBox* LegendActive = nullptr;
    QCheckBox* LegendOn = nullptr;
    QLabel* LabelInactive = nullptr;
    QLabel* LabelActive = nullptr;
    QLabel* LabelMode = nullptr;
    QPushButton* sBitBtn1 = nullptr;
    QPushButton* sBitBtn2 = nullptr;
    QPushButton* sButton1 = nullptr;
    QPushButton* sButton2 = nullptr;
    QPushButton* sButton3 = nullptr;
    QPushButton* sButton4 = nullptr;
    QPushButton* sButton5 = nullptr;
    QPushButton* sWebLabel1 = nullptr;

    TIntroLayer* ShockwaveFlash1 = nullptr;
    TLockScreen* sPanel10 = nullptr;
    QFrame* sPanel7 = nullptr;   // terminal panel
    QLabel* sLabel8 = nullptr;
    QPushButton* sButton7 = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer4 = nullptr;
    QTimer* Timerx = nullptr;
    QMessageBox* LineLostBox = nullptr;   // shown while the device is away

    static const QString kResetMessage;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildLayout();
    void BuildTerminalPanel();
    void BuildTimers();
    void ConnectHandlers();
    void ConnectLockScreen();
    void ConnectReconnect();
    void ShowMessage(const QString& text);
    void SaveLockMarker(const QString& marker);
    // Keeps what lies under the lock screen or the terminal panel out of reach.
    void UpdateCover();
    // Hands a failure of the window's creation to the error report once the event loop runs.
    void ReportLater(std::exception_ptr error);
    void ConnectSession();

    QDialog* form2_ = nullptr;
    QDialog* form4_ = nullptr;
    QDialog* form6_ = nullptr;
    QStringList memo1_;
    QString edit2_;
    TFileStamp settingsStamp_;
    // Change notices let Timer4 tick slowly, as a safety net, instead of every 20 ms; a
    // write still in progress is looked at 20 ms later, as the plain tick would.
    TFileWatch settingsWatch_;
    QTimer* settingsSettle_ = nullptr;
    void WatchSettingsFile();
    bool centred_ = false;
    qint64 clockSecond_ = -1;
};
