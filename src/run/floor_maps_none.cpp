// Built without Qt: no pictures.
#include "run/floor_maps.h"

namespace runtime {

FloorMaps drawFloorMaps(const crowd::Simulation&, const std::vector<std::string>&,
                        const analysis::DensityGrid&, const std::string&) {
    FloorMaps m;
    m.problem = "this mvnrt was built without Qt, so it draws no floor maps";
    return m;
}

}  // namespace runtime
