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

TEST(MakeScenarioSettings, ConvertsViewPlacementsKeepsWorldOnesAndTakesTheFirstSlots) {
    scenario::ScenarioInput in;
    in.pairCount = 3;
    in.adultCount = 0;
    in.childCount = 99;
    in.command = scenario::BuildCommand::CreateAvi;
    in.scale = 70.9f;
    in.exits = {{0.5f, -0.25f}, {-60.0f, 12.5f, true}, {0.1f, 0.1f}};  // a third is dropped
    for (int k = 0; k < 45; ++k) {
        const float v = static_cast<float>(k) / 50.0f;
        in.clusters.push_back({v, -v});
    }
    in.floorPath = "floors\\\\plan.kvx";
    in.startDirectory = "/tmp/start";
    const scenario::ScenarioSettings s = scenario::makeScenarioSettings(in);
    EXPECT_EQ(s.pairCount, 3);
    EXPECT_EQ(s.adultCount, 0);
    EXPECT_EQ(s.childCount, 99);
    EXPECT_FALSE(s.recordKvx);
    EXPECT_TRUE(s.recordAvi);
    ASSERT_EQ(s.exitCount, 2);
    const auto e0 = scenario::viewToWorld(scenario::PlacementKind::Exit, 0.5f, -0.25f, 70.9f);
    EXPECT_EQ(s.exits[0].x, e0.x);
    EXPECT_EQ(s.exits[0].z, e0.z);
    EXPECT_EQ(s.exits[1].x, -60.0f);  // world units pass unchanged
    EXPECT_EQ(s.exits[1].z, 12.5f);
    ASSERT_EQ(s.clusterCount, scenario::kMaxClusters);
    const auto c39 =
        scenario::viewToWorld(scenario::PlacementKind::Cluster, 39.0f / 50.0f, -39.0f / 50.0f, 70.9f);
    EXPECT_EQ(s.clusters[39].x, c39.x);
    EXPECT_EQ(s.clusters[39].z, c39.z);
    EXPECT_EQ(s.floorScale, 70);  // the integer part of the view's scale
    EXPECT_EQ(s.floorPath, in.floorPath);
    EXPECT_EQ(s.startDirectory, in.startDirectory);

    in.exits.clear();
    in.clusters.clear();
    const scenario::ScenarioSettings none = scenario::makeScenarioSettings(in);
    EXPECT_EQ(none.exitCount, 0);
    EXPECT_EQ(none.clusterCount, 0);
}
