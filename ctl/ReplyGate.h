#pragma once
#include <string>

class TControllerSession;

// Stands between the line and the session while a command waits for its replies. The characters
// the controller sends on its own (a mode character, '?', '_') can land inside a reply; the
// session would count them as states and shift the rest of the reply. The gate holds them back
// until the reply is complete and then hands them over in their order. A '/' (the outputs
// changed) is only counted: the command asks for the outputs itself when it wants them, one
// request at a time.
class TReplyGate {
public:
    explicit TReplyGate(TControllerSession& session) : session_(session) {}

    // One received character, in line order.
    void Feed(char ch);

    // How many '/' have arrived.
    int OutputRequests() const { return outputRequests_; }
    // A character other than '0'/'1' took a place in an input or output reply since the last
    // ClearDamage: the states read are not to be trusted.
    bool Damaged() const { return damaged_; }
    void ClearDamage() { damaged_ = false; }

private:
    bool ReplyActive() const;
    void Deliver(char ch);

    TControllerSession& session_;
    std::string held_;
    int outputRequests_ = 0;
    bool damaged_ = false;
};
