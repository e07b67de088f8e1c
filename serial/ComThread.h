#pragma once
// The port's event thread and the receiver that stands on the GUI thread for it.
#include <QEvent>
#include <QObject>
#include <QThread>
#include <cstdint>
#include <exception>
#include <memory>

#include "ComDevice.h"
#include "ComTypes.h"

class TCustomComPort;

// Signalled by the GUI thread once it has taken an event hand-over (or dropped it).
struct TComHandover {
    ComStopSignal done;
};

// Lives on the GUI thread; takes the event thread's hand-overs, deferred exception reports and
// the hang-up notice.
class TComPortReceiver : public QObject {
public:
    static QEvent::Type DeliveryType();
    static QEvent::Type MessageType();
    static QEvent::Type ReportType();
    static QEvent::Type HangUpType();

    explicit TComPortReceiver(TCustomComPort* port) : port_(port) {}
    bool event(QEvent* e) override;

private:
    TCustomComPort* port_;
};

// Hands an exception to the application's report on the receiver's thread.
void PostComReport(QObject* receiver, std::exception_ptr error);

class TComThread : public QThread {
public:
    TComThread(TCustomComPort* port, ComDevice* device, QObject* receiver);
    ~TComThread() override;

    // Asks the thread to end; it finishes the current hand-over wait first.
    void Stop() { StopEvent.Set(); }
    // The port let go of the thread from inside its own handler and may already use the device
    // again: the thread ends without touching it.
    void Abandon() { abandoned_ = true; Stop(); }

    ComStopSignal StopEvent;
    TComEvents Events;   // of the last completed wait

protected:
    void run() override;

private:
    void DispatchEvents();
    void HandOver(QEvent* event, const std::shared_ptr<TComHandover>& handover);
    std::shared_ptr<TComHandover> FreshHandover();

    // Reused while nobody else holds it: a new signal per hand-over costs more kernel time
    // than the rest of a small delivery.
    std::shared_ptr<TComHandover> handover_;

    TCustomComPort* port_;
    ComDevice* device_;
    QObject* receiver_;
    bool abandoned_ = false;   // set and read on the thread itself
};
