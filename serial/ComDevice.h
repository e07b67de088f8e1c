#pragma once
// The device layer under the port component: free of Qt so that another platform's
// implementation can sit beside the POSIX one. Every failing call returns false (or -1) and
// leaves the operating system's error code in LastError(), captured at the failing call on the
// calling thread.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ComDcb.h"

// Line-event mask bits, in the values the port's event set converts to and from.
namespace ComEv {
constexpr std::uint32_t RxChar = 0x0001;
constexpr std::uint32_t RxFlag = 0x0002;
constexpr std::uint32_t TxEmpty = 0x0004;
constexpr std::uint32_t Cts = 0x0008;
constexpr std::uint32_t Dsr = 0x0010;
constexpr std::uint32_t Rlsd = 0x0020;
constexpr std::uint32_t Break = 0x0040;
constexpr std::uint32_t Err = 0x0080;
constexpr std::uint32_t Ring = 0x0100;
constexpr std::uint32_t Rx80Full = 0x0400;
}  // namespace ComEv

// Modem status bits.
namespace ComMs {
constexpr std::uint32_t CtsOn = 0x10;
constexpr std::uint32_t DsrOn = 0x20;
constexpr std::uint32_t RingOn = 0x40;
constexpr std::uint32_t RlsdOn = 0x80;
}  // namespace ComMs

// Line-error bits.
namespace ComCe {
constexpr std::uint32_t RxOver = 0x0001;
constexpr std::uint32_t Overrun = 0x0002;
constexpr std::uint32_t RxParity = 0x0004;
constexpr std::uint32_t Frame = 0x0008;
constexpr std::uint32_t Break = 0x0010;
constexpr std::uint32_t TxFull = 0x0100;
constexpr std::uint32_t IOE = 0x0400;
constexpr std::uint32_t Mode = 0x8000;
}  // namespace ComCe

// Purge flags.
namespace ComPurge {
constexpr std::uint32_t TxAbort = 0x1;
constexpr std::uint32_t RxAbort = 0x2;
constexpr std::uint32_t TxClear = 0x4;
constexpr std::uint32_t RxClear = 0x8;
}  // namespace ComPurge

// A manual-reset signal the event wait also watches; once set it stays set.
class ComStopSignal {
public:
    ComStopSignal();
    ~ComStopSignal();
    ComStopSignal(const ComStopSignal&) = delete;
    ComStopSignal& operator=(const ComStopSignal&) = delete;

    void Set();
    bool IsSet() const;
    // The platform's handle (a descriptor here; an event handle fits as well).
    std::intptr_t Handle() const { return handle_; }

private:
    std::intptr_t handle_ = -1;
};

// Tells a waiting thread that what it handed on has been taken. Set before the wait begins (the
// usual case: the event thread sleeps out the receive hold-off meanwhile), it costs neither side
// a system call; a descriptor would cost three per hand-over.
class ComHandoverSignal {
public:
    void Set();         // taken, or dropped
    void Interrupt();   // the waiter is to stop waiting whatever becomes of the hand-over
    void Clear();       // for the next hand-over; only while nobody waits
    bool IsSet() const;
    // Blocks until Set or Interrupt.
    void Wait();

private:
    void Raise(std::uint32_t bit);
    std::atomic<std::uint32_t> state_{0};
};

// One read or write in progress. Whoever starts it owns it; the device only fills it in.
struct ComIo {
    bool isWrite = false;
    const char* data = nullptr;   // the bytes of a write (kept by the caller until done)
    char* buffer = nullptr;       // where a read goes
    int size = 0;                 // bytes asked for
    int done = 0;                 // bytes transferred so far
    std::int64_t startMs = 0;
    bool started = false;
    // The platform's own record of the transfer while the system carries it on (an OVERLAPPED
    // on Windows); releasing it ends such a transfer first.
    std::shared_ptr<void> pending;
};

class ComDevice {
public:
    enum class WaitResult { Events, Stopped, HungUp, Failed };

    virtual ~ComDevice() = default;

    virtual bool Open(const std::string& path) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual bool SetBufferSizes(int inputSize, int outputSize) = 0;
    virtual bool SetState(const TComDcb& dcb) = 0;
    virtual bool SetTimeouts(const TComTimeoutRecord& timeouts) = 0;
    virtual bool SetEventMask(std::uint32_t mask) = 0;

    // Starts a transfer without blocking (as much as the device takes or holds at once).
    virtual bool StartIo(ComIo& io) = 0;
    // Completes a started transfer within the time-outs; the count is what the device took.
    virtual bool FinishIo(ComIo& io) = 0;

    virtual bool Purge(std::uint32_t flags) = 0;
    // Bytes waiting to be read and to be sent. Clears pending line errors, as a status query
    // does on the classic driver.
    virtual bool QueueCounts(int* inQueue, int* outQueue) = 0;
    // The first `queued` bytes of the receive queue have been reported to the handlers: only
    // bytes beyond them make the next receive event.
    virtual void NoteReported(int queued) = 0;
    // Pending line errors (ComCe bits) since the last call; clears them.
    virtual bool TakeErrors(std::uint32_t* errors) = 0;
    // Modem status (ComMs bits); a device without modem lines reports none and does not fail.
    virtual bool ModemStatus(std::uint32_t* status) = 0;

    // Blocks until at least one event of the mask has happened (its bits in *events), the stop
    // signal is set, or the device hangs up. Never busy-waits.
    virtual WaitResult WaitEvents(const ComStopSignal& stop, std::uint32_t* events) = 0;
    // Wakes a WaitEvents in progress so it re-examines the device.
    virtual void Wake() = 0;
    // Within a stream, new bytes are announced at most once every this many character times
    // (0: the device's own pace). A device that announces by its own rules may ignore it.
    virtual void SetReceiveHoldOff(int characters) { (void)characters; }
    // Called by the waiting thread right after it handed an event on: sleeps out whatever
    // pause the device keeps after announcing received bytes anyway, so that waiting for the
    // hand-over to be taken does not cost a wake-up of its own. Returns early on a stop or Wake.
    virtual void WaitHoldOff(const ComStopSignal& stop) { (void)stop; }
    // While the waiting thread is held in a hand-over, the handling thread may take the next
    // events itself with one look that does not wait, when the device tells it of new bytes
    // (ReadinessHandle: a descriptor that polls readable then, or -1). Never while the waiting
    // thread could look as well. WorthLookingNow: bytes come faster than the line's speed, so a
    // look would not hold them back, and none told of stays unread (which keeps the device
    // readable).
    virtual std::intptr_t ReadinessHandle() const { return -1; }
    virtual bool WorthLookingNow() const { return false; }
    // `inQueue` gets the receive queue's length as the look saw it, so that the handler need
    // not ask again.
    virtual bool TakeEventsNow(std::uint32_t* events, int* inQueue)
    {
        *events = 0;
        *inQueue = -1;
        return false;
    }

    // Like errno: per calling thread, so the event thread's calls never mix with the GUI's.
    int LastError() const { return lastError_; }
    // After a failed SetState: the speed in bit/s that the system cannot set, 0 when the failure
    // had another cause. Per calling thread, as LastError.
    std::uint32_t RefusedSpeed() const { return refusedSpeed_; }

protected:
    static inline thread_local int lastError_ = 0;
    static inline thread_local std::uint32_t refusedSpeed_ = 0;
};

// The platform's device implementation.
std::unique_ptr<ComDevice> CreateComDevice();

// What a failed Open's LastError() means to a user, whatever the platform's codes are.
enum class ComOpenRefusal { InUse, Missing, NoPermission, Other };
ComOpenRefusal ClassifyOpenError(int systemCode);

// A cheap look whether a device path names something that exists, without opening it.
bool ComDeviceExists(const std::string& path);

// Milliseconds on a monotonic clock.
inline std::int64_t ComNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
