#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "MessageParser.h"
#include "ReceiveState.h"

class QTimer;

// The conversation with the controller, without widgets: the receive state, the message parser,
// the polling cycle (Timer5, Timer6, Timer7) with its one pending request, suspension while the
// routing windows own the line, the restart after a reconnect, and the routing-table reply.
//
// Received characters come in through HandleChar, one at a time, in line order; what fails
// there goes back to the caller. Commands go out through the writer given at construction; it
// blocks until the bytes are sent and throws on failure. A failure inside the session's own
// timers goes to the application's error report.
//
// Everything runs on the thread that owns the object.
class TControllerSession : public QObject, private IParserEffects {
    Q_OBJECT
public:
    // Returns how many bytes the line took; throws when the write fails.
    using Writer = std::function<int(const std::string& bytes)>;

    static constexpr int kDefaultPollIntervalMs = 200;   // Timer6 and Timer7
    static constexpr int kFirstInputReadMs = 5000;        // Timer5: one extra input read

    explicit TControllerSession(Writer writer, QObject* parent = nullptr,
                                int pollIntervalMs = kDefaultPollIntervalMs);
    ~TControllerSession() override;

    // Starts the cycle as the console does at start: Timer5 and Timer6.
    void Start();
    // Stops Timer6 and Timer7 and forgets the pending replies (RC-5 learning). A '/' or a
    // reply's end may start the cycle again.
    void StopPolling();

    // One received character.
    void HandleChar(char ch);

    // The requests of the cycle: "q" (input states) and "x" (output states). Nothing is written
    // while suspended.
    void Button2Click();
    void Button3Click();

    // While suspended no "x" or "q" goes out, whoever asks; replies still reach the displays.
    // Resume restarts the cycle through Timer6.
    void Suspend();
    void Resume();
    bool Suspended() const { return suspended_; }

    // The line is gone: stop the cycle; requests fail quietly until it is back. It is back:
    // forget half-read replies and, when `resumePolling` and not suspended, restart through
    // Timer6.
    void LineLost();
    void LineRestored(bool resumePolling = true);
    // The port could not be opened and the user has been told: requests fail quietly until the
    // line is restored.
    void LineMissing() { pollFailureReported_ = true; }

    // Routing-table reply: "C" then 256 characters. Begin writes "C" and starts the dump at
    // position 0; End stops counting.
    void BeginConfigDump();
    void EndConfigDump();
    // The raw characters of the routing-table reply since the last BeginConfigDump.
    const QByteArray& ConfigDumpRaw() const { return dumpRaw_; }

    // Writes a command as it stands (output commands, "Q", "R", the routing write) and returns
    // how many bytes the line took; throws when the write fails.
    int WriteCommand(const std::string& bytes);

    // The per-output input list of the last routing-table reply (output 1..16).
    const QString& ListField(int output) const { return parser_.ListField(output); }

    TReceiveState& State() { return state_; }
    const TReceiveState& State() const { return state_; }

    QTimer* Timer5 = nullptr;
    QTimer* Timer6 = nullptr;
    QTimer* Timer7 = nullptr;

signals:
    void InputStateChanged(int input, bool active);   // 1..16
    void OutputStateChanged(int output, bool on);     // 1..16
    void ModeCaptionChanged(const QString& caption);
    void DumpLine(const QString& line);
    // All 256 characters of a routing-table reply have arrived.
    void ConfigDumpComplete(const QByteArray& raw);
    void TerminalClearRequested();
    // '?': the controller saved a routing table. Connected directly, a modal box there holds
    // the parser until it closes, as the console expects.
    void SavingFinished();

public:
    // The timers' handlers: each stops its timer, then asks.
    void Timer5Timer();
    void Timer6Timer();
    void Timer7Timer();

private:
    void WritePollRequest(const char* command);

    // IParserEffects
    void ClearTerminal() override;
    void AppendDumpLine(const QString& line) override;
    void RequestOutputStates() override;
    void ShowSavingFinished() override;
    void StartTimer6() override;
    void StartTimer7() override;
    void SetInputState(int input, bool active) override;
    void SetOutputState(int output, bool on) override;
    void SetModeCaption(const QString& caption) override;

    Writer writer_;
    TReceiveState state_;
    TMessageParser parser_{state_, *this};
    QByteArray dumpRaw_;
    bool suspended_ = false;
    bool pollFailureReported_ = false;
};
