#pragma once
// Scenarios that several test suites build.

#include "scenario/scenario_settings.h"

namespace testsupport {

// The worked example of the startup script: 5 pairs, 5 adults, 5 children,
// motion recorded into KVX, three clusters of which two are used, one exit,
// floor scale 70. Floor path and start directory are left for the caller.
inline scenario::ScenarioSettings workedExampleScenario() {
    scenario::ScenarioSettings s;
    s.pairCount = 5;
    s.adultCount = 5;
    s.childCount = 5;
    s.recordKvx = true;
    s.clusterCount = 3;
    s.clusters[0] = {10.0f, 20.0f};
    s.clusters[1] = {-15.5f, 4.75f};
    s.clusters[2] = {1.0f, 1.0f};
    s.exitCount = 1;
    s.exits[0] = {12.5f, -30.25f};
    s.floorScale = 70;
    return s;
}

// A generic scenario (JSON) small enough to run in a test: 12 children in
// an 8 m x 6 m room with a pillar, a door to the east and a target line.
inline constexpr const char* kRoomWithPillarJson = R"({
  "name": "room with a pillar",
  "seed": 4,
  "walkable": [[[0, 0], [8, 0], [8, 6], [0, 6]], [[3, 2], [4, 2], [4, 3], [3, 3]]],
  "exits": [{"name": "east door", "from": [8, 2.5], "to": [8, 3.5]},
            {"name": "middle line", "from": [5.5, 3], "to": [6.5, 3]}],
  "fill": [{"area": [[0.5, 0.5], [2.5, 0.5], [2.5, 5.5], [0.5, 5.5]], "count": 12, "role": "child"}]
})";

}  // namespace testsupport
