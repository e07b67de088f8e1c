#include "ComDevicePosix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#ifdef __linux__
#include "ComSpeedLinux.h"
#endif

std::unique_ptr<ComDevice> CreateComDevice()
{
    return std::make_unique<ComDevicePosix>();
}

ComOpenRefusal ClassifyOpenError(int systemCode)
{
    switch (systemCode) {
    case EBUSY: return ComOpenRefusal::InUse;
    case ENOENT:
    case ENXIO:
    case ENODEV: return ComOpenRefusal::Missing;
    case EACCES:
    case EPERM: return ComOpenRefusal::NoPermission;
    default: return ComOpenRefusal::Other;
    }
}

bool ComDeviceExists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

namespace {
constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;
constexpr std::uint32_t kModemEvents = ComEv::Cts | ComEv::Dsr | ComEv::Rlsd | ComEv::Ring;
// Modem lines have no poll() event: look at their counters this often, or at the lines
// themselves, more slowly, where the driver keeps no counters.
constexpr int kModemTickMs = 20;
constexpr int kModemSlowTickMs = 100;
constexpr int kTxTickMs = 2;   // while a written block drains
// Within a stream, new bytes are announced at most once every this many character times (a
// 16550 UART's receive time-out is four too). Each announcement costs several thread switches,
// which byte by byte at 9600 bit/s cost more than handling the bytes. The first byte after a
// quiet spell is announced at once; a short reply's last byte waits at most three character
// times. Once a stream has gone on for more than kRxShortBurstBytes (terminal text rather than a
// reply), batches grow to kRxLongHoldOffChars: 67 ms at 9600 bit/s, so a steady stream costs
// fifteen hand-overs (and terminal frames) a second; typed keys and their echo, each after a
// pause, still go at once.
// Counted in character times alone, a slow line would hold a reply's tail for seconds (64
// characters at 300 bit/s take 2.1 s): whatever the speed, no batch waits longer than
// kRxHoldOffMaxUs, which leaves 9600 bit/s as it is.
// An owner that only wants whole replies (no one watches them arrive) may ask for a longer short
// hold-off, up to kRxLongHoldOffChars: a reply then costs two hand-overs instead of five.
constexpr int kRxHoldOffChars = 4;
constexpr int kRxLongHoldOffChars = 64;
constexpr int kRxShortBurstBytes = 32;
constexpr int kRxHoldOffMaxBytes = 2 * kRxLongHoldOffChars;   // a fuller queue is announced at once
constexpr std::int64_t kRxHoldOffMaxUs = 70000;

std::int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int Ioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

int PollRetry(pollfd* fds, nfds_t n, int timeoutMs)
{
    // A signal only shortens the wait; the caller's loop recomputes what is left.
    const int r = ::poll(fds, n, timeoutMs);
    return (r < 0 && errno == EINTR) ? 0 : r;
}

// The same with a wait in microseconds (negative: no limit).
int PollRetryUs(pollfd* fds, nfds_t n, std::int64_t timeoutUs)
{
    timespec ts{};
    if (timeoutUs >= 0) {
        ts.tv_sec = static_cast<time_t>(timeoutUs / 1000000);
        ts.tv_nsec = static_cast<long>((timeoutUs % 1000000) * 1000);
    }
    const int r = ::ppoll(fds, n, timeoutUs >= 0 ? &ts : nullptr, nullptr);
    return (r < 0 && errno == EINTR) ? 0 : r;
}

speed_t StandardSpeed(std::uint32_t rate)
{
    switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
    }
}

std::uint32_t ModemBits(int lines)
{
    std::uint32_t s = 0;
    if (lines & TIOCM_CTS) s |= ComMs::CtsOn;
    if (lines & TIOCM_DSR) s |= ComMs::DsrOn;
    if (lines & TIOCM_RNG) s |= ComMs::RingOn;
    if (lines & TIOCM_CAR) s |= ComMs::RlsdOn;
    return s;
}

// Lowers `target` to `value` unless someone else changed it meanwhile.
void LowerTo(std::atomic<int>& target, int value)
{
    int cur = target.load();
    while (cur > value && !target.compare_exchange_weak(cur, value)) {
    }
}
}  // namespace

ComDevicePosix::ComDevicePosix() = default;

ComDevicePosix::~ComDevicePosix()
{
    Close();
}

bool ComDevicePosix::Fail(int error)
{
    lastError_ = error;
    return false;
}

bool ComDevicePosix::Open(const std::string& path)
{
    if (fd_ >= 0)
        return Fail(EBUSY);
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Fail(errno);
    // TIOCEXCL keeps out other users; flock also keeps out root, which TIOCEXCL lets through.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd);
        return Fail(e);
    }
    if (Ioctl(fd, TIOCEXCL, nullptr) != 0 && !NoModemLines(errno)) {
        const int e = errno;
        ::close(fd);
        return Fail(e);
    }
    // Unread bytes keep the device readable; an edge-triggered watch still tells of each new
    // arrival, so bytes left waiting cost no look-out tick.
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    arrivalFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    epoll_event arrival{};
    arrival.events = EPOLLIN | EPOLLET;
    if (wakeFd_ < 0 || arrivalFd_ < 0 || ::epoll_ctl(arrivalFd_, EPOLL_CTL_ADD, fd, &arrival) != 0) {
        const int e = errno;
        ::close(fd);
        CloseHelpers();
        return Fail(e);
    }
    fd_ = fd;
    announced_ = 0;
    txPending_ = false;
    rxFlagPending_ = false;
    pendingErrors_ = 0;
    wasRx80Full_ = false;

    int lines = 0;
    hasModemLines_ = Ioctl(fd_, TIOCMGET, &lines) == 0;
    lastModem_ = hasModemLines_ ? ModemBits(lines) : 0;
    {
        std::lock_guard<std::mutex> lock(icountMutex_);
        hasIcount_ = Ioctl(fd_, TIOCGICOUNT, &icount_) == 0;
        lastCounts_ = icount_;
    }
    return true;
}

void ComDevicePosix::Close()
{
    if (fd_ >= 0) {
        int dummy = 0;
        Ioctl(fd_, TIOCNXCL, &dummy);
        ::close(fd_);   // also drops the flock
        fd_ = -1;
    }
    CloseHelpers();
}

void ComDevicePosix::CloseHelpers()
{
    for (int* helper : {&wakeFd_, &arrivalFd_}) {
        if (*helper >= 0)
            ::close(*helper);
        *helper = -1;
    }
}

bool ComDevicePosix::SetBufferSizes(int inputSize, int outputSize)
{
    // The tty layer sizes its own queues; the requested input size still sets the 80 % mark.
    if (fd_ < 0)
        return Fail(EBADF);
    if (inputSize < 0 || outputSize < 0)
        return Fail(EINVAL);
    inputSize_ = inputSize;
    return true;
}

bool ComDevicePosix::SetState(const TComDcb& dcb)
{
    refusedSpeed_ = 0;
    if (fd_ < 0)
        return Fail(EBADF);
    termios t{};
    if (::tcgetattr(fd_, &t) != 0)
        return Fail(errno);

    // Raw line: no echo, no line editing, no translation, no signals.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    switch (dcb.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: return Fail(EINVAL);
    }
    switch (dcb.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: return Fail(EINVAL);
    }
    switch (dcb.StopBits) {
    case 0: break;
    case 1:   // one and a half: the UART makes 1.5 out of "two" at five data bits
    case 2: t.c_cflag |= CSTOPB; break;
    default: return Fail(EINVAL);
    }
    if (dcb.Flags & TComDcb::fParity)
        t.c_iflag |= INPCK;
    if ((dcb.Flags & TComDcb::fOutxCtsFlow) || TComDcb::RtsControl(dcb.Flags) == 2)
        t.c_cflag |= CRTSCTS;
    if (dcb.Flags & TComDcb::fOutX)
        t.c_iflag |= IXON;
    if (dcb.Flags & TComDcb::fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);

    if (dcb.BaudRate == 0)
        return Fail(EINVAL);
    // Start bit, data bits, parity, stop bits.
    const int bitsPerChar = 1 + dcb.ByteSize + (dcb.Parity != 0 ? 1 : 0) + (dcb.StopBits != 0 ? 2 : 1);
    charTimeUs_ = static_cast<int>(std::max<std::uint64_t>(1, 1000000ull * bitsPerChar / dcb.BaudRate));
    const speed_t std = StandardSpeed(dcb.BaudRate);
#ifdef __linux__
    if (!ComSetLine(fd_, t.c_iflag, t.c_oflag, t.c_cflag & ~(CBAUD | CIBAUD), t.c_lflag, t.c_cc,
                    sizeof t.c_cc, std, dcb.BaudRate)) {
        const int error = errno;
        // Without termios2 (some emulators and kernels) only the standard speeds can be set.
        if (std == B0 && (error == ENOTTY || error == ENOSYS || error == EINVAL))
            refusedSpeed_ = dcb.BaudRate;
        return Fail(error);
    }
#else
    if (std == B0) {
        refusedSpeed_ = dcb.BaudRate;
        return Fail(EINVAL);
    }
    cfsetispeed(&t, std);
    cfsetospeed(&t, std);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0)
        return Fail(errno);
#endif

    // DTR and RTS held as asked; devices without modem lines have nothing to hold.
    const std::uint32_t dtr = TComDcb::DtrControl(dcb.Flags);
    const std::uint32_t rts = TComDcb::RtsControl(dcb.Flags);
    int dtrBit = TIOCM_DTR;
    if (Ioctl(fd_, dtr == 0 ? TIOCMBIC : TIOCMBIS, &dtrBit) != 0 && !NoModemLines(errno))
        return Fail(errno);
    if (rts != 2) {   // with handshake the driver drives RTS itself
        int rtsBit = TIOCM_RTS;
        if (Ioctl(fd_, rts == 1 ? TIOCMBIS : TIOCMBIC, &rtsBit) != 0 && !NoModemLines(errno))
            return Fail(errno);
    }

    dropNull_ = (dcb.Flags & TComDcb::fNull) != 0;
    evtChar_ = dcb.EvtChar;
    return true;
}

bool ComDevicePosix::SetTimeouts(const TComTimeoutRecord& timeouts)
{
    if (fd_ < 0)
        return Fail(EBADF);
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return true;
}

bool ComDevicePosix::SetEventMask(std::uint32_t mask)
{
    if (fd_ < 0)
        return Fail(EBADF);
    mask_ = mask;
    Wake();
    return true;
}

void ComDevicePosix::Wake()
{
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

int ComDevicePosix::ReadSome(char* buffer, int count)
{
    if (count <= 0)
        return 0;
    ssize_t n;
    do {
        n = ::read(fd_, buffer, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN)
            return 0;
        lastError_ = errno;
        return -1;
    }
    if (n == 0) {
        // A raw line without minimum reads 0 when empty; a hung-up one reads 0 for ever.
        pollfd p{fd_, 0, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            lastError_ = EIO;
            return -1;
        }
        return 0;
    }
    if (n < count)
        announced_ = 0;   // took all there was: whatever is queued now has not been reported
    else
        LowerTo(announced_, std::max(0, announced_.load() - static_cast<int>(n)));
    int kept = static_cast<int>(n);
    if (dropNull_) {
        char* end = std::remove(buffer, buffer + n, '\0');
        kept = static_cast<int>(end - buffer);
    }
    if ((mask_ & ComEv::RxFlag) && std::memchr(buffer, evtChar_.load(), static_cast<size_t>(kept))) {
        rxFlagPending_ = true;
        Wake();
    }
    return kept;
}

bool ComDevicePosix::StartIo(ComIo& io)
{
    if (fd_ < 0)
        return Fail(EBADF);
    io.startMs = ComNowMs();
    io.done = 0;
    io.started = true;
    if (io.isWrite) {
        if (io.size == 0)
            return true;
        ssize_t n;
        do {
            n = ::write(fd_, io.data, static_cast<size_t>(io.size));
        } while (n < 0 && errno == EINTR);
        if (n < 0 && errno != EAGAIN)
            return Fail(errno);
        io.done = n > 0 ? static_cast<int>(n) : 0;
        return true;
    }
    const int n = ReadSome(io.buffer, io.size);
    if (n < 0)
        return false;
    io.done = n;
    return true;
}

bool ComDevicePosix::FinishIo(ComIo& io)
{
    if (!io.started)
        return Fail(EINVAL);
    if (fd_ < 0)
        return Fail(EBADF);
    return io.isWrite ? FinishWrite(io) : FinishRead(io);
}

bool ComDevicePosix::FinishWrite(ComIo& io)
{
    TComTimeoutRecord to;
    {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        to = timeouts_;
    }
    const std::uint64_t limit = std::uint64_t(to.WriteTotalTimeoutMultiplier) * std::uint64_t(io.size) +
                                to.WriteTotalTimeoutConstant;
    const bool bounded = limit != 0;
    const std::int64_t deadline = io.startMs + static_cast<std::int64_t>(std::min<std::uint64_t>(limit, INT32_MAX));
    auto left = [&]() -> int {
        if (!bounded)
            return -1;
        return static_cast<int>(std::max<std::int64_t>(0, deadline - ComNowMs()));
    };

    while (io.done < io.size) {
        const int wait = left();
        if (wait == 0)
            break;
        pollfd p{fd_, POLLOUT, 0};
        const int r = PollRetry(&p, 1, wait);
        if (r < 0)
            return Fail(errno);
        if (r == 0)
            continue;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
            return Fail(EIO);
        ssize_t n;
        do {
            n = ::write(fd_, io.data + io.done, static_cast<size_t>(io.size - io.done));
        } while (n < 0 && errno == EINTR);
        if (n < 0 && errno != EAGAIN)
            return Fail(errno);
        if (n > 0)
            io.done += static_cast<int>(n);
    }

    // Done means sent, not just queued: wait for the driver's queue to empty, within the limit.
    for (;;) {
        int outq = 0;
        if (Ioctl(fd_, TIOCOUTQ, &outq) != 0 || outq <= 0)
            break;
        const int wait = left();
        if (wait == 0)
            break;
        // The queue empties at the line's pace: look again when its bytes should be out, not at a
        // fixed 50 ms, or every one-character command would take 50 ms to complete.
        std::int64_t stepUs = std::clamp<std::int64_t>(std::int64_t(outq) * charTimeUs_.load(), 200, 50000);
        if (wait > 0)
            stepUs = std::min<std::int64_t>(stepUs, std::int64_t(wait) * 1000);
        std::this_thread::sleep_for(std::chrono::microseconds(stepUs));
    }
    if (io.size > 0) {
        txPending_ = true;
        Wake();
    }
    return true;
}

bool ComDevicePosix::FinishRead(ComIo& io)
{
    if (io.done >= io.size)
        return true;
    TComTimeoutRecord to;
    {
        std::lock_guard<std::mutex> lock(timeoutsMutex_);
        to = timeouts_;
    }
    const std::uint32_t ri = to.ReadIntervalTimeout, rm = to.ReadTotalTimeoutMultiplier,
                        rc = to.ReadTotalTimeoutConstant;
    if (ri == kMaxDword && rm == 0 && rc == 0)
        return true;   // return at once with what was queued

    // "Wait for the first byte, then return what is there" uses only the constant.
    const bool firstByteOnly = ri == kMaxDword && rm == kMaxDword && rc != 0 && rc != kMaxDword;
    std::int64_t deadline = -1;
    if (firstByteOnly)
        deadline = io.startMs + rc;
    else if (rm != 0 || rc != 0)
        deadline = io.startMs + static_cast<std::int64_t>(
            std::min<std::uint64_t>(std::uint64_t(rm) * std::uint64_t(io.size) + rc, INT32_MAX));
    const bool useInterval = !firstByteOnly && ri != 0 && ri != kMaxDword;
    std::int64_t lastByteMs = ComNowMs();

    while (io.done < io.size) {
        if (firstByteOnly && io.done > 0)
            break;
        const std::int64_t now = ComNowMs();
        std::int64_t wait = -1;
        if (deadline >= 0)
            wait = std::max<std::int64_t>(0, deadline - now);
        if (useInterval && io.done > 0) {
            const std::int64_t gap = std::max<std::int64_t>(0, lastByteMs + ri - now);
            wait = wait < 0 ? gap : std::min(wait, gap);
        }
        if (wait == 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        const int r = PollRetry(&p, 1, static_cast<int>(std::min<std::int64_t>(wait, INT32_MAX)));
        if (r < 0)
            return Fail(errno);
        if (r == 0)
            continue;
        const int n = ReadSome(io.buffer + io.done, io.size - io.done);
        if (n < 0)
            return false;
        if (n > 0) {
            io.done += n;
            lastByteMs = ComNowMs();
        }
    }
    return true;
}

bool ComDevicePosix::Purge(std::uint32_t flags)
{
    if (fd_ < 0)
        return Fail(EBADF);
    // Transfers complete on their caller's thread, so there is never one to abort; only the
    // clear flags touch the driver (a hung-up line cannot refuse an abort).
    const bool tx = flags & ComPurge::TxClear, rx = flags & ComPurge::RxClear;
    if (tx || rx) {
        if (::tcflush(fd_, tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH)) != 0)
            return Fail(errno);
        if (rx)
            announced_ = 0;
    }
    return true;
}

void ComDevicePosix::CollectErrors()
{
    std::lock_guard<std::mutex> lock(icountMutex_);
    if (!hasIcount_)
        return;
    serial_icounter_struct now{};
    if (Ioctl(fd_, TIOCGICOUNT, &now) != 0)
        return;
    std::uint32_t e = 0;
    if (now.frame != icount_.frame) e |= ComCe::Frame;
    if (now.parity != icount_.parity) e |= ComCe::RxParity;
    if (now.overrun != icount_.overrun) e |= ComCe::Overrun;
    if (now.brk != icount_.brk) e |= ComCe::Break;
    if (now.buf_overrun != icount_.buf_overrun) e |= ComCe::RxOver;
    icount_ = now;
    pendingErrors_ |= e;
}

bool ComDevicePosix::QueueCounts(int* inQueue, int* outQueue)
{
    if (fd_ < 0)
        return Fail(EBADF);
    int in = 0, out = 0;
    if (Ioctl(fd_, FIONREAD, &in) != 0)
        return Fail(errno);
    // Only when asked for: the receive path wants the input side alone, twice a batch.
    if (outQueue && Ioctl(fd_, TIOCOUTQ, &out) != 0)
        out = 0;
    CollectErrors();
    pendingErrors_ = 0;   // a status query clears the error flags, as the classic driver does
    if (inQueue)
        *inQueue = in;
    if (outQueue)
        *outQueue = out;
    return true;
}

void ComDevicePosix::NoteReported(int queued)
{
    int cur = announced_.load();
    while (cur < queued && !announced_.compare_exchange_weak(cur, queued)) {
    }
}

bool ComDevicePosix::TakeErrors(std::uint32_t* errors)
{
    if (fd_ < 0)
        return Fail(EBADF);
    int in = 0;
    if (Ioctl(fd_, FIONREAD, &in) != 0)
        return Fail(errno);
    CollectErrors();
    *errors = pendingErrors_.exchange(0);
    return true;
}

bool ComDevicePosix::ModemStatus(std::uint32_t* status)
{
    if (fd_ < 0)
        return Fail(EBADF);
    int lines = 0;
    if (Ioctl(fd_, TIOCMGET, &lines) != 0) {
        if (NoModemLines(errno)) {
            *status = 0;
            return true;
        }
        return Fail(errno);
    }
    *status = ModemBits(lines);
    return true;
}

void ComDevicePosix::SetReceiveHoldOff(int characters)
{
    rxHoldOffChars_ = std::clamp(characters, 0, kRxLongHoldOffChars);
}

std::int64_t ComDevicePosix::HoldOffLeftUs() const
{
    const int shortHold = rxHoldOffChars_ > 0 ? rxHoldOffChars_.load() : kRxHoldOffChars;
    const int holdChars = rxBurstBytes_ > kRxShortBurstBytes ? kRxLongHoldOffChars : shortHold;
    const std::int64_t holdUs = std::min(static_cast<std::int64_t>(holdChars) * charTimeUs_.load(), kRxHoldOffMaxUs);
    return lastRxEventUs_ + holdUs - NowUs();
}

void ComDevicePosix::WaitHoldOff(const ComStopSignal& stop)
{
    // Bytes coming faster than the line's speed (a pseudo-terminal, an adapter ignoring the
    // rate) could fill the queue during a blind pause: then the device is looked at as usual.
    const std::int64_t holdUs = HoldOffLeftUs();
    if (holdUs <= 0 || fd_ < 0 || fasterThanLine_)
        return;
    // The wake descriptor is only looked at, not drained: the next WaitEvents takes it.
    pollfd fds[2] = {{static_cast<int>(stop.Handle()), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    PollRetryUs(fds, 2, holdUs);
}

bool ComDevicePosix::LookAt(std::uint32_t want, Look& look)
{
    std::uint32_t& found = look.found;
    auto shorten = [&look](int ms) { look.timeoutMs = look.timeoutMs < 0 ? ms : std::min(look.timeoutMs, ms); };

    int& queued = look.queued;
    if (Ioctl(fd_, FIONREAD, &queued) != 0) {
        lastError_ = errno;
        return false;
    }
    // New bytes are those beyond what an earlier event or receive handler already told.
    const int known = announced_.load();
    if (queued < known)
        LowerTo(announced_, queued);
    // Right after an announcement the thread does not watch for input at all until the
    // hold-off has passed; then it looks once. So a stream costs one wake-up per batch.
    const int charUs = charTimeUs_.load();
    const std::int64_t holdUs = HoldOffLeftUs();
    look.holdUs = holdUs;
    // Bytes faster than the line's speed (see WaitHoldOff) are not held back either.
    look.holding = holdUs > 0 && queued < kRxHoldOffMaxBytes && !fasterThanLine_;
    if (queued > known) {
        if (!look.holding) {
            const std::int64_t now = NowUs();
            // A stream goes on while its bytes keep the line at least half busy; a trickle
            // of lone bytes, or bytes after a pause, start a new one.
            const std::int64_t fresh = queued - known;
            if (2 * fresh * charUs < now - lastRxEventUs_)
                rxBurstBytes_ = 0;
            rxBurstBytes_ += static_cast<int>(fresh);
            // More than the line could carry in twice the time they took to come: a
            // pseudo-terminal or an adapter that ignores the speed.
            fasterThanLine_ = fresh * charUs > 2 * (now - lastRxEventUs_);
            lastRxEventUs_ = now;
            NoteReported(queued);
            if (want & ComEv::RxChar)
                found |= ComEv::RxChar;
        }
    }
    const bool rx80 = inputSize_ > 0 && queued * 10 >= inputSize_ * 8;
    if (rx80 && !wasRx80Full_ && (want & ComEv::Rx80Full))
        found |= ComEv::Rx80Full;
    wasRx80Full_ = rx80;

    if (txPending_) {
        int outq = 0;
        if (Ioctl(fd_, TIOCOUTQ, &outq) != 0 || outq <= 0) {
            txPending_ = false;
            if (want & ComEv::TxEmpty)
                found |= ComEv::TxEmpty;
        } else {
            shorten(kTxTickMs);
        }
    }
    if (rxFlagPending_.exchange(false) && (want & ComEv::RxFlag))
        found |= ComEv::RxFlag;

    if (hasModemLines_ && (want & kModemEvents)) {
        // The driver's transition counters are cheap to read; the line states themselves
        // may cost a round trip to a USB adapter, so they are asked only on a change.
        bool askLines = true;
        serial_icounter_struct counts{};
        const bool counted = hasIcount_ && Ioctl(fd_, TIOCGICOUNT, &counts) == 0;
        if (counted) {
            askLines = counts.cts != lastCounts_.cts || counts.dsr != lastCounts_.dsr ||
                       counts.dcd != lastCounts_.dcd || counts.rng != lastCounts_.rng;
            if (counts.rng != lastCounts_.rng)
                found |= want & ComEv::Ring;
            lastCounts_ = counts;
        }
        int lines = 0;
        if (askLines && Ioctl(fd_, TIOCMGET, &lines) == 0) {
            const std::uint32_t now = ModemBits(lines);
            const std::uint32_t changed = now ^ lastModem_;
            if (changed & ComMs::CtsOn) found |= want & ComEv::Cts;
            if (changed & ComMs::DsrOn) found |= want & ComEv::Dsr;
            if (changed & ComMs::RlsdOn) found |= want & ComEv::Rlsd;
            if (!counted && (changed & ComMs::RingOn) && !(now & ComMs::RingOn))
                found |= want & ComEv::Ring;
            lastModem_ = now;
        }
        shorten(counted ? kModemTickMs : kModemSlowTickMs);
    }
    {
        const std::uint32_t before = pendingErrors_.load();
        CollectErrors();
        const std::uint32_t fresh = pendingErrors_.load() & ~before;
        if (fresh & ComCe::Break)
            found |= want & ComEv::Break;
        if (fresh & (ComCe::Frame | ComCe::RxParity | ComCe::Overrun | ComCe::RxOver))
            found |= want & ComEv::Err;
    }
    return true;
}

bool ComDevicePosix::WorthLookingNow() const
{
    return fd_ >= 0 && fasterThanLine_ && announced_.load() == 0;
}

bool ComDevicePosix::TakeEventsNow(std::uint32_t* events, int* inQueue)
{
    *events = 0;
    *inQueue = -1;
    if (fd_ < 0)
        return false;
    Look look;
    // A failing device is the waiting thread's to report, from its own look.
    if (!LookAt(mask_.load(), look) || !look.found)
        return false;
    *events = look.found;
    *inQueue = look.queued;
    return true;
}

ComDevice::WaitResult ComDevicePosix::WaitEvents(const ComStopSignal& stop, std::uint32_t* events)
{
    if (fd_ < 0) {
        lastError_ = EBADF;
        return WaitResult::Failed;
    }
    for (;;) {
        Look look;
        if (!LookAt(mask_.load(), look))
            return lastError_ == EIO ? WaitResult::HungUp : WaitResult::Failed;
        if (look.found) {
            *events = look.found;
            return WaitResult::Events;
        }
        const bool holding = look.holding;
        const int timeout = look.timeoutMs;
        const std::int64_t holdUs = look.holdUs;

        // Unread bytes keep the device readable: while they wait, only new arrivals are watched.
        // During a hold-off nothing is; a hang-up is seen either way.
        const bool unread = announced_.load() > 0;
        pollfd fds[4] = {{static_cast<int>(stop.Handle()), POLLIN, 0}, {wakeFd_, POLLIN, 0},
                         {fd_, static_cast<short>(unread || holding ? 0 : POLLIN), 0},
                         {unread && !holding ? arrivalFd_ : -1, POLLIN, 0}};
        std::int64_t waitUs = timeout < 0 ? -1 : static_cast<std::int64_t>(timeout) * 1000;
        if (holding)
            waitUs = waitUs < 0 ? holdUs : std::min(waitUs, holdUs);
        const int r = PollRetryUs(fds, 4, waitUs);
        if (r < 0) {
            lastError_ = errno;
            return WaitResult::Failed;
        }
        if (fds[0].revents & POLLIN)
            return WaitResult::Stopped;
        if (fds[1].revents & POLLIN) {
            std::uint64_t v;
            while (::read(wakeFd_, &v, sizeof v) < 0 && errno == EINTR) {
            }
        }
        if (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            lastError_ = EIO;
            return WaitResult::HungUp;
        }
        if (fds[3].revents & POLLIN) {
            // Takes the edges seen so far; the next look counts every byte before this.
            epoll_event seen[4];
            while (::epoll_wait(arrivalFd_, seen, 4, 0) < 0 && errno == EINTR) {
            }
        }
    }
}
