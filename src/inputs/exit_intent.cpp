#include "inputs/exit_intent.h"
#include "platform/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "projectformat/startup_script_format.h"
#include "scenario/scenario_settings.h"

namespace runtime {

namespace {

using crowd::Polygon;
using crowd::Segment;
using crowd::Vec2;

// The script's people-sized distances are decimetres whatever the floor's
// units: its exit vectors stand 10 units apart (a door 1 m wide) and its
// Poll takes out whoever comes closer than 5 units (0.5 m) to one of them.
constexpr double kMetresPerScriptUnit = 0.1;
constexpr double kDoorWidth =
    2.0 * static_cast<double>(projectformat::script::kExitHalfWidth) * kMetresPerScriptUnit;
constexpr double kLeaveRadius = projectformat::script::kExitLeaveDistance * kMetresPerScriptUnit;

struct WallPoint {
    int edge = -1;
    Vec2 foot;
    double distance = std::numeric_limits<double>::infinity();
};

Segment edgeOf(const Polygon& floor, int i) {
    const std::size_t n = floor.size();
    const auto k = static_cast<std::size_t>(i);
    return {floor[k], floor[(k + 1) % n]};
}

WallPoint nearestWall(const Polygon& floor, Vec2 p) {
    WallPoint best;
    for (std::size_t i = 0; i < floor.size(); ++i) {
        const Segment e = edgeOf(floor, static_cast<int>(i));
        const Vec2 foot = crowd::closestPoint(e, p);
        const double d = crowd::distance(foot, p);
        if (d < best.distance) best = {static_cast<int>(i), foot, d};
    }
    return best;
}

bool inside(const Polygon& floor, Vec2 p) { return crowd::WalkableArea({floor}).contains(p); }

// The walls crossed by the line x = x0, with the z of each crossing.
std::vector<WallPoint> crossings(const Polygon& floor, double x0) {
    std::vector<WallPoint> out;
    for (std::size_t i = 0; i < floor.size(); ++i) {
        const Segment e = edgeOf(floor, static_cast<int>(i));
        if ((e.a.x <= x0) == (e.b.x <= x0)) continue;
        const double z = e.a.y + (x0 - e.a.x) * (e.b.y - e.a.y) / (e.b.x - e.a.x);
        out.push_back({static_cast<int>(i), {x0, z}, 0.0});
    }
    return out;
}

// The unit normal of a wall pointing out of the floor: to the right of the
// edge for a counter-clockwise outline (positive signed area), else left.
Vec2 outward(const Polygon& floor, int edge) {
    const Segment e = edgeOf(floor, edge);
    const Vec2 u = (1.0 / crowd::distance(e.a, e.b)) * (e.b - e.a);
    const Vec2 n{u.y, -u.x};
    return crowd::signedArea(floor) < 0.0 ? -1.0 * n : n;
}

// "the east wall": the side of the floor the wall faces, as seen in the
// dialog's view (x to the right is east, z downward is south).
std::string wallName(const Polygon& floor, int edge) {
    const Vec2 n = outward(floor, edge);
    if (std::fabs(n.x) >= std::fabs(n.y)) return n.x > 0.0 ? "east wall" : "west wall";
    return n.y > 0.0 ? "south wall" : "north wall";
}

std::string at(Vec2 p) {
    std::string text(1, '(');
    text += platform::fixedText(p.x, 2);
    text += ", ";
    text += platform::fixedText(p.y, 2);
    text += ") m";
    return text;
}

// A door of kDoorWidth on `edge`, centred as near `foot` as the wall allows.
ExitIntent doorAt(const Polygon& floor, int edge, Vec2 foot, const std::string& name) {
    const Segment e = edgeOf(floor, edge);
    const double len = crowd::distance(e.a, e.b);
    const Vec2 u = (1.0 / len) * (e.b - e.a);
    const double half = 0.5 * std::min(kDoorWidth, len);
    const double t = std::clamp(crowd::dot(foot - e.a, u), half, len - half);
    const Vec2 centre = e.a + t * u;
    ExitIntent out;
    out.door = true;
    out.exit.name = name;
    out.exit.segment = {centre - half * u, centre + half * u};
    // The two vectors stand just outside the door, at its ends: whoever is
    // within 5 units of one has passed the doorway (they take out nobody
    // still inside, standing beside the door).
    const Vec2 beyond = kLeaveRadius * outward(floor, edge);
    out.exit.leavePoints = {out.exit.segment.a + beyond, out.exit.segment.b + beyond};
    out.exit.leavePointRadius = kLeaveRadius;
    out.description = name + ": a door in the " + wallName(floor, edge) + " at " + at(centre);
    return out;
}

}  // namespace

namespace {

// Undoes the dialog's conversion of `kind` (its factors in single precision,
// as the dialog applies them) and puts the view position where the view
// draws it on the floor.
Vec2 clickedPoint(scenario::PlacementKind kind, double x, double z, double scale) {
    const scenario::WorldPosition perView = scenario::viewToWorld(kind, 1.0f, 1.0f, 1.0f);
    if (!(scale > 0.0)) return {0.0, 0.0};
    const double vx = x / (scale * perView.x);
    const double vy = z / (scale * perView.z);
    return {vx * (scale + 1.0), vy * (scale + 1.0)};
}

}  // namespace

Vec2 clickedFloorPoint(double x, double z, double scale) {
    return clickedPoint(scenario::PlacementKind::Exit, x, z, scale);
}

Vec2 clickedClusterPoint(double x, double z, double scale) {
    return clickedPoint(scenario::PlacementKind::Cluster, x, z, scale);
}

ExitIntent interpretExit(ScriptPoint a, ScriptPoint b, bool isDefault, const std::string& name,
                         const Polygon& floor, const FloorFrame& frame) {
    const double toMetres = 1.0 / frame.unitsPerMetre;
    const double x = 0.5 * (static_cast<double>(a.x) + static_cast<double>(b.x));
    const double z = 0.5 * (static_cast<double>(a.z) + static_cast<double>(b.z));

    if (isDefault) {
        const Vec2 spot{x * toMetres, z * toMetres};
        const double towards = z >= 0.0 ? 1.0 : -1.0;
        const std::vector<WallPoint> walls = crossings(floor, spot.x);
        std::optional<WallPoint> chosen;
        for (const WallPoint& w : walls) {
            const double ahead = (w.foot.y - spot.y) * towards;
            if (ahead >= 0.0 && (!chosen || ahead < (chosen->foot.y - spot.y) * towards))
                chosen = w;
        }
        const bool beyond = !chosen.has_value();
        if (beyond) {
            for (const WallPoint& w : walls)
                if (!chosen || std::fabs(w.foot.y - spot.y) < std::fabs(chosen->foot.y - spot.y))
                    chosen = w;
        }
        if (!chosen) chosen = nearestWall(floor, spot);
        ExitIntent out = doorAt(floor, chosen->edge, chosen->foot, name);
        out.description += inside(floor, spot) ? " (its default position " + at(spot) +
                                                     " lies inside the floor: the first wall "
                                                     "in its direction)"
                                               : " (its default position " + at(spot) +
                                                     " lies outside the floor: the nearest "
                                                     "wall in its direction)";
        return out;
    }

    const Vec2 click = toMetres * clickedFloorPoint(x, z, frame.scale);
    const double tolerance = kClickTolerance * (frame.scale + 1.0) * toMetres;
    const WallPoint wall = nearestWall(floor, click);
    if (wall.edge >= 0 && (wall.distance <= tolerance || !inside(floor, click))) {
        ExitIntent out = doorAt(floor, wall.edge, wall.foot, name);
        out.description += " (clicked at " + at(click) + ")";
        return out;
    }
    ExitIntent out;
    out.exit.name = name;
    const Vec2 half{0.5 * kDoorWidth, 0.0};
    out.exit.segment = {click - half, click + half};
    out.exit.leavePoints = {out.exit.segment.a, out.exit.segment.b};
    out.exit.leavePointRadius = kLeaveRadius;
    out.description = name + ": clicked inside the floor, " + platform::fixedText(wall.distance, 2) +
                      " m from the nearest wall; people leave on reaching the line at " + at(click);
    return out;
}

}  // namespace runtime
