#include "RoutingTableRead.h"

#include "ControllerSession.h"
#include "RoutingReply.h"

#include <stdexcept>

TRoutingTableRead::TRoutingTableRead(QObject* parent) : QObject(parent)
{
    quiet_.setSingleShot(true);
    quiet_.setTimerType(Qt::PreciseTimer);
    quiet_.setInterval(kQuietLimitMs);
    connect(&quiet_, &QTimer::timeout, this, &TRoutingTableRead::Quiet);
}

void TRoutingTableRead::SetSession(TControllerSession* session)
{
    if (session_)
        disconnect(session_, nullptr, this, nullptr);
    session_ = session;
    if (!session_)
        return;
    connect(session_, &TControllerSession::ConfigDumpComplete, this, &TRoutingTableRead::Complete);
    // Every line of the reply shows the controller is still sending.
    connect(session_, &TControllerSession::DumpLine, this, [this] {
        if (running_)
            quiet_.start();
    });
}

void TRoutingTableRead::Start()
{
    running_ = true;
    quiet_.start();
    try {
        if (!session_)
            throw std::runtime_error("no line to the controller");
        session_->BeginConfigDump();
    } catch (...) {
        Finish(nullptr);
    }
}

void TRoutingTableRead::Cancel()
{
    // What is still on its way must not be taken for another reply.
    if (running_ && session_)
        session_->EndConfigDump();
    running_ = false;
    quiet_.stop();
}

void TRoutingTableRead::Complete(const QByteArray& raw)
{
    if (!running_)
        return;
    const std::optional<Routing::TRoutingCells> table = Routing::DecodeReplyStrict(raw);
    Finish(table ? &*table : nullptr);
}

void TRoutingTableRead::Quiet()
{
    if (!running_)
        return;
    if (session_)
        session_->EndConfigDump();
    Finish(nullptr);
}

void TRoutingTableRead::Finish(const Routing::TRoutingCells* table)
{
    running_ = false;
    quiet_.stop();
    if (table)
        emit Read(*table);
    else
        emit Failed();
}
