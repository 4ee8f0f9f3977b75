#pragma once
// The static part of a simulation: walls, exits and the navigation fields,
// built once from a CrowdSetup.
//
// How an exit meets the walls. An exit whose midpoint lies outside the
// walkable area, or within `doorSnap` of a wall edge, is a door: the nearest
// wall edge is opened over the exit's width (the length of its segment, at
// least 0.5 m), centred on the foot of the midpoint on that edge and kept
// within the edge. People walk through the opening and leave when their centre
// has passed it. Any other exit is a target line inside the area; people leave
// on coming within `leaveDistance` of it. Either way a person also leaves on
// coming closer than `leavePointRadius` to one of the exit's leave points.

#include <string>
#include <cstdint>
#include <vector>

#include "crowd/geometry.h"
#include "crowd/model.h"
#include "crowd/nav_field.h"

namespace crowd {

enum class ExitKind { Door, Target };

struct ResolvedExit {
    std::string name;
    ExitKind kind = ExitKind::Target;
    Segment requested;   // as given
    Segment opening;     // the opened part of the wall (Door) or the target line
    Vec2 along{1, 0};    // unit vector from opening.a to opening.b
    Vec2 outward{0, 1};  // Door: unit normal pointing out of the area
    double width = 0.0;
    int wallEdge = -1;  // Door: index into WalkableArea::edges()
    std::vector<Vec2> leavePoints;
    double leavePointRadius = 0.0;
};

class World {
  public:
    // Throws std::invalid_argument when the setup cannot be simulated.
    explicit World(const CrowdSetup& setup);

    const WalkableArea& area() const { return area_; }
    const std::vector<Segment>& walls() const { return walls_; }
    const std::vector<ResolvedExit>& exits() const { return exits_; }
    const NavGrid& grid() const { return grid_; }
    const ModelParams& params() const { return params_; }
    bool periodic() const { return periodic_.enabled; }
    Vec2 periodicDirection() const { return periodic_.direction; }
    // The simulation box: the area's bounds plus room for the door pockets.
    Box box() const { return box_; }

    // Index of the exit through which a person at p leaves now, or -1.
    int leavingExit(Vec2 p) const {
        // Most people stand where no exit is near, and learn so from one
        // lookup in a coarse grid (outside the box the cells at its edge
        // answer, which covers every leave box reaching out of it).
        const double u = (p.x - box_.min.x) * nearExitPerMetre_;
        const double v = (p.y - box_.min.y) * nearExitPerMetre_;
        const int column =
            !(u >= 0.0) ? 0 : u < nearExitColumns_ - 1 ? static_cast<int>(u) : nearExitColumns_ - 1;
        const int row =
            !(v >= 0.0) ? 0 : v < nearExitRows_ - 1 ? static_cast<int>(v) : nearExitRows_ - 1;
        if (!nearExit_[static_cast<std::size_t>(row) * nearExitColumns_ + column]) return -1;
        return leavingExitNear(p);
    }
    // Unit direction toward exit e at p.
    Vec2 desiredDirection(int e, Vec2 p) const;
    // The same, and roughWalkDistance(e, p) into walkLeft, from one look at
    // the navigation field (e an exit, the floor not periodic).
    Vec2 desiredDirection(int e, Vec2 p, double& walkLeft) const;
    // Walking cost to exit e from p (infinity where it cannot be reached).
    double walkDistance(int e, Vec2 p) const;
    // The same, interpolated between the four cells around p where they can
    // all be reached (cheaper; walkDistance elsewhere).
    double roughWalkDistance(int e, Vec2 p) const;
    // Starts loading what desiredDirection and roughWalkDistance of exit e
    // at p will read (a hint; no effect on any result).
    void prefetchNavigation(int e, Vec2 p) const;

  private:
    bool inPocket(const ResolvedExit& e, Vec2 p, double slack, double depth) const;
    Vec2 straightToExit(int e, Vec2 p) const;
    int leavingExitNear(Vec2 p) const;

    WalkableArea area_;
    ModelParams params_;
    Periodic periodic_;
    std::vector<Segment> walls_;
    std::vector<ResolvedExit> exits_;
    Box box_{};
    NavGrid grid_;
    std::vector<NavField> fields_;
    std::vector<Box> leaveBox_;  // per exit: outside it, nobody leaves by it
    // A coarse grid over the box: per cell, whether any exit's leave box
    // reaches into it.
    std::vector<std::uint8_t> nearExit_;
    double nearExitPerMetre_ = 1.0;  // cells per metre
    int nearExitColumns_ = 0, nearExitRows_ = 0;
};

// Resolves exits into doors and target lines (see the note at the top), and
// returns the walls: the area's edges without the door openings.
std::vector<ResolvedExit> resolveExits(const WalkableArea& area, const std::vector<ExitSpec>& exits,
                                       double doorSnap, std::vector<Segment>& wallsOut);

}  // namespace crowd
