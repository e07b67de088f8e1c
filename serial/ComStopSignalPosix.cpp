#include "ComDevice.h"

#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

ComStopSignal::ComStopSignal() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (handle_ < 0)
        throw std::runtime_error("eventfd failed");
}

ComStopSignal::~ComStopSignal()
{
    ::close(handle_);
}

void ComStopSignal::Set()
{
    // The counter is never read back, so the descriptor stays readable: a manual-reset event.
    const std::uint64_t one = 1;
    while (::write(handle_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool ComStopSignal::IsSet() const
{
    pollfd p{handle_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}
