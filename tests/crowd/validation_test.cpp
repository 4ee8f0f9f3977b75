// Validation of the model against published criteria, each on a small
// generic scenario. The slow ones are in validation_slow_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "crowd/runner.h"
#include "crowd/simulation.h"
#include "crowd_test_helpers.h"

using namespace crowd;
using crowdtest::person;
using crowdtest::rect;

// A free walker at 1.33 m/s needs 40 / 1.33 = 30 s for a 40 m corridor
// (plus about one relaxation time to get up to speed).
TEST(Validation, ASinglePersonCrossesA40mCorridorIn26To34Seconds) {
    CrowdSetup s;
    s.area = WalkableArea({rect(0, 0, 40, 2)});
    s.exits.push_back({"east end", {{40, 0}, {40, 2}}, {}, 0});
    s.people = {person(0.35, 1.0, 1.33, 0.3)};
    Simulation sim(s);
    RunOptions o;
    o.frameRate = 0;
    o.timeLimit = 120;
    run(sim, o);
    ASSERT_FALSE(sim.inside(0));
    std::printf("crossed in %.2f s\n", sim.exitTime(0));
    EXPECT_GE(sim.exitTime(0), 26.0);
    EXPECT_LE(sim.exitTime(0), 34.0);
}

// Twenty people round a 90 degree corner of an L-shaped corridor, 2 m wide.
// After every step: nobody's centre is outside the floor (unless walking out
// of the door, up to exitWalkOn beyond its line, or gone), and nobody's path
// in that step crossed a wall.
TEST(Validation, NobodyPassesThroughAWallRoundA90DegreeCorner) {
    CrowdSetup s;
    s.area = WalkableArea({{{0, 0}, {12, 0}, {12, 12}, {10, 12}, {10, 2}, {0, 2}}});
    s.exits.push_back({"north end", {{10, 12}, {12, 12}}, {}, 0});
    crowdtest::fill(s, rect(0.3, 0.3, 6, 1.7), 20, 5, 1.2, 1.8);
    Simulation sim(s);
    const auto& walls = sim.world().walls();
    std::vector<Vec2> prev(sim.peopleCount());
    for (std::size_t i = 0; i < prev.size(); ++i) prev[i] = sim.position(static_cast<int>(i));
    double closest = 1e9;
    while (sim.insideCount() > 0 && sim.time() < 120.0) {
        sim.step();
        for (std::size_t i = 0; i < prev.size(); ++i) {
            const int id = static_cast<int>(i);
            const Vec2 p = sim.position(id);
            if (sim.inside(id)) {
                const bool walkingOut = p.x >= 10.0 && p.x <= 12.0 && p.y >= 12.0 &&
                                        p.y <= 12.0 + s.params.exitWalkOn + 0.05;
                ASSERT_TRUE(s.area.contains(p) || walkingOut)
                    << "person " << i << " at " << p.x << ", " << p.y;
                if (!walkingOut)
                    for (const Segment& w : walls) closest = std::min(closest, distanceToSegment(w, p));
            }
            for (const Segment& w : walls)
                ASSERT_FALSE(segmentsIntersect(prev[i], p, w.a, w.b))
                    << "person " << i << " crossed a wall";
            prev[i] = p;
        }
    }
    EXPECT_EQ(sim.insideCount(), 0u);
    std::printf("closest centre to a wall: %.3f m\n", closest);
    // Bodies keep clear of walls: centres never came closer than 0.15 m.
    EXPECT_GT(closest, 0.15);
}

// Two exits at either end of a long room: everyone heads for the nearer
// one, and leaves by it.
TEST(Validation, PeopleChooseTheNearerOfTwoExits) {
    CrowdSetup s;
    s.area = WalkableArea({rect(0, 0, 30, 6)});
    s.exits.push_back({"west", {{0, 2.5}, {0, 3.5}}, {}, 0});
    s.exits.push_back({"east", {{30, 2.5}, {30, 3.5}}, {}, 0});
    for (double x : {2.0, 6.0, 11.0, 14.0, 16.5, 19.0, 24.0, 28.0})
        for (double y : {1.0, 5.0}) s.people.push_back(person(x, y, 1.3));
    Simulation sim(s);
    for (std::size_t i = 0; i < sim.peopleCount(); ++i)
        EXPECT_EQ(sim.targetExit(static_cast<int>(i)), s.people[i].start.x < 15.0 ? 0 : 1)
            << "person " << i;
    RunOptions o;
    o.frameRate = 0;
    o.timeLimit = 120;
    EXPECT_TRUE(run(sim, o).everyoneOut);
    for (std::size_t i = 0; i < sim.peopleCount(); ++i)
        EXPECT_EQ(sim.exitUsed(static_cast<int>(i)), sim.targetExit(static_cast<int>(i)));
}

// "Nearer" is measured on foot: a wall makes the exit that is closer as
// the crow flies the longer walk.
TEST(Validation, TheNearerExitIsTheShorterWalkNotTheStraightLine) {
    CrowdSetup s;
    // A partition from the south wall to y = 9 at x = 12 separates the
    // person from the east door, which is 7 m away in a straight line.
    s.area = WalkableArea(
        {{{0, 0}, {11.9, 0}, {11.9, 9}, {12.1, 9}, {12.1, 0}, {20, 0}, {20, 10}, {0, 10}}});
    s.exits.push_back({"west", {{0, 1}, {0, 2}}, {}, 0});
    s.exits.push_back({"east", {{20, 1}, {20, 2}}, {}, 0});
    s.people = {person(10, 1.5, 1.3)};
    Simulation sim(s);
    EXPECT_EQ(sim.targetExit(0), 0);
}
