#pragma once

// The commands the controller understands, each a single ASCII character with no terminator.
// Replies are described with the parser (MessageParser.h).
namespace CommandSet {

constexpr char kOutputStates = 'x';   // 16 states, then '!'
constexpr char kInputStates = 'q';    // 16 states
constexpr char kNextMode = 'Q';       // answered by the new mode's character
constexpr char kRoutingTable = 'C';   // 256 characters
constexpr char kRoutingWrite = 'c';   // followed by the 256 routing characters

// The command that toggles output 1..16; 0 outside that range.
constexpr char OutputCommand(int output)
{
    constexpr char kCommands[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                    '8', '9', '=', 'a', 's', 'd', 'f', 'g'};
    return output >= 1 && output <= 16 ? kCommands[output - 1] : '\0';
}

}  // namespace CommandSet
