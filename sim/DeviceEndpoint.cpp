#include "LineEndpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

std::string Errno(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

class DeviceEndpoint : public LineEndpoint {
public:
    explicit DeviceEndpoint(std::string path) : path_(std::move(path)) {}
    ~DeviceEndpoint() override { Close(); }

    bool Open(std::string& error) override
    {
        const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = Errno(("opening " + path_).c_str());
            return false;
        }
        if (::isatty(fd)) {
            termios t{};
            ::tcgetattr(fd, &t);
            ::cfmakeraw(&t);
            ::cfsetispeed(&t, B9600);
            ::cfsetospeed(&t, B9600);
            t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
            t.c_cflag |= CS8 | CLOCAL | CREAD;
            t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
            ::tcsetattr(fd, TCSANOW, &t);
        }
        fd_ = fd;
        return true;
    }

    void Close() override
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    int Fd() const override { return fd_; }
    bool PeerPresent() const override { return fd_ >= 0; }
    std::string Description() const override { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<LineEndpoint> MakeDeviceEndpoint(const std::string& path)
{
    return std::make_unique<DeviceEndpoint>(path);
}

}  // namespace sim
