#include <climits>

#include <gtest/gtest.h>

#include "scenario/scenario_settings.h"

using scenario::PlacementKind;
using scenario::viewToWorld;

TEST(ViewToWorld, WorkedExampleAtScale70) {
    auto exit = viewToWorld(PlacementKind::Exit, 0.5f, 0.5f, 70.0f);
    EXPECT_FLOAT_EQ(exit.x, 30.1f);
    EXPECT_FLOAT_EQ(exit.z, 32.55f);
    auto cluster = viewToWorld(PlacementKind::Cluster, 0.5f, 0.5f, 70.0f);
    EXPECT_FLOAT_EQ(cluster.x, 25.2f);
    EXPECT_FLOAT_EQ(cluster.z, 27.3f);
    auto corner = viewToWorld(PlacementKind::Exit, -1.0f, -1.0f, 70.0f);
    EXPECT_FLOAT_EQ(corner.x, -60.2f);
    EXPECT_FLOAT_EQ(corner.z, -65.1f);
    auto clusterCorner = viewToWorld(PlacementKind::Cluster, -1.0f, -1.0f, 70.0f);
    EXPECT_FLOAT_EQ(clusterCorner.x, -50.4f);
    EXPECT_FLOAT_EQ(clusterCorner.z, -54.6f);
}

TEST(ViewToWorld, ProductIsFormedInDoubleFromFloatConstants) {
    // (x * s) * f in double with the float constant 0.86f, then rounded once.
    const float x = 0.3f, s = 69.9f;
    const float expected = static_cast<float>((double(x) * double(s)) * double(0.86f));
    EXPECT_EQ(viewToWorld(PlacementKind::Exit, x, 0.0f, s).x, expected);
    // Rounding through float between the two products would differ here.
    const float twoStep = static_cast<float>(static_cast<float>(x * s) * 0.86f);
    (void)twoStep;
}

TEST(ViewToWorld, CentreAndZeroScaleGiveOrigin) {
    auto centre = viewToWorld(PlacementKind::Cluster, 0.0f, 0.0f, 70.0f);
    EXPECT_EQ(centre.x, 0.0f);
    EXPECT_EQ(centre.z, 0.0f);
    auto noScale = viewToWorld(PlacementKind::Exit, 0.7f, -0.4f, 0.0f);
    EXPECT_EQ(noScale.x, 0.0f);
    EXPECT_EQ(noScale.z, 0.0f);
}

TEST(ViewToWorld, AxesAreNotNegated) {
    auto below = viewToWorld(PlacementKind::Exit, 0.0f, 0.5f, 10.0f);
    EXPECT_GT(below.z, 0.0f);
    auto left = viewToWorld(PlacementKind::Exit, -0.5f, 0.0f, 10.0f);
    EXPECT_LT(left.x, 0.0f);
}

TEST(FloorScale, TruncatesTowardZero) {
    EXPECT_EQ(scenario::floorScaleFromScale(69.9f), 69);
    EXPECT_EQ(scenario::floorScaleFromScale(70.0f), 70);
    EXPECT_EQ(scenario::floorScaleFromScale(0.0f), 0);
    EXPECT_EQ(scenario::floorScaleFromScale(1e20f), INT_MAX);
}

TEST(CountFromText, FollowsTheAtoiRule) {
    using scenario::countFromText;
    EXPECT_EQ(countFromText(""), 0);
    EXPECT_EQ(countFromText("7"), 7);
    EXPECT_EQ(countFromText("007"), 7);
    EXPECT_EQ(countFromText("  42abc"), 42);
    EXPECT_EQ(countFromText("-3"), -3);
    EXPECT_EQ(countFromText("+9"), 9);
    EXPECT_EQ(countFromText("abc"), 0);
    EXPECT_EQ(countFromText("- 5"), 0);
    EXPECT_EQ(countFromText("150"), 150);
    EXPECT_EQ(countFromText("99999999999999999999"), INT_MAX);
    EXPECT_EQ(countFromText("-99999999999999999999"), INT_MIN);
    EXPECT_EQ(countFromText("2147483647"), INT_MAX);
    EXPECT_EQ(countFromText("-2147483648"), INT_MIN);
}

TEST(CommandFlags, EachCommandSetsOnlyItsFlag) {
    scenario::ScenarioSettings s;
    applyCommandFlags(s, scenario::BuildCommand::RunMorvanta);
    EXPECT_FALSE(s.recordKvx);
    EXPECT_FALSE(s.recordAvi);
    applyCommandFlags(s, scenario::BuildCommand::CreateKvx);
    EXPECT_TRUE(s.recordKvx);
    EXPECT_FALSE(s.recordAvi);
    applyCommandFlags(s, scenario::BuildCommand::CreateAvi);
    EXPECT_FALSE(s.recordKvx);
    EXPECT_TRUE(s.recordAvi);
}
