#pragma once
#include <array>
#include <optional>

// What the controller says and understands on its line. Every command is one ASCII character
// with no terminator; replies have no frames, so their length is what ends them.
namespace ControllerProtocol {

constexpr int kChannels = 16;   // inputs, and outputs

// --- Commands ---

constexpr char kInputStates = 'q';    // answered by kChannels states
constexpr char kOutputStates = 'x';   // answered by kChannels states, then kOutputReplyEnd
constexpr char kRoutingTable = 'C';   // answered by kRoutingCharacters
constexpr char kRoutingWrite = 'c';   // followed by kRoutingCharacters; kSaved when stored
constexpr char kNextMode = 'Q';       // answered by the new mode's character
constexpr char kLearning = 'R';       // RC-5 learning: free text until the controller's Reset

// The commands that toggle output 1..16, output 1 first.
constexpr std::array<char, kChannels> kOutputCommands = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                         '8', '9', '=', 'a', 's', 'd', 'f', 'g'};

// The command that toggles output 1..16; '\0' outside that range.
constexpr char OutputCommand(int output)
{
    return output >= 1 && output <= kChannels ? kOutputCommands[output - 1] : '\0';
}

constexpr bool IsOutputCommand(char ch)
{
    for (char command : kOutputCommands)
        if (command == ch)
            return true;
    return false;
}

// --- Replies ---

constexpr int kRoutingCharacters = kChannels * kChannels;
constexpr char kOutputReplyEnd = '!';
constexpr char kOn = '1';   // a state: input active, output on, input controls output
constexpr char kOff = '0';

// A request that the controller answers with a reply of states.
constexpr bool IsStateRequest(char ch)
{
    return ch == kInputStates || ch == kOutputStates || ch == kRoutingTable;
}

// How many characters answer a state request; the output reply has kOutputReplyEnd after them.
constexpr int ReplyLength(char request)
{
    return request == kRoutingTable ? kRoutingCharacters : kChannels;
}

constexpr bool IsState(char ch)
{
    return ch == kOn || ch == kOff;
}

// --- Characters the controller sends on its own, whatever request is pending ---

// The controller's operating modes, each announced by its character, in the order "Q" steps
// through them.
enum class Mode : char { EqualInputs = ']', RemoteFirst = '}', RemoteOnly = '[' };
constexpr std::array<Mode, 3> kModes = {Mode::EqualInputs, Mode::RemoteFirst, Mode::RemoteOnly};

constexpr char ModeCharacter(Mode mode)
{
    return static_cast<char>(mode);
}

constexpr std::optional<Mode> ModeOfCharacter(char ch)
{
    for (Mode mode : kModes)
        if (ModeCharacter(mode) == ch)
            return mode;
    return std::nullopt;
}

// Position in kModes.
constexpr int ModeIndex(Mode mode)
{
    for (int i = 0; i < static_cast<int>(kModes.size()); ++i)
        if (kModes[i] == mode)
            return i;
    return 0;
}

constexpr char kOutputsChanged = '/';   // read the output states now
constexpr char kSaved = '?';            // a routing write has been stored
constexpr char kClearScreen = '_';      // clear the terminal (learning)

enum class Notice { None, ModeAnnounced, OutputsChanged, Saved, ClearScreen };

constexpr Notice NoticeOf(char ch)
{
    if (ModeOfCharacter(ch))
        return Notice::ModeAnnounced;
    switch (ch) {
    case kOutputsChanged: return Notice::OutputsChanged;
    case kSaved: return Notice::Saved;
    case kClearScreen: return Notice::ClearScreen;
    default: return Notice::None;
    }
}

constexpr bool IsNotice(char ch)
{
    return NoticeOf(ch) != Notice::None;
}

// The news that concerns whoever shares the line: a new mode, or outputs that changed. The
// others belong to the one who wrote the table or runs the learning.
constexpr bool ConcernsEveryone(char ch)
{
    const Notice notice = NoticeOf(ch);
    return notice == Notice::ModeAnnounced || notice == Notice::OutputsChanged;
}

}  // namespace ControllerProtocol
