#include "PtyRelay.h"

#include "PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

PtyRelay::PtyRelay(std::string consoleLink, std::string simLink)
    : consoleLink_(std::move(consoleLink)), simLink_(std::move(simLink))
{
}

PtyRelay::~PtyRelay()
{
    Stop();
}

bool PtyRelay::Start(std::string* error)
{
    console_ = std::make_unique<PtyPair>();
    if (console_->MasterFd() < 0) {
        *error = "no pty for the console";
        return false;
    }
    ::unlink(consoleLink_.c_str());
    if (::symlink(console_->SlavePath().c_str(), consoleLink_.c_str()) != 0) {
        *error = "cannot publish " + consoleLink_;
        return false;
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ::fcntl(console_->MasterFd(), F_SETFL, ::fcntl(console_->MasterFd(), F_GETFL) | O_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void PtyRelay::Stop()
{
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    Detach();
    if (stopFd_ >= 0)
        ::close(stopFd_);
    stopFd_ = -1;
    ::unlink(consoleLink_.c_str());
    console_.reset();
}

bool PtyRelay::Attach()
{
    const int fd = ::open(simLink_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    simFd_ = fd;
    attached_ = true;
    ++attachments_;
    return true;
}

void PtyRelay::Detach()
{
    if (simFd_ >= 0)
        ::close(simFd_);
    simFd_ = -1;
    attached_ = false;
}

// Copies what is readable on `from` to `to` (dropped when `to` is -1). False when `from` is gone.
static bool Pump(int from, int to, std::atomic<uint64_t>& counter)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(from, buf, sizeof buf);
        if (n > 0) {
            counter += uint64_t(n);
            ssize_t done = 0;
            while (to >= 0 && done < n) {
                const ssize_t w = ::write(to, buf + done, size_t(n - done));
                if (w > 0) {
                    done += w;
                } else if (w < 0 && errno == EAGAIN) {
                    pollfd p{to, POLLOUT, 0};
                    ::poll(&p, 1, 50);
                } else {
                    break;   // the far end went away; what is left is lost
                }
            }
            continue;
        }
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

void PtyRelay::Run()
{
    const int consoleFd = console_->MasterFd();
    for (;;) {
        if (simFd_ < 0)
            Attach();
        pollfd fds[3] = {{stopFd_, POLLIN, 0}, {consoleFd, POLLIN, 0}, {simFd_, POLLIN, 0}};
        const nfds_t count = simFd_ >= 0 ? 3 : 2;
        // Without a simulator, look for a new one every 20 ms.
        if (::poll(fds, count, simFd_ >= 0 ? 200 : 20) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN)
            Pump(consoleFd, simFd_, toSim_);
        if (simFd_ >= 0 && fds[2].revents) {
            if (!Pump(simFd_, consoleFd, toConsole_) || (fds[2].revents & (POLLHUP | POLLERR)))
                Detach();
        }
    }
}
