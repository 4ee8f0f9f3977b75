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

}  // namespace testsupport
