#include "ClientInbox.h"

#include <algorithm>

namespace hub {

std::size_t TClientInbox::Push(std::string_view bytes)
{
    const std::size_t room = kCapacity - std::min(kCapacity, queue_.size());
    const std::size_t taken = std::min(room, bytes.size());
    queue_.append(bytes.substr(0, taken));
    return bytes.size() - taken;
}

std::string TClientInbox::Take(Clock::time_point now)
{
    // A quiet line builds up no more than the burst's worth of credit.
    const Clock::time_point earliest = now - kBurst * kByteTime;
    Clock::time_point free = lineFree_ ? std::max(*lineFree_, earliest) : earliest;
    std::size_t count = 0;
    while (count < queue_.size() && free <= now) {
        free += kByteTime;
        ++count;
    }
    if (count == 0)
        return {};
    lineFree_ = free;
    std::string out = queue_.substr(0, count);
    queue_.erase(0, count);
    return out;
}

std::optional<TClientInbox::Clock::time_point> TClientInbox::NextDue() const
{
    if (queue_.empty())
        return std::nullopt;
    return lineFree_.value_or(Clock::time_point{});
}

void TClientInbox::Clear()
{
    queue_.clear();
    lineFree_.reset();
}

}  // namespace hub
