#pragma once
// Where the user meant a project's exit to be.
//
// The dialog draws a floor vertex (X, Z) at the view position
// (X, Z) / (s + 1), s being the floor's scale, but turns an exit clicked at
// the view position (vx, vy) into the world position (vx * s * 0.86,
// vy * s * 0.93). An exit clicked exactly on a wall thus lands inside the
// room, the farther the larger the floor. Knowing both conversions, the
// runtime finds the floor point under the click, (vx, vy) * (s + 1), and
//  - opens the wall there when the click was on or next to a wall (within
//    kClickTolerance view units, a few pixels) or beyond it: a door 10 units
//    (1 m) wide, centred on the foot of the click on the nearest wall;
//  - otherwise (a click well inside the floor) makes a target line there,
//    10 units long along x.
// The script's default exits (the fixed vectors at z = 65 and z = -65 for
// exits that were not placed) stand for "a way out toward +z" and "toward
// -z": each opens the first wall met going from it in its direction along
// x = 0, or, when it lies beyond the floor on that side, the wall crossing
// x = 0 nearest to it (on the basic floor: the south wall and the alcove's
// north wall). A floor that x = 0 misses gets the door in its wall nearest
// to the default position.
// Either way people also leave, as the script's Poll has it, on coming closer
// than 5 units to one of the exit's two vectors; the vectors move with the
// exit: 5 units outside the two ends of a door (so that they take out only
// whoever has passed the doorway), at the two ends of a line.

#include <string>

#include "crowd/geometry.h"
#include "crowd/model.h"
#include "inputs/startup_script_reader.h"

namespace runtime {

// How far from a wall (in view units; the view spans 2 units across) a click
// still counts as a click on that wall: 6 pixels of a 242-pixel-wide view.
inline constexpr double kClickTolerance = 0.05;

// What the runtime knows of the floor the dialog showed.
struct FloorFrame {
    double scale = 0.0;           // largest absolute coordinate, floor units
    double unitsPerMetre = 10.0;  // floor units per metre
};

struct ExitIntent {
    crowd::ExitSpec exit;  // in metres: a door segment on a wall, or a target line
    bool door = false;
    std::string description;  // where it was opened, for the report
};

// Exit `number` (1 or 2) with the script's vectors a and b (floor units);
// `isDefault` for the script's fixed vectors of an exit that was not placed.
// `floor` is the walkable outline in metres. `name` goes into the exit.
ExitIntent interpretExit(ScriptPoint a, ScriptPoint b, bool isDefault, const std::string& name,
                         const crowd::Polygon& floor, const FloorFrame& frame);

// The view position at which the dialog's click made the exit world position
// (x, z), and the floor point (floor units) under that click.
crowd::Vec2 clickedFloorPoint(double x, double z, double scale);

// The same for a cluster centre, which the dialog converts with the cluster
// factors (0.72, 0.78) instead of the exit factors: the floor point (floor
// units) where the cluster was clicked. A scale of 0 gives (0, 0).
crowd::Vec2 clickedClusterPoint(double x, double z, double scale);

}  // namespace runtime
