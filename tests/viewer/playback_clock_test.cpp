// The picture's clock: pause stops it, the speed steps scale it, and it never
// shows a time for which there is no frame yet.
#include "viewer/playback_clock.h"

#include <gtest/gtest.h>

namespace {

TEST(PlaybackClock, PauseStopsItAndSpeedStepsScaleIt) {
    viewer::PlaybackClock c;
    EXPECT_EQ(c.label(), "x1");
    c.advance(0.5, 100.0);
    EXPECT_DOUBLE_EQ(c.time(), 0.5);
    c.togglePause();
    c.advance(10.0, 100.0);
    EXPECT_DOUBLE_EQ(c.time(), 0.5);
    EXPECT_EQ(c.label(), "paused (x1)");
    c.togglePause();
    // Down to a quarter, and no further.
    for (int i = 0; i < 5; ++i) c.slower();
    EXPECT_EQ(c.label(), "x1/4");
    c.advance(1.0, 100.0);
    EXPECT_DOUBLE_EQ(c.time(), 0.75);
    // Up through x2 ... x64.
    double expected = 0.75;
    for (double factor : {0.5, 1.0, 2.0, 4.0, 8.0, 16.0, 32.0, 64.0}) {
        c.faster();
        EXPECT_DOUBLE_EQ(c.speed(), factor);
        c.advance(0.01, 1e9);
        expected += 0.01 * factor;
        EXPECT_NEAR(c.time(), expected, 1e-9) << factor;
    }
    EXPECT_EQ(c.label(), "x64");
}

TEST(PlaybackClock, NeverAheadOfTheNewestFrameAndUnlimitedFollowsIt) {
    viewer::PlaybackClock c;
    c.advance(5.0, 2.0);
    EXPECT_DOUBLE_EQ(c.time(), 2.0);
    c.advance(1.0, 1.0);  // nothing newer: it does not go back either
    EXPECT_DOUBLE_EQ(c.time(), 2.0);
    for (int i = 0; i < 20; ++i) c.faster();
    EXPECT_TRUE(c.unlimited());
    EXPECT_EQ(c.label(), "as fast as it computes");
    c.advance(0.0, 37.5);
    EXPECT_DOUBLE_EQ(c.time(), 37.5);
    c.setPaused(true);
    c.advance(1.0, 80.0);
    EXPECT_DOUBLE_EQ(c.time(), 37.5);
    // --speed: the nearest step on a log scale.
    c.setSpeed(2.5);
    EXPECT_EQ(c.speed(), 2.0);
    c.setSpeed(3.0);
    EXPECT_EQ(c.speed(), 4.0);
    c.setSpeed(0.1);
    EXPECT_EQ(c.speed(), 0.25);
    c.setSpeed(0.0);
    EXPECT_TRUE(c.unlimited());
}

}  // namespace
