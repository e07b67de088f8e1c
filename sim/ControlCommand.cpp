#include "ControlCommand.h"

#include <vector>

namespace sim {
namespace {

std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool Number(std::string_view w, int64_t lo, int64_t hi, int64_t& out)
{
    if (w.empty() || w.size() > 12)
        return false;
    int64_t v = 0;
    for (char c : w) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool OnOff(std::string_view w, bool& out)
{
    if (w == "on" || w == "1") {
        out = true;
        return true;
    }
    if (w == "off" || w == "0") {
        out = false;
        return true;
    }
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseControlLine(std::string_view line, ControlCommand& out, std::string& error)
{
    out = ControlCommand{};
    if (const size_t hash = line.find('#'); hash != std::string_view::npos)
        line = line.substr(0, hash);
    const auto w = Words(line);
    if (w.empty())
        return true;
    for (size_t i = 0; i < w.size(); ++i)
        out.text += (i ? " " : "") + std::string(w[i]);
    const std::string_view verb = w[0];
    const size_t args = w.size() - 1;
    auto fail = [&](const char* usage) {
        error = std::string("usage: ") + usage;
        return false;
    };
    int64_t n = 0;
    using K = ControlCommand::Kind;

    if (verb == "in") {
        if (args != 2 || !Number(w[1], 1, 16, n) || !OnOff(w[2], out.on))
            return fail("in K on|off (K 1..16)");
        out.kind = K::Input;
        out.channel = static_cast<int>(n);
        return true;
    }
    if (verb == "press") {
        if (args < 1 || args > 2 || !Number(w[1], 1, 16, n))
            return fail("press K [MS] (K 1..16)");
        out.kind = K::Press;
        out.channel = static_cast<int>(n);
        out.ms = kDefaultPressMs;
        if (args == 2 && !Number(w[2], 0, kMaxCommandMs, out.ms))
            return fail("press K [MS] (K 1..16)");
        return true;
    }
    if (verb == "wait") {
        if (args != 1 || !Number(w[1], 0, kMaxCommandMs, out.ms))
            return fail("wait MS");
        out.kind = K::Wait;
        return true;
    }
    if (verb == "silent") {
        if (args != 1 || !OnOff(w[1], out.on))
            return fail("silent on|off");
        out.kind = K::Silent;
        return true;
    }
    if (verb == "hangup") {
        out.ms = kDefaultHangupMs;
        if (args > 1 || (args == 1 && !Number(w[1], 0, kMaxCommandMs, out.ms)))
            return fail("hangup [MS]");
        out.kind = K::Hangup;
        return true;
    }
    if (verb == "remote") {
        if (args != 1 || !Number(w[1], 1, 16, n))
            return fail("remote K (K 1..16)");
        out.kind = K::Remote;
        out.channel = static_cast<int>(n);
        return true;
    }
    if (verb == "send") {
        if (args < 1)
            return fail("send HEX... (e.g. send 3f or send 5f 2f)");
        for (size_t i = 1; i < w.size(); ++i) {
            const std::string_view h = w[i];
            if (h.size() % 2 != 0)
                return fail("send HEX... (pairs of hex digits)");
            for (size_t p = 0; p < h.size(); p += 2) {
                const int hi = HexDigit(h[p]);
                const int lo = HexDigit(h[p + 1]);
                if (hi < 0 || lo < 0)
                    return fail("send HEX... (pairs of hex digits)");
                out.bytes.push_back(static_cast<char>(hi * 16 + lo));
            }
        }
        out.kind = K::Send;
        return true;
    }
    struct Plain {
        const char* verb;
        K kind;
    };
    static const Plain kPlain[] = {
        {"mode", K::Mode}, {"quit", K::Quit}, {"reset", K::Reset}, {"status", K::Status}};
    for (const Plain& p : kPlain) {
        if (verb == p.verb) {
            if (args != 0)
                return fail(p.verb);
            out.kind = p.kind;
            return true;
        }
    }
    error = "unknown command: " + std::string(verb);
    return false;
}

}  // namespace sim
