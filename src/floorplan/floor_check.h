#pragma once
// A project's floor outline as the floor reader finds it, and whether it can
// be simulated: one check for mvnrt (which refuses what it cannot simulate),
// the dialog and escape-build (which warn with it).

#include <vector>

#include "crowd/floor_outline.h"
#include "crowd/geometry.h"
#include "floorplan/floor_reader.h"
#include "projectformat/project_files.h"

namespace floorplan {

// Collects the outline the floor reader finds: world units, x and z, in
// file order.
class OutlineCollector : public OutlineSink {
  public:
    void discardOutline() override { vertices.clear(); }
    void beginOutline() override { vertices.clear(); }
    void vertex(float x, float /*y*/, float z) override {
        vertices.push_back({static_cast<double>(x), static_cast<double>(z)});
    }
    std::vector<crowd::Vec2> vertices;
};

// Whether the floor outline of a project (floor units, decimetres unless the
// floor states its Units) can be simulated, and the walkable outline in
// metres (crowd::checkFloorOutline).
crowd::FloorOutlineCheck checkProjectFloor(
    const std::vector<crowd::Vec2>& outline,
    double metresPerUnit = 1.0 / projectformat::kWorldUnitsPerMetre);

}  // namespace floorplan
