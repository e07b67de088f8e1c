#include "ComThread.h"

#include <QCoreApplication>

#include "ComPort.h"

namespace {
// Order in which the handling steps run; also the order of per-event messages.
const std::uint32_t kHandlingOrder[] = {ComEv::Err, ComEv::RxChar, ComEv::TxEmpty, ComEv::Break,
                                        ComEv::Ring, ComEv::Cts, ComEv::Dsr, ComEv::RxFlag,
                                        ComEv::Rlsd, ComEv::Rx80Full};

class DeliveryEvent : public QEvent {
public:
    DeliveryEvent(TComEvents events, std::shared_ptr<TComHandover> handover)
        : QEvent(TComPortReceiver::DeliveryType()), events(events), handover(std::move(handover)) {}
    // Released however the event ends (handled, thrown through, or discarded unhandled), unless
    // a stream's follower took the hand-over on.
    ~DeliveryEvent() override
    {
        if (handover)
            handover->done.Set();
    }
    TComEvents events;
    std::shared_ptr<TComHandover> handover;
};

class MessageEvent : public QEvent {
public:
    MessageEvent(std::uint32_t bit, std::shared_ptr<TComHandover> handover)
        : QEvent(TComPortReceiver::MessageType()), bit(bit), handover(std::move(handover)) {}
    ~MessageEvent() override { handover->done.Set(); }
    std::uint32_t bit;
    std::shared_ptr<TComHandover> handover;
};

class ReportEvent : public QEvent {
public:
    explicit ReportEvent(std::exception_ptr error) : QEvent(TComPortReceiver::ReportType()), error(std::move(error)) {}
    std::exception_ptr error;
};

QEvent::Type NewType()
{
    return static_cast<QEvent::Type>(QEvent::registerEventType());
}
}  // namespace

QEvent::Type TComPortReceiver::DeliveryType() { static const QEvent::Type t = NewType(); return t; }
QEvent::Type TComPortReceiver::MessageType() { static const QEvent::Type t = NewType(); return t; }
QEvent::Type TComPortReceiver::ReportType() { static const QEvent::Type t = NewType(); return t; }
QEvent::Type TComPortReceiver::HangUpType() { static const QEvent::Type t = NewType(); return t; }

void PostComReport(QObject* receiver, std::exception_ptr error)
{
    QCoreApplication::postEvent(receiver, new ReportEvent(std::move(error)));
}

bool TComPortReceiver::event(QEvent* e)
{
    // Exceptions leave through the application's notify, which reports them.
    if (e->type() == DeliveryType()) {
        auto* d = static_cast<DeliveryEvent*>(e);
        if (port_->connected_)
            port_->HandleEvents(d->events);
        stream_.FollowOrRelease(std::move(d->handover));
        return true;
    }
    if (e->type() == MessageType()) {
        auto* m = static_cast<MessageEvent*>(e);
        m->handover->done.Set();   // the sender goes on at once
        if (port_->connected_)
            port_->HandleEventBit(m->bit);
        return true;
    }
    if (e->type() == ReportType()) {
        std::rethrow_exception(static_cast<ReportEvent*>(e)->error);
    }
    if (e->type() == HangUpType()) {
        port_->HangUpSeen();
        return true;
    }
    return QObject::event(e);
}

TComThread::TComThread(TCustomComPort* port, ComDevice* device, QObject* receiver)
    : port_(port), device_(device), receiver_(receiver)
{
}

TComThread::~TComThread()
{
    Stop();
    wait();
}

void TComThread::Stop()
{
    stopAsked_ = true;
    StopEvent.Set();
    std::shared_ptr<TComHandover> current;
    {
        std::lock_guard<std::mutex> lock(handoverMutex_);
        current = handover_;
    }
    if (current)
        current->done.Interrupt();
}

void TComThread::run()
{
    for (;;) {
        std::uint32_t mask = 0;
        const ComDevice::WaitResult r = device_->WaitEvents(StopEvent, &mask);
        if (r == ComDevice::WaitResult::Events) {
            Events = MaskToEvents(mask);
            if (!Events.Empty())
                DispatchEvents();
            if (stopAsked_)
                break;
            continue;
        }
        if (r == ComDevice::WaitResult::HungUp || r == ComDevice::WaitResult::Failed)
            QCoreApplication::postEvent(receiver_, new QEvent(TComPortReceiver::HangUpType()));
        break;
    }
    if (abandoned_)
        return;
    device_->SetEventMask(0);
    device_->Purge(ComPurge::TxClear | ComPurge::RxClear);   // fails harmlessly after a hang-up
}

bool TComThread::WorthLookingAgain() const
{
    return !stopAsked_ && device_->WorthLookingNow();
}

bool TComThread::LookAgain(TComEvents& events, int* inQueue)
{
    std::uint32_t mask = 0;
    *inQueue = -1;
    if (stopAsked_ || !device_->TakeEventsNow(&mask, inQueue))
        return false;
    Events = MaskToEvents(mask);
    events = Events;
    return !events.Empty();
}

void TComThread::HandOver(QEvent* event, const std::shared_ptr<TComHandover>& handover)
{
    QCoreApplication::postEvent(receiver_, event);
    // The device pauses after announcing bytes anyway; the GUI thread is usually done long
    // before that pause ends, so the wait below then returns without another wake-up.
    device_->WaitHoldOff(StopEvent);
    // Wait for the GUI thread, but leave as soon as a stop is asked: the closing GUI thread
    // serves whatever is still posted itself. A stop asked before this look interrupts the
    // signal published with the hand-over (Stop takes it under the lock), so none is missed.
    if (!stopAsked_)
        handover->done.Wait();
}

std::shared_ptr<TComHandover> TComThread::FreshHandover()
{
    // Once the GUI thread has let go of the last event, this thread holds the only reference.
    std::lock_guard<std::mutex> lock(handoverMutex_);
    if (handover_ && handover_.use_count() == 1)
        handover_->done.Clear();
    else
        handover_ = std::make_shared<TComHandover>();
    return handover_;
}

void TComThread::DispatchEvents()
{
    switch (port_->SyncMethod()) {
    case smThreadSync: {
        auto handover = FreshHandover();
        HandOver(new DeliveryEvent(Events, handover), handover);
        break;
    }
    case smWindowSync:
        for (std::uint32_t bit : kHandlingOrder) {
            if (!(EventsToMask(Events) & bit))
                continue;
            if (stopAsked_)
                return;
            auto handover = FreshHandover();
            HandOver(new MessageEvent(bit, handover), handover);
        }
        break;
    case smNone:
        try {
            port_->HandleEvents(Events);
        } catch (...) {
            PostComReport(receiver_, std::current_exception());
        }
        break;
    }
}
