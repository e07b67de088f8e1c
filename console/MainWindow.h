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
class MainWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 604;
    static constexpr int kClientHeight = 371;
    static constexpr int kRowTop = 32;     // first input / output row
    static constexpr int kRowPitch = 16;   // inputs and outputs share rows

    // Creates the window and runs StartUp: the settings file and the port are those of the
    // current directory.
    // The line is built by the program's entry and outlives the window.
    MainWindow(TComPort& port, TControllerSession& session, TPortKeeper& keeper, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The other windows, once they exist; the main window only opens them.
    void SetWindows(QDialog* matrix, QDialog* aboutBox, QDialog* namingDialog);

    // Ends the application; tests replace it.
    std::function<void()> OnTerminate = [] { QCoreApplication::quit(); };

    // Handlers.
    void StartUp();
    void ReceiveChar(char ch);
    void SwitchOutput(int output);   // the output buttons
    void StartLearning();            // RC-5 learning
    void OpenRoutingMatrix();
    void OpenNamingDialog();         // naming and port dialog
    void CloseProgram();
    void LockProgram();
    void ChangeMode();
    void Unlock();
    void CloseLearning();            // close the terminal panel
    void OpenAboutBox();
    void EndIntro();
    void TickClock();
    void FollowLockMarker();
    void AskForNamesOnFirstRun();
    void LockMarkerChanged();
    // The routing matrix window has closed: the main window comes back and polling resumes.
    void RoutingWindowClosed();
    // The device is gone (cable or adapter pulled): say so once; the keeper looks for it.
    void LineLost();
    void LineRestored();

    // The lock marker field: setting a different text raises LockMarkerChanged.
    const QString& LockMarker() const { return lockMarker_; }
    void SetLockMarker(const QString& text);
    // The settings copy as last loaded.
    const QStringList& SettingsLines() const { return settingsLines_; }
    // The per-output input list of the last routing-table reply (Edit3 .. Edit18).
    const QString& ListField(int output) const { return session_->ListField(output); }

    // Command character of output 1..16.

    // The controls of input, output and output indicator 1..16.
    QCheckBox* InputBox(int input) const { return InputBoxes[input - 1]; }
    QPushButton* OutputButton(int output) const { return OutputButtons[output - 1]; }
    QCheckBox* OutputIndicator(int output) const { return OutputIndicators[output - 1]; }

    static const QString kResetMessage;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TComTerminal* ComTerminal1 = nullptr;

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

    QTimer* introTimer = nullptr;
    QTimer* titleClock = nullptr;
    QTimer* lockWatch = nullptr;
    QTimer* firstRunNaming = nullptr;
    QMessageBox* LineLostBox = nullptr;   // shown while the device is away

    TComPort* port_;
    TControllerSession* session_;   // the conversation with the controller
    TPortKeeper* keeper_;           // reopens the port after a lost device

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

    QDialog* matrix_ = nullptr;
    QDialog* aboutBox_ = nullptr;
    QDialog* namingDialog_ = nullptr;
    QStringList settingsLines_;
    QString lockMarker_;
    TFileStamp settingsStamp_;
    // Change notices let lockWatch tick slowly, as a safety net, instead of every 20 ms; a
    // write still in progress is looked at 20 ms later, as the plain tick would.
    TFileWatch settingsWatch_;
    QTimer* settingsSettle_ = nullptr;
    void WatchSettingsFile();
    bool centred_ = false;
    qint64 clockSecond_ = -1;
};
