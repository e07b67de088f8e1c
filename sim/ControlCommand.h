#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace sim {

// One line of the control channel (standard input or a --script file).
struct ControlCommand {
    enum class Kind {
        Nothing,   // blank line or comment
        Input,     // in K on|off
        Press,     // press K [MS]
        Wait,      // wait MS
        Mode,      // mode
        Silent,    // silent on|off
        Hangup,    // hangup [MS]
        Quit,      // quit
        Reset,     // reset
        Remote,    // remote K
        Send,      // send HEX...
        Status,    // status
    };
    Kind kind = Kind::Nothing;
    int channel = 0;       // K
    bool on = false;
    int64_t ms = 0;
    std::string bytes;     // for send
    std::string text;      // the line as given, for the log
};

constexpr int64_t kDefaultPressMs = 300;
constexpr int64_t kDefaultHangupMs = 1000;
constexpr int64_t kMaxCommandMs = 24LL * 3600 * 1000;

// Parses one line. Returns false with a message for anything malformed.
bool ParseControlLine(std::string_view line, ControlCommand& out, std::string& error);

}  // namespace sim
