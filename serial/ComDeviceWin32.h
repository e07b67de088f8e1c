#pragma once
#include <atomic>
#include <mutex>
#include <windows.h>

#include "ComDevice.h"

// The device layer on a Windows communications device: CreateFile with overlapped I/O,
// SetCommState and friends, WaitCommEvent. LastError() holds GetLastError() codes.
class ComDeviceWin32 : public ComDevice {
public:
    ComDeviceWin32();
    ~ComDeviceWin32() override;

    bool Open(const std::string& path) override;
    void Close() override;
    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

    bool SetBufferSizes(int inputSize, int outputSize) override;
    bool SetState(const TComDcb& dcb) override;
    bool SetTimeouts(const TComTimeoutRecord& timeouts) override;
    bool SetEventMask(std::uint32_t mask) override;

    bool StartIo(ComIo& io) override;
    bool FinishIo(ComIo& io) override;

    bool Purge(std::uint32_t flags) override;
    bool QueueCounts(int* inQueue, int* outQueue) override;
    void NoteReported(int queued) override;
    bool TakeErrors(std::uint32_t* errors) override;
    bool ModemStatus(std::uint32_t* status) override;

    WaitResult WaitEvents(const ComStopSignal& stop, std::uint32_t* events) override;
    void Wake() override;

    // Completions of the event wait since the device was opened, events or not: the measure of
    // a quiet line costing nothing.
    int WaitCompletions() const { return waitCompletions_.load(); }

private:
    bool Fail();                      // takes GetLastError() now
    bool Fail(DWORD error);
    bool ReturnsAtOnce() const;       // the read time-outs ask for "what is queued, now"
    bool ReadQueuedNow(ComIo& io);    // reads what ClearCommError says is waiting
    bool QueuedBytes(DWORD* queued);
    WaitResult CompletedWait(DWORD mask, std::uint32_t* events);
    bool PauseAfterEmptyCompletion(const ComStopSignal& stop);   // false when stopped
    void TookBytes(int count);        // a read took them: they are no longer announced
    bool ClaimUnderWine(const std::string& path);
    bool DropUnsupportedEvents();     // false when there is nothing left to drop

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE wakeEvent_ = nullptr;
    HANDLE wineClaim_ = nullptr;
    std::atomic<std::uint32_t> mask_{0};          // as asked for
    std::atomic<std::uint32_t> unsupported_{0};   // left out of what the device is asked to watch
    std::atomic<int> announced_{0};   // queued bytes already reported by an event
    bool timerPeriodRaised_ = false;

    // The event wait: only the waiting thread touches these while the port is open.
    OVERLAPPED waitOverlapped_{};
    DWORD waitMask_ = 0;
    bool waitPending_ = false;
    std::atomic<int> emptyCompletionsInRow_{0};   // a write starts it afresh
    std::atomic<int> waitCompletions_{0};

    mutable std::mutex timeoutsMutex_;
    COMMTIMEOUTS timeouts_{};
};
