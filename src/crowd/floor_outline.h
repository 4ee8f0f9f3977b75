#pragma once
// Whether a floor outline can be simulated, decided in one place: the runtime
// refuses a floor that cannot, and the project builders (escape-build and the
// dialog) warn about it before the runtime ever sees it.

#include <cstddef>
#include <string>

#include "crowd/geometry.h"

namespace crowd {

// A floor outline with more vertices is not simulated (the check for a
// self-crossing outline compares every pair of edges).
inline constexpr std::size_t kMaxFloorVertices = 10000;

struct FloorOutlineCheck {
    // The outline to walk on: the given one without repeated vertices, or
    // the convex hull of an outline that crosses itself. Empty when none.
    Polygon walkable;
    bool crossesItself = false;  // the hull is used instead
    std::string problem;         // why it cannot be simulated; empty when it can
    // What a builder says about it: the problem, or that the hull is used;
    // empty when the outline is fine as it is.
    std::string warning() const;
};

// Checks an outline in metres: at most kMaxFloorVertices vertices, every
// coordinate finite and within kMaxCoordinate, at least three distinct
// points, not all on one line. An outline that crosses itself is replaced by
// its convex hull (whatever area it encloses, even none, as a figure eight
// can), which must itself enclose an area.
FloorOutlineCheck checkFloorOutline(const Polygon& outline);

}  // namespace crowd
