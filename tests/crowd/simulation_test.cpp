#include "crowd/simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "crowd/runner.h"
#include "crowd_test_helpers.h"

using namespace crowd;
using crowdtest::person;
using crowdtest::rect;

namespace {

CrowdSetup room(double w, double h) {
    CrowdSetup s;
    s.area = WalkableArea({rect(0, 0, w, h)});
    s.exits.push_back({"east", {{w, h / 2 - 0.5}, {w, h / 2 + 0.5}}, {}, 0});
    return s;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

TEST(Simulation, TheSameSetupGivesBitIdenticalRuns) {
    CrowdSetup s = room(8, 8);
    crowdtest::fill(s, rect(0.5, 0.5, 7.5, 7.5), 40, 11);
    Simulation a(s), b(s);
    for (int k = 0; k < 1500; ++k) {
        a.step();
        b.step();
    }
    ASSERT_EQ(a.insideCount(), b.insideCount());
    for (int i = 0; i < 40; ++i) {
        EXPECT_TRUE(sameBits(a.position(i).x, b.position(i).x));
        EXPECT_TRUE(sameBits(a.position(i).y, b.position(i).y));
        EXPECT_EQ(a.exitUsed(i), b.exitUsed(i));
    }
}

TEST(Simulation, EveryoneIsUpdatedFromTheSameStateWhateverTheirOrder) {
    // Two people walking into each other: listing them the other way round
    // gives exactly the mirrored result (a sequential update would not).
    CrowdSetup s = room(10, 4);
    s.params.fluctuation = 0.0;  // drawn by index, so not mirrored
    s.params.nervousFluctuation = 0.0;
    s.people = {person(3.0, 2.0, 1.3, 0.3), person(3.5, 2.05, 1.0, 0.28)};
    CrowdSetup t = s;
    std::swap(t.people[0], t.people[1]);
    Simulation a(s), b(t);
    for (int k = 0; k < 800; ++k) {
        a.step();
        b.step();
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(sameBits(a.position(i).x, b.position(1 - i).x));
            ASSERT_TRUE(sameBits(a.position(i).y, b.position(1 - i).y));
        }
    }
}

TEST(Simulation, APersonAloneReachesItsDesiredSpeedWithinAFewRelaxationTimes) {
    CrowdSetup s = room(30, 4);
    s.params.fluctuation = 0.0;  // the bare relaxation
    s.params.nervousFluctuation = 0.0;
    s.people = {person(2, 2, 1.2)};
    Simulation sim(s);
    while (sim.time() < s.params.tau - 1e-9) sim.step();
    const double v1 = length(sim.velocity(0));
    EXPECT_NEAR(v1, 1.2 * (1 - std::exp(-1.0)), 0.05);  // one relaxation time: 63 %
    while (sim.time() < 3.0) sim.step();
    EXPECT_NEAR(length(sim.velocity(0)), 1.2, 0.02);
}

TEST(Simulation, SomeoneStartingToWalkIsNotNervous) {
    // Slow at first is what the relaxation time asks for, not a reason to
    // struggle: a lone walker gets no nervous pushes and walks straight.
    CrowdSetup s = room(30, 4);
    s.params.fluctuation = 0.0;
    s.people = {person(2, 2, 1.2)};
    Simulation sim(s);
    double drift = 0.0;
    while (sim.time() < 3.0) {
        sim.step();
        drift = std::max(drift, std::fabs(sim.position(0).y - 2.0));
    }
    EXPECT_NEAR(length(sim.velocity(0)), 1.2, 0.03);
    EXPECT_LT(drift, 0.05);  // one nervous push (300 N for 0.1 s) moves 0.2 m
}

TEST(Simulation, TheFreeDistanceToWhoeverIsRightAheadHoldsTheDesiredSpeed) {
    // Walker at (3, 2) heading east for the door at x = 10; another body
    // (radius 0.3, standing) placed around it. The bodies touch at 0.6 m.
    const double T = ModelParams{}.headwayTime;
    auto desired = [](Vec2 other) {
        CrowdSetup s = room(10, 4);
        s.params.fluctuation = 0.0;
        s.params.nervousFluctuation = 0.0;
        s.people = {person(3.0, 2.0, 1.34, 0.3), person(other.x, other.y, 0.0, 0.3)};
        Simulation sim(s);
        sim.step();
        return sim.desiredSpeedNow(0);
    };
    EXPECT_NEAR(desired({3.9, 2.0}), (0.9 - 0.6) / T, 0.02);  // right ahead
    EXPECT_NEAR(desired({4.1, 2.0}), (1.1 - 0.6) / T, 0.02);
    EXPECT_NEAR(desired({4.3, 2.0}), 1.34, 1e-12);  // beyond the cutoff
    // Off the walking line but within the strip of the headway (a share
    // headwayWidth of the two radii): the walk left until the two would
    // touch. Farther aside, one walks past at a shoulder's turn.
    const double strip = ModelParams{}.headwayWidth * 0.6;
    ASSERT_GT(strip, 0.3);
    ASSERT_LT(strip, 0.4);
    EXPECT_NEAR(desired({3.9, 2.3}), (0.9 - std::sqrt(0.36 - 0.09)) / T, 0.02);
    EXPECT_NEAR(desired({3.9, 2.4}), 1.34, 1e-12);
    EXPECT_NEAR(desired({3.7, 2.65}), 1.34, 1e-12);  // beside the path: passes by
    EXPECT_NEAR(desired({2.3, 2.0}), 1.34, 1e-12);   // behind
    // Touching: stands until the other moves on.
    EXPECT_NEAR(desired({3.6, 2.0}), 0.0, 1e-12);

    CrowdSetup s = room(10, 4);
    s.params.headwayTime = 0.0;  // the plain model of 2000
    s.people = {person(3.0, 2.0, 1.34, 0.3), person(3.7, 2.0, 0.0, 0.3)};
    Simulation plain(s);
    plain.step();
    EXPECT_EQ(plain.desiredSpeedNow(0), 1.34);
}

// One keeps one's distance from someone walking one's way, not from someone
// coming the other way (the two pass each other by their bodies' forces): a
// parent turning back for its child in a doorway held everyone behind it.
TEST(Simulation, SomeoneComingTheOtherWayDoesNotHoldTheDesiredSpeed) {
    auto desired = [](int otherExit) {
        CrowdSetup s = room(10, 4);
        s.exits.insert(s.exits.begin(), {"west", {{0, 1.5}, {0, 2.5}}, {}, 0});
        s.params.fluctuation = 0.0;
        s.params.nervousFluctuation = 0.0;
        s.people = {person(3.0, 2.0, 1.34, 0.3), person(3.9, 2.0, 0.0, 0.3)};
        s.people[0].exit = 1;  // east
        s.people[1].exit = otherExit;
        Simulation sim(s);
        sim.step();
        return sim.desiredSpeedNow(0);
    };
    EXPECT_LT(desired(1), 1.0);               // ahead on the way east: held
    EXPECT_NEAR(desired(0), 1.34, 1e-12);     // heading west: not
}

TEST(Simulation, NobodyIsFasterThanTheSpeedCap) {
    CrowdSetup s = room(6, 6);
    crowdtest::fill(s, rect(0.4, 0.4, 5.6, 5.6), 60, 3, 1.0, 1.0);
    Simulation sim(s);
    for (int k = 0; k < 3000 && sim.insideCount() > 0; ++k) {
        sim.step();
        for (int i : sim.insidePeople()) ASSERT_LE(length(sim.velocity(i)), 1.3 + 1e-9);
    }
}

TEST(Simulation, APersonLeavesThroughTheDoorAndIsRecorded) {
    CrowdSetup s = room(6, 6);
    s.people = {person(1, 3, 1.5)};
    Simulation sim(s);
    RunOptions o;
    o.timeLimit = 60;
    o.frameRate = 0;
    const RunResult r = run(sim, o);
    EXPECT_TRUE(r.everyoneOut);
    EXPECT_FALSE(sim.inside(0));
    EXPECT_EQ(sim.exitUsed(0), 0);
    EXPECT_GT(sim.exitTime(0), 5.0 / 1.5);
    EXPECT_LT(sim.exitTime(0), 5.0 / 1.5 + 1.5);
    EXPECT_DOUBLE_EQ(r.endTime, sim.exitTime(0));
    EXPECT_GE(sim.position(0).x, 6.0);  // its centre passed the door line
}

TEST(Simulation, TheTimeLimitEndsARunWithPeopleInside) {
    CrowdSetup s = room(20, 4);
    s.people = {person(1, 2, 1.0)};
    Simulation sim(s);
    RunOptions o;
    o.timeLimit = 5.0;
    o.frameRate = 0;
    const RunResult r = run(sim, o);
    EXPECT_FALSE(r.everyoneOut);
    EXPECT_NEAR(r.endTime, 5.0, 1e-9);
    EXPECT_TRUE(sim.inside(0));
}

TEST(Simulation, FramesComeAtTheFrameRateWithInterpolatedPositions) {
    CrowdSetup s = room(20, 4);
    s.people = {person(1, 2, 1.0)};
    Simulation sim(s);
    RunOptions o;
    o.timeLimit = 1.0;
    o.frameRate = 24;
    std::vector<double> times, xs;
    o.onFrame = [&](const FrameView& f) {
        times.push_back(f.time);
        ASSERT_EQ(f.people.size(), 1u);
        xs.push_back(f.positions[0].x);
    };
    run(sim, o);
    ASSERT_EQ(times.size(), 25u);  // 0, 1/24, ..., 24/24
    for (std::size_t k = 0; k < times.size(); ++k)
        EXPECT_NEAR(times[k], static_cast<double>(k) / 24.0, 1e-12);
    for (std::size_t k = 1; k < xs.size(); ++k) EXPECT_GT(xs[k], xs[k - 1]);
    EXPECT_NEAR(xs.back(), sim.position(0).x, 1e-12);
}

TEST(Simulation, AFollowerCatchesUpWithItsLeader) {
    CrowdSetup s;
    s.area = WalkableArea({rect(0, 0, 30, 10)});
    s.exits.push_back({"east", {{30, 4.5}, {30, 5.5}}, {}, 0});
    s.people = {person(10, 8, 1.0), person(2, 2, 1.0)};
    s.people[1].leader = 0;
    s.people[1].role = Role::Parent;
    Simulation sim(s);
    const double before = distance(sim.position(0), sim.position(1));
    while (sim.time() < 8.0) sim.step();
    const double after = distance(sim.position(0), sim.position(1));
    EXPECT_LT(after, before - 3.0);
}

TEST(Simulation, UnusableSetupsAreRefused) {
    CrowdSetup s = room(5, 5);
    s.people = {person(1, 1)};
    s.people[0].exit = 3;
    EXPECT_THROW(Simulation{s}, std::invalid_argument);
    s.people[0].exit = -1;
    s.people[0].desiredSpeed = NAN;
    EXPECT_THROW(Simulation{s}, std::invalid_argument);
    s.people[0].desiredSpeed = 1.0;
    s.params.dt = 0.5;
    EXPECT_THROW(Simulation{s}, std::invalid_argument);
    CrowdSetup empty;
    EXPECT_THROW(Simulation{empty}, std::invalid_argument);
}

TEST(Simulation, OneTwoAndFourThreadsGiveBitIdenticalRuns) {
    // The forces are computed in the same parts and added in the same order
    // whatever the number of threads: a crowd large enough to be shared out
    // (contacts, friction, people leaving) follows the same bits.
    CrowdSetup s = room(30, 30);
    s.exits[0].segment = {{30, 14}, {30, 16}};
    crowdtest::fill(s, rect(20, 5, 29.6, 25), 1200, 7, 1.2, 2.0);
    std::vector<std::unique_ptr<Simulation>> runs;
    for (const int threads : {1, 2, 4}) {
        s.threads = threads;
        runs.push_back(std::make_unique<Simulation>(s));
        EXPECT_EQ(runs.back()->threads(), threads);
    }
    for (int k = 0; k < 300; ++k)
        for (auto& sim : runs) sim->step();
    const Simulation& a = *runs[0];
    EXPECT_LT(a.insideCount(), 1200u);  // people did leave
    for (std::size_t r = 1; r < runs.size(); ++r) {
        const Simulation& b = *runs[r];
        ASSERT_EQ(a.insideCount(), b.insideCount());
        for (int i = 0; i < 1200; ++i) {
            ASSERT_TRUE(sameBits(a.position(i).x, b.position(i).x)) << i;
            ASSERT_TRUE(sameBits(a.position(i).y, b.position(i).y)) << i;
            ASSERT_TRUE(sameBits(a.velocity(i).x, b.velocity(i).x)) << i;
            ASSERT_EQ(a.exitUsed(i), b.exitUsed(i));
        }
    }
}

// Someone standing in one's way on an open floor is walked round, not
// waited behind for good: the turn away from those ahead takes the walker
// out of the other's path, where the headway no longer holds it. Without
// the turn it stands behind (the forces alone, head on, push it back
// rather than aside).
TEST(Simulation, AWalkerStepsRoundSomeoneStandingInTheWay) {
    auto passed = [](double steerStrength) {
        CrowdSetup s = room(30, 6);
        s.params.fluctuation = 0.0;
        s.params.nervousFluctuation = 0.0;
        s.params.steerStrength = steerStrength;
        s.people = {person(2.0, 3.02, 1.34, 0.22), person(4.0, 3.0, 0.0, 0.22)};
        Simulation sim(s);
        while (sim.time() < 10.0) sim.step();
        return sim.position(0).x > sim.position(1).x + 1.0;
    };
    EXPECT_TRUE(passed(ModelParams{}.steerStrength));
    EXPECT_FALSE(passed(0.0));
}

// People leave by a door once exitWalkOn beyond its line, so that those
// behind still see them ahead while they walk out: the leaving time is the
// line's crossing plus the walk on at about one's speed.
TEST(Simulation, PeopleLeaveADoorOnceTheyHaveWalkedOnBeyondItsLine) {
    auto leftAt = [](double walkOn) {
        CrowdSetup s = room(10, 4);
        s.params.fluctuation = 0.0;
        s.params.nervousFluctuation = 0.0;
        s.params.exitWalkOn = walkOn;
        s.people = {person(7.0, 2.0, 1.2, 0.22)};
        Simulation sim(s);
        double crossed = -1.0;
        while (sim.inside(0) && sim.time() < 30.0) {
            sim.step();
            if (crossed < 0.0 && sim.inside(0) && sim.position(0).x >= 10.0) crossed = sim.time();
        }
        return std::pair{crossed, sim.exitTime(0)};
    };
    const auto [crossedAtLine, leftAtLine] = leftAt(0.0);
    EXPECT_LT(crossedAtLine, 0.0);  // gone on the line itself
    const auto [crossed, left] = leftAt(0.6);
    ASSERT_GT(crossed, 0.0);
    EXPECT_NEAR(left - crossed, 0.6 / 1.2, 0.1);
    EXPECT_NEAR(left - leftAtLine, 0.6 / 1.2, 0.1);
    // A walk on past the pocket behind the door would keep everyone inside.
    CrowdSetup s = room(10, 4);
    s.params.pocketDepth = 1.0;
    s.params.exitWalkOn = 1.5;
    s.people = {person(7.0, 2.0)};
    EXPECT_THROW(Simulation{s}, std::invalid_argument);
}
