#pragma once
// The port's event thread and the receiver that stands on the GUI thread for it.
#include <QEvent>
#include <QObject>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

#include "ComDevice.h"
#include "ComStreamFollower.h"
#include "ComTypes.h"

class TCustomComPort;

// Signalled by the GUI thread once it has taken an event hand-over (or dropped it).
struct TComHandover {
    ComHandoverSignal done;
};

// Lives on the GUI thread; takes the event thread's hand-overs, deferred exception reports and
// the hang-up notice.
class TComPortReceiver : public QObject {
public:
    static QEvent::Type DeliveryType();
    static QEvent::Type MessageType();
    static QEvent::Type ReportType();
    static QEvent::Type HangUpType();

    explicit TComPortReceiver(TCustomComPort* port) : port_(port), stream_(port) {}
    bool event(QEvent* e) override;
    // Before the device closes: the event thread has ended, nothing is to be watched.
    void EndStream() { stream_.Forget(); }

private:
    TCustomComPort* port_;
    TComStreamFollower stream_;
};

// Hands an exception to the application's report on the receiver's thread.
void PostComReport(QObject* receiver, std::exception_ptr error);

class TComThread : public QThread {
public:
    TComThread(TCustomComPort* port, ComDevice* device, QObject* receiver);
    ~TComThread() override;

    // Asks the thread to end; it leaves a hand-over wait at once (the closing GUI thread serves
    // whatever is still posted itself).
    void Stop();
    // The port let go of the thread from inside its own handler and may already use the device
    // again: the thread ends without touching it.
    void Abandon() { abandoned_ = true; Stop(); }

    // On the GUI thread while this thread waits for it to take a hand-over: a fast stream's next
    // batch is looked for there, and handled as one more event set of the same hand-over, instead
    // of waking this thread to find it.
    bool WorthLookingAgain() const;
    bool LookAgain(TComEvents& events, int* inQueue);

    ComStopSignal StopEvent;
    TComEvents Events;   // of the last completed wait

protected:
    void run() override;

private:
    void DispatchEvents();
    void HandOver(QEvent* event, const std::shared_ptr<TComHandover>& handover);
    std::shared_ptr<TComHandover> FreshHandover();

    // Reused while nobody else holds it. Stop reaches the current one under the lock.
    std::shared_ptr<TComHandover> handover_;
    std::mutex handoverMutex_;
    // Set by Stop with StopEvent; read on every pass, where asking the descriptor would cost a
    // system call.
    std::atomic<bool> stopAsked_{false};

    TCustomComPort* port_;
    ComDevice* device_;
    QObject* receiver_;
    bool abandoned_ = false;   // set and read on the thread itself
};
