#pragma once
// The terminal's screen content: Columns x Rows cells in one flat block, and the tab stops.
// No scroll-back: a row scrolled off the top is gone.
#include <cstdint>
#include <memory>

#include "TermTypes.h"

struct TTermCell {
    std::uint8_t Symbol;   // received byte; 0 = empty, never drawn
    TColor Foreground;
    TColor Background;
    bool Underline;
};

// What the buffer needs from the control that owns it: the grid size, and the screen updates
// that follow a change of content.
class TTermScreen {
public:
    virtual ~TTermScreen() = default;
    virtual int Columns() const = 0;
    virtual int Rows() const = 0;
    // Cells (left, top)..(right, bottom), inclusive, 1-based, changed.
    virtual void InvalidateCells(int left, int top, int right, int bottom) = 0;
    // The whole content moved by `rows` (-1 up, +1 down); the uncovered row is empty.
    virtual void ScrollScreen(int rows) = 0;
};

class TComTermBuffer {
public:
    explicit TComTermBuffer(TTermScreen* owner);
    ~TComTermBuffer();
    TComTermBuffer(const TComTermBuffer&) = delete;
    TComTermBuffer& operator=(const TComTermBuffer&) = delete;

    void Allocate();
    bool Allocated() const { return cells_ != nullptr; }
    int Columns() const { return columns_; }   // size of the allocated grid
    int Rows() const { return rows_; }

    // Coordinates are not checked: callers keep them inside the grid. Each row's cells are
    // contiguous; rows follow one another in the block circularly from the top row, so a
    // scroll moves no cells, it only clears one row and turns the circle.
    void PutCell(int column, int row, const TTermCell& cell) { cells_[Index(column, row)] = cell; }
    TTermCell GetCell(int column, int row) const { return cells_[Index(column, row)]; }
    const TTermCell* Row(int row) const { return cells_.get() + Index(1, row); }

    void SetTabStop(int column, bool on) { tabs_[column - 1] = on; }
    bool IsTabStop(int column) const { return tabs_[column - 1]; }
    int NextTabStop(int column) const;
    void ClearTabStops();

    void ScrollContentUp();
    void ScrollContentDown();
    void EraseToEndOfLine(int column, int row);
    void EraseToEndOfScreen(int column, int row);

    // Every cell 'E' in the given colours (the screen alignment test).
    void Fill(const TTermCell& cell);

private:
    std::size_t Index(int column, int row) const
    {
        int physical = row - 1 + top_;
        if (physical >= rows_)
            physical -= rows_;
        return static_cast<std::size_t>(physical) * static_cast<std::size_t>(columns_) +
               static_cast<std::size_t>(column - 1);
    }
    void ClearRow(int row);

    TTermScreen* owner_;
    std::unique_ptr<TTermCell[]> cells_;
    std::unique_ptr<bool[]> tabs_;
    int columns_ = 0;
    int rows_ = 0;
    int top_ = 0;   // physical index of row 1
};
