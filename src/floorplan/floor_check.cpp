#include "floorplan/floor_check.h"

namespace floorplan {

crowd::FloorOutlineCheck checkProjectFloor(const std::vector<crowd::Vec2>& outline,
                                           double metresPerUnit) {
    crowd::Polygon metres;
    metres.reserve(outline.size());
    for (const crowd::Vec2& v : outline) metres.push_back({v.x * metresPerUnit, v.y * metresPerUnit});
    return crowd::checkFloorOutline(metres);
}

}  // namespace floorplan
