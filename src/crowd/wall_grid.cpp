#include "crowd/wall_grid.h"

#include <algorithm>
#include <cmath>

namespace crowd {

WallGrid::WallGrid(const std::vector<Segment>& walls, const NeighbourGrid& grid, double range) {
    for (const Segment& s : walls) {
        startX.push_back(s.a.x);
        startY.push_back(s.a.y);
        const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
        alongX.push_back(dx);
        alongY.push_back(dy);
        const double l2 = dx * dx + dy * dy;
        invLengthSquared.push_back(l2 > 0.0 ? 1.0 / l2 : 0.0);
    }
    const std::size_t cells = grid.cellCount();
    const double w = grid.cellWidth(), h = grid.cellHeight();
    const double halfDiagonal = 0.5 * std::sqrt(w * w + h * h);
    std::vector<std::vector<int>> perCell(cells);
    for (std::size_t k = 0; k < walls.size(); ++k) {
        const Segment& s = walls[k];
        int i0, j0, i1, j1;
        grid.cellOf(std::min(s.a.x, s.b.x) - range, std::min(s.a.y, s.b.y) - range, i0, j0);
        grid.cellOf(std::max(s.a.x, s.b.x) + range, std::max(s.a.y, s.b.y) + range, i1, j1);
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                // Keep the wall only if it comes within range of the cell.
                const Vec2 centre{grid.origin().x + (i + 0.5) * w, grid.origin().y + (j + 0.5) * h};
                if (distanceToSegment(s, centre) > range + halfDiagonal) continue;
                perCell[static_cast<std::size_t>(j) * grid.columns() + i].push_back(
                    static_cast<int>(k));
            }
    }
    cellStart_.assign(cells + 1, 0);
    for (std::size_t c = 0; c < cells; ++c)
        cellStart_[c + 1] = cellStart_[c] + static_cast<int>(perCell[c].size());
    wallList_.reserve(static_cast<std::size_t>(cellStart_.back()));
    for (const auto& list : perCell) wallList_.insert(wallList_.end(), list.begin(), list.end());
}

}  // namespace crowd
