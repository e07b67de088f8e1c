#include "ControlSequencer.h"

#include <string>

namespace sim {

bool ControlSequencer::Push(const ControlCommand& cmd)
{
    if (cmd.kind == ControlCommand::Kind::Nothing)
        return true;
    if (pending_.size() >= kMaxPending)
        return false;
    pending_.push_back(cmd);
    return true;
}

std::optional<ControlCommand> ControlSequencer::Next(int64_t now)
{
    while (!pending_.empty() && now >= waitUntilUs_) {
        ControlCommand cmd = pending_.front();
        pending_.pop_front();
        switch (cmd.kind) {
        case ControlCommand::Kind::Wait:
            waitUntilUs_ = now + cmd.ms * 1000;
            continue;
        case ControlCommand::Kind::Press: {
            ControlCommand release;
            release.kind = ControlCommand::Kind::Input;
            release.channel = cmd.channel;
            release.on = false;
            release.text = "in " + std::to_string(cmd.channel) + " off";
            ControlCommand hold;
            hold.kind = ControlCommand::Kind::Wait;
            hold.ms = cmd.ms;
            pending_.push_front(release);
            pending_.push_front(hold);
            cmd.kind = ControlCommand::Kind::Input;
            cmd.on = true;
            cmd.text = "in " + std::to_string(cmd.channel) + " on";
            return cmd;
        }
        default:
            return cmd;
        }
    }
    return std::nullopt;
}

std::optional<int64_t> ControlSequencer::Deadline() const
{
    if (pending_.empty())
        return std::nullopt;
    return waitUntilUs_;
}

bool ControlSequencer::Idle(int64_t now) const
{
    return pending_.empty() && now >= waitUntilUs_;
}

}  // namespace sim
