#pragma once
// Navigation: a grid over the walkable area and, per exit, the walking
// distance to that exit on the grid (fast marching, first order), so that
// people walk around walls and corners. The desired direction is the negative
// gradient of that distance, interpolated between cells.

#include <cstdint>
#include <vector>

#include "crowd/geometry.h"

namespace crowd {

class NavGrid {
  public:
    NavGrid() = default;
    NavGrid(Box box, double cell);

    int nx() const { return nx_; }
    int ny() const { return ny_; }
    double cell() const { return h_; }
    Vec2 origin() const { return origin_; }
    std::size_t size() const {
        return static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_);
    }
    int index(int i, int j) const { return j * nx_ + i; }
    Vec2 centre(int i, int j) const {
        return {origin_.x + (i + 0.5) * h_, origin_.y + (j + 0.5) * h_};
    }
    // Cell holding p, clamped to the grid.
    void cellOf(Vec2 p, int& i, int& j) const;

    std::vector<std::uint8_t> walkable;
    std::vector<float> slowness;  // cost per metre of crossing a cell (>= 1)

    // Links between neighbouring cells that a wall cuts.
    void blockRight(int i, int j) { blocked[index(i, j)] |= 1u; }
    void blockUp(int i, int j) { blocked[index(i, j)] |= 2u; }
    // True when one can step from cell (i, j) to its 4-neighbour (i + di, j + dj).
    bool linked(int i, int j, int di, int dj) const {
        if (di == 1) return !(blocked[index(i, j)] & 1u);
        if (di == -1) return !(blocked[index(i - 1, j)] & 1u);
        if (dj == 1) return !(blocked[index(i, j)] & 2u);
        return !(blocked[index(i, j - 1)] & 2u);
    }
    std::vector<std::uint8_t> blocked;

  private:
    Vec2 origin_{};
    double h_ = 1.0;
    int nx_ = 0;
    int ny_ = 0;
};

class NavField {
  public:
    // Fast marching from the target cells over the walkable cells of grid.
    void compute(const NavGrid& grid, const std::vector<int>& targets);
    // Sets the descent direction of cell c (a unit vector).
    void setDescent(int c, float x, float y) {
        cells_[static_cast<std::size_t>(c)].descentX = x;
        cells_[static_cast<std::size_t>(c)].descentY = y;
    }

    // Unit direction of steepest descent at p; false when p sees no cell
    // that leads anywhere (outside the grid's walkable part, or cut off).
    bool direction(const NavGrid& grid, Vec2 p, Vec2& dir) const;
    // Walking distance at p (nearest walkable cell); infinity when unreachable.
    double distanceAt(const NavGrid& grid, Vec2 p) const;
    // Bilinear between the four cell centres around p when all four can be
    // reached; distanceAt otherwise.
    double roughDistance(const NavGrid& grid, Vec2 p) const;
    // direction and roughDistance at p from one look at the four cells
    // around p (the same results); false where direction has none.
    bool directionAndDistance(const NavGrid& grid, Vec2 p, Vec2& dir, double& distance) const;
    // Asks the memory for what direction and roughDistance at p will read,
    // ahead of the call: a field of a large floor is tens of megabytes, and
    // people in the neighbour grid's order sweep rows of it that no cache
    // holds any more.
    void prefetch(const NavGrid& grid, Vec2 p) const;

  private:
    struct Cell;
    bool nearestDirection(const NavGrid& grid, Vec2 p, Vec2& dir) const;
    // The bilinear direction from the four cells around a point (lower
    // left, lower right, upper left, upper right; null outside the grid)
    // at the fractions (ax, ay) of a cell; false if none leads anywhere.
    static bool blend(const Cell* const around[4], double ax, double ay, Vec2& dir);

    // What a lookup at p reads of the four cells around it, in one place:
    // two cache lines (the two rows) per lookup.
    struct Cell {
        float descentX = 0.0f, descentY = 0.0f;  // unit descent direction ((0, 0) where none)
        double cost = 0.0;                       // walking cost to the target
        bool leads() const { return descentX != 0.0f || descentY != 0.0f; }
    };
    std::vector<Cell> cells_;
};

}  // namespace crowd
