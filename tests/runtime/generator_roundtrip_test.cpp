// A project written by the generator reads back to exactly its scenario,
// and mvnrt simulates it.
#include <gtest/gtest.h>

#include "generator/project_builder.h"
#include "runtime/project.h"
#include "runtime_test_helpers.h"
#include "scenario/scenario_settings.h"
#include "support/scenarios.h"

TEST(GeneratorRoundTrip, TheWorkedExampleReadsBackToItsScenario) {
    testsupport::TempDir dir;
    testsupport::copyTemplates(dir.path());
    scenario::ScenarioSettings s = testsupport::workedExampleScenario();
    s.floorPath = "unchanged\\floor.kvx";
    s.startDirectory = dir.path().string();
    {
        testsupport::ScopedCurrentDirectory cd(dir.path());
        generator::buildProject(s);
    }
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
