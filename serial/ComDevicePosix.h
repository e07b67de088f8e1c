#pragma once
#include <atomic>
#include <linux/serial.h>
#include <mutex>

#include "ComDevice.h"

// The device layer on a POSIX terminal device (termios, poll, ioctl).
class ComDevicePosix : public ComDevice {
public:
    ComDevicePosix();
    ~ComDevicePosix() override;

    bool Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }

    bool SetBufferSizes(int inputSize, int outputSize) override;
    bool SetState(const TComDcb& dcb) override;
    bool SetTimeouts(const TComTimeoutRecord& timeouts) override;
    bool SetEventMask(std::uint32_t mask) override;
    void SetReceiveHoldOff(int characters) override;

    bool StartIo(ComIo& io) override;
    bool FinishIo(ComIo& io) override;

    bool Purge(std::uint32_t flags) override;
    bool QueueCounts(int* inQueue, int* outQueue) override;
    void NoteReported(int queued) override;
    bool TakeErrors(std::uint32_t* errors) override;
    bool ModemStatus(std::uint32_t* status) override;

    WaitResult WaitEvents(const ComStopSignal& stop, std::uint32_t* events) override;
    void Wake() override;
    void WaitHoldOff(const ComStopSignal& stop) override;
    std::intptr_t ReadinessHandle() const override { return fd_; }
    bool WorthLookingNow() const override;
    bool TakeEventsNow(std::uint32_t* events, int* inQueue) override;

    int Handle() const { return fd_; }

private:
    // What one look at the device found, and what the wait after it watches.
    struct Look {
        std::uint32_t found = 0;
        int timeoutMs = -1;        // a tick while something is polled for (no limit: -1)
        bool holding = false;      // within the receive hold-off: input is not watched
        std::int64_t holdUs = 0;
        int queued = 0;            // the receive queue's length
    };
    bool LookAt(std::uint32_t want, Look& look);   // false on a failing device, errno kept
    bool Fail(int error);
    void CloseHelpers();
    int ReadSome(char* buffer, int count);   // -1 on failure, 0 when nothing is queued
    bool FinishRead(ComIo& io);
    bool FinishWrite(ComIo& io);
    void CollectErrors();                    // icount deltas into pendingErrors_
    std::int64_t HoldOffLeftUs() const;      // of the receive hold-off after the last announcement
    static bool NoModemLines(int error) { return error == ENOTTY || error == EINVAL; }

    int fd_ = -1;
    int wakeFd_ = -1;
    int arrivalFd_ = -1;   // edge-triggered watch on fd_: tells of new bytes while others wait

    std::atomic<std::uint32_t> mask_{0};
    std::atomic<int> announced_{0};      // queued bytes already reported by an event
    std::atomic<bool> txPending_{false};  // a write finished; TX-empty still to be reported
    std::atomic<bool> rxFlagPending_{false};
    std::atomic<bool> dropNull_{false};
    std::atomic<char> evtChar_{0};
    std::atomic<int> inputSize_{1024};
    std::atomic<bool> hasModemLines_{false};
    std::atomic<std::uint32_t> pendingErrors_{0};

    std::mutex timeoutsMutex_;
    TComTimeoutRecord timeouts_;

    std::mutex icountMutex_;
    bool hasIcount_ = false;
    serial_icounter_struct icount_{};

    // Touched by whoever looks at the device: the waiting thread, or the handling thread while
    // the waiting one is held in a hand-over. The atomics are also read by the held thread.
    std::uint32_t lastModem_ = 0;
    serial_icounter_struct lastCounts_{};
    bool wasRx80Full_ = false;
    // One character time at the configured speed, and when bytes were last announced: a steady
    // stream is handed on in small batches (see WaitEvents).
    std::atomic<int> charTimeUs_{1042};
    std::atomic<std::int64_t> lastRxEventUs_{0};
    std::atomic<int> rxHoldOffChars_{0};   // the owner's hold-off; 0: kRxHoldOffChars
    std::atomic<int> rxBurstBytes_{0};   // bytes announced since the current stream began
    std::atomic<bool> fasterThanLine_{false};   // the last batch came faster than the line's speed
};
