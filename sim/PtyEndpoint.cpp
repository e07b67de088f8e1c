#include "LineEndpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

std::string Errno(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

class PtyEndpoint : public LineEndpoint {
public:
    explicit PtyEndpoint(std::string link) : link_(std::move(link)) {}
    ~PtyEndpoint() override { Close(); }

    bool Open(std::string& error) override
    {
        // Refuse to replace anything but an old link of ours.
        struct stat st {};
        if (::lstat(link_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            error = link_ + " exists and is not a symbolic link";
            return false;
        }
        int master = -1;
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            error = Errno("openpty");
            return false;
        }
        // The raw settings stay with the pty while the master is open, so every opener
        // finds a clean 8-bit line without echo.
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
        t.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);

        const std::string tmp = link_ + ".new." + std::to_string(::getpid());
        ::unlink(tmp.c_str());
        if (::symlink(name, tmp.c_str()) != 0 || ::rename(tmp.c_str(), link_.c_str()) != 0) {
            error = Errno(("publishing " + link_).c_str());
            ::unlink(tmp.c_str());
            ::close(master);
            return false;
        }
        master_ = master;
        pty_ = name;
        return true;
    }

    void Close() override
    {
        if (master_ < 0)
            return;
        ::close(master_);
        master_ = -1;
        // Remove the link only while it still names our pty (another simulator may own it now).
        char target[256] = {};
        const ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n > 0 && pty_ == std::string(target, static_cast<size_t>(n)))
            ::unlink(link_.c_str());
    }

    int Fd() const override { return master_; }

    bool PeerPresent() const override
    {
        if (master_ < 0)
            return false;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 0) < 0)
            return true;
        return (p.revents & POLLHUP) == 0;
    }

    std::string Description() const override { return link_ + " -> " + pty_; }

private:
    std::string link_;
    std::string pty_;
    int master_ = -1;
};

}  // namespace

std::unique_ptr<LineEndpoint> MakePtyEndpoint(const std::string& link)
{
    return std::make_unique<PtyEndpoint>(link);
}

}  // namespace sim
