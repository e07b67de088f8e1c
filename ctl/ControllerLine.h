#pragma once
#include <QObject>
#include <QString>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "ComPort.h"
#include "ControllerSession.h"
#include "ControllerProtocol.h"
#include "RoutingCells.h"

class QEventLoop;

// The line to the controller for the length of one command: the port opened exclusively, the
// session reading what arrives, and one request at a time with a deadline for its reply. The
// session has no polling cycle here: a command asks only for what it needs. What the controller
// says on its own inside a reply waits for the reply's end, so it never shifts the states read.
//
// Waiting runs the event loop, through which the port delivers received characters. Failures
// are ECtlFailure with the exit code and a message that says what to do.
class TControllerLine : public QObject {
    Q_OBJECT
public:
    using TStates = std::array<bool, ControllerProtocol::kChannels>;   // index 0 is channel 1

    TControllerLine(const QString& port, int timeoutMs, QObject* parent = nullptr);
    ~TControllerLine() override;

    // Opens the port at 9600 8N1, no handshake, DTR and RTS off.
    void Open();
    const QString& Port() const { return port_; }

    // "x" and its reply up to '!'.
    TStates ReadOutputs();
    // "q" and its 16 characters.
    TStates ReadInputs();
    // "C" and its 256 characters, accepted only whole and clean.
    Routing::TRoutingCells ReadTable();
    // Writes a command as it stands.
    void Send(const std::string& bytes);

    // Runs the event loop until `done`, the time-out or an interruption. Throws when the line
    // failed meanwhile; EInterrupted after Interrupt().
    bool WaitFor(const std::function<bool()>& done, int timeoutMs);
    void Interrupt();

    // The last mode the controller announced (none until a mode character arrives) and how
    // many mode characters have arrived.
    std::optional<ControllerProtocol::Mode> Mode() const { return mode_; }
    int ModeAnnouncements() const { return modeAnnouncements_; }
    // How many '?' (saving finished) have arrived.
    int SavedNotices() const { return savedNotices_; }
    // How many '/' (outputs changed) have arrived.
    int OutputChangeNotices() const { return outputChangeNotices_; }

    // The time a reply of `bytes` characters may take: the time-out plus twice its line time.
    int ReplyDeadlineMs(int bytes) const;

signals:
    void ModeAnnounced(ControllerProtocol::Mode mode);

private:
    void Received(const char* buffer, int count);
    void RethrowFailure();
    [[noreturn]] void NoAnswer(const QString& request, int waitedMs);
    int WriteBytes(const std::string& bytes);

    QString port_;
    int timeoutMs_;
    TComPort comPort_;
    TComLink link_;
    TControllerSession session_;
    TStates outputs_{};
    TStates inputs_{};

    std::optional<ControllerProtocol::Mode> mode_;
    int modeAnnouncements_ = 0;
    int outputChangeNotices_ = 0;
    int savedNotices_ = 0;
    bool lost_ = false;
    bool interrupted_ = false;
    std::exception_ptr failure_;

    QEventLoop* waitLoop_ = nullptr;
    const std::function<bool()>* waitDone_ = nullptr;
};
