#pragma once
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "RoutingCells.h"
#include "RoutingChanges.h"
#include "RoutingPass.h"

class TControllerSession;
class TRoutingTableRead;

// Writing a routing table: read what the controller holds, let the user decide whether to go on,
// write every cell at the controller's pace, then wait for '?' (the table is stored). Nothing
// here draws or asks by itself: whoever runs the flow (the matrix window, selvora-ctl) answers
// through the hooks and shows what the signals report.
//
// The line is reached through three hooks, so a caller that waits synchronously can answer a
// request at once; AttachSession wires them to a session and a table read instead.
class TRoutingWriteFlow : public QObject {
    Q_OBJECT
public:
    // After the last routing character, how long the controller has to say '?'.
    static constexpr int kSavedAckMs = 5000;

    explicit TRoutingWriteFlow(QObject* parent = nullptr);

    // --- The line ---
    // Asks for the controller's table; the answer comes through TableArrived or TableUnread.
    std::function<void()> requestTable;
    // Writes one command; throws when the line did not take all of it.
    std::function<void(const std::string& text)> write;
    // Reads through `read` and writes through the session; '?' from the session ends the wait.
    void AttachSession(TControllerSession* session, TRoutingTableRead* read);

    // --- The caller's part ---
    // The table to write, asked when the read is done to count the changes.
    std::function<Routing::TRoutingCells()> wanted;
    // The state of one cell, asked right before its character goes out; unset: `wanted`.
    std::function<bool(int input, int output)> checked;
    // Whether to write, knowing the held table (none: it could not be read) and the changes.
    std::function<bool(const std::optional<Routing::TRoutingCells>& held, const Routing::TRoutingChanges& changes)>
        goAhead;
    // Around the pass, also when it fails: an indicator, a busy cursor.
    std::function<void()> passBegins;
    std::function<void()> passEnds;
    std::function<void(int sent)> progress;
    Routing::TRoutingPacing pacing;
    std::function<void(Routing::PassClock::time_point deadline)> sleepUntil;

    // Read, ask, write, wait. False when a read is already running.
    bool Start();
    // Drops a read in progress (the window closed); a write already done still waits for '?'.
    void CancelRead();
    bool AwaitingSave() const { return awaiting_.has_value(); }

    // Only the pass, without reading or asking first, and without waiting for '?'. Throws
    // when a write fails; returns the table sent.
    Routing::TRoutingCells RunPass();
    // The pass, then the wait for '?'. A failed pass is reported through PassFailed.
    void WriteAndAwaitSave();

    // --- What the line answered ---
    void TableArrived(const Routing::TRoutingCells& held);
    void TableUnread();
    void SavedNotice();

    QTimer* SaveWait() { return &saveWait_; }
    // What ended the last pass early, for a caller that needs more than PassFailed's text.
    std::exception_ptr PassFailure() const { return passFailure_; }

signals:
    // The read before the write has ended: the held table, or none.
    void TableKnown(const std::optional<Routing::TRoutingCells>& held);
    void Declined();
    void PassFailed(const QString& reason);
    // '?' came: the controller holds `table`. Also after NotConfirmed, when '?' is late.
    void Saved(const Routing::TRoutingCells& table);
    void NotConfirmed();

private:
    void ReadEnded(const std::optional<Routing::TRoutingCells>& held);

    QPointer<TControllerSession> session_;
    QPointer<TRoutingTableRead> read_;
    bool reading_ = false;
    std::exception_ptr passFailure_;
    std::optional<Routing::TRoutingCells> awaiting_;
    QTimer saveWait_;
};
