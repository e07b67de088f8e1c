#pragma once
#include "ControlCommand.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

namespace sim {

// Runs control commands in order, holding back everything behind a "wait" until its time.
// "press K MS" becomes "in K on", a wait of MS and "in K off".
class ControlSequencer {
public:
    static constexpr size_t kMaxPending = 10000;

    // False when the queue is full (the command is dropped).
    bool Push(const ControlCommand& cmd);
    // The next command due at `now`, if any; waits are consumed here.
    std::optional<ControlCommand> Next(int64_t now);
    std::optional<int64_t> Deadline() const;
    // Nothing queued and no wait running.
    bool Idle(int64_t now) const;

private:
    std::deque<ControlCommand> pending_;
    int64_t waitUntilUs_ = 0;
};

}  // namespace sim
