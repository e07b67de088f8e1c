#pragma once
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What a console on a link has sent and the hub has not yet handed on. A pseudo-terminal has no
// baud rate, so a careless client can write far faster than the controller's line could ever
// carry; here its bytes are taken at most at the line's own pace, the queue is bounded, and what
// overflows is the client's own loss: the hub's polling and the other clients keep their share.
// No I/O and no clock of its own.
namespace hub {

class TClientInbox {
public:
    using Clock = std::chrono::steady_clock;
    // 9600 bit/s with 8N1 framing: ten bits a character.
    static constexpr std::chrono::nanoseconds kByteTime{1041667};
    // What a console may send at once: a whole routing write ("c" and 256 characters) with room
    // to spare.
    static constexpr std::size_t kCapacity = 1024;
    // Bytes handed on at once after a quiet spell, so that a console's single command is never
    // delayed.
    static constexpr std::size_t kBurst = 32;

    // Queues what fits; returns how many bytes did not and were dropped.
    std::size_t Push(std::string_view bytes);
    // The bytes the line's pace allows by `now`, in order.
    std::string Take(Clock::time_point now);
    // When Take has more to give; none while the queue is empty.
    std::optional<Clock::time_point> NextDue() const;
    std::size_t Size() const { return queue_.size(); }
    bool Full() const { return queue_.size() >= kCapacity; }
    // A new client starts with nothing queued and a fresh allowance.
    void Clear();

private:
    std::string queue_;
    // The line's virtual clock: when the bytes taken so far would have been sent.
    std::optional<Clock::time_point> lineFree_;
};

}  // namespace hub
