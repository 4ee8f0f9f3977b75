#pragma once
// The linework of a DXF drawing, read through dxflib: per layer, the pieces
// that the plan is made of, in metres, with blocks placed by INSERT expanded
// and arcs, circles and polyline bulges replaced by chords.
//
// Read: LINE, ARC, CIRCLE, LWPOLYLINE and POLYLINE (2-D, with bulges),
// INSERT (position, scale, rotation, base point, column and row arrays,
// blocks within blocks up to kMaxBlockDepth deep). An entity of a block on
// layer 0 takes the layer of the INSERT that places it. Entities in paper
// space are left out. Any other entity on a layer asked for (ELLIPSE,
// SPLINE, HATCH, 3-D polylines and meshes, ...) is recorded as skipped, by
// type and handle, so that the caller can name it; text, dimensions and the
// like on other layers are ignored.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cad/units.h"

namespace cad {

// Bounds on one drawing (docs/cad-plans.md): the file's size, the entities
// after blocks are expanded, the vertices after arcs are split into chords,
// and how deep blocks may be placed within blocks.
inline constexpr std::uint64_t kMaxDxfBytes = 256u << 20;
inline constexpr std::size_t kMaxEntities = 1'000'000;
inline constexpr std::size_t kMaxVertices = 5'000'000;
inline constexpr int kMaxBlockDepth = 16;
// Every coordinate, in metres, lies within this distance of the origin (the
// bound of crowd/setup_limits.h).
inline constexpr double kMaxCoordinateMetres = 1.0e5;

// The largest distance between an arc and the chords that replace it, in
// metres: an arc of radius r gets chords spanning at most 2 acos(1 - e/r)
// each. A full circle gets at least 8 chords and at most 4096, so that for
// radii above about 10 km the error grows beyond e.
inline constexpr double kChordErrorMetres = 0.005;

struct Point {
    double x = 0.0;
    double y = 0.0;
};

// One entity's linework, in metres, in the drawing's x-y plane.
struct Piece {
    std::vector<Point> points;
    bool closed = false;   // a closed polyline or a circle
    std::string type;      // LINE, ARC, CIRCLE, LWPOLYLINE, POLYLINE
    std::string handle;    // "2F"; in a block: "53/34" (the INSERT's, then the entity's)
};

struct Drawing {
    Unit unit = Unit::Metre;
    bool unitFromHeader = false;         // $INSUNITS gave it (else the caller did)
    std::set<std::string> layerTable;    // the layers the drawing declares or draws on
    std::map<std::string, std::vector<Piece>> pieces;          // per layer asked for
    std::map<std::string, std::vector<std::string>> skipped;   // "ELLIPSE 4A", per layer
    std::size_t entities = 0;   // entities read, counting every placement of a block's
    std::size_t vertices = 0;   // vertices of all pieces kept
};

// Reads `file` (named in messages as `label`), keeping the pieces of
// `layers`. `unit` overrides the header's $INSUNITS; without it the header
// must give one of inches, feet, millimetres, centimetres or metres. Throws
// platform::InputError naming the file (and the entity's handle where one
// is at fault) for a file that cannot be read, is not DXF, is too large,
// states no usable unit, or holds coordinates beyond kMaxCoordinateMetres.
Drawing readDrawing(const std::filesystem::path& file, const std::string& label,
                    const std::set<std::string>& layers, std::optional<Unit> unit);

// The same for the bytes of a drawing already in memory.
Drawing readDrawingBytes(const std::string& bytes, const std::string& label,
                         const std::set<std::string>& layers, std::optional<Unit> unit);

}  // namespace cad
