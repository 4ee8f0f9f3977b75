// A project written by the generator reads back to exactly its scenario,
// and mvnrt simulates it.
#include <gtest/gtest.h>

#include <random>

#include "generator/generated_texts.h"
#include "projectformat/startup_script_format.h"

#include "generator/project_builder.h"
#include "inputs/project.h"
#include "support/runtime_test_helpers.h"
#include "scenario/scenario_settings.h"
#include "support/scenarios.h"

TEST(GeneratorRoundTrip, TheWorkedExampleReadsBackToItsScenario) {
    testsupport::TempDir dir;
    testsupport::copyTemplates(dir.path());
    scenario::ScenarioSettings s = testsupport::workedExampleScenario();
    s.floorPath = "unchanged\\floor.kvx";
    s.startDirectory = dir.path().string();
    generator::buildProject(s, dir.path());
    // Byte for byte the golden script the reader's own tests use.
    EXPECT_EQ(testsupport::readFile(dir / "bProj" / "Vellico" / "startup.pc"),
              runtimetest::workedExample());

    const runtime::ProjectData p = runtime::readProject(dir.path());
    EXPECT_EQ(p.script.totalPeople, 20);
    EXPECT_TRUE(p.script.recordKvx());
    EXPECT_FALSE(p.script.recordAvi());
    EXPECT_FLOAT_EQ(p.script.va.x, 17.5f);
    EXPECT_FLOAT_EQ(p.script.vb.x, 7.5f);
    EXPECT_FLOAT_EQ(p.script.va.z, -30.25f);
    EXPECT_FLOAT_EQ(p.script.va2.x, 5.0f);
    EXPECT_FLOAT_EQ(p.script.vb2.x, -5.0f);
    EXPECT_FLOAT_EQ(p.script.vb2.z, -65.0f);
    EXPECT_EQ(p.script.scattered, 0);
    ASSERT_EQ(p.script.clusters.size(), 2u);
    EXPECT_FLOAT_EQ(p.script.clusters[1].x, -15.5f);
    EXPECT_FLOAT_EQ(p.script.clusters[1].z, 4.75f);
    EXPECT_EQ(p.floorOutline.size(), 9u);  // the basic floor, copied into the project

    const runtime::ProjectSetup ps = runtime::buildProjectSetup(p, 1);
    EXPECT_EQ(ps.setup.people.size(), 20u);
}

// Whatever the generator renders from the table, the reader matches against
// the same table: random scenarios read back to their numbers.
TEST(GeneratorRoundTrip, RandomScenariosReadBackThroughTheSameTable) {
    std::mt19937 random(20261208);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    auto real = [&]() { return static_cast<float>(pick(200001) - 100000) / 64.0f; };
    for (int round = 0; round < 200; ++round) {
        scenario::ScenarioSettings s;
        s.pairCount = pick(100);
        s.adultCount = pick(100);
        s.childCount = pick(100);
        s.recordKvx = pick(2) == 1;
        s.recordAvi = !s.recordKvx && pick(2) == 1;
        s.exitCount = pick(3);
        s.clusterCount = pick(41);
        for (auto& e : s.exits) e = {real(), real()};
        for (auto& c : s.clusters) c = {real(), real()};
        s.floorScale = pick(1000);
        const std::string text = generator::startupScriptText(s);
        const runtime::StartupScript r = runtime::parseStartupScript(text);
        const auto layout =
            generator::layoutPeople(s.pairCount, s.adultCount, s.childCount, s.clusterCount);
        SCOPED_TRACE(round);
        EXPECT_EQ(r.totalPeople, layout.total);
        EXPECT_EQ(r.scattered, layout.scattered);
        ASSERT_EQ(static_cast<long long>(r.clusters.size()), layout.used);
        EXPECT_EQ(r.recordKvx(), s.recordKvx);
        EXPECT_EQ(r.recordAvi(), s.recordAvi);
        // Reals are written with six digits: compare as written.
        auto same = [](float read, float written) {
            return projectformat::formatReal(read) == projectformat::formatReal(written);
        };
        if (s.exitCount >= 1) {
            EXPECT_TRUE(same(r.va.x, s.exits[0].x + 5.0f) && same(r.va.z, s.exits[0].z));
            EXPECT_TRUE(same(r.vb.x, s.exits[0].x - 5.0f));
        }
        if (s.exitCount == 2) {
            EXPECT_TRUE(same(r.vb2.x, s.exits[1].x - 5.0f));
        }
        for (std::size_t k = 0; k < r.clusters.size(); ++k) {
            EXPECT_TRUE(same(r.clusters[k].x, s.clusters[k].x) &&
                        same(r.clusters[k].z, s.clusters[k].z));
        }
    }
}
