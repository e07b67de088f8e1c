#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ComTermModel.h"
#include "EscapeCodesVT100.h"
#include "TermTestHost.h"

namespace {

const std::string E = "\x1b";

class Model : public ::testing::Test {
protected:
    RecordingHost host;
    TComTermModel model{&host};

    std::string RowText(int row, int from = 1, int to = 0) const
    {
        std::string s;
        if (to == 0)
            to = model.Columns();
        for (int c = from; c <= to; ++c) {
            const std::uint8_t sym = model.Buffer().GetCell(c, row).Symbol;
            s.push_back(sym ? static_cast<char>(sym) : ' ');
        }
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    }
    std::pair<int, int> CaretAt() const { return {model.CaretColumn(), model.CaretRow()}; }
    using Pos = std::pair<int, int>;
};

TEST_F(Model, PlainBytesLandInCellsAndRaiseOnCharInOrder)
{
    model.DisplayText("AB\r\nC");
    EXPECT_EQ(model.Buffer().GetCell(1, 1).Symbol, 'A');
    EXPECT_EQ(model.Buffer().GetCell(2, 1).Symbol, 'B');
    EXPECT_EQ(model.Buffer().GetCell(1, 2).Symbol, 'C');
    EXPECT_EQ(host.chars, "AB\r\nC");
    EXPECT_EQ(CaretAt(), Pos(2, 2));
    EXPECT_EQ(host.depth, 0);

    // Control bytes reach OnChar with no screen action; ESC sequences do not reach it.
    host.chars.clear();
    model.DisplayText(std::string("\x07\x00", 2) + E + "[2J" + E + "x");
    EXPECT_EQ(host.chars, std::string("\x07\x00", 2));
    EXPECT_EQ(RowText(1), "");
    EXPECT_EQ(CaretAt(), Pos(1, 1));
    ASSERT_EQ(host.unhandled.size(), 1u);
    EXPECT_EQ(host.unhandled[0].code, ecUnknown);
    EXPECT_EQ(host.unhandled[0].data, "x");
}

TEST_F(Model, SequenceSplitAcrossChunksEndsAtItsLetter)
{
    model.DisplayText("abc" + E + "[1");
    model.DisplayText("2\rH");
    EXPECT_EQ(host.chars, "abc");
    EXPECT_EQ(CaretAt(), Pos(1, 1));   // "12\r" is not a number
    model.DisplayText(E + "[12;40H");
    EXPECT_EQ(CaretAt(), Pos(40, 12));
    model.DisplayText(E + "[;5H");     // empty row parameter: default row
    EXPECT_EQ(CaretAt(), Pos(5, 1));
}

TEST_F(Model, WrapScrollTabAndBackspaceSteps)
{
    const std::string line80(80, 'x');
    model.DisplayText(line80 + "y");
    EXPECT_EQ(model.Buffer().GetCell(80, 1).Symbol, 'y');   // wrap off: overwrites column 80
    EXPECT_EQ(CaretAt(), Pos(80, 1));

    model.ClearDisplay();
    model.WrapLines = true;
    model.DisplayText(line80 + "y");
    EXPECT_EQ(model.Buffer().GetCell(1, 2).Symbol, 'y');
    EXPECT_EQ(CaretAt(), Pos(2, 2));

    // On the last row the wrap first scrolls.
    model.ClearDisplay();
    model.DisplayText("top" + E + "[24;1H" + line80 + "z");
    EXPECT_EQ(RowText(23), line80);
    EXPECT_EQ(RowText(24), "z");
    EXPECT_EQ(RowText(1), "");   // "top" scrolled off
    EXPECT_EQ(host.scrolls.back(), -1);

    // LF on the last row scrolls, the caret column stays.
    model.ClearDisplay();
    model.DisplayText("first" + E + "[24;7Hlast\n");
    EXPECT_EQ(CaretAt(), Pos(11, 24));
    EXPECT_EQ(RowText(23), "      last");
    EXPECT_EQ(RowText(24), "");
    EXPECT_EQ(RowText(1), "");

    // Reverse line feed at the top scrolls down.
    model.DisplayText(E + "[1;1Htop");
    model.SetEmulation(teVT52);
    model.DisplayText(E + "I");
    EXPECT_EQ(RowText(2), "top");
    EXPECT_EQ(RowText(1), "");
    EXPECT_EQ(host.scrolls.back(), 1);
    model.SetEmulation(teVT100orANSI);

    // TAB stops, none left after column 73; BS stops at column 1 and erases nothing.
    model.ClearDisplay();
    model.DisplayText("\tA\t");
    EXPECT_EQ(model.Buffer().GetCell(9, 1).Symbol, 'A');
    EXPECT_EQ(CaretAt(), Pos(17, 1));
    model.DisplayText(E + "[1;73H\t");
    EXPECT_EQ(CaretAt(), Pos(73, 1));
    model.DisplayText(E + "[1;75H\t");
    EXPECT_EQ(CaretAt(), Pos(75, 1));
    model.DisplayText(E + "[1;3H\b\b\b\b");
    EXPECT_EQ(CaretAt(), Pos(1, 1));
    EXPECT_EQ(model.Buffer().GetCell(9, 1).Symbol, 'A');
    // Tab stops set and cleared by codes.
    model.DisplayText(E + "[1;5H" + E + "H\r\t");
    EXPECT_EQ(CaretAt(), Pos(5, 1));
    model.DisplayText(E + "[g\r\t");
    EXPECT_EQ(CaretAt(), Pos(9, 1));
    model.DisplayText(E + "[3g\r\t");
    EXPECT_EQ(CaretAt(), Pos(1, 1));
    // FF clears the screen and still raises OnChar.
    host.chars.clear();
    model.DisplayText("q\f");
    EXPECT_EQ(RowText(1), "");
    EXPECT_EQ(host.chars, "q\f");
}

TEST_F(Model, ErasingCodes)
{
    for (int r = 1; r <= 24; ++r)
        model.DisplayText(E + "[" + std::to_string(r) + ";1H" + std::string(80, '#'));
    model.DisplayText(E + "[3;5H" + E + "[K");
    EXPECT_EQ(RowText(3), "####");
    model.DisplayText(E + "[4;79H" + E + "[J");
    EXPECT_EQ(RowText(4), std::string(78, '#'));
    EXPECT_EQ(RowText(5), "");
    EXPECT_EQ(RowText(24), "");
    model.DisplayText(E + "[2;40H" + E + "[2K");
    EXPECT_EQ(RowText(2), "");
    EXPECT_EQ(CaretAt(), Pos(1, 2));
    model.DisplayText(E + "#8");
    EXPECT_EQ(RowText(24), std::string(80, 'E'));
    EXPECT_EQ(CaretAt(), Pos(1, 2));
    model.DisplayText(E + "[5;5H" + E + "[2J");
    EXPECT_EQ(RowText(1), "");
    EXPECT_EQ(CaretAt(), Pos(1, 1));
}

TEST_F(Model, HugeParametersSaturateAndClamp)
{
    model.DisplayText(E + "[10;10H" + E + "[2147483647B");
    EXPECT_EQ(CaretAt(), Pos(10, 24));
    model.DisplayText(E + "[2147483647A");
    EXPECT_EQ(CaretAt(), Pos(10, 1));
    model.DisplayText(E + "[-2147483648A" + E + "[2147483647C");
    EXPECT_EQ(CaretAt(), Pos(80, 24));
    model.DisplayText(E + "[-2147483648C" + E + "[2147483647D");
    EXPECT_EQ(CaretAt(), Pos(1, 24));
    model.DisplayText(E + "[2147483647;-2147483648H");
    EXPECT_EQ(CaretAt(), Pos(1, 24));
    // Hexadecimal parameters hold no letters here: a letter ends the sequence.
    model.DisplayText(E + "[$10;$80000000f");
    EXPECT_EQ(CaretAt(), Pos(1, 16));
    model.DisplayText("X");
    EXPECT_EQ(model.Buffer().GetCell(1, 16).Symbol, 'X');
}

TEST_F(Model, RepliesGoToThePortOnlyWhenOpen)
{
    model.DisplayText(E + "[5n");
    EXPECT_EQ(host.written, E + "[0n");
    host.written.clear();
    model.DisplayText(E + "[3;7H" + E + "[6n");
    EXPECT_EQ(host.written, E + "[3;7R");
    host.written.clear();
    model.DisplayText(E + "[c" + E + "[0c");
    EXPECT_EQ(host.written, E + "[?1;2c" + E + "[?1;2c");
    EXPECT_TRUE(host.chars.empty());

    // Replies from the other side are reported, not carried out.
    model.DisplayText(E + "[?1;2c" + E + "[0n" + E + "[3n" + E + "[4;4R");
    ASSERT_EQ(host.unhandled.size(), 4u);
    EXPECT_EQ(host.unhandled[0].code, ecIdentResponse);
    EXPECT_EQ(host.unhandled[3].code, ecReportCursorPos);
    EXPECT_EQ(host.unhandled[3].data, "[4;4R");

    host.written.clear();
    host.portOpen = false;
    model.DisplayText(E + "[5n" + E + "[6n" + E + "[c");
    EXPECT_EQ(host.written, "");

    host.portOpen = true;
    model.SetEmulation(teVT52);
    model.DisplayText(E + "Z");
    EXPECT_EQ(host.written, E + "/Z");
}

TEST_F(Model, AttributesAndColours)
{
    const TColor font = 0xFFFFFF, back = 0x000000;
    model.DisplayText(E + "[1;31mX" + E + "[0mN" + E + "[7mY" + E + "[m" + E + "[32;44;4mG" +
                      E + "[24;27;21;39mZ" + E + "[;31mR");
    auto cell = [this](int c) { return model.Buffer().GetCell(c, 1); };
    EXPECT_EQ(cell(1).Foreground, model.AltColor);   // bright wins over red
    EXPECT_EQ(cell(2).Foreground, font);
    EXPECT_EQ(cell(2).Background, back);
    EXPECT_EQ(cell(3).Foreground, back);             // reversed
    EXPECT_EQ(cell(3).Background, font);
    EXPECT_EQ(cell(4).Foreground, 0x008000u);
    EXPECT_EQ(cell(4).Background, 0xFF0000u);
    EXPECT_TRUE(cell(4).Underline);
    EXPECT_EQ(cell(5).Foreground, 0x808080u);         // 39 is colour 9, grey
    EXPECT_FALSE(cell(5).Underline);
    EXPECT_EQ(cell(6).Foreground, 0x0000FFu);         // empty parameter resets, then red
    EXPECT_EQ(cell(6).Background, back);

    // ESC c resets only the attributes.
    model.DisplayText(E + "[3;3H" + E + "[33m" + E + "c" + "W");
    EXPECT_EQ(model.Buffer().GetCell(3, 3).Foreground, font);
    EXPECT_EQ(model.Buffer().GetCell(1, 1).Symbol, 'X');
}

TEST_F(Model, SaveAndRestore)
{
    // Before any save: (1, 1) and black on black.
    model.DisplayText(E + "[5;5H" + E + "[u");
    EXPECT_EQ(CaretAt(), Pos(1, 1));
    model.DisplayText(E + "[5;5H" + E + "8a");
    EXPECT_EQ(CaretAt(), Pos(2, 1));
    EXPECT_EQ(model.Buffer().GetCell(1, 1).Foreground, 0u);
    EXPECT_EQ(model.Buffer().GetCell(1, 1).Background, 0u);

    model.DisplayText(E + "[0;34m" + E + "[7;9H" + E + "7" + E + "[0m" + E + "[1;1H" + E + "8b");
    EXPECT_EQ(model.Buffer().GetCell(9, 7).Symbol, 'b');
    EXPECT_EQ(model.Buffer().GetCell(9, 7).Foreground, 0xFF0000u);
    model.DisplayText(E + "[10;20H" + E + "[s" + E + "[1;1H" + E + "[u");
    EXPECT_EQ(CaretAt(), Pos(20, 10));
}

TEST_F(Model, ModesWrapAppCursorAnd132Columns)
{
    model.DisplayText(E + "[?7h");
    EXPECT_FALSE(model.WrapLines);
    model.DisplayText(E + "[7h");
    EXPECT_TRUE(model.WrapLines);
    model.DisplayText(E + "[7l");
    EXPECT_FALSE(model.WrapLines);

    model.DisplayText("text" + E + "[?3h");
    EXPECT_EQ(model.Columns(), 132);
    EXPECT_EQ(model.Buffer().Columns(), 132);
    EXPECT_EQ(RowText(1), "");
    EXPECT_EQ(model.Buffer().NextTabStop(122), 129);

    // Shrinking brings the caret and the saved caret into the grid before the next cell.
    model.DisplayText(E + "[20;120H" + E + "7" + E + "[?3l");
    EXPECT_EQ(model.Columns(), 80);
    EXPECT_EQ(CaretAt(), Pos(80, 20));
    EXPECT_LE(model.SavedCaretColumn(), 80);
    model.DisplayText("Q" + E + "8R");
    EXPECT_EQ(model.Buffer().GetCell(80, 20).Symbol, 'R');
    model.SetRows(10);
    EXPECT_EQ(CaretAt(), Pos(80, 10));
    EXPECT_LE(model.SavedCaretRow(), 10);
    model.SetRows(1000);
    EXPECT_EQ(model.Rows(), 100);
    model.SetColumns(0);
    EXPECT_EQ(model.Columns(), 2);

    // Application cursor keys.
    model.SetColumns(80);
    model.SetRows(24);
    host.written.clear();
    model.CursorKey(tkUp);
    model.DisplayText(E + "[?1h");
    EXPECT_TRUE(model.ApplicationCursorKeys());
    model.CursorKey(tkUp);
    model.CursorKey(tkLeft);
    EXPECT_TRUE(!model.CursorKey(tkHome));
    model.DisplayText(E + "[?1l");
    model.CursorKey(tkHome);
    EXPECT_EQ(host.written, E + "[A" + E + "OA" + E + "OD" + E + "[H");
}

TEST_F(Model, KeysEchoAndSendLF)
{
    model.SendKeyChar('a');
    EXPECT_EQ(host.written, "a");
    EXPECT_EQ(RowText(1), "");   // no local echo
    EXPECT_TRUE(host.chars.empty());

    model.SendLF = true;
    model.LocalEcho = true;
    model.SendKeyChar('b');
    model.SendKeyChar('\r');
    EXPECT_EQ(host.written, "ab\r\n");
    EXPECT_EQ(RowText(1), "b");
    EXPECT_EQ(host.chars, "b\r\n");
    EXPECT_EQ(CaretAt(), Pos(1, 2));
    EXPECT_EQ(host.depth, 0);

    // Echoed escape codes are carried out and raise no OnChar.
    model.DisplayText(E + "[5;5H");
    model.CursorKey(tkUp);
    EXPECT_EQ(CaretAt(), Pos(5, 4));
    EXPECT_EQ(host.chars, "b\r\n");

    // Windows arrow keys move the caret and send nothing.
    host.written.clear();
    model.ArrowKeys = akWindows;
    model.CursorKey(tkRight);
    EXPECT_EQ(CaretAt(), Pos(6, 4));
    EXPECT_EQ(host.written, "");

    // A closed port drops the key without echo.
    model.ArrowKeys = akTerminal;
    host.portOpen = false;
    model.SendKeyChar('z');
    model.CursorKey(tkDown);
    EXPECT_EQ(host.written, "");
    EXPECT_EQ(CaretAt(), Pos(6, 4));
}

TEST_F(Model, ReceivePathOptionsAndEvents)
{
    model.AppendLF = true;
    model.ProcessReceived("a\rb\r\nc", 6);
    EXPECT_EQ(host.chars, "a\r\nb\r\n\nc");
    EXPECT_EQ(CaretAt(), Pos(2, 4));

    host.chars.clear();
    model.AppendLF = false;
    model.Force7Bit = true;
    model.ProcessReceived("\xC1", 1);
    EXPECT_EQ(host.chars, "A");

    host.chars.clear();
    model.Force7Bit = false;
    host.onStr = [](std::string& s) { s = "<" + s + ">"; };
    model.ProcessReceived("x", 1);
    EXPECT_EQ(host.chars, "<x>");
    host.onStr = nullptr;

    // A handler may clear the display; the rest of the chunk starts at (1, 1).
    model.ClearDisplay();
    host.chars.clear();
    host.onChar = [this](char c) {
        if (c == '_')
            model.ClearDisplay();
    };
    model.DisplayText("Learn_ok");
    EXPECT_EQ(RowText(1), "ok");
    EXPECT_EQ(host.chars, "Learn_ok");

    // A throwing handler ends the chunk; the caret comes back.
    model.ClearDisplay();
    host.onChar = [](char c) {
        if (c == '!')
            throw std::runtime_error("stop");
    };
    EXPECT_THROW(model.DisplayText("ab!cd"), std::runtime_error);
    EXPECT_EQ(RowText(1), "ab!");
    EXPECT_EQ(host.depth, 0);
}

TEST_F(Model, NoDecoderPassesEveryByteAndSuppliedDecoderIsUsed)
{
    model.SetEmulation(teNone);
    EXPECT_EQ(model.Decoder(), nullptr);
    model.DisplayText(E + "[2J");
    EXPECT_EQ(host.chars, E + "[2J");
    EXPECT_EQ(RowText(1), "[2J");

    host.onGetCodes = [](TEscapeCodes*& codes) { codes = new TEscapeCodesVT100; };
    model.SetEmulation(teVT52);
    model.SetEmulation(teNone);
    ASSERT_NE(model.Decoder(), nullptr);
    host.chars.clear();
    model.DisplayText(E + "[2J");
    EXPECT_EQ(host.chars, "");
    EXPECT_EQ(RowText(1), "");

    // Application cursor codes received move the caret like the plain ones.
    model.DisplayText(E + "[5;5H" + E + "OB" + E + "OC" + E + "OD" + E + "OD" + E + "OA");
    EXPECT_EQ(CaretAt(), Pos(4, 5));
}

TEST_F(Model, LoadingDefersAllocationAndDecoder)
{
    model.BeginLoading();
    model.SetColumns(40);
    model.SetRows(10);
    model.SetEmulation(teVT52);
    EXPECT_EQ(model.Buffer().Columns(), 80);   // nothing allocated while loading
    EXPECT_NE(dynamic_cast<TEscapeCodesVT100*>(model.Decoder()), nullptr);
    model.Loaded();
    EXPECT_EQ(model.Buffer().Columns(), 40);
    EXPECT_EQ(model.Buffer().Rows(), 10);
    EXPECT_EQ(dynamic_cast<TEscapeCodesVT100*>(model.Decoder()), nullptr);
    model.DisplayText(E + "Y" + char(31 + 10) + char(31 + 40) + "x");
    EXPECT_EQ(model.Buffer().GetCell(40, 10).Symbol, 'x');

    // Output that arrives while still loading uses a grid of the size set so far.
    model.BeginLoading();
    model.SetColumns(200);
    model.DisplayText(E + "Y" + char(31 + 1) + char(31 + 200) + "y");
    EXPECT_EQ(model.Buffer().GetCell(200, 1).Symbol, 'y');
}

}  // namespace
