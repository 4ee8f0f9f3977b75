#pragma once
// The uniform cell grid that finds everyone's neighbours without testing all
// pairs. Cells are at least the interaction range wide, so two people within
// range lie in the same or adjacent cells. In a periodic corridor the grid
// wraps along x: the first and last columns are neighbours, and distances
// along x are taken the short way round.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "crowd/geometry.h"
#include "crowd/people.h"

namespace crowd {

class NeighbourGrid {
  public:
    // The cells a cell's first person pairs with: at most the forward half
    // of the 3 x 3 neighbourhood, as index ranges [begin, end) of the cell
    // order.
    struct ForwardRanges {
        int count = 0;
        int begin[4], end[4];
    };

    // Covers `box` with cells of `range` (m) or a little more. With
    // `periodic` the box's width is the period. Throws std::invalid_argument
    // when that makes too many cells.
    NeighbourGrid(Box box, double range, bool periodic);

    int columns() const { return columns_; }
    int rows() const { return rows_; }
    std::size_t cellCount() const { return static_cast<std::size_t>(columns_) * rows_; }
    Vec2 origin() const { return origin_; }
    double cellWidth() const { return cellWidth_; }
    double cellHeight() const { return cellHeight_; }
    // The period along x, 0 without one.
    double period() const { return period_; }

    // Column and row of the cell holding (x, y); outside the box, the
    // nearest cell. A position that is not a number gets the first cell:
    // converting it to an int would be undefined (and index far outside).
    void cellOf(double x, double y, int& column, int& row) const {
        column = clampedCell(std::floor((x - origin_.x) / cellWidth_), columns_);
        row = clampedCell(std::floor((y - origin_.y) / cellHeight_), rows_);
    }
    static int clampedCell(double u, int count) {
        if (!(u >= 0.0)) return 0;  // also NaN
        return u < count - 1 ? static_cast<int>(u) : count - 1;
    }
    int cellIndex(double x, double y) const {
        int column, row;
        cellOf(x, y, column, row);
        return row * columns_ + column;
    }

    // Makes room for sorting up to n people.
    void reserve(std::size_t n) { cellOfEach_.reserve(n); }
    // Sorts `people` (indices into `bodies`) by cell, stably, into `order`,
    // and remembers where each cell's people begin in it.
    void sort(const std::vector<int>& people, const std::vector<Body>& bodies,
              std::vector<int>& order);
    // The same with every person's cell index known: cellOf[i] for person i
    // (found where the bodies moved, at the same time in parts).
    void sort(const std::vector<int>& people, const std::vector<int>& cellOf,
              std::vector<int>& order);
    int cellBegin(std::size_t cell) const { return cellStart_[cell]; }
    int cellEnd(std::size_t cell) const { return cellStart_[cell + 1]; }
    // The first row whose cells begin at or after `sortedIndex` (rows() if none).
    int firstRowFrom(std::size_t sortedIndex) const;

    // The forward neighbours of (column, row) that hold somebody: the rest
    // of its own row to the right, and the three cells of the row above.
    // Every pair of adjacent cells is thus visited once.
    void forwardRanges(int column, int row, ForwardRanges& out) const;

    // Calls visit(begin, end, forward) for every occupied cell of the rows
    // [rowBegin, rowEnd), in cell order.
    template <class Visit>
    void forEachOccupiedCell(int rowBegin, int rowEnd, Visit&& visit) const {
        ForwardRanges forward;
        for (int row = rowBegin; row < rowEnd; ++row)
            for (int column = 0; column < columns_; ++column) {
                const std::size_t c = static_cast<std::size_t>(row) * columns_ + column;
                const int begin = cellStart_[c], end = cellStart_[c + 1];
                if (begin == end) continue;
                forwardRanges(column, row, forward);
                visit(begin, end, forward);
            }
    }

    // The displacement along x taken the short way round the period (dx
    // itself without a period; |dx| at most one period).
    double wrap(double dx) const {
        if (period_ > 0.0) {
            if (dx > halfPeriod_)
                dx -= period_;
            else if (dx < -halfPeriod_)
                dx += period_;
        }
        return dx;
    }

  private:
    Vec2 origin_{};
    double cellWidth_ = 1.0, cellHeight_ = 1.0;
    int columns_ = 1, rows_ = 1;
    double period_ = 0.0, halfPeriod_ = 0.0;
    std::vector<int> cellStart_;   // per cell, where its people begin; one more at the end
    std::vector<int> cursor_;      // per cell, while sorting
    std::vector<int> cellOfEach_;  // per person, while sorting by positions
};

inline void NeighbourGrid::forwardRanges(int column, int row, ForwardRanges& out) const {
    out.count = 0;
    for (int dy = 0; dy <= 1; ++dy) {
        const int gy = row + dy;
        if (gy >= rows_) break;
        for (int dx = (dy == 0 ? 1 : -1); dx <= 1; ++dx) {
            int gx = column + dx;
            if (period_ > 0.0) {
                if (gx < 0)
                    gx += columns_;
                else if (gx >= columns_)
                    gx -= columns_;
            } else if (gx < 0 || gx >= columns_) {
                continue;
            }
            const std::size_t o = static_cast<std::size_t>(gy) * columns_ + gx;
            if (cellStart_[o] == cellStart_[o + 1]) continue;
            out.begin[out.count] = cellStart_[o];
            out.end[out.count] = cellStart_[o + 1];
            ++out.count;
        }
    }
}

}  // namespace crowd
