#pragma once
// The walls each cell of the neighbour grid needs: those that come within
// the interaction range of some point of the cell, so that a person's wall
// forces look at a handful of segments, not at every wall of the floor.

#include <cstddef>
#include <vector>

#include "crowd/geometry.h"
#include "crowd/neighbour_grid.h"

namespace crowd {

class WallGrid {
  public:
    WallGrid(const std::vector<Segment>& walls, const NeighbourGrid& grid, double range);

    // Wall k as its start point, its direction (start to end) and
    // 1 / |direction|^2 (0 for a wall of no length).
    std::vector<double> startX, startY, alongX, alongY, invLengthSquared;

    // The walls near cell c: wallsNear()[nearBegin(c)] up to nearEnd(c).
    int nearBegin(std::size_t cell) const { return cellStart_[cell]; }
    int nearEnd(std::size_t cell) const { return cellStart_[cell + 1]; }
    const std::vector<int>& wallsNear() const { return wallList_; }

  private:
    std::vector<int> cellStart_, wallList_;  // compressed rows per cell
};

}  // namespace crowd
