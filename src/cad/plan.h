#pragma once
// A storey's plan from a DXF drawing: its walkable area (outer boundaries
// with holes, in metres), its exits and its stair landings, each from the
// layers the caller names. See docs/cad-plans.md.
//
// How the layers are read:
// - Every layer's linework is first made into closed rings: closed
//   polylines and circles are rings as drawn; lines, arcs and open polylines
//   are joined end to end, an end meeting another end within the join
//   tolerance, until the chain comes back to its start. A chain that does
//   not come back is refused with the position of its loose end.
// - Walls: the rings are wall bodies. Rings that overlap or touch are
//   unioned; a ring inside another is a hole in it (so a wall drawn as its
//   outer face and the faces of the rooms inside reads the same as walls
//   drawn as separate overlapping bodies). The walkable area is what lies
//   inside the walls' outer boundary, less the walls themselves and the
//   obstacles.
// - Obstacles: rings unioned and cut out of the walkable area (pillars,
//   furniture, shafts).
// - Exits: each LINE or open polyline is one exit, from its first point to
//   its last. Where the outer wall has an opening, the exit line across it
//   closes the opening for finding what the walls enclose.
// - Stairs: each closed ring is a landing (kept apart, not cut out).

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cad/drawing.h"
#include "cad/units.h"

namespace cad {

using Ring = std::vector<Point>;  // closed implicitly (the last point is not the first repeated)

// Rings come in one form whatever order the polygon operations made them
// in: no repeated or exactly collinear vertices, starting at the smallest
// vertex (by x, then y); holes and areas sorted by that vertex. So the same
// drawing always gives the same polygons, in the same order.
struct Area {
    Ring outer;               // counter-clockwise
    std::vector<Ring> holes;  // clockwise
};

struct ExitLine {
    Point from;
    Point to;
    std::string handle;
};

struct Landing {
    Ring ring;  // counter-clockwise
    std::string handle;
};

// A layer to read. An empty name: the layer is not read. A required layer
// that is missing or holds nothing readable is refused; one that is not
// required may be missing.
struct LayerChoice {
    std::string name;
    bool required = false;
};

struct PlanLayers {
    LayerChoice walls{"WALLS", true};
    LayerChoice obstacles{"OBSTACLES", false};
    LayerChoice exits{"EXITS", false};
    LayerChoice stairs{"STAIRS", false};
};

// Two ends closer than this (in metres) are joined.
inline constexpr double kDefaultJoinTolerance = 0.001;
// Pieces of walkable area smaller than this (m²) are left out: slivers
// between walls drawn a hair apart, or beside an exit line drawn on the
// outer face of a wall, not rooms.
inline constexpr double kSmallestAreaPiece = 0.01;

struct PlanOptions {
    PlanLayers layers;
    std::optional<Unit> unit;  // overrides the header's $INSUNITS
    double joinTolerance = kDefaultJoinTolerance;
};

struct Plan {
    Unit unit = Unit::Metre;
    bool unitFromHeader = false;
    std::vector<Area> walkable;
    std::vector<ExitLine> exits;
    std::vector<Landing> stairs;
    std::size_t entities = 0;
    std::size_t vertices = 0;

    double area() const;  // of the walkable area, m²
};

// Reads the plan of `file` (named `label` in messages). Throws
// platform::InputError naming the file, the layer and the entity's handle.
Plan readPlan(const std::filesystem::path& file, const std::string& label,
              const PlanOptions& options = {});
// The same for a drawing's bytes already in memory.
Plan readPlanBytes(const std::string& bytes, const std::string& label,
                   const PlanOptions& options = {});

// The floor outline of one layer: its rings unioned (each taken as the area
// it encloses), the outer boundary of the largest piece. Pieces left out
// (further separate areas, holes) are said in `notes`.
struct Outline {
    Ring ring;  // counter-clockwise, metres
    Unit unit = Unit::Metre;
    bool unitFromHeader = false;
    double area = 0.0;  // m², of the ring
    std::vector<std::string> notes;
};

Outline readOutline(const std::filesystem::path& file, const std::string& label,
                    const std::string& layer, std::optional<Unit> unit,
                    double joinTolerance = kDefaultJoinTolerance);

// Signed area of a ring (positive counter-clockwise), m².
double signedArea(const Ring& ring);

}  // namespace cad
