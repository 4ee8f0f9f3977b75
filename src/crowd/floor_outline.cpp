#include "crowd/floor_outline.h"

#include <cmath>

#include "crowd/setup_limits.h"

namespace crowd {

std::string FloorOutlineCheck::warning() const {
    if (!problem.empty()) return "the floor cannot be simulated: " + problem;
    if (crossesItself)
        return "the floor outline crosses itself; the runtime walks on its convex hull";
    return {};
}

FloorOutlineCheck checkFloorOutline(const Polygon& outline) {
    FloorOutlineCheck out;
    if (outline.size() > kMaxFloorVertices) {
        out.problem = "its outline has " + std::to_string(outline.size()) +
                      " vertices, more than the " + std::to_string(kMaxFloorVertices) +
                      " that can be simulated";
        return out;
    }
    for (const Vec2& v : outline)
        if (!(std::fabs(v.x) <= kMaxCoordinate && std::fabs(v.y) <= kMaxCoordinate)) {
            out.problem = std::isfinite(v.x) && std::isfinite(v.y)
                              ? "it has a vertex more than " +
                                    std::to_string(static_cast<long>(kMaxCoordinate)) +
                                    " m from the origin"
                              : "it has a vertex that is not a finite number";
            return out;
        }
    Polygon poly = withoutRepeatedVertices(outline);
    if (poly.size() < 3) {
        out.problem = "it has fewer than three distinct vertices";
        return out;
    }
    if (isSelfIntersecting(poly)) {
        out.crossesItself = true;
        poly = convexHull(poly);
    }
    const std::string problem = polygonProblem(poly);
    if (!problem.empty()) {
        // Distinct points without area (or a hull of two points) lie on a line.
        out.problem = "all its vertices lie on one line";
        return out;
    }
    out.walkable = std::move(poly);
    return out;
}

}  // namespace crowd
