#include <gtest/gtest.h>

#include <cmath>

#include "crowd/placement.h"
#include "crowd/world.h"
#include "crowd_test_helpers.h"

using namespace crowd;
using crowdtest::rect;

namespace {

// A room 10 m x 10 m split by a partition from the south wall up to y = 8;
// the door is in the east wall near the south corner.
CrowdSetup partitionedRoom() {
    CrowdSetup s;
    s.area = WalkableArea(
        {{{0, 0}, {4.9, 0}, {4.9, 8}, {5.1, 8}, {5.1, 0}, {10, 0}, {10, 10}, {0, 10}}});
    s.exits.push_back({"east", {{10, 1}, {10, 2}}, {}, 0});
    return s;
}

}  // namespace

TEST(Navigation, TheWalkGoesAroundAPartitionNotThroughIt) {
    const World world(partitionedRoom());
    const Vec2 start{2, 1.5};
    const double straight = distance(start, {10, 1.5});  // 8 m, through the partition
    const double around = distance(start, {5, 8}) + distance(Vec2{5, 8}, {10, 1.5});
    const double walk = world.walkDistance(0, start);
    EXPECT_GT(walk, straight * 1.5);
    EXPECT_GT(walk, around * 0.95);
    EXPECT_LT(walk, around * 1.4);  // wall band costs add a little
    // Facing the partition, the way out leads north first.
    const Vec2 d = world.desiredDirection(0, start);
    EXPECT_GT(d.y, 0.6);
    EXPECT_NEAR(length(d), 1.0, 1e-6);
    // Past the partition's end, it leads south-east to the door.
    const Vec2 d2 = world.desiredDirection(0, {7, 7});
    EXPECT_GT(d2.x, 0.2);
    EXPECT_LT(d2.y, -0.5);
}

TEST(Navigation, DirectionsInACorridorPointAlongItToTheExit) {
    CrowdSetup s;
    s.area = WalkableArea({rect(0, 0, 40, 2)});
    s.exits.push_back({"east", {{40, 0}, {40, 2}}, {}, 0});
    const World world(s);
    for (double x : {1.0, 10.0, 25.0, 39.0}) {
        const Vec2 d = world.desiredDirection(0, {x, 1.0});
        EXPECT_GT(d.x, 0.99) << "at x = " << x;
    }
    EXPECT_NEAR(world.walkDistance(0, {10, 1}), 30.0, 0.3);
}

TEST(Navigation, AWallThinnerThanACellDoesNotLeak) {
    // Two rooms side by side sharing an edge of zero thickness, joined only
    // at the north: the shared edge is one polygon's hole boundary.
    CrowdSetup s;
    s.area = WalkableArea(
        {{{0, 0}, {5, 0}, {5, 6}, {5.0001, 6}, {5.0001, 0}, {10, 0}, {10, 8}, {0, 8}}});
    s.exits.push_back({"east", {{10, 0.5}, {10, 1.5}}, {}, 0});
    s.params.navCell = 0.25;
    const World world(s);
    EXPECT_GT(world.walkDistance(0, {4, 1}), 10.0);
}

TEST(Placement, PeopleAreMovedToTheNearestFreeSpot) {
    const WalkableArea area({rect(0, 0, 4, 4)});
    Placer placer(area);
    ASSERT_TRUE(placer.isFree({2, 2}, 0.3));
    placer.add({2, 2}, 0.3);
    EXPECT_FALSE(placer.isFree({2.2, 2}, 0.3));
    const auto q = placer.nearestFree({2.1, 2}, 0.3);
    ASSERT_TRUE(q);
    EXPECT_GE(distance(*q, {2, 2}), 0.6);
    EXPECT_LT(distance(*q, {2, 2}), 0.7);
    // Outside the floor: pulled in, clear of the wall by the radius.
    const auto r = placer.nearestFree({6, 1}, 0.3);
    ASSERT_TRUE(r);
    EXPECT_TRUE(area.contains(*r));
    EXPECT_GE(4.0 - r->x, 0.3);
    EXPECT_LT(4.0 - r->x, 0.4);
}

TEST(Placement, AFullRoomHasNoSpotLeft) {
    const WalkableArea area({rect(0, 0, 1, 1)});
    Placer placer(area);
    placer.add({0.5, 0.5}, 0.3);
    EXPECT_FALSE(placer.nearestFree({0.5, 0.5}, 0.3).has_value());
}
