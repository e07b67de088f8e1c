#pragma once
#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What reaches the hub's log from outside (a console's bytes, an MQTT payload, the line) is
// shown quoted, cut and with its control characters escaped, so that it can neither forge a
// line, drive the reader's terminal nor grow the journal without end; and a message that repeats
// is written a few times a minute, then counted.
namespace hub {

constexpr std::size_t kQuotedCharacters = 64;

// `text` in double quotes, at most `maxCharacters` characters of it (UTF-8 sequences count
// once), control characters, quotes, backslashes and broken UTF-8 escaped; a cut text ends in
// "…" and says its size.
std::string QuotedForLog(std::string_view text, std::size_t maxCharacters = kQuotedCharacters);

class TRepeatLimiter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr int kWrittenPerWindow = 5;
    // Beyond this many different messages in one window they all count as one.
    static constexpr std::size_t kMaxKeys = 256;

    // Whether a message of this kind may be written now; if not, it is counted.
    bool Admit(const std::string& key, Clock::time_point now);
    // "… and N more in the last minute" for every kind whose window has ended with some held
    // back; the kind is forgotten then.
    std::vector<std::string> Summaries(Clock::time_point now);
    // When Summaries has something to say next.
    std::optional<Clock::time_point> NextSummary() const;

private:
    struct Window {
        Clock::time_point start;
        int written = 0;
        long long held = 0;
    };
    std::map<std::string, Window> windows_;
    std::vector<std::string> pending_;   // summaries of windows restarted by Admit
};

}  // namespace hub
