#include "crowd/neighbour_grid.h"

#include <algorithm>
#include <stdexcept>

namespace crowd {

NeighbourGrid::NeighbourGrid(Box box, double range, bool periodic) : origin_(box.min) {
    // Cells of the range, searched one cell each way (cells of half the range
    // searched two each way test fewer pairs, but setting up twelve cell
    // ranges per occupied cell costs more than that saves).
    const double width = box.max.x - box.min.x, height = box.max.y - box.min.y;
    if (periodic) {
        // A whole number of cells round the period, at least three so that
        // a cell's left and right neighbours differ.
        period_ = width;
        halfPeriod_ = 0.5 * width;
        columns_ = std::max(3, static_cast<int>(std::floor(width / range)));
        cellWidth_ = width / columns_;
    } else {
        columns_ = std::max(1, static_cast<int>(std::ceil(width / range)));
        cellWidth_ = range;
    }
    rows_ = std::max(1, static_cast<int>(std::ceil(height / range)));
    cellHeight_ = range;
    if (static_cast<double>(columns_) * rows_ > 5.0e7)
        throw std::invalid_argument("the area is too large for the cutoff");
    cellStart_.assign(cellCount() + 1, 0);
    cursor_.assign(cellCount(), 0);
}

void NeighbourGrid::sort(const std::vector<int>& people, const std::vector<Body>& bodies,
                         std::vector<int>& order) {
    cellOfEach_.resize(bodies.size());
    for (const int i : people) cellOfEach_[i] = cellIndex(bodies[i].x, bodies[i].y);
    sort(people, cellOfEach_, order);
}

void NeighbourGrid::sort(const std::vector<int>& people, const std::vector<int>& cellOf,
                         std::vector<int>& order) {
    // Counting sort: count per cell, starts, then place in input order.
    const std::size_t n = people.size();
    std::fill(cursor_.begin(), cursor_.end(), 0);
    for (const int i : people) ++cursor_[cellOf[i]];
    cellStart_[0] = 0;
    for (std::size_t c = 0; c < cursor_.size(); ++c) cellStart_[c + 1] = cellStart_[c] + cursor_[c];
    std::copy(cellStart_.begin(), cellStart_.end() - 1, cursor_.begin());
    order.resize(n);
    for (const int i : people) order[cursor_[cellOf[i]]++] = i;
}

int NeighbourGrid::firstRowFrom(std::size_t sortedIndex) const {
    for (int row = 0; row < rows_; ++row)
        if (static_cast<std::size_t>(cellStart_[static_cast<std::size_t>(row) * columns_]) >=
            sortedIndex)
            return row;
    return rows_;
}

}  // namespace crowd
