// Pre-movement: people who wait before they walk.
#include <gtest/gtest.h>

#include <cmath>

#include "crowd/runner.h"
#include "crowd/setup_limits.h"
#include "crowd/simulation.h"
#include "crowd_test_helpers.h"

using namespace crowd;
using crowdtest::person;
using crowdtest::rect;

namespace {

CrowdSetup corridorRoom() {
    CrowdSetup s;
    s.area = WalkableArea({rect(0, 0, 12, 4)});
    s.exits.push_back({"east", {{12, 1.5}, {12, 2.5}}, {}, 0});
    return s;
}

}  // namespace

TEST(PreMovement, APersonWaitsItsTimeThenStillNeedsItsWholeWalk) {
    CrowdSetup s;
    s.area = WalkableArea({rect(0, 0, 12, 6)});
    s.exits.push_back({"east", {{12, 2.5}, {12, 3.5}}, {}, 0});
    // The second one out of reach (1.2 m) of the walls and of the first,
    // so no force moves it while it waits.
    s.people = {person(1.5, 1.5, 1.3), person(1.5, 4.5, 1.3)};
    s.people[1].preMovement = 7.5;
    Simulation sim(s);
    // Standing: not a micrometre of its own before its time.
    const Vec2 start = sim.position(1);
    while (sim.time() < 7.5 - 1e-9) {
        sim.step();
        ASSERT_LT(std::hypot(sim.position(1).x - start.x, sim.position(1).y - start.y), 1e-9)
            << sim.time();
    }
    RunOptions o;
    o.timeLimit = 60;
    o.frameRate = 0;
    run(sim, o);
    ASSERT_FALSE(sim.inside(0));
    ASSERT_FALSE(sim.inside(1));
    // 10.5 m to the door at no more than the speed cap, after the 7.5 s.
    const double fastest = 10.5 / (s.params.speedCapFactor * 1.3);
    EXPECT_GE(sim.exitTime(1), 7.5 + fastest);
    // And about as long a walk as the one who set off at once.
    EXPECT_NEAR(sim.exitTime(1) - 7.5, sim.exitTime(0), 1.0);
}

TEST(PreMovement, SomeoneWaitingIsPushedAsideButDoesNotWalkOff) {
    CrowdSetup s = corridorRoom();
    // A waiting person right in the path of a walker.
    s.people = {person(2, 2, 1.3), person(5, 2, 1.3)};
    s.people[1].preMovement = 1000.0;
    s.timeLimit = 30;
    Simulation sim(s);
    RunOptions o;
    o.timeLimit = 30;
    o.frameRate = 0;
    run(sim, o);
    EXPECT_FALSE(sim.inside(0));  // the walker got past
    EXPECT_TRUE(sim.inside(1));
    EXPECT_LT(sim.position(1).x, 7.0);  // nudged, not gone for the door
}

TEST(PreMovement, ANegativeOrNonFiniteTimeIsRefused) {
    CrowdSetup s = corridorRoom();
    crowdtest::fill(s, rect(0.5, 0.5, 6, 3.5), 5, 3);
    for (double bad : {-1.0, std::nan(""), HUGE_VAL}) {
        CrowdSetup c = s;
        c.people[3].preMovement = bad;
        const auto problem = setupProblem(c);
        ASSERT_TRUE(problem.has_value()) << bad;
        EXPECT_EQ(problem->member, "people[3].preMovement");
    }
}
