#include "crowd/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

#include "crowd/world.h"
#include "crowd_test_helpers.h"

using namespace crowd;
using crowdtest::rect;

TEST(Geometry, EvenOddAreaTreatsInnerPolygonsAsHoles) {
    const WalkableArea area({rect(0, 0, 10, 10), rect(4, 4, 6, 6)});
    EXPECT_TRUE(area.contains({1, 1}));
    EXPECT_FALSE(area.contains({5, 5}));   // in the pillar
    EXPECT_FALSE(area.contains({11, 5}));  // outside
    EXPECT_NEAR(area.area(), 96.0, 1e-9);
}

TEST(Geometry, ContainsEachDecidesAsContainsDoesForEveryPoint) {
    // A star with a hole, points on a lattice through vertices and edges
    // (ties at a vertex's y), and random ones: the batched test must make
    // contains()'s decision for each, in the points' own order.
    Polygon star;
    for (int k = 0; k < 14; ++k) {
        const double a = k * 3.14159265358979 / 7, r = k % 2 ? 2.0 : 5.0;
        star.push_back({r * std::cos(a), r * std::sin(a)});
    }
    const WalkableArea area({star, rect(-1, -1, 1, 1)});
    std::vector<Vec2> points;
    for (double x = -6; x <= 6; x += 0.5)
        for (double y = -6; y <= 6; y += 0.25) points.push_back({x, y});
    for (const Vec2& v : star) points.push_back(v);
    unsigned state = 7;
    for (int k = 0; k < 2000; ++k) {
        state = state * 1103515245u + 12345u;
        const double x = (state >> 8) % 12000 / 1000.0 - 6.0;
        state = state * 1103515245u + 12345u;
        points.push_back({x, (state >> 8) % 12000 / 1000.0 - 6.0});
    }
    const std::vector<std::uint8_t> inside = area.containsEach(points);
    ASSERT_EQ(inside.size(), points.size());
    std::size_t in = 0;
    for (std::size_t k = 0; k < points.size(); ++k) {
        EXPECT_EQ(inside[k] != 0, area.contains(points[k])) << points[k].x << ", " << points[k].y;
        in += inside[k];
    }
    EXPECT_GT(in, points.size() / 10);  // both answers occur
    EXPECT_LT(in, points.size());
}

TEST(Geometry, SelfIntersectionAndHull) {
    const Polygon bowtie{{0, 0}, {10, 0}, {0, 10}, {10, 10}};
    EXPECT_TRUE(isSelfIntersecting(bowtie));
    EXPECT_FALSE(isSelfIntersecting(rect(0, 0, 10, 10)));
    const Polygon hull = convexHull(bowtie);
    EXPECT_EQ(hull.size(), 4u);
    EXPECT_NEAR(std::fabs(signedArea(hull)), 100.0, 1e-9);
}

TEST(Geometry, PolygonProblems) {
    EXPECT_EQ(polygonProblem(rect(0, 0, 1, 1)), "");
    EXPECT_NE(polygonProblem({{0, 0}, {1, 1}}), "");
    EXPECT_NE(polygonProblem({{0, 0}, {1, 1}, {2, 2}}), "");  // no area
    EXPECT_NE(polygonProblem({{0, 0}, {0, 0}, {1, 0}, {1, 0}}), "");
    EXPECT_NE(polygonProblem({{0, 0}, {NAN, 0}, {1, 1}}), "");
}

TEST(Geometry, SegmentDistanceAndCrossing) {
    const Segment s{{0, 0}, {10, 0}};
    EXPECT_DOUBLE_EQ(distanceToSegment(s, {5, 3}), 3.0);
    EXPECT_DOUBLE_EQ(distanceToSegment(s, {-3, 4}), 5.0);
    EXPECT_TRUE(segmentsIntersect({5, -1}, {5, 1}, s.a, s.b));
    EXPECT_FALSE(segmentsIntersect({5, 0.1}, {5, 1}, s.a, s.b));
}

TEST(Exits, AnExitOnAWallOpensExactlyThatPartOfIt) {
    const WalkableArea area({rect(0, 0, 10, 10)});
    std::vector<Segment> walls;
    const auto exits = resolveExits(area, {{"e", {{10, 4.5}, {10, 5.5}}, {}, 0}}, 1.5, walls);
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].kind, ExitKind::Door);
    EXPECT_NEAR(exits[0].width, 1.0, 1e-12);
    EXPECT_NEAR(exits[0].outward.x, 1.0, 1e-12);  // out of the room, east
    // Four edges, one of them split around the door: five walls, and none
    // covers the opening.
    EXPECT_EQ(walls.size(), 5u);
    for (const Segment& w : walls) EXPECT_GT(distanceToSegment(w, {10, 5}), 0.49);
}

TEST(Exits, AnExitNearAWallOrOutsideIsProjectedOntoTheNearestWall) {
    // The generator's default exits lie 5 units (0.5 m) inside or far outside the floor.
    const WalkableArea area({rect(-7, -6, 7, 4)});
    std::vector<Segment> walls;
    const auto exits = resolveExits(area,
                                    {{"inside", {{0.5, 3.5}, {-0.5, 3.5}}, {}, 0},
                                     {"outside", {{0.5, -6.5}, {-0.5, -6.5}}, {}, 0}},
                                    1.5, walls);
    ASSERT_EQ(exits.size(), 2u);
    EXPECT_EQ(exits[0].kind, ExitKind::Door);
    EXPECT_NEAR(exits[0].opening.a.y, 4.0, 1e-12);
    EXPECT_NEAR(exits[0].outward.y, 1.0, 1e-12);
    EXPECT_EQ(exits[1].kind, ExitKind::Door);
    EXPECT_NEAR(exits[1].opening.a.y, -6.0, 1e-12);
    EXPECT_NEAR(exits[1].outward.y, -1.0, 1e-12);
    EXPECT_NEAR(exits[1].width, 1.0, 1e-12);
}

TEST(Exits, AnExitInTheMiddleOfTheRoomIsATargetLineAndOpensNoWall) {
    const WalkableArea area({rect(0, 0, 20, 20)});
    std::vector<Segment> walls;
    const auto exits = resolveExits(area, {{"stairs", {{9, 10}, {11, 10}}, {}, 0}}, 1.5, walls);
    EXPECT_EQ(exits[0].kind, ExitKind::Target);
    EXPECT_EQ(walls.size(), 4u);
}

TEST(Exits, ADoorWiderThanItsWallIsCutToTheWall) {
    const WalkableArea area(
        {{{0, 0}, {10, 0}, {10, 10}, {5.5, 10}, {5.5, 11}, {4.5, 11}, {4.5, 10}, {0, 10}}});
    std::vector<Segment> walls;
    const auto exits = resolveExits(area, {{"niche", {{3, 11}, {7, 11}}, {}, 0}}, 1.5, walls);
    EXPECT_EQ(exits[0].kind, ExitKind::Door);
    EXPECT_NEAR(exits[0].width, 1.0, 1e-12);
    EXPECT_NEAR(exits[0].opening.a.y, 11.0, 1e-12);
}
