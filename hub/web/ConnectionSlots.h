#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Who may hold the server's HTTP connections. Each address gets a share of them, so one client
// cannot take them all; a newcomer over the limit takes the place of the connection that has
// waited longest for a request of the heaviest address (a slow sender, or a browser's idle
// keep-alive), and is refused only when every connection is busy answering. Time is passed in.
namespace web {

using SlotClock = std::chrono::steady_clock;

class TConnectionSlots {
public:
    using Id = std::uint64_t;

    struct Admission {
        std::optional<Id> id;      // none: refused, every connection is busy
        std::optional<Id> evict;   // to be closed to make room; its slot is already free
    };

    TConnectionSlots(int total, int perAddress);

    Admission Admit(const std::string& address, SlotClock::time_point now);
    // Waiting for a request (or still reading it): the connection may be evicted.
    void Reading(Id id, SlotClock::time_point now);
    // A whole request came and is being answered: kept until it is.
    void Answering(Id id);
    // Unknown ids (evicted ones) are ignored.
    void Release(Id id);

    int Count() const { return static_cast<int>(slots_.size()); }

private:
    struct Slot {
        std::string address;
        bool reading = true;
        SlotClock::time_point since;
    };
    std::optional<Id> Victim(const std::string* address) const;

    int total_;
    int perAddress_;
    Id next_ = 1;
    std::map<Id, Slot> slots_;
    std::map<std::string, int> perAddressCount_;
};

}  // namespace web
