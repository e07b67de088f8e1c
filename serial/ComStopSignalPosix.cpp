#include "ComDevice.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
int Fd(const ComStopSignal& s)
{
    return static_cast<int>(s.Handle());
}
}  // namespace

ComStopSignal::ComStopSignal() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (handle_ < 0)
        throw std::runtime_error("eventfd failed");
}

ComStopSignal::~ComStopSignal()
{
    ::close(static_cast<int>(handle_));
}

void ComStopSignal::Set()
{
    // The counter is never read back, so the descriptor stays readable: a manual-reset event.
    const std::uint64_t one = 1;
    while (::write(static_cast<int>(handle_), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ComStopSignal::Reset()
{
    std::uint64_t value = 0;
    while (::read(static_cast<int>(handle_), &value, sizeof value) < 0 && errno == EINTR) {
    }
}

bool ComStopSignal::IsSet() const
{
    pollfd p{Fd(*this), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

bool ComWaitEither(const ComStopSignal& first, const ComStopSignal& second)
{
    pollfd fds[2] = {{Fd(first), POLLIN, 0}, {Fd(second), POLLIN, 0}};
    for (;;) {
        const int r = ::poll(fds, 2, -1);
        if (r > 0)
            return (fds[0].revents & POLLIN) != 0;
        if (r < 0 && errno != EINTR)
            return true;   // cannot wait: behave as if asked to stop
    }
}
