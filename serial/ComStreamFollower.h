#pragma once
// Follows a fast stream of received bytes on the GUI thread while the event thread waits for a
// hand-over to be taken.
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "ComDevice.h"

class TCustomComPort;
struct TComHandover;

// Bytes that come faster than the line's speed (a pseudo-terminal, an adapter that ignores the
// rate) arrive in batches a few tens of microseconds apart. Handing each one over costs a wake-up
// of both threads. Instead, the GUI thread keeps the hand-over of the last batch and watches the
// device itself: each batch it finds is handled as one more event set of that hand-over, looked
// at exactly as the event thread would look. The event thread, still waiting, takes over again as
// soon as the stream pauses, a look finds nothing, or bytes told of stay unread.
class TComStreamFollower : public QObject {
public:
    explicit TComStreamFollower(TCustomComPort* port);

    // After a delivery was handled: follows on with its hand-over, or lets it go.
    void FollowOrRelease(std::shared_ptr<TComHandover> handover);
    // Gives the hand-over back to the event thread and stops watching the device.
    void Release();
    // Before the device closes: its descriptor may be reused by the next opening.
    void Forget();

private:
    void Readable();
    bool Follows() const;

    TCustomComPort* port_;
    std::shared_ptr<TComHandover> held_;
    std::unique_ptr<QSocketNotifier> readable_;
    QTimer pause_;
    bool sawBatch_ = false;   // since the last tick of pause_
};
