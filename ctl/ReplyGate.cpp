#include "ReplyGate.h"

#include "ControllerSession.h"

namespace {

// A controller stuck inside a reply is not allowed to pile characters up here.
constexpr std::size_t kMaxHeld = 64;

bool OwnAccord(char ch)
{
    return ch == ']' || ch == '}' || ch == '[' || ch == '?' || ch == '_';
}

bool StateChar(char ch)
{
    return ch == '0' || ch == '1';
}

}  // namespace

bool TReplyGate::ReplyActive() const
{
    const TReceiveState& s = session_.State();
    return s.InputReadActive || s.OutputReadActive || s.ConfigDumpActive;
}

void TReplyGate::Feed(char ch)
{
    if (ch == '/') {
        ++outputRequests_;
        return;
    }
    if (OwnAccord(ch) && ReplyActive()) {
        if (held_.size() < kMaxHeld)
            held_.push_back(ch);
        return;
    }
    Deliver(ch);
    if (!held_.empty() && !ReplyActive()) {
        std::string held;
        held.swap(held_);
        for (char c : held)
            Deliver(c);
    }
}

void TReplyGate::Deliver(char ch)
{
    const TReceiveState& s = session_.State();
    if ((s.InputReadActive || (s.OutputReadActive && ch != '!')) && !StateChar(ch))
        damaged_ = true;
    session_.HandleChar(ch);
}
