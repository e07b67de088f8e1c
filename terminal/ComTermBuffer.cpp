#include "ComTermBuffer.h"

#include <algorithm>

TComTermBuffer::TComTermBuffer(TTermScreen* owner) : owner_(owner) {}

TComTermBuffer::~TComTermBuffer() = default;

void TComTermBuffer::Allocate()
{
    cells_.reset();
    tabs_.reset();
    columns_ = owner_->Columns();
    rows_ = owner_->Rows();
    top_ = 0;
    const std::size_t count = static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_);
    cells_.reset(new TTermCell[count]());
    tabs_.reset(new bool[static_cast<std::size_t>(columns_)]());
    for (int c = 1; c <= columns_; c += 8)
        tabs_[c - 1] = true;
}

int TComTermBuffer::NextTabStop(int column) const
{
    for (int c = std::max(column, 1); c <= columns_; ++c)
        if (tabs_[c - 1])
            return c;
    return 0;
}

void TComTermBuffer::ClearTabStops()
{
    std::fill_n(tabs_.get(), columns_, false);
}

void TComTermBuffer::ClearRow(int row)
{
    std::fill_n(cells_.get() + Index(1, row), static_cast<std::size_t>(columns_), TTermCell{});
}

void TComTermBuffer::ScrollContentUp()
{
    // The old row 1 becomes the new last row, emptied.
    ClearRow(1);
    top_ = top_ + 1 == rows_ ? 0 : top_ + 1;
    owner_->ScrollScreen(-1);
}

void TComTermBuffer::ScrollContentDown()
{
    top_ = top_ == 0 ? rows_ - 1 : top_ - 1;
    ClearRow(1);
    owner_->ScrollScreen(1);
}

void TComTermBuffer::EraseToEndOfLine(int column, int row)
{
    std::fill_n(cells_.get() + Index(column, row), static_cast<std::size_t>(columns_ - column + 1),
                TTermCell{});
    owner_->InvalidateCells(column, row, columns_, row);
}

void TComTermBuffer::EraseToEndOfScreen(int column, int row)
{
    std::fill_n(cells_.get() + Index(column, row), static_cast<std::size_t>(columns_ - column + 1),
                TTermCell{});
    for (int r = row + 1; r <= rows_; ++r)
        ClearRow(r);
    owner_->InvalidateCells(column, row, columns_, row);
    if (row < rows_)
        owner_->InvalidateCells(1, row + 1, columns_, rows_);
}

void TComTermBuffer::Fill(const TTermCell& cell)
{
    std::fill_n(cells_.get(), static_cast<std::size_t>(columns_) * rows_, cell);
    owner_->InvalidateCells(1, 1, columns_, rows_);
}
