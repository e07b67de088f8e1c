// The signals the event thread waits on.
#include "ComDevice.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <linux/futex.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr std::uint32_t kTaken = 1, kInterrupted = 2, kSleeping = 4;

int Fd(const ComStopSignal& s)
{
    return static_cast<int>(s.Handle());
}

void FutexWait(std::atomic<std::uint32_t>& word, std::uint32_t expected)
{
    // Returns at once when the word no longer holds `expected`; a spurious return just loops.
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, nullptr,
              nullptr, 0);
}

void FutexWakeAll(std::atomic<std::uint32_t>& word)
{
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr,
              nullptr, 0);
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

bool ComStopSignal::IsSet() const
{
    pollfd p{Fd(*this), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t), "a futex is a plain word");

void ComHandoverSignal::Raise(std::uint32_t bit)
{
    if (state_.fetch_or(bit) & kSleeping)
        FutexWakeAll(state_);
}

void ComHandoverSignal::Set() { Raise(kTaken); }
void ComHandoverSignal::Interrupt() { Raise(kInterrupted); }
void ComHandoverSignal::Clear() { state_.store(0); }
bool ComHandoverSignal::IsSet() const { return (state_.load() & kTaken) != 0; }

void ComHandoverSignal::Wait()
{
    std::uint32_t s = state_.load();
    for (;;) {
        if (s & (kTaken | kInterrupted))
            return;
        // Announce the sleeper first, so that a Set from now on knows to wake it.
        if (!(s & kSleeping) && !state_.compare_exchange_weak(s, s | kSleeping))
            continue;
        FutexWait(state_, s | kSleeping);
        s = state_.load();
    }
}
