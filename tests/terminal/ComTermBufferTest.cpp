#include <gtest/gtest.h>

#include <vector>

#include "ComTermBuffer.h"

namespace {

struct Rect {
    int l, t, r, b;
    bool operator==(const Rect& o) const { return l == o.l && t == o.t && r == o.r && b == o.b; }
};

class GridOwner : public TTermScreen {
public:
    GridOwner(int c, int r) : columns(c), rows(r) {}
    int Columns() const override { return columns; }
    int Rows() const override { return rows; }
    void InvalidateCells(int l, int t, int r, int b) override { invalidated.push_back({l, t, r, b}); }
    void ScrollScreen(int rows) override { scrolled.push_back(rows); }

    int columns, rows;
    std::vector<Rect> invalidated;
    std::vector<int> scrolled;
};

TTermCell Cell(char ch, TColor fg = 0xFFFFFF)
{
    return TTermCell{static_cast<std::uint8_t>(ch), fg, 0x000000, false};
}

// Fills every cell with a symbol that tells its position.
void FillNumbered(TComTermBuffer& b)
{
    for (int r = 1; r <= b.Rows(); ++r)
        for (int c = 1; c <= b.Columns(); ++c)
            b.PutCell(c, r, Cell(static_cast<char>('0' + (r * 7 + c) % 64)));
}

int EmptyCells(const TComTermBuffer& b)
{
    int n = 0;
    for (int r = 1; r <= b.Rows(); ++r)
        for (int c = 1; c <= b.Columns(); ++c)
            n += b.GetCell(c, r).Symbol == 0;
    return n;
}

TEST(ComTermBuffer, AllocateGivesEmptyGridAndTabStopsEveryEighthColumn)
{
    for (int columns : {80, 132, 2}) {
        GridOwner owner(columns, 24);
        TComTermBuffer b(&owner);
        EXPECT_FALSE(b.Allocated());
        b.Allocate();
        ASSERT_TRUE(b.Allocated());
        EXPECT_EQ(EmptyCells(b), columns * 24);
        const TTermCell c = b.GetCell(columns, 24);
        EXPECT_EQ(c.Foreground, 0u);
        EXPECT_EQ(c.Background, 0u);
        EXPECT_FALSE(c.Underline);
        std::vector<int> stops;
        for (int t = b.NextTabStop(1); t != 0; t = b.NextTabStop(t + 1))
            stops.push_back(t);
        std::vector<int> expected;
        for (int t = 1; t <= columns; t += 8)
            expected.push_back(t);
        EXPECT_EQ(stops, expected);
        EXPECT_EQ(b.NextTabStop(columns + 1), 0);
    }
    GridOwner owner(80, 24);
    TComTermBuffer b(&owner);
    b.Allocate();
    EXPECT_EQ(b.NextTabStop(74), 0);
    EXPECT_EQ(b.NextTabStop(73), 73);
    b.SetTabStop(78, true);
    EXPECT_EQ(b.NextTabStop(74), 78);
    b.SetTabStop(9, false);
    EXPECT_EQ(b.NextTabStop(2), 17);
    b.ClearTabStops();
    EXPECT_EQ(b.NextTabStop(1), 0);
    // Allocate again: content and tab stops back to their start.
    b.PutCell(5, 5, Cell('x'));
    b.Allocate();
    EXPECT_EQ(b.GetCell(5, 5).Symbol, 0);
    EXPECT_TRUE(b.IsTabStop(9));
}

TEST(ComTermBuffer, ScrollingMovesRowsAndLosesTheEdgeRow)
{
    GridOwner owner(5, 2);
    TComTermBuffer b(&owner);
    b.Allocate();
    b.PutCell(1, 1, Cell('a'));
    b.PutCell(5, 2, Cell('b', 0x123456));
    b.ScrollContentUp();
    EXPECT_EQ(b.GetCell(5, 1).Symbol, 'b');
    EXPECT_EQ(b.GetCell(5, 1).Foreground, 0x123456u);
    EXPECT_EQ(b.GetCell(1, 1).Symbol, 0);   // the old row 1 is gone
    EXPECT_EQ(EmptyCells(b), 9);
    b.ScrollContentDown();
    EXPECT_EQ(b.GetCell(5, 2).Symbol, 'b');
    EXPECT_EQ(EmptyCells(b), 9);
    EXPECT_EQ(owner.scrolled, (std::vector<int>{-1, 1}));

    GridOwner big(80, 24);
    TComTermBuffer g(&big);
    g.Allocate();
    FillNumbered(g);
    std::vector<TTermCell> row5(g.Row(5), g.Row(5) + 80);
    g.ScrollContentUp();
    for (int c = 1; c <= 80; ++c)
        ASSERT_EQ(g.GetCell(c, 4).Symbol, row5[c - 1].Symbol);
    for (int c = 1; c <= 80; ++c)
        ASSERT_EQ(g.GetCell(c, 24).Symbol, 0);
}

TEST(ComTermBuffer, ErasingEmptiesExactlyTheCellsAfterThePosition)
{
    GridOwner owner(80, 24);
    TComTermBuffer b(&owner);
    b.Allocate();
    FillNumbered(b);
    b.EraseToEndOfScreen(5, 3);
    EXPECT_EQ(EmptyCells(b), 76 + 21 * 80);
    EXPECT_NE(b.GetCell(4, 3).Symbol, 0);
    EXPECT_EQ(b.GetCell(5, 3).Symbol, 0);
    EXPECT_NE(b.GetCell(80, 2).Symbol, 0);
    EXPECT_EQ(owner.invalidated, (std::vector<Rect>{{5, 3, 80, 3}, {1, 4, 80, 24}}));

    FillNumbered(b);
    owner.invalidated.clear();
    b.EraseToEndOfLine(1, 7);
    EXPECT_EQ(EmptyCells(b), 80);
    b.EraseToEndOfLine(80, 24);
    EXPECT_EQ(EmptyCells(b), 81);
    EXPECT_NE(b.GetCell(1, 8).Symbol, 0);
    EXPECT_EQ(owner.invalidated, (std::vector<Rect>{{1, 7, 80, 7}, {80, 24, 80, 24}}));

    b.EraseToEndOfScreen(1, 1);
    EXPECT_EQ(EmptyCells(b), 80 * 24);
    FillNumbered(b);
    b.EraseToEndOfScreen(80, 24);
    EXPECT_EQ(EmptyCells(b), 1);
}

}  // namespace
