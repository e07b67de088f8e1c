#include "ConsoleLink.h"

#include "ErrorReport.h"

#include <QDebug>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
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

}  // namespace

TConsoleLink::TConsoleLink(std::string path, gid_t group, QObject* parent)
    : QObject(parent), path_(std::move(path)), group_(group)
{
}

TConsoleLink::~TConsoleLink()
{
    if (linked_)
        ::unlink(path_.c_str());
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

    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    notifier_->setEnabled(false);
    connect(notifier_, &QSocketNotifier::activated, this,
            [this] { ErrorReport::Guard([this] { ReadMaster(); }); });
    probe_ = new QTimer(this);
    probe_->setInterval(kProbeIntervalMs);
    connect(probe_, &QTimer::timeout, this, [this] { ErrorReport::Guard([this] { Probe(); }); });
    probe_->start();
}

void TConsoleLink::Probe()
{
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & POLLHUP))
        return;
    present_ = true;
    probe_->stop();
    notifier_->setEnabled(true);
    emit ClientOpened();
    ReadMaster();
}

void TConsoleLink::ReadMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            emit Received(QByteArray(buffer, static_cast<int>(n)));
            if (!present_)
                return;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        Gone();   // EIO: the last opener closed its end
        return;
    }
}

void TConsoleLink::Gone()
{
    if (!present_)
        return;
    present_ = false;
    notifier_->setEnabled(false);
    // Nothing of the old console's is due to the next one.
    ::tcflush(master_, TCIOFLUSH);
    probe_->start();
    emit ClientClosed();
}

void TConsoleLink::Write(const std::string& bytes)
{
    if (!present_ || bytes.empty())
        return;
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        Gone();
    else if (n < static_cast<ssize_t>(bytes.size()))
        qWarning().noquote() << QString::fromStdString(path_) << ": console does not read,"
                             << (bytes.size() - (n > 0 ? n : 0)) << "bytes dropped";
}
