#include "HubPoller.h"

#include "ErrorReport.h"
#include "HubTopics.h"
#include "ReplyRouter.h"

#include <QTimer>

THubPoller::THubPoller(Submit submit, int pollIntervalMs, QObject* parent)
    : QObject(parent),
      submit_(std::move(submit)),
      session_([this](const std::string& bytes) { return Write(bytes); }, this, pollIntervalMs)
{
    const std::pair<QTimer*, char> timers[] = {
        {session_.Timer5, 'q'}, {session_.Timer6, 'x'}, {session_.Timer7, 'q'}};
    for (const auto& [timer, request] : timers) {
        timer->disconnect(&session_);
        connect(timer, &QTimer::timeout, this, [this, timer = timer, request = request] {
            timer->stop();
            ErrorReport::Guard([&] { CycleTurn(request); });
        });
    }
    connect(&session_, &TControllerSession::InputStateChanged, this, &THubPoller::InputChanged);
    connect(&session_, &TControllerSession::OutputStateChanged, this, &THubPoller::OutputChanged);
    connect(&session_, &TControllerSession::ModeCaptionChanged, this, [this](const QString& caption) {
        for (int i = 0; i < static_cast<int>(hub::kModeNames.size()); ++i)
            if (caption.toStdString() == hub::kModeNames[i])
                emit ModeSeen(i);
    });
}

void THubPoller::Start()
{
    session_.Start();
}

int THubPoller::Write(const std::string& bytes)
{
    for (char ch : bytes) {
        if (ch == 'x' || ch == 'q' || ch == 'C')
            outstanding_ = true;
        if (ch == 'x') {
            ++outputReads_;
            turnsSinceOutputRead_ = 0;
        }
    }
    submit_(bytes);
    return static_cast<int>(bytes.size());
}

void THubPoller::CycleTurn(char request)
{
    if (request == 'x' && ++turnsSinceOutputRead_ < kTurnsPerOutputRead)
        request = 'q';
    Want(request);
}

void THubPoller::Want(char request)
{
    if (outstanding_) {
        if (wanted_.find(request) == std::string::npos)
            wanted_ += request;
        return;
    }
    Issue(request);
}

void THubPoller::Issue(char request)
{
    if (request == 'x')
        session_.Button3Click();
    else if (request == 'C')
        session_.BeginConfigDump();
    else
        session_.Button2Click();
}

void THubPoller::ReadOutputsNow()
{
    Want('x');
}

void THubPoller::ReadRoutingTable()
{
    Want('C');
}

void THubPoller::SendCommand(char command)
{
    session_.WriteCommand(std::string(1, command));
}

void THubPoller::Deliver(const std::string& bytes)
{
    for (char ch : bytes)
        Feed(ch);
}

void THubPoller::Feed(char ch)
{
    if (outstanding_ && hub::TReplyRouter::IsBroadcast(ch)) {
        if (ch != '/' || deferred_.find('/') == std::string::npos)
            deferred_ += ch;
        return;
    }
    // The '/' asks for the outputs itself; the cycle's own output read would only repeat it.
    if (ch == '/')
        session_.Timer6->stop();
    session_.HandleChar(ch);
}

void THubPoller::ReplyEnded(char request, bool complete)
{
    outstanding_ = false;
    if (request == 'C') {
        const QByteArray raw = session_.ConfigDumpRaw();
        session_.EndConfigDump();
        emit RoutingTableRead(raw);
    }
    if (complete) {
        emit ReplyAnswered(request);
    } else {
        // A short reply leaves the session counting; start the cycle afresh.
        session_.LineLost();
        session_.LineRestored(true);
    }
    Flush();
}

void THubPoller::Flush()
{
    while (!outstanding_ && !deferred_.empty()) {
        const char ch = deferred_.front();
        deferred_.erase(0, 1);
        Feed(ch);
    }
    while (!outstanding_ && !wanted_.empty()) {
        const char request = wanted_.front();
        wanted_.erase(0, 1);
        Issue(request);
    }
}
