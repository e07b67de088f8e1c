#include "ComDeviceWin32.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mmsystem.h>

namespace {
std::wstring Wide(const std::string& utf8)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

}  // namespace

std::unique_ptr<ComDevice> CreateComDevice()
{
    return std::make_unique<ComDeviceWin32>();
}

ComOpenRefusal ClassifyOpenError(int systemCode)
{
    switch (static_cast<DWORD>(systemCode)) {
    // A COM port that another program holds answers "access denied"; Wine says "sharing
    // violation".
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return ComOpenRefusal::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED: return ComOpenRefusal::Missing;
    default: return ComOpenRefusal::Other;
    }
}

bool ComDeviceExists(const std::string& path)
{
    // \\.\COM5 is a name in the device namespace, which has no file attributes to look at.
    const std::string devicePrefix = "\\\\.\\";
    if (path.compare(0, devicePrefix.size(), devicePrefix) == 0) {
        wchar_t target[512];
        return ::QueryDosDeviceW(Wide(path.substr(devicePrefix.size())).c_str(), target, 512) != 0;
    }
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

static_assert(sizeof(TComDcb) == sizeof(DCB), "the settings record is laid out like DCB");
static_assert(sizeof(TComTimeoutRecord) == sizeof(COMMTIMEOUTS), "and the time-outs like COMMTIMEOUTS");
static_assert(ComEv::RxChar == EV_RXCHAR && ComEv::TxEmpty == EV_TXEMPTY && ComEv::Rx80Full == EV_RX80FULL &&
              ComEv::Err == EV_ERR && ComEv::Ring == EV_RING && ComEv::Rlsd == EV_RLSD, "event bits");
static_assert(ComMs::CtsOn == MS_CTS_ON && ComMs::RlsdOn == MS_RLSD_ON, "modem status bits");
static_assert(ComCe::Frame == CE_FRAME && ComCe::RxOver == CE_RXOVER && ComCe::Mode == CE_MODE, "error bits");
static_assert(ComPurge::RxClear == PURGE_RXCLEAR && ComPurge::TxAbort == PURGE_TXABORT, "purge flags");

namespace {
constexpr DWORD kMaxDword = MAXDWORD;
// An event wait that completes with no event (SetCommMask does that on Windows; Wine does it
// every few milliseconds on a quiet line, with ERROR_OPERATION_ABORTED) is started again at once
// a few times, then after a pause that doubles up to kEmptyPauseMaxMs, so that a quiet line
// costs a few wake-ups a second. A write, or anything received, starts the count afresh: the
// reply it asks for is seen as soon as it comes.
constexpr int kEmptyCompletionsAtOnce = 8;
constexpr DWORD kEmptyPauseFirstMs = 4;
constexpr DWORD kEmptyPauseMaxMs = 64;

// What a transfer in progress needs kept in one place until the system is done with it.
struct PendingTransfer {
    HANDLE device = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    bool inFlight = false;

    PendingTransfer() : overlapped{} { overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~PendingTransfer()
    {
        // The system writes into `overlapped` (and the caller's buffer) until the transfer ends.
        if (inFlight) {
            DWORD n = 0;
            ::CancelIoEx(device, &overlapped);
            ::GetOverlappedResult(device, &overlapped, &n, TRUE);
        }
        if (overlapped.hEvent)
            ::CloseHandle(overlapped.hEvent);
    }
    PendingTransfer(const PendingTransfer&) = delete;
    PendingTransfer& operator=(const PendingTransfer&) = delete;
};

bool IsTimeout(DWORD error)
{
    // Wine ends a read or write whose total time-out passed with ERROR_TIMEOUT; Windows ends it
    // successfully with the bytes transferred so far, which is what the callers expect.
    return error == ERROR_TIMEOUT;
}

bool NoModemLines(DWORD error)
{
    // A device without modem lines (a pseudo-terminal under Wine, some virtual ports).
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}
}  // namespace

ComDeviceWin32::ComDeviceWin32() = default;

ComDeviceWin32::~ComDeviceWin32()
{
    Close();
}

bool ComDeviceWin32::Fail()
{
    lastError_ = static_cast<int>(::GetLastError());
    return false;
}

bool ComDeviceWin32::Fail(DWORD error)
{
    lastError_ = static_cast<int>(error);
    return false;
}

bool ComDeviceWin32::Open(const std::string& path)
{
    if (handle_ != INVALID_HANDLE_VALUE)
        return Fail(ERROR_BUSY);
    // Share mode 0: nobody else may open the port while we hold it.
    HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return Fail();
    if (!ClaimUnderWine(path)) {
        ::CloseHandle(h);
        return Fail(ERROR_SHARING_VIOLATION);
    }
    HANDLE wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE waitDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!wake || !waitDone) {
        const DWORD e = ::GetLastError();
        for (HANDLE x : {wake, waitDone, h})
            if (x)
                ::CloseHandle(x);
        return Fail(e);
    }
    handle_ = h;
    wakeEvent_ = wake;
    waitOverlapped_ = OVERLAPPED{};
    waitOverlapped_.hEvent = waitDone;
    waitPending_ = false;
    emptyCompletionsInRow_ = 0;
    mask_ = 0;
    unsupported_ = 0;
    announced_ = 0;
    waitCompletions_ = 0;
    {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        ::GetCommTimeouts(handle_, &timeouts_);
    }
    // The default timer tick is 15.6 ms: the protocol's 100 ms pacing and 200 ms polling keep
    // their precision only with a 1 ms tick, asked for while a port is open.
    timerPeriodRaised_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    return true;
}

void ComDeviceWin32::Close()
{
    if (handle_ != INVALID_HANDLE_VALUE) {
        if (waitPending_) {
            // An empty mask ends the wait on Windows and on Wine, which does not cancel it.
            DWORD n = 0;
            ::SetCommMask(handle_, 0);
            ::CancelIoEx(handle_, &waitOverlapped_);
            ::GetOverlappedResult(handle_, &waitOverlapped_, &n, TRUE);
            waitPending_ = false;
        }
        ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    if (wineClaim_) {
        ::CloseHandle(wineClaim_);
        wineClaim_ = nullptr;
    }
    for (HANDLE* h : {&wakeEvent_, &waitOverlapped_.hEvent}) {
        if (*h)
            ::CloseHandle(*h);
        *h = nullptr;
    }
    if (timerPeriodRaised_)
        ::timeEndPeriod(1);
    timerPeriodRaised_ = false;
}

bool ComDeviceWin32::DropUnsupportedEvents()
{
    // Wine refuses the whole wait when the device cannot watch one of the events asked for: a
    // pseudo-terminal has no modem lines, and no break or error counters either. Those events
    // cannot happen there; the rest are waited for without them.
    constexpr std::uint32_t kModem = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
    constexpr std::uint32_t kLineErrors = EV_BREAK | EV_ERR;
    const std::uint32_t asked = mask_.load() & ~unsupported_.load();
    if (asked & kModem)
        unsupported_ |= kModem;
    else if (asked & kLineErrors)
        unsupported_ |= kLineErrors;
    else
        return false;
    DWORD queued = 0;
    return QueuedBytes(&queued) && ::SetCommMask(handle_, mask_.load() & ~unsupported_.load());
}

bool ComDeviceWin32::ClaimUnderWine(const std::string& path)
{
    // Windows' serial drivers refuse a second open (share mode 0); Wine enforces share modes
    // only on files, so two programs could share a port there. Under Wine a named mutex per
    // port stands in for the driver between programs that ask for it (ours). On Windows this is
    // one look-up of an export that is not there.
    static const bool underWine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    if (!underWine)
        return true;
    std::wstring name = L"Local\\konfigurator-port-" + Wide(path);
    std::replace(name.begin() + 6, name.end(), L'\\', L'/');
    HANDLE claim = ::CreateMutexW(nullptr, FALSE, name.c_str());
    if (!claim)
        return true;   // no stand-in to be had: as without it
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(claim);
        return false;
    }
    wineClaim_ = claim;
    return true;
}

bool ComDeviceWin32::SetBufferSizes(int inputSize, int outputSize)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    if (inputSize < 0 || outputSize < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!::SetupComm(handle_, static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize)))
        return Fail();
    return true;
}

bool ComDeviceWin32::SetState(const TComDcb& dcb)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    DCB d;
    std::memcpy(&d, &dcb, sizeof d);
    d.DCBlength = sizeof d;
    if (!::SetCommState(handle_, &d))
        return Fail();
    return true;
}

bool ComDeviceWin32::SetTimeouts(const TComTimeoutRecord& timeouts)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    COMMTIMEOUTS t;
    std::memcpy(&t, &timeouts, sizeof t);
    if (!::SetCommTimeouts(handle_, &t))
        return Fail();
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    timeouts_ = t;
    return true;
}

bool ComDeviceWin32::SetEventMask(std::uint32_t mask)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    // Also ends a wait in progress (with no events), which then starts again with the new mask.
    if (!::SetCommMask(handle_, mask & ~unsupported_.load()))
        return Fail();
    mask_ = mask;
    return true;
}

void ComDeviceWin32::Wake()
{
    if (wakeEvent_)
        ::SetEvent(wakeEvent_);
}

bool ComDeviceWin32::ReturnsAtOnce() const
{
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    return timeouts_.ReadIntervalTimeout == kMaxDword && timeouts_.ReadTotalTimeoutMultiplier == 0 &&
           timeouts_.ReadTotalTimeoutConstant == 0;
}

bool ComDeviceWin32::QueuedBytes(DWORD* queued)
{
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &errors, &stat))
        return Fail();
    *queued = stat.cbInQue;
    return true;
}

bool ComDeviceWin32::ReadQueuedNow(ComIo& io)
{
    DWORD queued = 0;
    if (!QueuedBytes(&queued))
        return false;
    const DWORD want = std::min<DWORD>(queued, static_cast<DWORD>(io.size - io.done));
    if (want == 0)
        return true;
    auto* t = static_cast<PendingTransfer*>(io.pending.get());
    ::ResetEvent(t->overlapped.hEvent);
    DWORD n = 0;
    // Asking for no more than is queued never waits.
    if (!::ReadFile(handle_, io.buffer + io.done, want, &n, &t->overlapped)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return Fail();
        t->inFlight = true;
        const BOOL ok = ::GetOverlappedResult(handle_, &t->overlapped, &n, TRUE);
        t->inFlight = false;
        if (!ok)
            return Fail();
    }
    io.done += static_cast<int>(n);
    TookBytes(static_cast<int>(n));
    return true;
}

void ComDeviceWin32::TookBytes(int count)
{
    int cur = announced_.load();
    while (cur > 0 && !announced_.compare_exchange_weak(cur, std::max(0, cur - count))) {
    }
}

void ComDeviceWin32::NoteReported(int queued)
{
    int cur = announced_.load();
    while (cur < queued && !announced_.compare_exchange_weak(cur, queued)) {
    }
}

bool ComDeviceWin32::StartIo(ComIo& io)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    io.startMs = ComNowMs();
    io.done = 0;
    io.started = true;
    auto transfer = std::make_shared<PendingTransfer>();
    if (!transfer->overlapped.hEvent)
        return Fail();
    transfer->device = handle_;
    io.pending = transfer;
    if (io.size == 0)
        return true;
    DWORD n = 0;
    const BOOL ok = io.isWrite
                        ? ::WriteFile(handle_, io.data, static_cast<DWORD>(io.size), &n, &transfer->overlapped)
                        : ::ReadFile(handle_, io.buffer, static_cast<DWORD>(io.size), &n, &transfer->overlapped);
    if (io.isWrite) {
        // A reply is due: the event wait looks at the line at once again.
        emptyCompletionsInRow_ = 0;
        Wake();
    }
    if (ok) {
        io.done = static_cast<int>(n);
        if (!io.isWrite)
            TookBytes(io.done);
        return true;
    }
    if (::GetLastError() != ERROR_IO_PENDING)
        return Fail();
    transfer->inFlight = true;
    if (io.isWrite || !ReturnsAtOnce())
        return true;
    // "Return at once with what is queued" does not wait on Windows. Wine keeps such a read
    // pending until bytes come: end it and read what is queued instead.
    ::CancelIoEx(handle_, &transfer->overlapped);
    const BOOL ended = ::GetOverlappedResult(handle_, &transfer->overlapped, &n, TRUE);
    transfer->inFlight = false;
    if (!ended && ::GetLastError() != ERROR_OPERATION_ABORTED)
        return Fail();
    io.done = static_cast<int>(n);
    TookBytes(io.done);
    return ReadQueuedNow(io);
}

bool ComDeviceWin32::FinishIo(ComIo& io)
{
    if (!io.started)
        return Fail(ERROR_INVALID_PARAMETER);
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    auto* t = static_cast<PendingTransfer*>(io.pending.get());
    if (!t || !t->inFlight)
        return true;
    // The driver ends the transfer within the time-outs set with SetCommTimeouts.
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(handle_, &t->overlapped, &n, TRUE);
    const DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    t->inFlight = false;
    if (!ok && !IsTimeout(error))
        return Fail(error);
    io.done = static_cast<int>(n);
    if (!io.isWrite)
        TookBytes(io.done);
    return true;
}

bool ComDeviceWin32::Purge(std::uint32_t flags)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    if (flags != 0 && !::PurgeComm(handle_, flags))
        return Fail();
    return true;
}

bool ComDeviceWin32::QueueCounts(int* inQueue, int* outQueue)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &errors, &stat))
        return Fail();
    if (inQueue)
        *inQueue = static_cast<int>(stat.cbInQue);
    if (outQueue)
        *outQueue = static_cast<int>(stat.cbOutQue);
    return true;
}

bool ComDeviceWin32::TakeErrors(std::uint32_t* errors)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    DWORD e = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &e, &stat))
        return Fail();
    *errors = e;
    return true;
}

bool ComDeviceWin32::ModemStatus(std::uint32_t* status)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return Fail(ERROR_INVALID_HANDLE);
    DWORD s = 0;
    if (!::GetCommModemStatus(handle_, &s)) {
        const DWORD e = ::GetLastError();
        if (NoModemLines(e)) {
            *status = 0;
            return true;
        }
        return Fail(e);
    }
    *status = s;
    return true;
}

ComDevice::WaitResult ComDeviceWin32::CompletedWait(DWORD mask, std::uint32_t* events)
{
    if (mask & EV_RXCHAR) {
        // Only bytes beyond those already reported make an event: a receive handler may have
        // taken them meanwhile, or left them waiting (Wine reports a queue that is not empty
        // as EV_RXCHAR at the start of every wait).
        DWORD queued = 0;
        if (!QueuedBytes(&queued))
            return WaitResult::HungUp;
        if (static_cast<int>(queued) > announced_.load())
            announced_ = static_cast<int>(queued);
        else
            mask &= ~static_cast<DWORD>(EV_RXCHAR);
    }
    *events = mask;
    return WaitResult::Events;
}

bool ComDeviceWin32::PauseAfterEmptyCompletion(const ComStopSignal& stop)
{
    if (++emptyCompletionsInRow_ <= kEmptyCompletionsAtOnce)
        return true;
    const int doublings = std::min(emptyCompletionsInRow_ - kEmptyCompletionsAtOnce - 1, 4);
    const DWORD pauseMs = std::min<DWORD>(kEmptyPauseFirstMs << doublings, kEmptyPauseMaxMs);
    HANDLE handles[2] = {reinterpret_cast<HANDLE>(stop.Handle()), wakeEvent_};
    const DWORD r = ::WaitForMultipleObjects(2, handles, FALSE, pauseMs);
    if (r == WAIT_OBJECT_0 + 1)
        emptyCompletionsInRow_ = 0;   // a write or a new mask: look at once
    return r != WAIT_OBJECT_0;
}

ComDevice::WaitResult ComDeviceWin32::WaitEvents(const ComStopSignal& stop, std::uint32_t* events)
{
    if (handle_ == INVALID_HANDLE_VALUE) {
        lastError_ = ERROR_INVALID_HANDLE;
        return WaitResult::Failed;
    }
    HANDLE handles[3] = {reinterpret_cast<HANDLE>(stop.Handle()), wakeEvent_, waitOverlapped_.hEvent};
    for (;;) {
        bool completed = false;
        if (!waitPending_) {
            ::ResetEvent(waitOverlapped_.hEvent);
            waitMask_ = 0;
            if (::WaitCommEvent(handle_, &waitMask_, &waitOverlapped_)) {
                completed = true;
            } else {
                const DWORD e = ::GetLastError();
                if (e == ERROR_IO_PENDING) {
                    waitPending_ = true;
                } else if (!(NoModemLines(e) && DropUnsupportedEvents())) {
                    lastError_ = static_cast<int>(e);
                    return WaitResult::HungUp;
                }
                continue;
            }
        }
        if (!completed) {
            const DWORD r = ::WaitForMultipleObjects(3, handles, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0)
                return WaitResult::Stopped;   // the wait stays pending; Close ends it
            if (r == WAIT_OBJECT_0 + 1)
                continue;                     // the pending wait already sees what changed
            if (r != WAIT_OBJECT_0 + 2) {
                lastError_ = static_cast<int>(::GetLastError());
                return WaitResult::Failed;
            }
            DWORD n = 0;
            const BOOL ok = ::GetOverlappedResult(handle_, &waitOverlapped_, &n, FALSE);
            DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
            // Wine now and then signals a wait's event before it has written the wait's result,
            // and signals nothing more. The event says the wait is over: it counts as one that
            // saw nothing, and what came is looked for below. Not a lost line.
            if (error == ERROR_IO_INCOMPLETE)
                error = ERROR_OPERATION_ABORTED;
            waitPending_ = false;
            if (!ok && error != ERROR_OPERATION_ABORTED) {
                lastError_ = static_cast<int>(error);
                return WaitResult::HungUp;
            }
            if (!ok)
                waitMask_ = 0;
        }
        ++waitCompletions_;
        if (waitMask_ != 0) {
            const WaitResult result = CompletedWait(waitMask_, events);
            if (result != WaitResult::Events || *events != 0) {
                emptyCompletionsInRow_ = 0;
                return result;
            }
        }
        // No event. Wine counts only bytes that come while a wait is pending, so bytes that
        // came in between are looked for here; a line that went away says so here at the latest.
        DWORD queued = 0;
        if (!QueuedBytes(&queued))
            return WaitResult::HungUp;
        if ((mask_.load() & EV_RXCHAR) && static_cast<int>(queued) > announced_.load()) {
            announced_ = static_cast<int>(queued);
            emptyCompletionsInRow_ = 0;
            *events = EV_RXCHAR;
            return WaitResult::Events;
        }
        if (!PauseAfterEmptyCompletion(stop))
            return WaitResult::Stopped;
    }
}
