#pragma once
// Pictures of the floor for the run report: the floor plan with its exits
// and where everyone starts, and the density map coloured by Fruin's levels
// of service. PNG bytes in memory, so the report can inline them.

#include <string>
#include <vector>

#include "analysis/run_measures.h"
#include "crowd/simulation.h"

namespace runtime {

struct FloorMaps {
    std::string floorPlan;  // PNG bytes; empty when not drawn
    std::string density;    // PNG bytes; empty when not drawn
    std::string problem;    // why they were not drawn
};

FloorMaps drawFloorMaps(const crowd::Simulation& sim, const std::vector<std::string>& exitNames,
                        const analysis::DensityGrid& density, const std::string& title);

}  // namespace runtime
