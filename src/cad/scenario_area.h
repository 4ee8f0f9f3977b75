#pragma once
// A generic scenario's walkable area from a DXF plan (docs/runtime-scenarios.md):
//
//   "walkable": {"dxf": "plans/ground.dxf",
//                "layers": {"walls": "WALLS", "obstacles": "OBSTACLES", "exits": "EXITS"},
//                "unit": "mm", "joinTolerance": 0.001}
//
// Only "dxf" is needed. A relative path is taken from the scenario file's
// folder and may not lead out of that folder's tree; an absolute path is
// taken as it is. A layer named in "layers" must be there and hold
// linework; without "layers" the walls are on WALLS (which must be there)
// and obstacles and exits on OBSTACLES and EXITS when the drawing has them.
// "" leaves a layer out. "unit" overrides the drawing's $INSUNITS. A point
// (x, y) of the drawing is the scenario's [x, z].

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "cad/plan.h"

namespace cad {

struct ScenarioArea {
    std::filesystem::path file;  // the drawing read
    std::vector<Ring> rings;     // outer boundaries and holes, even-odd
    std::vector<ExitLine> exits;
    std::string exitsLayer;      // for naming the exits: "EXITS 2F"
    double area = 0.0;           // m²
};

// Reads the member `where` (its value `member`, an object) of a scenario
// whose file lies in `scenarioFolder` (empty: the current directory).
// Throws platform::InputError naming the member, the drawing, the layer and
// the entity's handle.
ScenarioArea readScenarioArea(const nlohmann::json& member,
                              const std::filesystem::path& scenarioFolder,
                              const std::string& where);

// The path of `dxf` (as written in the scenario) below `scenarioFolder`;
// refused when a relative path leads out of the folder's tree.
std::filesystem::path planPath(const std::string& dxf, const std::filesystem::path& scenarioFolder,
                               const std::string& where);

}  // namespace cad
