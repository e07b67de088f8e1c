#pragma once
#include <QObject>

#include <functional>
#include <string>

#include "ControllerSession.h"

// The hub's own conversation with the controller: a controller session that is one more client
// of the reply router. The console's session may have two requests out at once and counts every
// character into both replies; here that would publish one reply's states as the other's. So
// the session's timers ask through this class, which keeps one request of the hub's out at a
// time, and the controller's notices reach the session only between the hub's replies.
class THubPoller : public QObject {
    Q_OBJECT
public:
    // Outputs change by the hub's own commands (read at once), by the controller's inputs and
    // remote (which send '/') or by a console's button: only that last needs the cycle's output
    // reads, so most turns of the cycle read the inputs.
    static constexpr int kTurnsPerOutputRead = 3;

    // `submit` hands the hub's bytes to the router.
    using Submit = std::function<void(const std::string& bytes)>;

    THubPoller(Submit submit, int pollIntervalMs, QObject* parent = nullptr);

    void Start();

    // From the router: bytes for the hub, and the end of one of its replies.
    void Deliver(const std::string& bytes);
    void ReplyEnded(char request, bool complete);

    // An output read as soon as the hub's line is free ("x").
    void ReadOutputsNow();
    // The routing table ("C") as soon as the hub's line is free; RoutingTableRead tells.
    void ReadRoutingTable();
    // An output command or "Q"; these wait for nothing.
    void SendCommand(char command);
    // How many output reads have gone out so far.
    int OutputReadsIssued() const { return outputReads_; }

signals:
    void InputChanged(int input, bool active);
    void OutputChanged(int output, bool on);
    void ModeSeen(int mode);   // index into hub::kModeNames
    void ReplyAnswered(char request);
    // The characters of a "C" reply; fewer than 256 when it was cut short.
    void RoutingTableRead(const QByteArray& raw);

private:
    int Write(const std::string& bytes);
    void CycleTurn(char request);
    void Want(char request);
    void Issue(char request);
    void Feed(char ch);
    void Flush();

    Submit submit_;
    TControllerSession session_;
    bool outstanding_ = false;
    std::string deferred_;   // notices that came while a reply of ours was due
    std::string wanted_;     // requests asked for meanwhile
    int outputReads_ = 0;
    int turnsSinceOutputRead_ = 0;
};
