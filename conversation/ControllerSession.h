#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "ControllerProtocol.h"
#include "MessageParser.h"
#include "ReceiveState.h"

class QTimer;

// How a session converses; the console's is the default.
struct TSessionPolicy {
    static constexpr int kDefaultPollIntervalMs = 200;   // outputPoll and inputPoll

    int pollIntervalMs = kDefaultPollIntervalMs;
    // Without a cycle the owner asks for what it needs, and a '/' is only reported.
    bool polling = true;
    // A request waits until the reply before it has ended; each kind waits once.
    bool oneRequestAtATime = false;
    // What the controller says on its own inside a reply waits for the reply's end, so
    // that it neither takes a place in the reply nor acts in its middle.
    bool holdNoticesInsideReply = false;
    // Of the cycle's output reads only every Nth goes out; the other turns read the inputs.
    int turnsPerOutputRead = 1;
};

// The conversation with the controller, without widgets: the receive state, the message parser,
// the polling cycle (firstInputRead, outputPoll, inputPoll), suspension while the routing
// windows own the line, the restart after a reconnect, and the routing-table reply.
//
// How it converses is its policy. The console's cycle may have two requests out at once and
// counts every character into both replies; the hub and selvora-ctl keep one request out at a
// time and hold back what the controller says on its own while a reply runs.
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

    static constexpr int kFirstInputReadMs = 5000;       // firstInputRead: one extra input read
    static constexpr std::size_t kMostHeldNotices = 64;

    using Policy = TSessionPolicy;

    explicit TControllerSession(Writer writer, QObject* parent = nullptr, Policy policy = {});
    ~TControllerSession() override;

    // Starts the cycle as the console does at start: firstInputRead and outputPoll.
    void Start();
    // Stops the cycle and forgets the pending replies (RC-5 learning). A '/' or a reply's end
    // may start the cycle again.
    void StopPolling();

    // One received character.
    void HandleChar(char ch);

    // The requests of the cycle: "q" (input states) and "x" (output states). Nothing is written
    // while suspended.
    void RequestInputs();
    void RequestOutputs() override;   // also the parser's, for a '/'

    // While suspended no "x" or "q" goes out, whoever asks; replies still reach the displays.
    // Resume restarts the cycle through outputPoll.
    void Suspend();
    void Resume();
    bool Suspended() const { return suspended_; }

    // The line is gone: stop the cycle; requests fail quietly until it is back. It is back:
    // forget half-read replies and, when `resumePolling` and not suspended, restart through
    // outputPoll.
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

    // One request at a time, on a shared line: whoever shares it ended a reply to this session
    // (whole, run out of time, or the line went away), in the order the requests went out. A
    // reply this session still counts is cut there, and the cycle starts afresh.
    void LineEndedReply();
    // How many output reads have gone out so far.
    int OutputReadsIssued() const { return outputReads_; }
    // A character other than a state took a place in an input or output reply since the last
    // request of either: the states read are not to be trusted.
    bool ReplyDamaged() const { return replyDamaged_; }

    // Writes a command as it stands (output commands, "Q", "R", the routing write) and returns
    // how many bytes the line took; throws when the write fails.
    int WriteCommand(const std::string& bytes);

    // The per-output input list of the last routing-table reply (output 1..16).
    const QString& ListField(int output) const { return parser_.ListField(output); }

    TReceiveState& State() { return state_; }
    const TReceiveState& State() const { return state_; }

    QTimer* firstInputRead = nullptr;
    QTimer* outputPoll = nullptr;
    QTimer* inputPoll = nullptr;

signals:
    void InputStateChanged(int input, bool active);   // 1..16
    void OutputStateChanged(int output, bool on);     // 1..16
    void ModeAnnounced(ControllerProtocol::Mode mode);
    void DumpLine(const QString& line);
    // All 256 characters of a routing-table reply have arrived.
    void ConfigDumpComplete(const QByteArray& raw);
    void TerminalClearRequested();
    // '?': the controller saved a routing table. Connected directly, a modal box there holds
    // the parser until it closes, as the console expects.
    void SavingFinished();
    // Without a cycle: a '/', the controller's outputs changed.
    void OutputChangeNoticed();
    // One request at a time: the reply to `request` is over, complete or cut.
    void ReplyFinished(char request, bool complete);

public:
    // The timers' handlers: each stops its timer, then asks.
    void FirstInputReadDue();
    void OutputPollDue();
    void InputPollDue();

private:
    void CycleTurn(char request);
    void Want(char request);
    void Issue(char request);
    void Take(char ch);
    bool ReplyUnderway() const;
    void EndReply(char request, bool complete);
    void CutReply();
    void WritePollRequest(char command);

    // IParserEffects
    void ClearTerminal() override;
    void AppendDumpLine(const QString& line) override;
    void ShowSavingFinished() override;
    void InputReplyEnded() override;
    void OutputReplyEnded() override;
    void SetInputState(int input, bool active) override;
    void SetOutputState(int output, bool on) override;
    void SetMode(ControllerProtocol::Mode mode) override;

    Writer writer_;
    Policy policy_;
    TReceiveState state_;
    TMessageParser parser_{state_, *this};
    QByteArray dumpRaw_;
    bool suspended_ = false;
    bool pollFailureReported_ = false;
    char replyAwaited_ = 0;    // one request at a time: the request whose reply runs
    std::string held_;         // notices that came inside a reply
    std::string wanted_;       // requests asked for meanwhile
    bool replyDamaged_ = false;
    int outputReads_ = 0;
    int turnsSinceOutputRead_ = 0;
    int requestsIssued_ = 0;       // one request at a time: replies asked for
    int repliesEndedOnLine_ = 0;   // and ended by whoever shares the line
};
