#pragma once
// What the scene renderer draws: the static scene of a run (floor, walls,
// exits, who the people are) and the frames (where the people inside are at
// one simulated time). Everything in metres on the floor plane: x, and y for
// the world's z. No OpenGL and no Qt here, so that the live window, the
// replay and the movie recorder share it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crowd/geometry.h"
#include "crowd/model.h"

namespace crowd {
class World;
}

namespace scene {

struct SceneExit {
    std::string name;        // as the report says it ("exit 1")
    bool door = true;        // a gap opened in a wall; else a target line on the floor
    crowd::Segment opening;  // the door gap or the target line, metres
};

struct ScenePerson {
    crowd::Role role = crowd::Role::Person;
    double radius = 0.3;  // body radius, m
};

struct SceneDescription {
    std::vector<crowd::Polygon> floor;  // even-odd: a polygon inside another is a hole
    std::vector<crowd::Segment> walls;  // the floor's edges without the door gaps
    std::vector<SceneExit> exits;
    std::vector<ScenePerson> people;  // by person index
    crowd::Box bounds() const;        // of the floor (of the walls when it has none)
};

// The scene of a simulation's world and people.
SceneDescription describeWorld(const crowd::World& world,
                               const std::vector<crowd::PersonSpec>& people,
                               const std::vector<std::string>& exitNames);

// The floor's edges without the parts covered by door gaps (a gap lies on the
// edge it opened: both its ends within 1 mm of the edge's line).
std::vector<crowd::Segment> wallsWithoutGaps(const std::vector<crowd::Polygon>& floor,
                                             const std::vector<SceneExit>& exits);

// Where the people inside are at one simulated time.
struct SceneFrame {
    double time = 0.0;                   // simulated seconds
    std::vector<int> people;             // person indices, ascending
    std::vector<crowd::Vec2> positions;  // same order, metres
};

// The frame at time t between frames a and b (a.time <= t <= b.time):
// positions interpolated linearly for the people in both; whoever is only in
// a is shown until b's time is reached halfway, so that somebody leaving
// stays visible up to the door. A jump of more than a metre (a periodic
// corridor's wrap-around) is not interpolated.
SceneFrame interpolate(const SceneFrame& a, const SceneFrame& b, double t);

// The frames of a run, in time order, with the frame at any time.
class FrameTrack {
  public:
    void append(SceneFrame frame);  // frames must come in increasing time
    bool empty() const { return frames_.empty(); }
    std::size_t size() const { return frames_.size(); }
    double startTime() const { return frames_.empty() ? 0.0 : frames_.front().time; }
    double endTime() const { return frames_.empty() ? 0.0 : frames_.back().time; }
    const SceneFrame& operator[](std::size_t i) const { return frames_[i]; }
    // Clamped to the first and last frame.
    SceneFrame at(double t) const;
    // Drops the frames before the one at or before t (the live window keeps
    // only what it still has to show).
    void dropBefore(double t);

  private:
    std::vector<SceneFrame> frames_;
};

// Colours by role (sRGB, 0 to 1), used by the figures and the legend: the
// palette of scene/palette.h.
using Colour = std::array<float, 3>;
Colour roleColour(crowd::Role role);
// Figure height by role, m.
double roleHeight(crowd::Role role);

}  // namespace scene
