#include "LogGuard.h"

#include <cstdio>

namespace hub {

namespace {

// Length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned minimum = 0;
    unsigned value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    // C1 controls and the bidirectional overrides would act on the reader's terminal.
    const bool c1 = value >= 0x80 && value <= 0x9F;
    const bool bidi = (value >= 0x202A && value <= 0x202E) || (value >= 0x2066 && value <= 0x2069);
    if (value < minimum || value > 0x10FFFF || surrogate || c1 || bidi)
        return 0;
    return length;
}

std::string Escaped(unsigned char byte)
{
    switch (byte) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    case '"': return "\\\"";
    case '\\': return "\\\\";
    default: break;
    }
    if (byte >= 0x20 && byte < 0x7F)
        return std::string(1, static_cast<char>(byte));
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
    return hex;
}

// 1048575 as "1 048 575".
std::string Grouped(long long n)
{
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), " ");
    return digits;
}

std::string Summary(const std::string& key, long long held)
{
    return key + " … and " + Grouped(held) + " more in the last minute";
}

const std::string kOtherMessages = "(other repeated messages)";

}  // namespace

std::string QuotedForLog(std::string_view text, std::size_t maxCharacters)
{
    std::string out = "\"";
    std::size_t characters = 0;
    std::size_t at = 0;
    while (at < text.size() && characters < maxCharacters) {
        const std::size_t sequence = Utf8Length(text, at);
        if (sequence > 1) {
            out.append(text.substr(at, sequence));
            at += sequence;
        } else {
            out += Escaped(static_cast<unsigned char>(text[at]));
            ++at;
        }
        ++characters;
    }
    out += '"';
    if (at < text.size())
        out += "… (" + std::to_string(text.size()) + " bytes)";
    return out;
}

bool TRepeatLimiter::Admit(const std::string& key, Clock::time_point now)
{
    auto it = windows_.find(key);
    if (it == windows_.end()) {
        if (windows_.size() >= kMaxKeys && key != kOtherMessages)
            return Admit(kOtherMessages, now);
        it = windows_.emplace(key, Window{now}).first;
    } else if (now - it->second.start >= kWindow) {
        if (it->second.held > 0)
            pending_.push_back(Summary(key, it->second.held));
        it->second = Window{now};
    }
    Window& window = it->second;
    if (window.written < kWrittenPerWindow) {
        ++window.written;
        return true;
    }
    ++window.held;
    return false;
}

std::vector<std::string> TRepeatLimiter::Summaries(Clock::time_point now)
{
    std::vector<std::string> out;
    out.swap(pending_);
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (now - it->second.start < kWindow) {
            ++it;
            continue;
        }
        if (it->second.held > 0)
            out.push_back(Summary(it->first, it->second.held));
        it = windows_.erase(it);
    }
    return out;
}

std::optional<TRepeatLimiter::Clock::time_point> TRepeatLimiter::NextSummary() const
{
    std::optional<Clock::time_point> next;
    for (const auto& [key, window] : windows_) {
        if (window.held == 0)
            continue;
        const auto due = window.start + kWindow;
        if (!next || due < *next)
            next = due;
    }
    return next;
}

}  // namespace hub
