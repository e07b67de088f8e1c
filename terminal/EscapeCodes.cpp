#include "EscapeCodes.h"

bool StrToInt32(const std::string& text, std::int32_t& value)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return false;

    // Hexadecimal may use all 32 bits (as two's complement); decimal must fit the signed range.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t v = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        v = v * (hex ? 16 : 10) + digit;
        if (v > limit)
            return false;
    }
    std::uint32_t bits = static_cast<std::uint32_t>(v);
    if (negative)
        bits = 0u - bits;
    value = static_cast<std::int32_t>(bits);
    return true;
}

TEscapeCodes::TEscapeCodes()
{
    data_.reserve(MaxSequenceText);
}

TEscapeCodes::~TEscapeCodes() = default;

std::int32_t TEscapeCodes::ParamValue(int n, const TParamList* params)
{
    if (!params || n < 1 || static_cast<std::size_t>(n) > params->size())
        return 1;
    std::int32_t v;
    return StrToInt32((*params)[static_cast<std::size_t>(n - 1)], v) ? v : 1;
}

void TEscapeCodes::StartSequence()
{
    data_.clear();
}
