#include "LineEnd.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int64_t LeftMs(Clock::time_point end)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
}

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

}  // namespace

LineEnd::LineEnd(const std::string& path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
}

LineEnd::~LineEnd()
{
    Close();
}

void LineEnd::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void LineEnd::Write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR)
                throw std::runtime_error(std::string("write: ") + std::strerror(errno));
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        done += static_cast<size_t>(n);
    }
}

std::string LineEnd::Read(size_t count, int timeoutMs)
{
    std::string bytes;
    ReadTimed(count, bytes, timeoutMs);
    return bytes;
}

std::vector<int64_t> LineEnd::ReadTimed(size_t count, std::string& bytes, int timeoutMs)
{
    std::vector<int64_t> times;
    bytes.clear();
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count) {
        const int64_t left = LeftMs(end);
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - bytes.size()));
        const int64_t t = NowNs();
        if (n > 0) {
            bytes.append(buf, static_cast<size_t>(n));
            times.insert(times.end(), static_cast<size_t>(n), t);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break;
        }
    }
    return times;
}

std::string LineEnd::Drain(int quietMs, int timeoutMs)
{
    std::string out;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int64_t left = LeftMs(end);
        if (left <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, quietMs))) <= 0)
            break;
        char buf[4096];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

bool LineEnd::WaitHangup(int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (LeftMs(end) > 0) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(LeftMs(end))) <= 0)
            continue;
        if (p.revents & (POLLHUP | POLLERR))
            return true;
        char buf[256];
        const ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno == EIO))
            return true;
    }
    return false;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
