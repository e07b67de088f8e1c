#include "ConsoleLink.h"

#include "ErrorReport.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::runtime_error SystemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Raw 9600 8N1, as the controller's line: a program that opens the link without setting the
// line up itself sees no echo and no line editing.
void MakeRaw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(fd, TCSANOW, &tio);
}

bool NobodyOnTheOtherEnd(int master)
{
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP);
}

// Handing on the paced bytes a few at a time spares the hub a wake-up per byte in a flood.
constexpr std::chrono::milliseconds kPaceTick{10};

}  // namespace

TConsoleLink::TConsoleLink(std::string path, gid_t group, Logger log, QObject* parent)
    : QObject(parent), path_(std::move(path)), group_(group), log_(std::move(log))
{
}

TConsoleLink::~TConsoleLink()
{
    if (linked_)
        ::unlink(path_.c_str());
    if (watch_ >= 0)
        ::close(watch_);
    if (master_ >= 0)
        ::close(master_);
}

void TConsoleLink::Open()
{
    struct stat existing {};
    if (::lstat(path_.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode))
            throw std::runtime_error(path_ + " exists and is not a link; not replaced");
        ::unlink(path_.c_str());
    }
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0)
        throw SystemError("pseudo-terminal");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw SystemError("pseudo-terminal");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0)
        throw SystemError("pseudo-terminal name");
    deviceName_ = name;

    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        throw SystemError(deviceName_);
    MakeRaw(slave);
    const bool owned = ::fchown(slave, static_cast<uid_t>(-1), group_) == 0 &&
                       ::fchmod(slave, 0660) == 0;
    const int savedErrno = errno;
    ::close(slave);
    if (!owned) {
        errno = savedErrno;
        throw SystemError(deviceName_ + ": group and mode");
    }

    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    notifier_->setEnabled(false);
    connect(notifier_, &QSocketNotifier::activated, this,
            [this] { ErrorReport::Guard([this] { ReadMaster(); }); });
    pace_ = new QTimer(this);
    pace_->setSingleShot(true);
    pace_->setTimerType(Qt::PreciseTimer);
    connect(pace_, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { HandOn(); }); });
    floodPause_ = new QTimer(this);
    floodPause_->setSingleShot(true);
    floodPause_->setInterval(kFloodPauseMs);
    connect(floodPause_, &QTimer::timeout, this, [this] {
        if (present_)
            notifier_->setEnabled(true);
    });
    probe_ = new QTimer(this);
    probe_->setInterval(kProbeIntervalMs);
    connect(probe_, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { Probe(); }); });

    // Watched before the path exists, so that no console can open it unseen.
    if (!WatchOpens()) {
        log_(path_ + ": no inotify",
             path_ + ": opens and closes not watchable (" + std::strerror(errno) +
                 "); looking for a console every " + std::to_string(kProbeIntervalMs) + " ms");
        probe_->start();
    }
    if (::symlink(name, path_.c_str()) != 0) {
        if (errno == ENOENT) {
            // Typically /run/selvora-hub/ of the service, which only systemd creates.
            const std::string folder = path_.substr(0, path_.find_last_of('/') + 1);
            throw std::runtime_error(path_ + ": the folder " + folder + " does not exist (systemd "
                                     "creates /run/selvora-hub/ for the service only); create it "
                                     "first (mkdir -p " + folder + ") or put the link in an existing folder");
        }
        throw SystemError(path_);
    }
    linked_ = true;
}

bool TConsoleLink::WatchOpens()
{
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0)
        return false;
    if (::inotify_add_watch(watch_, deviceName_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        const int savedErrno = errno;
        ::close(watch_);
        watch_ = -1;
        errno = savedErrno;
        return false;
    }
    watchNotifier_ = new QSocketNotifier(watch_, QSocketNotifier::Read, this);
    connect(watchNotifier_, &QSocketNotifier::activated, this,
            [this] { ErrorReport::Guard([this] { WatchEvents(); }); });
    return true;
}

void TConsoleLink::WatchEvents()
{
    alignas(inotify_event) char buffer[4096];
    const ssize_t n = ::read(watch_, buffer, sizeof buffer);
    if (n <= 0)
        return;
    bool emptied = false;   // every opener closed at some point in this batch
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
            // Events were lost: start over from what the master says now.
            openers_ = NobodyOnTheOtherEnd(master_) ? 0 : 1;
            emptied = true;
        } else if (event->mask & IN_OPEN) {
            ++openers_;
        } else if ((event->mask & IN_CLOSE) && openers_ > 0 && --openers_ == 0) {
            emptied = true;
        }
    }
    // When one console closed and the next opened before the hub looked, the bytes waiting
    // cannot be told apart: dropping them all is the side that hands nobody another's bytes.
    if (emptied) {
        if (present_)
            Gone();
        else
            DropLeftovers();
    }
    if (openers_ > 0 && !present_)
        Arrived();
}

void TConsoleLink::Probe()
{
    if (NobodyOnTheOtherEnd(master_)) {
        DropLeftovers();   // of a console that came and went between two looks
        return;
    }
    probe_->stop();
    Arrived();
}

void TConsoleLink::Arrived()
{
    present_ = true;
    inbox_.Clear();
    dropped_ = 0;
    notifier_->setEnabled(true);
    emit ClientOpened();
    ReadMaster();
}

void TConsoleLink::ReadMaster()
{
    if (!present_)
        return;
    char buffer[kReadChunk];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        Gone();   // EIO: the last opener closed its end
        return;
    }
    const std::size_t dropped = inbox_.Push(std::string_view(buffer, static_cast<std::size_t>(n)));
    if (dropped > 0) {
        if (dropped_ == 0)
            log_(path_ + ": flood", path_ + ": the console sends faster than the line takes; "
                                            "its excess is dropped");
        dropped_ += static_cast<long long>(dropped);
    }
    if (inbox_.Full()) {
        notifier_->setEnabled(false);
        floodPause_->start();
    }
    HandOn();
}

void TConsoleLink::HandOn()
{
    if (!present_)
        return;
    const std::string bytes = inbox_.Take(hub::TClientInbox::Clock::now());
    if (!bytes.empty())
        emit Received(QByteArray(bytes.data(), static_cast<int>(bytes.size())));
    if (!present_)
        return;   // found gone while handing on
    if (inbox_.Size() == 0 && dropped_ > 0)
        EndFlood();
    ArmPace();
}

void TConsoleLink::ArmPace()
{
    const auto due = inbox_.NextDue();
    if (!due) {
        pace_->stop();
        return;
    }
    const auto wait = std::max(kPaceTick, std::chrono::ceil<std::chrono::milliseconds>(
                                              *due - hub::TClientInbox::Clock::now()));
    pace_->start(static_cast<int>(wait.count()));
}

void TConsoleLink::EndFlood()
{
    log_(path_ + ": flood ended",
         path_ + ": " + std::to_string(dropped_) + " bytes of the console's excess dropped");
    dropped_ = 0;
}

void TConsoleLink::Gone()
{
    if (!present_)
        return;
    present_ = false;
    notifier_->setEnabled(false);
    pace_->stop();
    floodPause_->stop();
    if (dropped_ > 0)
        EndFlood();
    // Nothing of the old console's is due to the next one, either way.
    inbox_.Clear();
    FlushBothWays();
    if (watch_ < 0)
        probe_->start();
    emit ClientClosed();
}

void TConsoleLink::FlushBothWays()
{
    ::tcflush(master_, TCIOFLUSH);
    // What the hub wrote and the console did not read waits in the console end's own input
    // queue, which the master cannot flush: the next opener would read it first.
    const int console = ::open(deviceName_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (console < 0)
        return;
    ::tcflush(console, TCIOFLUSH);
    ::close(console);
}

void TConsoleLink::DropLeftovers()
{
    int waiting = 0;
    if (::ioctl(master_, FIONREAD, &waiting) != 0 || waiting <= 0)
        return;
    ::tcflush(master_, TCIOFLUSH);
    log_(path_ + ": leftovers", path_ + ": " + std::to_string(waiting) +
                                    " bytes of a console that has closed dropped");
}

void TConsoleLink::Write(const std::string& bytes)
{
    if (!present_ || bytes.empty())
        return;
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        Gone();
    else if (n < static_cast<ssize_t>(bytes.size()))
        log_(path_ + ": does not read",
             path_ + ": console does not read, " +
                 std::to_string(bytes.size() - static_cast<std::size_t>(n > 0 ? n : 0)) +
                 " bytes dropped");
}
