#pragma once
// Semi-implicit Euler: the new velocity from the acceleration, then the new
// position from the new velocity. Every acceleration was computed from the
// state at the start of the step before anyone moves, so the result does not
// depend on the order in which people are visited.

#include <cstddef>
#include <vector>

#include "crowd/neighbour_grid.h"
#include "crowd/people.h"

namespace crowd {

// Moves the sorted people [from, to) of `crowd` (accelerations in m/s^2) by
// dt seconds. Speeds
// are capped at speedCapFactor times the desired speed of the step (at least
// kMinSpeedCap of it for someone who wants to stand); in a periodic corridor
// whoever leaves at one end comes back in at the other.
void advance(const CellOrderedCrowd& crowd, const NeighbourGrid& grid, double dt,
             double speedCapFactor, std::vector<Body>& bodies, std::size_t from, std::size_t to);

// Even someone standing can be pushed this fast, m/s.
inline constexpr double kMinSpeedCap = 0.5;

}  // namespace crowd
