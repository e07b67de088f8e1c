// The signals the event thread waits on, as Windows objects.
#include "ComDevice.h"

#include <stdexcept>
#include <windows.h>

namespace {
constexpr std::uint32_t kTaken = 1, kInterrupted = 2;
}  // namespace

ComStopSignal::ComStopSignal()
    : handle_(reinterpret_cast<std::intptr_t>(::CreateEventW(nullptr, TRUE, FALSE, nullptr)))
{
    if (handle_ == 0)
        throw std::runtime_error("CreateEvent failed");
}

ComStopSignal::~ComStopSignal()
{
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void ComStopSignal::Set()
{
    ::SetEvent(reinterpret_cast<HANDLE>(handle_));
}

bool ComStopSignal::IsSet() const
{
    return ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), 0) == WAIT_OBJECT_0;
}

// WaitOnAddress returns at once when the word no longer holds the value it was given, so a Set
// between the look and the wait is never missed; a waker costs a system call only if someone
// sleeps, which the word cannot tell here: WakeByAddressAll is cheap when nobody does.
void ComHandoverSignal::Raise(std::uint32_t bit)
{
    state_.fetch_or(bit);
    ::WakeByAddressAll(&state_);
}

void ComHandoverSignal::Set() { Raise(kTaken); }
void ComHandoverSignal::Interrupt() { Raise(kInterrupted); }
void ComHandoverSignal::Clear() { state_.store(0); }
bool ComHandoverSignal::IsSet() const { return (state_.load() & kTaken) != 0; }

void ComHandoverSignal::Wait()
{
    static_assert(sizeof(state_) == sizeof(std::uint32_t), "WaitOnAddress compares a plain word");
    for (std::uint32_t s = state_.load(); !(s & (kTaken | kInterrupted)); s = state_.load())
        ::WaitOnAddress(&state_, &s, sizeof s, INFINITE);
}
