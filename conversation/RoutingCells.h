#pragma once
#include <bitset>
#include <string>

#include "ControllerProtocol.h"

// The controller's 16 x 16 routing table as a value: which input controls which output, and
// where each cell goes on the wire. No Qt, no I/O.
namespace Routing {

constexpr int kInputs = ControllerProtocol::kChannels;
constexpr int kOutputs = ControllerProtocol::kChannels;
constexpr int kCells = ControllerProtocol::kRoutingCharacters;

// Wire position (0..255) of the cell of input k and output j (both 1..16) in the routing write:
// grouped by output, inputs left to right inside each group.
constexpr int CellPosition(int input, int output)
{
    return kInputs * (output - 1) + (input - 1);
}
constexpr int InputOfPosition(int position) { return position % kInputs + 1; }
constexpr int OutputOfPosition(int position) { return position / kInputs + 1; }

// The same cell in the controller's table reply: also grouped by output, but input 16 first.
constexpr int ReplyPosition(int input, int output)
{
    return kInputs * (output - 1) + (kInputs - input);
}

class TRoutingCells {
public:
    // Input and output 1..16; out of range throws std::out_of_range.
    bool At(int input, int output) const;
    void Set(int input, int output, bool on);

    int Connections() const { return static_cast<int>(bits_.count()); }

    // The 256 characters of the routing write, '1' for a connection, in wire order.
    std::string WireText() const;

    bool operator==(const TRoutingCells& other) const { return bits_ == other.bits_; }
    bool operator!=(const TRoutingCells& other) const { return bits_ != other.bits_; }

private:
    std::bitset<kCells> bits_;   // by wire position
};

}  // namespace Routing
