// Who starts where in a project: the roles typed (the build's scenario record
// beside the tree), clusters where they were clicked (pixel -> view units ->
// the script -> the runtime), and floors checked before anyone is placed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scenario/build_record.h"
#include "generator/generated_texts.h"
#include "projectformat/startup_script_format.h"
#include "floorplan/floor_fit.h"
#include "inputs/project.h"
#include "support/runtime_test_helpers.h"
#include "scenario/scenario_settings.h"

using runtimetest::counts;

namespace {

using runtimetest::fixture;

struct ViewSize {
    int width;
    int height;
};
constexpr ViewSize kSizes[] = {{242, 200}, {326, 250}};

// The view position the dialog records for a click on the pixel over floor
// point (x, z) (the view draws it at (x, z) / (s + 1)).
float viewAxis(double floorCoordinate, float s, int extent) {
    const double half = extent / 2.0;
    const double pixel = std::round((floorCoordinate / (s + 1.0) + 1.0) * half);
    return static_cast<float>(pixel - half) * static_cast<float>(1.0 / half);
}

// Writes the tree the dialog writes for `s` on `floorText`, and its record
// when `record` is given; reads it back as mvnrt does.
runtime::ProjectData built(const testsupport::TempDir& dir, const scenario::ScenarioSettings& s,
                           const std::string& floorText,
                           const std::optional<scenario::BuildRequest>& record = std::nullopt) {
    runtimetest::writeProject(dir.path(), generator::startupScriptText(s), floorText);
    if (record) {
        EXPECT_EQ(scenario::writeBuildRecord(dir.path(), *record), "");
    }
    return runtime::readProject(dir.path());
}

scenario::BuildRequest typed(int pairs, int adults, int children) {
    scenario::BuildRequest r;
    r.pairs = pairs;
    r.adults = adults;
    r.children = children;
    return r;
}

struct Roles {
    int children = 0, parents = 0, adults = 0, joggers = 0;
};

Roles rolesOf(const crowd::CrowdSetup& setup) {
    Roles r;
    for (const crowd::PersonSpec& p : setup.people) {
        if (p.role == crowd::Role::Child) ++r.children;
        if (p.role == crowd::Role::Parent) ++r.parents;
        if (p.role == crowd::Role::Adult) ++r.adults;
        if (p.role == crowd::Role::JoggingChild) ++r.joggers;
    }
    return r;
}

// Six clusters on the basic floor, as the engineer of the issue placed them.
scenario::ScenarioSettings sixClusters(scenario::ScenarioSettings s) {
    const double points[6][2] = {{-50, -20}, {-20, 20}, {20, -20}, {50, 20}, {40, -25}, {-45, 25}};
    s.clusterCount = 6;
    for (int k = 0; k < 6; ++k)
        s.clusters[static_cast<std::size_t>(k)] = scenario::viewToWorld(
            scenario::PlacementKind::Cluster, viewAxis(points[k][0], 70.0f, 242),
            viewAxis(points[k][1], 70.0f, 200), 70.0f);
    s.floorScale = 70;
    return s;
}

}  // namespace

TEST(ProjectRoles, TheRecordBesideTheTreeGivesThePeopleTyped) {
    testsupport::TempDir dir;
    const runtime::ProjectData data = built(dir, sixClusters(counts(30, 20, 10)),
                                            runtimetest::basicFloor(), typed(30, 20, 10));
    ASSERT_TRUE(data.record.typed.has_value()) << data.record.problem;
    const runtime::ProjectSetup ps = runtime::buildProjectSetup(data, 1);
    const Roles r = rolesOf(ps.setup);
    EXPECT_EQ(r.children, 30);
    EXPECT_EQ(r.parents, 30);
    EXPECT_EQ(r.adults, 20);
    EXPECT_EQ(r.joggers, 10);
    // Every parent follows the child loaded just before it, and starts
    // beside it, in the scattered part as in the clusters.
    for (std::size_t i = 0; i < ps.setup.people.size(); ++i) {
        const crowd::PersonSpec& p = ps.setup.people[i];
        if (p.role != crowd::Role::Parent) continue;
        ASSERT_EQ(p.leader, static_cast<int>(i) - 1);
        const crowd::PersonSpec& child = ps.setup.people[i - 1];
        EXPECT_EQ(child.role, crowd::Role::Child);
        EXPECT_LT(crowd::distance(p.start, child.start), 1.5) << "family of person " << i - 1;
    }
    EXPECT_EQ(ps.roleRule.rfind("roles as typed: 30 families, 20 adults, 10 children", 0), 0u)
        << ps.roleRule;
    EXPECT_NE(ps.roleRule.find("bProj-scenario.json"), std::string::npos) << ps.roleRule;
}

TEST(ProjectRoles, WithoutARecordOrWithOneOfAnotherBuildTheScriptsRuleGivesThemAndSaysSo) {
    for (const bool stale : {false, true}) {
        SCOPED_TRACE(stale ? "record of another build" : "no record");
        testsupport::TempDir dir;
        const runtime::ProjectData data =
            built(dir, sixClusters(counts(30, 20, 10)), runtimetest::basicFloor(),
                  stale ? std::optional(typed(5, 5, 5)) : std::nullopt);
        EXPECT_FALSE(data.record.typed.has_value());
        const runtime::ProjectSetup ps = runtime::buildProjectSetup(data, 1);
        const Roles r = rolesOf(ps.setup);
        EXPECT_EQ(r.children, 15);
        EXPECT_EQ(r.parents, 15);
        EXPECT_EQ(r.adults, 30);
        EXPECT_EQ(r.joggers, 30);
        EXPECT_EQ(ps.roleRule.rfind("roles by the startup script's rule, not as typed", 0), 0u)
            << ps.roleRule;
        EXPECT_NE(ps.roleRule.find(stale ? "was not used: it types 20 people"
                                         : "there is no scenario record"),
                  std::string::npos)
            << ps.roleRule;
    }
}

TEST(ProjectRoles, RolesGoInLoadOrderFamiliesFirst) {
    using R = crowd::Role;
    EXPECT_EQ(runtime::projectRoles(7, runtime::TypedRoles{2, 1, 2}),
              (std::vector<R>{R::Child, R::Parent, R::Child, R::Parent, R::Adult,
                              R::JoggingChild, R::JoggingChild}));
    // The script's rule: 30 alternating, 30 adults, the rest jogging; a crowd
    // that ends on a child leaves it without a parent.
    const std::vector<R> script = runtime::projectRoles(65, std::nullopt);
    EXPECT_EQ(script[28], R::Child);
    EXPECT_EQ(script[29], R::Parent);
    EXPECT_EQ(script[30], R::Adult);
    EXPECT_EQ(script[59], R::Adult);
    EXPECT_EQ(script[60], R::JoggingChild);
    EXPECT_EQ(runtime::projectRoles(5, std::nullopt).back(), R::Child);
}

TEST(ClusterPlaces, AClusterStartsWhereItWasClickedOnTheBasicFloorAndAnLFloor) {
    struct Case {
        std::string floor;
        float scale;
        std::vector<crowd::Vec2> points;  // floor units (decimetres)
    };
    const Case cases[] = {
        {runtimetest::basicFloor(), 70.0f, {{45, 15}, {-40, -20}, {0, 20}}},
        {fixture("l-floor.kvx"), 150.0f, {{-100, 60}, {100, -50}, {-20, -60}}},
    };
    for (const Case& c : cases) {
        for (const ViewSize size : kSizes) {
            scenario::ScenarioSettings s = counts(0, 10 * static_cast<int>(c.points.size()), 0);
            s.clusterCount = static_cast<int>(c.points.size());
            for (std::size_t k = 0; k < c.points.size(); ++k)
                s.clusters[k] = scenario::viewToWorld(
                    scenario::PlacementKind::Cluster, viewAxis(c.points[k].x, c.scale, size.width),
                    viewAxis(c.points[k].y, c.scale, size.height), c.scale);
            s.floorScale = static_cast<int>(c.scale);
            testsupport::TempDir dir;
            const runtime::ProjectSetup ps =
                runtime::buildProjectSetup(built(dir, s, c.floor), 1);
            ASSERT_EQ(ps.clusterPlaces.size(), c.points.size());
            for (std::size_t k = 0; k < c.points.size(); ++k) {
                crowd::Vec2 sum{0.0, 0.0};
                for (std::size_t i = 10 * k; i < 10 * k + 10; ++i)
                    sum = sum + ps.setup.people[i].start;
                const crowd::Vec2 clicked = 0.1 * c.points[k];
                SCOPED_TRACE("view " + std::to_string(size.width) + "x" +
                             std::to_string(size.height) + ": " + ps.clusterPlaces[k]);
                EXPECT_LT(crowd::distance(0.1 * sum, clicked), 0.3);
                EXPECT_EQ(ps.clusterPlaces[k].rfind("cluster " + std::to_string(k + 1) +
                                                        ": clicked at (",
                                                    0),
                          0u);
            }
        }
    }
}

TEST(FloorFit, PeopleThatCannotStandOnTheFloorAreRefusedNamingTheFileTheUserChose) {
    scenario::ScenarioSettings s = counts(0, 20, 0);
    scenario::BuildRequest record = typed(0, 20, 0);
    record.floor = "/home/ana/plans/hall.kvx";
    for (const bool withRecord : {true, false}) {
        testsupport::TempDir dir;
        const runtime::ProjectData data =
            built(dir, s, fixture("hall-metres-unstated.kvx"),
                  withRecord ? std::optional(record) : std::nullopt);
        try {
            (void)runtime::buildProjectSetup(data, 1);
            FAIL() << "20 people stood on 2.4 m^2";
        } catch (const runtime::InputError& e) {
            const std::string what = e.what();
            EXPECT_EQ(what.rfind(withRecord ? "/home/ana/plans/hall.kvx: the floor is 2.00 m x "
                                              "1.20 m"
                                            : (dir.path() / "bProj").string(),
                                 0),
                      0u)
                << what;
            EXPECT_NE(what.find("cannot hold 20 people"), std::string::npos) << what;
            EXPECT_NE(what.find("8.3 people per m²"), std::string::npos) << what;
            EXPECT_NE(what.find("\"Units 1.0\""), std::string::npos) << what;
            EXPECT_NE(what.find("it is then 20.00 m x 12.00 m"), std::string::npos) << what;
        }
    }
}

TEST(FloorFit, ASmallFloorWithoutUnitsRunsWithAWarningAndDenseStartsOnTheBasicFloorRun) {
    {
        scenario::BuildRequest record = typed(0, 3, 0);
        record.floor = "plans/hall.kvx";  // relative to the start directory
        testsupport::TempDir dir;
        const runtime::ProjectSetup ps = runtime::buildProjectSetup(
            built(dir, counts(0, 3, 0), fixture("hall-metres-unstated.kvx"), record), 1);
        ASSERT_EQ(ps.warnings.size(), 1u);
        EXPECT_EQ(ps.warnings[0].rfind((dir.path() / "plans/hall.kvx").string() +
                                           " is only 2.00 m x 1.20 m",
                                       0),
                  0u)
            << ps.warnings[0];
        EXPECT_NE(ps.warnings[0].find("\"Units 1.0\""), std::string::npos);
    }
    {
        // 396 people on the basic floor: dense, not impossible. No warning.
        testsupport::TempDir dir;
        const runtime::ProjectData data = built(dir, counts(99, 99, 99), runtimetest::basicFloor());
        const runtime::ProjectSetup ps = runtime::buildProjectSetup(data, 1);
        EXPECT_EQ(ps.setup.people.size(), 396u);
        EXPECT_TRUE(ps.warnings.empty());
    }
    // The limit itself, on a 2 m x 1 m floor.
    const crowd::Polygon twoSquareMetres{{0, 0}, {2, 0}, {2, 1}, {0, 1}};
    EXPECT_TRUE(floorplan::checkFloorFit(twoSquareMetres, true, 10).fits);
    EXPECT_FALSE(floorplan::checkFloorFit(twoSquareMetres, true, 11).fits);
    EXPECT_TRUE(floorplan::checkFloorFit(twoSquareMetres, false, 1).looksLikeMetres);
    EXPECT_FALSE(floorplan::checkFloorFit(twoSquareMetres, true, 1).looksLikeMetres);
}
