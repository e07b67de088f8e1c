#pragma once
#include <chrono>
#include <functional>
#include <string>

// One routing write: "c", a long pause for the controller to get ready, then one character per
// cell in wire order, each followed by a short pause. The controller has no flow control for
// this, so the pauses are the protocol.
namespace Routing {

using PassClock = std::chrono::steady_clock;

struct TRoutingPacing {
    // Each pause counts from the moment the character's write has completed, and a late wake-up
    // only lengthens it: the controller needs the whole pause after every character.
    std::chrono::milliseconds afterStart{1000};   // after "c"
    std::chrono::milliseconds afterCell{100};     // after every routing character
    // Added to both: the receiving side also wakes a little late now and then, and a pause it
    // sees as shorter than the minimum may cost a character.
    std::chrono::microseconds margin{1000};
};

struct RoutingPassIo {
    // Writes one command; throws on failure, which ends the pass there.
    std::function<void(const std::string& text)> write;
    // State of the cell of input k, output j, asked right before its character goes out.
    std::function<bool(int input, int output)> checked;
    // Called after "c" with 0 and after each routing character with the count sent so far.
    std::function<void(int sent)> progress;
    std::function<PassClock::time_point()> now;
    std::function<void(PassClock::time_point deadline)> sleepUntil;
};

// Steady clock and a sleep to an absolute deadline.
PassClock::time_point SteadyNow();
void SleepUntilDeadline(PassClock::time_point deadline);

// Runs the whole pass; returns after the wait that follows the last character.
void RunRoutingPass(const RoutingPassIo& io, const TRoutingPacing& pacing);

}  // namespace Routing
