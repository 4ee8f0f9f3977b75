#pragma once
// A project written by escape-setup, read and turned into a crowd simulation.
//
// World units of the project are decimetres: the exit vectors va and vb are
// 10 units apart and make a door 1 m wide. A floor may state another unit in
// its header ("Units 1.0" for metres, see floor_units.h); its coordinates,
// and the positions clicked on it (exits, cluster centres), are then read in
// that unit, while the script's people-sized distances (the door's 10 units,
// the 5 units of its leaving rule, the cluster ring of 15 units, the square
// of +-60 units in which scattered people start) stay decimetres. The
// simulation runs in metres.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "crowd/floor_outline.h"
#include "crowd/model.h"
#include "floorplan/floor_reader.h"
#include "platform/input_error.h"
#include "inputs/roles.h"
#include "inputs/startup_script_reader.h"

namespace runtime {

// Anything that makes a project or scenario unusable; mvnrt exits with 2.
using platform::InputError;

struct ProjectData {
    StartupScript script;
    std::vector<crowd::Vec2> floorOutline;  // floor units, x and z, in file order
    double floorScale = 0.0;       // largest absolute coordinate, as the dialog's view finds it
    double metresPerUnit = 0.1;    // of the floor's coordinates
    bool unitsStated = false;      // the floor's header has a Units line
    std::filesystem::path scriptPath;
    std::filesystem::path floorPath;  // the project's copy of the floor
    BuildRecord record;               // the build's scenario record beside the tree
};

// The floor file to name in messages: the one the user chose, as the
// build's record says, else the project's copy.
std::filesystem::path chosenFloorName(const ProjectData& project);

// Reads bProj/Vellico/startup.pc and the floor bProj/Content/Actors/Floor/Floor.kvx
// below `startDirectory`. Throws InputError naming the file (and, for the
// script, the line) that is wrong.
ProjectData readProject(const std::filesystem::path& startDirectory);

struct ProjectSetup {
    crowd::CrowdSetup setup;
    std::vector<std::string> exitNames;
    int movedPeople = 0;           // started elsewhere than the script put them
    std::vector<std::string> exitPlaces;  // where each exit was opened, for the report
    bool outlineRepaired = false;  // the outline crossed itself; its convex hull is used
    // Below 1 when the floor was too small for everyone: the share of the sum
    // of two radii that was kept between the last people placed.
    double squeeze = 1.0;
    // Per used cluster: where it was clicked and where its people started.
    std::vector<std::string> clusterPlaces;
    std::string roleRule;               // which rule gave the roles (roles.h)
    std::vector<std::string> warnings;  // a floor that looks drawn in other units
};

// Desired speeds by role (m/s): each drawn uniformly from [min, max).
struct RoleSpeeds {
    double childMin = 1.0, childMax = 1.2;    // a child walking with its parent
    double adultMin = 1.08, adultMax = 1.60;  // 1.34 +- 0.26 (Weidmann)
    double joggerMin = 1.8, joggerMax = 2.2;  // a child on its own, jogging
};

// The name of exit `number` (1 or 2) with the vectors a and b: "exit 1" for
// a placed exit, "default exit 1" for the script's fixed vectors of an exit
// that was not placed.
std::string exitName(ScriptPoint a, ScriptPoint b, int number);

// What the script means, in metres: the floor as walkable area, the two
// exit pairs, and the people where the script puts them, with their roles.
ProjectSetup buildProjectSetup(const ProjectData& project, std::uint64_t seed,
                               const crowd::ModelParams& params = {},
                               const RoleSpeeds& speeds = {});

}  // namespace runtime
