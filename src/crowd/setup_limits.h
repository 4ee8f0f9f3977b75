#pragma once
// The bounds a crowd setup must keep, so that every run takes bounded memory
// and time and its arithmetic stays finite: the range of each model
// parameter, the number of people, the extent of the area with its exits
// (which sizes the neighbour grid) and the number of time steps. Readers of
// scenarios check them to name the member that is out of bounds; the
// runtime checks the whole setup before it builds a simulation.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "crowd/model.h"

namespace crowd {

inline constexpr std::size_t kMaxPeople = 100000;
// Cells of the neighbour grid (one cutoff wide) over the box of the area and
// its exits: some 40 bytes each while the grid is built. 4 million cells of
// 1.2 m cover about 2.4 km by 2.4 km.
inline constexpr double kMaxNeighbourCells = 4.0e6;
// Every coordinate of the area and the exits, m.
inline constexpr double kMaxCoordinate = 1.0e5;
// Time limit over time step.
inline constexpr double kMaxSteps = 1.0e8;
// Exits of one floor: each has a navigation field of its own, at most
// 1.1 million cells of 16 bytes (17.6 MB), so the fields of a floor take at
// most 32 x 17.6 MB = 563 MB.
inline constexpr std::size_t kMaxExits = 32;
// Points of the walkable polygons together, and polygons: the walls, the
// wall grid and the area's even-odd sum grow with them.
inline constexpr std::size_t kMaxWalkablePoints = 200000;
inline constexpr std::size_t kMaxWalkablePolygons = 1000;
// Explicit people standing in any one square metre (a cell of a 1 m grid):
// above the densest crowd a person fits in (some 7 per m^2 of the smallest
// bodies), as placing a fill never exceeds it.
inline constexpr std::size_t kMaxPeoplePerSquareMetre = 10;

struct ParamRange {
    const char* name;  // the member's name in a scenario's "model"
    double ModelParams::*member;
    double min;
    double max;
    bool minExcluded;  // the range is (min, max] rather than [min, max]
    const char* unit;
};

// One entry per parameter of ModelParams, in declaration order.
const std::vector<ParamRange>& paramRanges();

struct SetupProblem {
    std::string member;   // "model.B", "timeLimit", "people", "walkable", "exits[1]"
    std::string message;  // what is wrong, with the bound
};

// The first parameter outside its range (or radiusMax below radiusMin).
std::optional<SetupProblem> paramsProblem(const ModelParams& params);
// Points of the area and the exits beyond kMaxCoordinate, or a box of them
// too large for the neighbour grid at the given cutoff; more than kMaxExits
// exits, kMaxWalkablePoints points or kMaxWalkablePolygons polygons.
std::optional<SetupProblem> extentProblem(const CrowdSetup& setup);
// Everything above, the number of people and the number of steps.
std::optional<SetupProblem> setupProblem(const CrowdSetup& setup);

}  // namespace crowd
