#include "ControllerSession.h"

#include "ErrorReport.h"

#include <QTimer>

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

TControllerSession::TControllerSession(Writer writer, QObject* parent, int pollIntervalMs)
    : QObject(parent), writer_(std::move(writer))
{
    Timer5 = ProtocolTimer(this, "Timer5", kFirstInputReadMs);
    Timer6 = ProtocolTimer(this, "Timer6", pollIntervalMs);
    Timer7 = ProtocolTimer(this, "Timer7", pollIntervalMs);
    connect(Timer5, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { Timer5Timer(); }); });
    connect(Timer6, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { Timer6Timer(); }); });
    connect(Timer7, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { Timer7Timer(); }); });
}

TControllerSession::~TControllerSession() = default;

void TControllerSession::Start()
{
    Timer5->start();
    Timer6->start();
}

void TControllerSession::StopPolling()
{
    Timer6->stop();
    Timer7->stop();
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
    Timer6->start();
}

void TControllerSession::LineLost()
{
    Timer5->stop();
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
    if (resumePolling && !suspended_)
        Timer6->start();
}

// --- Requests ---

int TControllerSession::WriteCommand(const std::string& bytes)
{
    return writer_(bytes);
}

void TControllerSession::Button2Click()
{
    if (suspended_)
        return;
    state_.BeginInputRead();
    WritePollRequest("q");
}

void TControllerSession::Button3Click()
{
    if (suspended_)
        return;
    state_.BeginOutputRead();
    WritePollRequest("x");
}

// While the line is missing or has failed, each request of the cycle would fail again: the
// first failure is reported and ends the chain; later ones stay quiet until a request gets
// through again, so the error reports do not pile up.
void TControllerSession::WritePollRequest(const char* command)
{
    try {
        writer_(command);
    } catch (...) {
        if (pollFailureReported_)
            return;
        pollFailureReported_ = true;
        throw;
    }
    pollFailureReported_ = false;
}

// The one-shot timers stop before they act, so a failing request cannot repeat.
void TControllerSession::Timer5Timer()
{
    Timer5->stop();
    Button2Click();
}

void TControllerSession::Timer6Timer()
{
    Timer6->stop();
    Button3Click();
}

void TControllerSession::Timer7Timer()
{
    Timer7->stop();
    Button2Click();
}

// --- Routing-table reply ---

void TControllerSession::BeginConfigDump()
{
    writer_("C");
    // Each "C" starts its reply at position 0: a short reply before it must not lend its
    // characters to this one.
    state_.ConfigDumpActive = true;
    state_.ConfigDumpPosition = 0;
    dumpRaw_.clear();
}

void TControllerSession::EndConfigDump()
{
    state_.ConfigDumpActive = false;
}

// --- Received characters ---

void TControllerSession::HandleChar(char ch)
{
    const bool dumping = state_.ConfigDumpActive;
    if (dumping) {
        if (state_.ConfigDumpPosition == 0)
            dumpRaw_.clear();
        dumpRaw_.append(ch);
    }
    parser_.HandleChar(ch);
    if (dumping && !state_.ConfigDumpActive && dumpRaw_.size() == 256)
        emit ConfigDumpComplete(dumpRaw_);
}

void TControllerSession::ClearTerminal()
{
    emit TerminalClearRequested();
}

void TControllerSession::AppendDumpLine(const QString& line)
{
    emit DumpLine(line);
}

void TControllerSession::RequestOutputStates()
{
    Button3Click();
}

void TControllerSession::ShowSavingFinished()
{
    emit SavingFinished();
}

// The cycle keeps one pending request, the one asked for last. A request out of turn (Timer5,
// a '/') that lands inside a reply makes both the '!' and the sixteenth input character ask for
// the next request; two chains would then run interleaved for good, each reading the other's
// replies into the wrong displays.
void TControllerSession::StartTimer6()
{
    if (suspended_)
        return;
    Timer7->stop();
    Timer6->start();
}

void TControllerSession::StartTimer7()
{
    if (suspended_)
        return;
    Timer6->stop();
    Timer7->start();
}

void TControllerSession::SetInputState(int input, bool active)
{
    emit InputStateChanged(input, active);
}

void TControllerSession::SetOutputState(int output, bool on)
{
    emit OutputStateChanged(output, on);
}

void TControllerSession::SetModeCaption(const QString& caption)
{
    emit ModeCaptionChanged(caption);
}
