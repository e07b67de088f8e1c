#include "RoutingWriteFlow.h"

#include "ControllerSession.h"
#include "ErrorReport.h"
#include "RoutingTableRead.h"

#include <stdexcept>

TRoutingWriteFlow::TRoutingWriteFlow(QObject* parent) : QObject(parent)
{
    saveWait_.setSingleShot(true);
    saveWait_.setInterval(kSavedAckMs);
    connect(&saveWait_, &QTimer::timeout, this, &TRoutingWriteFlow::NotConfirmed);
}

void TRoutingWriteFlow::AttachSession(TControllerSession* session, TRoutingTableRead* read)
{
    if (session_)
        disconnect(session_, nullptr, this, nullptr);
    if (read_)
        disconnect(read_, nullptr, this, nullptr);
    session_ = session;
    read_ = read;
    requestTable = [read] { read->Start(); };
    write = [session](const std::string& text) {
        const int sent = session->WriteCommand(text);
        // A character the device did not take would shift every later cell of the table.
        if (sent != static_cast<int>(text.size()))
            throw std::runtime_error("Routing write incomplete: the port took " + std::to_string(sent) +
                                     " of " + std::to_string(text.size()) + " bytes");
    };
    // The table read serves other readers too: only a read this flow started is its answer.
    connect(read, &TRoutingTableRead::Read, this, [this](const Routing::TRoutingCells& table) {
        if (reading_)
            ErrorReport::Guard([&] { TableArrived(table); });
    });
    connect(read, &TRoutingTableRead::Failed, this, [this] {
        if (reading_)
            ErrorReport::Guard([this] { TableUnread(); });
    });
    connect(session, &TControllerSession::SavingFinished, this, [this] { SavedNotice(); });
}

bool TRoutingWriteFlow::Start()
{
    if (reading_)
        return false;
    // Another program on the line may have changed the table since it was last read.
    reading_ = true;
    try {
        requestTable();
    } catch (...) {
        reading_ = false;
        throw;
    }
    return true;
}

void TRoutingWriteFlow::CancelRead()
{
    reading_ = false;
}

void TRoutingWriteFlow::TableArrived(const Routing::TRoutingCells& held)
{
    ReadEnded(held);
}

void TRoutingWriteFlow::TableUnread()
{
    ReadEnded(std::nullopt);
}

void TRoutingWriteFlow::ReadEnded(const std::optional<Routing::TRoutingCells>& held)
{
    if (!reading_)
        return;
    reading_ = false;
    emit TableKnown(held);
    const Routing::TRoutingChanges changes = held ? Routing::CountChanges(*held, wanted()) : Routing::TRoutingChanges{};
    if (goAhead && !goAhead(held, changes)) {
        emit Declined();
        return;
    }
    WriteAndAwaitSave();
}

Routing::TRoutingCells TRoutingWriteFlow::RunPass()
{
    if (!write)
        throw std::runtime_error("The routing write has no line to the controller");
    Routing::TRoutingCells sent;
    const Routing::TRoutingCells table = checked ? Routing::TRoutingCells{} : wanted();
    Routing::RoutingPassIo io;
    io.write = write;
    io.checked = [&](int input, int output) {
        const bool on = checked ? checked(input, output) : table.At(input, output);
        sent.Set(input, output, on);
        return on;
    };
    io.progress = progress;
    io.now = Routing::SteadyNow;
    io.sleepUntil = sleepUntil ? sleepUntil : Routing::SleepUntilDeadline;

    struct Around {
        const TRoutingWriteFlow& flow;
        explicit Around(const TRoutingWriteFlow& f) : flow(f)
        {
            if (flow.passBegins)
                flow.passBegins();
        }
        ~Around()
        {
            if (flow.passEnds)
                flow.passEnds();
        }
    } around(*this);
    Routing::RunRoutingPass(io, pacing);
    return sent;
}

void TRoutingWriteFlow::WriteAndAwaitSave()
{
    awaiting_.reset();
    saveWait_.stop();
    passFailure_ = nullptr;
    Routing::TRoutingCells sent;
    try {
        sent = RunPass();
    } catch (...) {
        passFailure_ = std::current_exception();
        emit PassFailed(ErrorReport::Message(std::current_exception()));
        return;
    }
    awaiting_ = sent;
    saveWait_.start();
}

void TRoutingWriteFlow::SavedNotice()
{
    if (!awaiting_)
        return;
    const Routing::TRoutingCells stored = *awaiting_;
    awaiting_.reset();
    saveWait_.stop();
    emit Saved(stored);
}
