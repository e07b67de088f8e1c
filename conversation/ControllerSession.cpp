#include "ControllerSession.h"

#include "ErrorReport.h"

#include <QTimer>

namespace P = ControllerProtocol;

namespace {

QTimer* ProtocolTimer(QObject* owner, const char* name, int intervalMs)
{
    auto* t = new QTimer(owner);
    t->setObjectName(QString::fromLatin1(name));
    t->setSingleShot(true);
    t->setTimerType(Qt::PreciseTimer);
    t->setInterval(intervalMs);
    return t;
}

}  // namespace

TControllerSession::TControllerSession(Writer writer, QObject* parent, Policy policy)
    : QObject(parent), writer_(std::move(writer)), policy_(policy)
{
    firstInputRead = ProtocolTimer(this, "firstInputRead", kFirstInputReadMs);
    outputPoll = ProtocolTimer(this, "outputPoll", policy_.pollIntervalMs);
    inputPoll = ProtocolTimer(this, "inputPoll", policy_.pollIntervalMs);
    connect(firstInputRead, &QTimer::timeout, this,
            [this] { ErrorReport::Guard([this] { FirstInputReadDue(); }); });
    connect(outputPoll, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { OutputPollDue(); }); });
    connect(inputPoll, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { InputPollDue(); }); });
}

TControllerSession::~TControllerSession() = default;

void TControllerSession::Start()
{
    if (!policy_.polling)
        return;
    firstInputRead->start();
    outputPoll->start();
}

void TControllerSession::StopPolling()
{
    outputPoll->stop();
    inputPoll->stop();
    state_.InputReadActive = false;
    state_.OutputReadActive = false;
}

void TControllerSession::Suspend()
{
    suspended_ = true;
    StopPolling();
}

void TControllerSession::Resume()
{
    suspended_ = false;
    if (policy_.polling)
        outputPoll->start();
}

void TControllerSession::LineLost()
{
    firstInputRead->stop();
    StopPolling();
    // The user is told by whoever watches the line; the requests need not say it again.
    pollFailureReported_ = true;
}

void TControllerSession::LineRestored(bool resumePolling)
{
    pollFailureReported_ = false;
    // A request that failed while the line was away left its reply waiting; the cycle starts
    // afresh, or the first reply would be counted as both kinds.
    state_.InputReadActive = false;
    state_.OutputReadActive = false;
    if (resumePolling && !suspended_ && policy_.polling)
        outputPoll->start();
}

// --- Requests ---

int TControllerSession::WriteCommand(const std::string& bytes)
{
    return writer_(bytes);
}

void TControllerSession::RequestInputs()
{
    Want(P::kInputStates);
}

void TControllerSession::RequestOutputs()
{
    Want(P::kOutputStates);
}

void TControllerSession::BeginConfigDump()
{
    Want(P::kRoutingTable);
}

void TControllerSession::Want(char request)
{
    if (policy_.oneRequestAtATime && replyAwaited_) {
        if (wanted_.find(request) == std::string::npos)
            wanted_ += request;
        return;
    }
    Issue(request);
}

void TControllerSession::Issue(char request)
{
    if (request == P::kRoutingTable) {
        writer_(std::string(1, request));
        if (policy_.oneRequestAtATime) {
            replyAwaited_ = request;
            ++requestsIssued_;
        }
        // Each "C" starts its reply at position 0: a short reply before it must not lend its
        // characters to this one.
        state_.ConfigDumpActive = true;
        state_.ConfigDumpPosition = 0;
        dumpRaw_.clear();
        return;
    }
    if (suspended_)
        return;
    replyDamaged_ = false;
    if (request == P::kOutputStates) {
        state_.BeginOutputRead();
        ++outputReads_;
        turnsSinceOutputRead_ = 0;
    } else {
        state_.BeginInputRead();
    }
    WritePollRequest(request);
}

// While the line is missing or has failed, each request of the cycle would fail again: the
// first failure is reported and ends the chain; later ones stay quiet until a request gets
// through again, so the error reports do not pile up.
void TControllerSession::WritePollRequest(char command)
{
    if (policy_.oneRequestAtATime) {
        replyAwaited_ = command;
        ++requestsIssued_;
    }
    try {
        writer_(std::string(1, command));
    } catch (...) {
        if (policy_.oneRequestAtATime) {
            replyAwaited_ = 0;
            --requestsIssued_;
        }
        if (pollFailureReported_)
            return;
        pollFailureReported_ = true;
        throw;
    }
    pollFailureReported_ = false;
}

// The one-shot timers stop before they act, so a failing request cannot repeat.
void TControllerSession::FirstInputReadDue()
{
    firstInputRead->stop();
    CycleTurn(P::kInputStates);
}

void TControllerSession::OutputPollDue()
{
    outputPoll->stop();
    CycleTurn(P::kOutputStates);
}

void TControllerSession::InputPollDue()
{
    inputPoll->stop();
    CycleTurn(P::kInputStates);
}

void TControllerSession::CycleTurn(char request)
{
    if (request == P::kOutputStates && ++turnsSinceOutputRead_ < policy_.turnsPerOutputRead)
        request = P::kInputStates;
    Want(request);
}

// --- Routing-table reply ---

void TControllerSession::EndConfigDump()
{
    state_.ConfigDumpActive = false;
    if (replyAwaited_ == P::kRoutingTable)
        replyAwaited_ = 0;
}

// --- Received characters ---

bool TControllerSession::ReplyUnderway() const
{
    return state_.InputReadActive || state_.OutputReadActive || state_.ConfigDumpActive;
}

void TControllerSession::HandleChar(char ch)
{
    if (!policy_.polling && ch == P::kOutputsChanged) {
        emit OutputChangeNoticed();
        return;
    }
    if (policy_.holdNoticesInsideReply && P::IsNotice(ch) &&
        (replyAwaited_ || ReplyUnderway())) {
        // Many '/' ask for one output read.
        const bool repeated = ch == P::kOutputsChanged && held_.find(ch) != std::string::npos;
        if (!repeated && held_.size() < kMostHeldNotices)
            held_ += ch;
        return;
    }
    Take(ch);
    if (replyAwaited_ && !ReplyUnderway())
        EndReply(replyAwaited_, true);
}

void TControllerSession::Take(char ch)
{
    // The '/' asks for the outputs itself; the cycle's own output read would only repeat it.
    if (policy_.oneRequestAtATime && ch == P::kOutputsChanged)
        outputPoll->stop();
    if ((state_.InputReadActive || (state_.OutputReadActive && ch != P::kOutputReplyEnd)) &&
        !P::IsState(ch))
        replyDamaged_ = true;
    const bool dumping = state_.ConfigDumpActive;
    if (dumping) {
        if (state_.ConfigDumpPosition == 0)
            dumpRaw_.clear();
        dumpRaw_.append(ch);
    }
    parser_.HandleChar(ch);
    if (dumping && !state_.ConfigDumpActive && dumpRaw_.size() == P::kRoutingCharacters)
        emit ConfigDumpComplete(dumpRaw_);
}

void TControllerSession::LineEndedReply()
{
    ++repliesEndedOnLine_;
    // A complete reply this session has counted too has ended here already.
    if (replyAwaited_ && repliesEndedOnLine_ == requestsIssued_)
        CutReply();
}

// Still counting a reply that has ended: it came short, or took characters that were no part of
// it.
void TControllerSession::CutReply()
{
    const char request = replyAwaited_;
    if (request == P::kRoutingTable)
        EndConfigDump();
    // A short reply leaves the session counting; start the cycle afresh.
    LineLost();
    LineRestored(true);
    EndReply(request, false);
}

// Then what waited for the reply: the notices in their order, then the requests.
void TControllerSession::EndReply(char request, bool complete)
{
    replyAwaited_ = 0;
    emit ReplyFinished(request, complete);
    while (!replyAwaited_ && !held_.empty()) {
        const char ch = held_.front();
        held_.erase(0, 1);
        HandleChar(ch);
    }
    while (!replyAwaited_ && !wanted_.empty()) {
        const char request = wanted_.front();
        wanted_.erase(0, 1);
        Issue(request);
    }
}

void TControllerSession::ClearTerminal()
{
    emit TerminalClearRequested();
}

void TControllerSession::AppendDumpLine(const QString& line)
{
    emit DumpLine(line);
}

void TControllerSession::ShowSavingFinished()
{
    emit SavingFinished();
}

// The cycle keeps one pending request, the one asked for last. A request out of turn
// (firstInputRead, a '/') that lands inside a reply makes both the '!' and the sixteenth input
// character ask for the next request; two chains would then run interleaved for good, each
// reading the other's replies into the wrong displays.
void TControllerSession::InputReplyEnded()
{
    if (suspended_ || !policy_.polling)
        return;
    inputPoll->stop();
    outputPoll->start();
}

void TControllerSession::OutputReplyEnded()
{
    if (suspended_ || !policy_.polling)
        return;
    outputPoll->stop();
    inputPoll->start();
}

void TControllerSession::SetInputState(int input, bool active)
{
    emit InputStateChanged(input, active);
}

void TControllerSession::SetOutputState(int output, bool on)
{
    emit OutputStateChanged(output, on);
}

void TControllerSession::SetMode(ControllerProtocol::Mode mode)
{
    emit ModeAnnounced(mode);
}
