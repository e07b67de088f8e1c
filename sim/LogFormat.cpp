#include "LogFormat.h"

#include <cstdio>

namespace sim {

std::string FormatByteLine(int64_t us, std::string_view direction, uint8_t byte)
{
    char buf[64];
    const char shown = (byte >= 0x21 && byte <= 0x7E) ? static_cast<char>(byte) : '.';
    std::snprintf(buf, sizeof buf, "%lld %.*s %02x %c", static_cast<long long>(us),
        static_cast<int>(direction.size()), direction.data(), byte, shown);
    return buf;
}

std::string FormatEventLine(int64_t us, std::string_view text)
{
    std::string line = std::to_string(us) + " EV ";
    // An event is one line whatever its text holds.
    for (char c : text)
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    return line;
}

std::string Hex(uint8_t byte)
{
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", byte);
    return buf;
}

}  // namespace sim
