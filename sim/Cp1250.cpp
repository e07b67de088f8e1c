#include "Cp1250.h"

#include <cstdint>

namespace sim {
namespace {

struct Letter {
    char32_t code;
    unsigned char byte;
};

constexpr Letter kPolish[] = {
    {U'ą', 0xB9}, {U'Ą', 0xA5}, {U'ć', 0xE6}, {U'Ć', 0xC6}, {U'ę', 0xEA}, {U'Ę', 0xCA},
    {U'ł', 0xB3}, {U'Ł', 0xA3}, {U'ń', 0xF1}, {U'Ń', 0xD1}, {U'ó', 0xF3}, {U'Ó', 0xD3},
    {U'ś', 0x9C}, {U'Ś', 0x8C}, {U'ź', 0x9F}, {U'Ź', 0x8F}, {U'ż', 0xBF}, {U'Ż', 0xAF},
};

// Decodes one UTF-8 sequence at s[i]; advances i. Malformed input yields U+FFFD.
char32_t NextCodePoint(std::string_view s, size_t& i)
{
    const auto b0 = static_cast<uint8_t>(s[i++]);
    if (b0 < 0x80)
        return b0;
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        return 0xFFFD;
    }
    for (int n = 0; n < extra; ++n) {
        if (i >= s.size() || (static_cast<uint8_t>(s[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (static_cast<uint8_t>(s[i++]) & 0x3F);
    }
    return cp;
}

}  // namespace

std::string Utf8ToCp1250(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = NextCodePoint(utf8, i);
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        char byte = '.';
        for (const Letter& l : kPolish) {
            if (l.code == cp) {
                byte = static_cast<char>(l.byte);
                break;
            }
        }
        out.push_back(byte);
    }
    return out;
}

}  // namespace sim
