#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ComTermModel.h"
#include "EscapeCodesVT100.h"
#include "EscapeCodesVT52.h"
#include "TermTestHost.h"

namespace {

const std::string E = "\x1b";

// One decoded item: a plain byte, or a completed code with its text and parameters.
struct Item {
    bool plain;
    char ch;
    TEscapeCode code;
    std::string data;
    TParamList params;
    bool operator==(const Item& o) const
    {
        return plain == o.plain && (plain ? ch == o.ch
                                          : code == o.code && data == o.data && params == o.params);
    }
};

std::ostream& operator<<(std::ostream& os, const Item& i)
{
    if (i.plain)
        return os << "plain(" << int(static_cast<unsigned char>(i.ch)) << ")";
    os << "code(" << i.code << ", \"" << i.data << "\", [";
    for (const auto& p : i.params)
        os << "\"" << p << "\" ";
    return os << "])";
}

std::vector<Item> Decode(TEscapeCodes& d, const std::string& bytes)
{
    std::vector<Item> out;
    for (char c : bytes) {
        switch (d.FeedByte(static_cast<unsigned char>(c))) {
        case frPlainChar: out.push_back({true, d.Character(), ecUnknown, {}, {}}); break;
        case frCodeReady:
            out.push_back({false, 0, d.Code(), d.Data(), d.Params()});
            d.Params().clear();
            break;
        case frNeedMore: break;
        }
    }
    return out;
}

Item Code(TEscapeCode code, std::string data, TParamList params = {})
{
    return {false, 0, code, std::move(data), std::move(params)};
}

Item Plain(char c)
{
    return {true, c, ecUnknown, {}, {}};
}

struct Case {
    std::string input;
    std::vector<Item> expected;
};

// Runs every case through a fresh decoder, then through the model with the input split into
// two chunks at every offset: the decoder's state must carry over the chunk boundary.
void CheckCases(TTermEmulation emulation, const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        std::unique_ptr<TEscapeCodes> d;
        if (emulation == teVT52)
            d = std::make_unique<TEscapeCodesVT52>();
        else
            d = std::make_unique<TEscapeCodesVT100>();
        EXPECT_EQ(Decode(*d, c.input), c.expected) << "input " << testing::PrintToString(c.input);

        // Plain bytes and unknown codes are visible through the model's events.
        std::string plainExpected;
        std::vector<TEscapeCode> unknownExpected;
        for (const Item& i : c.expected) {
            if (i.plain)
                plainExpected.push_back(i.ch);
            else if (i.code == ecUnknown)
                unknownExpected.push_back(i.code);
        }
        for (std::size_t split = 0; split <= c.input.size(); ++split) {
            RecordingHost host;
            host.portOpen = false;
            TComTermModel model(&host);
            model.SetEmulation(emulation);
            model.DisplayText(c.input.substr(0, split));
            model.DisplayText(c.input.substr(split));
            EXPECT_EQ(host.chars, plainExpected)
                << "input " << testing::PrintToString(c.input) << " split at " << split;
            std::vector<TEscapeCode> unknown;
            for (const auto& u : host.unhandled)
                if (u.code == ecUnknown)
                    unknown.push_back(u.code);
            EXPECT_EQ(unknown, unknownExpected) << "split at " << split;
        }
    }
}

TEST(EscapeCodesVT100, CursorAndEraseSequences)
{
    CheckCases(teVT100orANSI, {
        {E + "[12;40H", {Code(ecCursorHome, "[12;40H", {"12", "40"})}},
        {E + "[H", {Code(ecCursorHome, "[H")}},
        {E + "[3;7f", {Code(ecCursorMove, "[3;7f", {"3", "7"})}},
        {E + "[5A" + E + "[B" + E + "[2C" + E + "[D",
         {Code(ecCursorUp, "[5A", {"5"}), Code(ecCursorDown, "[B"), Code(ecCursorRight, "[2C", {"2"}),
          Code(ecCursorLeft, "[D")}},
        {E + "[2J", {Code(ecEraseScreen, "[2J")}},
        {E + "[25J", {Code(ecEraseScreen, "[25J")}},
        {E + "[J", {Code(ecEraseScreenFrom, "[J")}},
        {E + "[0J", {Code(ecEraseScreenFrom, "[0J")}},
        {E + "[1J", {Code(ecUnknown, "[1J")}},
        {E + "[K" + E + "[0K" + E + "[2K" + E + "[1K",
         {Code(ecEraseLineFrom, "[K"), Code(ecEraseLineFrom, "[0K"), Code(ecEraseLine, "[2K"),
          Code(ecUnknown, "[1K")}},
        {E + "[g" + E + "[0g" + E + "[3g" + E + "[2g",
         {Code(ecClearTab, "[g"), Code(ecClearTab, "[0g"), Code(ecClearAllTabs, "[3g"),
          Code(ecUnknown, "[2g")}},
        // Everything up to a letter belongs to the sequence, CR and LF included.
        {E + "[12\r\n34Hx", {Code(ecCursorHome, "[12\r\n34H", {"12\r\n34"}), Plain('x')}},
        // An empty parameter stays in its place as an empty text.
        {E + "[;5H", {Code(ecCursorHome, "[;5H", {"", "5"})}},
        {E + "[1;H", {Code(ecCursorHome, "[1;H", {"1"})}},
        {E + "[1x", {Code(ecUnknown, "[1x", {"1"})}},
    });
}

TEST(EscapeCodesVT100, QueriesReportsAndModes)
{
    CheckCases(teVT100orANSI, {
        {E + "[?1;2c", {Code(ecIdentResponse, "[?1;2c", {"?1", "2"})}},
        {E + "[c", {Code(ecIdentify, "[c")}},
        {E + "[0c", {Code(ecIdentify, "[0c", {"0"})}},
        {E + "[1c", {Code(ecUnknown, "[1c", {"1"})}},
        // A trailing ';' adds no parameter; an empty one in between does.
        {E + "[0;c", {Code(ecIdentify, "[0;c", {"0"})}},
        {E + "[?1;2;c", {Code(ecIdentResponse, "[?1;2;c", {"?1", "2"})}},
        {E + "[?1;;2c", {Code(ecUnknown, "[?1;;2c", {"?1", "", "2"})}},
        {E + "[6n", {Code(ecQueryCursorPos, "[6n")}},
        {E + "[5n" + E + "[0n" + E + "[3n",
         {Code(ecQueryDevice, "[5n"), Code(ecReportDeviceOK, "[0n"), Code(ecReportDeviceFailure, "[3n")}},
        {E + "[n", {Code(ecUnknown, "[n")}},
        {E + "[12;5R", {Code(ecReportCursorPos, "[12;5R", {"12", "5"})}},
        {E + "[0;1;31m", {Code(ecAttributes, "[0;1;31m", {"0", "1", "31"})}},
        {E + "[?7h", {Code(ecSetMode, "[?7h", {"?7"})}},
        {E + "[?1l", {Code(ecResetMode, "[?1l", {"?1"})}},
        {E + "[s" + E + "[u", {Code(ecSaveCaret, "[s"), Code(ecRestoreCaret, "[u")}},
    });
}

TEST(EscapeCodesVT100, ShortSequences)
{
    CheckCases(teVT100orANSI, {
        {E + "x", {Code(ecUnknown, "x")}},
        {E + E + "A", {Code(ecUnknown, E), Plain('A')}},
        {E + "OA" + E + "OB" + E + "OC" + E + "OD",
         {Code(ecAppCursorUp, "OA"), Code(ecAppCursorDown, "OB"), Code(ecAppCursorRight, "OC"),
          Code(ecAppCursorLeft, "OD")}},
        {E + "Ox", {Code(ecUnknown, "Ox")}},
        {E + "#8" + E + "#1", {Code(ecTest, "#8"), Code(ecUnknown, "#1")}},
        {E + "7" + E + "8" + E + "H" + E + "c",
         {Code(ecSaveCaretAndAttr, "7"), Code(ecRestoreCaretAndAttr, "8"), Code(ecSetTab, "H"),
          Code(ecReset, "c")}},
        {"ab\r\n\x07", {Plain('a'), Plain('b'), Plain('\r'), Plain('\n'), Plain('\x07')}},
    });
}

TEST(EscapeCodesVT52, Sequences)
{
    CheckCases(teVT52, {
        {E + "Y\x24\x29", {Code(ecCursorMove, "Y\x24\x29", {"5", "10"})}},
        {E + "A" + E + "B" + E + "C" + E + "D" + E + "H",
         {Code(ecCursorUp, "A"), Code(ecCursorDown, "B"), Code(ecCursorRight, "C"),
          Code(ecCursorLeft, "D"), Code(ecCursorHome, "H")}},
        {E + "I" + E + "J" + E + "K" + E + "Z",
         {Code(ecReverseLineFeed, "I"), Code(ecEraseScreenFrom, "J"), Code(ecEraseLineFrom, "K"),
          Code(ecIdentify, "Z")}},
        {E + "/Z" + E + "/x", {Code(ecIdentResponse, "/Z"), Code(ecUnknown, "/x")}},
        {E + "[2J", {Code(ecUnknown, "["), Plain('2'), Plain('J')}},
    });
}

TEST(EscapeCodes, ParamValueIsTheStandardIntegerConversion)
{
    const TParamList p = {" 7", "$1F", "?7", "0", "x1f", "0X1F", "-5", "+5", "2147483647",
                          "2147483648", "-2147483648", "-2147483649", "$FFFFFFFF", "$100000000",
                          "7 ", "", "0x", "-$10", "12\r\n34", "  -0012"};
    const std::vector<int> expected = {7, 31, 1, 0, 31, 31, -5, 5, 2147483647, 1,
                                       -2147483647 - 1, 1, -1, 1, 1, 1, 1, -16, 1, -12};
    for (std::size_t i = 0; i < p.size(); ++i)
        EXPECT_EQ(TEscapeCodes::ParamValue(static_cast<int>(i + 1), &p), expected[i]) << p[i];
    EXPECT_EQ(TEscapeCodes::ParamValue(static_cast<int>(p.size() + 1), &p), 1);
    EXPECT_EQ(TEscapeCodes::ParamValue(0, &p), 1);
    EXPECT_EQ(TEscapeCodes::ParamValue(1, nullptr), 1);
}

TEST(EscapeCodes, EncodeCode)
{
    TEscapeCodesVT100 vt100;
    TEscapeCodesVT52 vt52;
    TParamList move = {"3", "7"};
    EXPECT_EQ(vt100.EncodeCode(ecCursorMove, &move), E + "[3;7f");
    EXPECT_EQ(vt52.EncodeCode(ecCursorMove, &move), E + "Y\x22\x26");
    EXPECT_EQ(vt100.EncodeCode(ecReportCursorPos, &move), E + "[3;7R");
    TParamList two = {"2"};
    EXPECT_EQ(vt100.EncodeCode(ecIdentResponse, &two), E + "[?1;2c");
    EXPECT_EQ(vt100.EncodeCode(ecCursorMove, nullptr), E + "[1;1f");
    EXPECT_EQ(vt100.EncodeCode(ecAttributes, &move), E + "[m");   // sent without parameters
    EXPECT_EQ(vt100.EncodeCode(ecUnknown, nullptr), "");
    EXPECT_EQ(vt100.EncodeCode(ecReverseLineFeed, nullptr), "");
    EXPECT_EQ(vt52.EncodeCode(ecIdentResponse, nullptr), E + "/Z");
    EXPECT_EQ(vt52.EncodeCode(ecQueryDevice, nullptr), "");
}

// Whatever a decoder encodes, it decodes again as the same code.
TEST(EscapeCodes, EncodedCodesDecodeToThemselves)
{
    for (int emulation : {teVT100orANSI, teVT52}) {
        std::unique_ptr<TEscapeCodes> enc, dec;
        if (emulation == teVT52) {
            enc = std::make_unique<TEscapeCodesVT52>();
            dec = std::make_unique<TEscapeCodesVT52>();
        } else {
            enc = std::make_unique<TEscapeCodesVT100>();
            dec = std::make_unique<TEscapeCodesVT100>();
        }
        int encoded = 0;
        for (int c = ecUnknown; c <= ecTest; ++c) {
            TParamList params = {"4", "9"};
            const std::string text = enc->EncodeCode(static_cast<TEscapeCode>(c), &params);
            if (text.empty())
                continue;
            ++encoded;
            const auto items = Decode(*dec, text);
            ASSERT_EQ(items.size(), 1u) << "code " << c;
            EXPECT_EQ(items[0].code, c) << testing::PrintToString(text);
        }
        EXPECT_GE(encoded, emulation == teVT52 ? 11 : 33);
    }
}

// ESC '[' followed by endless parameter bytes must not grow the decoder.
TEST(EscapeCodes, RunawaySequenceStaysBounded)
{
    TEscapeCodesVT100 d;
    const std::size_t capacity = d.Data().capacity();
    ASSERT_EQ(d.FeedByte(27), frNeedMore);
    ASSERT_EQ(d.FeedByte('['), frNeedMore);
    for (int i = 0; i < 2000000; ++i)
        ASSERT_EQ(d.FeedByte(i % 3 == 0 ? ';' : '1' + i % 9), frNeedMore);
    EXPECT_LE(d.Data().size(), TEscapeCodes::MaxSequenceText);
    EXPECT_EQ(d.Data().capacity(), capacity);
    ASSERT_EQ(d.FeedByte('H'), frCodeReady);
    EXPECT_EQ(d.Code(), ecCursorHome);
    EXPECT_EQ(d.Data().back(), 'H');
    EXPECT_LE(d.Params().size(), TEscapeCodes::MaxParams);
    EXPECT_EQ(d.Params()[0], "");   // the text began with ';'
    // The count of a cut sequence stays right: "?1" and a million more is no identity reply.
    d.Params().clear();
    std::string longReply = E + "[?1";
    for (int i = 0; i < 1000; ++i)
        longReply += ";2";
    longReply += "c";
    EXPECT_EQ(Decode(d, longReply)[0].code, ecUnknown);
    // And the decoder is back to normal.
    EXPECT_EQ(Decode(d, E + "[?1;2cz"), (std::vector<Item>{Code(ecIdentResponse, "[?1;2c", {"?1", "2"}), Plain('z')}));
}

}  // namespace
