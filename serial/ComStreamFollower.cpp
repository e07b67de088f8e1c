#include "ComStreamFollower.h"

#include "ComPort.h"
#include "ComThread.h"

#include <exception>

namespace {
// A stream has paused when no batch came within one to two of these; the event thread then
// watches alone. A tick rather than a time-out restarted at every batch, which would cost more
// than the batch.
constexpr int kStreamPauseMs = 2;
}  // namespace

TComStreamFollower::TComStreamFollower(TCustomComPort* port) : port_(port)
{
    pause_.setInterval(kStreamPauseMs);
    QObject::connect(&pause_, &QTimer::timeout, this, [this] {
        if (!sawBatch_)
            Release();
        sawBatch_ = false;
    });
}

bool TComStreamFollower::Follows() const
{
    // A handler may have closed the port, and with it ended the thread.
    return port_->connected_ && !port_->closing_ && port_->thread_ && port_->thread_->WorthLookingAgain();
}

void TComStreamFollower::FollowOrRelease(std::shared_ptr<TComHandover> handover)
{
    held_ = std::move(handover);
    const std::intptr_t handle = port_->device_->ReadinessHandle();
    if (!held_ || handle < 0 || !Follows()) {
        Release();
        return;
    }
    if (!readable_ || readable_->socket() != static_cast<qintptr>(handle)) {
        readable_ = std::make_unique<QSocketNotifier>(static_cast<qintptr>(handle), QSocketNotifier::Read);
        QObject::connect(readable_.get(), &QSocketNotifier::activated, this, [this] { Readable(); });
    }
    readable_->setEnabled(true);
    sawBatch_ = true;
    if (!pause_.isActive())
        pause_.start();
}

void TComStreamFollower::Readable()
{
    TComEvents events;
    int inQueue = -1;
    if (!held_ || !port_->thread_ || !port_->thread_->LookAgain(events, &inQueue)) {
        Release();   // what keeps the device readable is the event thread's to look at
        return;
    }
    // Nothing reads the device between the look and the handling, so its count still holds.
    port_->lookedInQueue_ = inQueue;
    std::exception_ptr failed;
    try {
        port_->HandleEvents(events);
    } catch (...) {
        failed = std::current_exception();
    }
    port_->lookedInQueue_ = -1;   // unused when the set held no received bytes
    if (failed) {
        // Reported by the application as one from a delivery is; the event thread goes on.
        Release();
        port_->ReportLater(failed);
        return;
    }
    FollowOrRelease(std::move(held_));
}

void TComStreamFollower::Release()
{
    pause_.stop();
    if (readable_)
        readable_->setEnabled(false);
    if (held_) {
        held_->done.Set();
        held_.reset();
    }
}

void TComStreamFollower::Forget()
{
    Release();
    // Also when a handler closed the port from inside Readable: the notifier's event guards
    // against its own deletion during the signal.
    readable_.reset();
}
