// The scene's description and frames: walls around door gaps, and the
// interpolation that the window and the replay show between saved frames.
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using crowd::Vec2;

double totalLength(const std::vector<crowd::Segment>& walls) {
    double s = 0.0;
    for (const auto& w : walls) s += crowd::distance(w.a, w.b);
    return s;
}

TEST(SceneWalls, DoorGapsAreCutOutOfTheirEdgeOnly) {
    const std::vector<crowd::Polygon> floor = {{{0, 0}, {10, 0}, {10, 10}, {0, 10}},
                                               {{4, 4}, {5, 4}, {5, 5}, {4, 5}}};  // a pillar
    std::vector<scene::SceneExit> exits = {
        {"exit 1", true, {{10, 4.5}, {10, 5.5}}},  // in the east wall
        {"exit 2", true, {{3, 10}, {1, 10}}},      // reversed, in the north wall
        {"exit 3", false, {{5, 2}, {6, 2}}},       // a target line: no gap
    };
    const auto walls = scene::wallsWithoutGaps(floor, exits);
    EXPECT_NEAR(totalLength(walls), 40.0 + 4.0 - 1.0 - 2.0, 1e-9);
    for (const auto& w : walls) {
        const Vec2 mid = 0.5 * (w.a + w.b);
        const bool inGap1 = std::fabs(mid.x - 10) < 1e-9 && mid.y > 4.5 && mid.y < 5.5;
        const bool inGap2 = std::fabs(mid.y - 10) < 1e-9 && mid.x > 1 && mid.x < 3;
        EXPECT_FALSE(inGap1 || inGap2) << mid.x << ", " << mid.y;
    }
    // A gap at a corner, reaching past the edge's end, cuts up to the corner.
    exits = {{"exit 1", true, {{9.5, 0}, {10.5, 0}}}};
    EXPECT_NEAR(totalLength(scene::wallsWithoutGaps(floor, exits)), 44.0 - 0.5, 1e-9);
}

TEST(SceneFrames, InterpolationMovesTheSamePeopleAndDropsLeaversHalfway) {
    const scene::SceneFrame a{1.0, {0, 1, 2}, {{0, 0}, {1, 1}, {5, 5}}};
    const scene::SceneFrame b{2.0, {0, 2}, {{1, 0}, {5, 5.8}}};  // 1 left between the frames
    scene::SceneFrame f = scene::interpolate(a, b, 1.25);
    ASSERT_EQ(f.people, (std::vector<int>{0, 1, 2}));
    EXPECT_DOUBLE_EQ(f.positions[0].x, 0.25);
    EXPECT_DOUBLE_EQ(f.positions[1].x, 1.0);  // stays where last seen
    EXPECT_DOUBLE_EQ(f.positions[2].y, 5.2);
    f = scene::interpolate(a, b, 1.75);
    ASSERT_EQ(f.people, (std::vector<int>{0, 2}));
    EXPECT_DOUBLE_EQ(f.positions[1].y, 5.6);
    // A wrap-around jump is shown at one end or the other, never in between.
    const scene::SceneFrame c{1.0, {0}, {{9.9, 1}}};
    const scene::SceneFrame d{2.0, {0}, {{0.1, 1}}};
    EXPECT_DOUBLE_EQ(scene::interpolate(c, d, 1.4).positions[0].x, 9.9);
    EXPECT_DOUBLE_EQ(scene::interpolate(c, d, 1.6).positions[0].x, 0.1);
}

TEST(SceneFrames, TrackGivesTheFrameAtAnyTimeAndDropsWhatIsShown) {
    scene::FrameTrack track;
    EXPECT_TRUE(track.at(3.0).people.empty());
    for (int k = 0; k <= 4; ++k) track.append({k * 0.5, {7}, {{static_cast<double>(k), 0.0}}});
    EXPECT_DOUBLE_EQ(track.at(-1.0).positions[0].x, 0.0);  // clamped
    EXPECT_DOUBLE_EQ(track.at(9.0).positions[0].x, 4.0);
    EXPECT_DOUBLE_EQ(track.at(1.0).positions[0].x, 2.0);  // on a frame
    EXPECT_DOUBLE_EQ(track.at(1.2).positions[0].x, 2.4);  // between two
    track.dropBefore(1.2);                                // keeps the frame at 1.0, needed for 1.2
    EXPECT_DOUBLE_EQ(track.startTime(), 1.0);
    EXPECT_DOUBLE_EQ(track.at(1.2).positions[0].x, 2.4);
    track.dropBefore(0.2);  // nothing earlier to drop
    EXPECT_EQ(track.size(), 3u);
}

}  // namespace
