// Exits where the user clicked them, and floors in the unit they state: the
// dialog's click (pixel -> view units -> world units), the generator's
// script text and the runtime's reading, end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "crowd/world.h"
#include "generator/generated_texts.h"
#include "inputs/exit_intent.h"
#include "floorplan/floor_units.h"
#include "inputs/project.h"
#include "support/runtime_test_helpers.h"
#include "scenario/scenario_settings.h"

namespace {

using runtimetest::fixture;

struct ViewSize {
    int width;
    int height;
};

// The two sizes: the view's reference size and the size it has in the
// dialog at its usual font.
constexpr ViewSize kSizes[] = {{242, 200}, {326, 250}};

// The view position the dialog records for a click on the pixel over floor
// point (x, z): the view draws it at (x, z) / (s + 1); the click is rounded
// to a whole pixel and mapped back as the view maps clicks.
scenario::WorldPosition clickedExit(double x, double z, float scale, ViewSize size) {
    auto axis = [](double floorCoordinate, float s, int extent) {
        const double half = extent / 2.0;
        const double pixel = std::round((floorCoordinate / (s + 1.0) + 1.0) * half);
        const float step = static_cast<float>(1.0 / half);
        return static_cast<float>(pixel - half) * step;
    };
    return scenario::viewToWorld(scenario::PlacementKind::Exit, axis(x, scale, size.width),
                                 axis(z, scale, size.height), scale);
}

// The same for a cluster, which the dialog converts with its own factors.
scenario::WorldPosition clickedCluster(double x, double z, float scale, ViewSize size) {
    const scenario::WorldPosition asExit = clickedExit(x, z, scale, size);
    const scenario::WorldPosition perView =
        scenario::viewToWorld(scenario::PlacementKind::Exit, 1.0f, 1.0f, scale);
    return scenario::viewToWorld(scenario::PlacementKind::Cluster, asExit.x / perView.x,
                                 asExit.z / perView.z, scale);
}

struct Opened {
    crowd::ExitKind kind;
    int wallEdge;
    crowd::Vec2 centre;
    std::vector<std::string> places;
};

// Builds the project the dialog would build with these exits on `floorText`
// (no people), reads it as mvnrt does, and resolves exit `k`.
Opened openExit(const std::string& floorText, const std::vector<scenario::WorldPosition>& exits,
                float scale, std::size_t k) {
    scenario::ScenarioSettings s;
    s.exitCount = static_cast<int>(exits.size());
    for (std::size_t i = 0; i < exits.size(); ++i) s.exits[i] = exits[i];
    s.floorScale = scenario::floorScaleFromScale(scale);
    testsupport::TempDir dir;
    runtimetest::writeProject(dir.path(), generator::startupScriptText(s), floorText);
    const runtime::ProjectData data = runtime::readProject(dir.path());
    const runtime::ProjectSetup ps = runtime::buildProjectSetup(data, 1);
    const crowd::World world(ps.setup);
    const crowd::ResolvedExit& e = world.exits().at(k);
    return {e.kind, e.wallEdge, 0.5 * (e.opening.a + e.opening.b), ps.exitPlaces};
}

struct Floor {
    std::string text;
    std::vector<crowd::Vec2> vertices;  // floor units (decimetres)
    float scale;
};

Floor basicFloor() {
    return {runtimetest::basicFloor(),
            {{-70, -40}, {-15, -40}, {-15, -60}, {15, -60}, {15, -40}, {70, -40}, {70, 40},
             {-50, 40}, {-70, 20}},
            70.0f};
}

Floor lFloor() {
    return {fixture("l-floor.kvx"),
            {{-150, -100}, {150, -100}, {150, 0}, {30, 0}, {30, 100}, {-150, 100}},
            150.0f};
}

void clicksOnEveryWallOpenThatWall(const Floor& floor) {
    const std::size_t n = floor.vertices.size();
    for (const ViewSize size : kSizes) {
        for (std::size_t i = 0; i < n; ++i) {
            const crowd::Vec2 a = floor.vertices[i], b = floor.vertices[(i + 1) % n];
            for (const double t : {0.3, 0.5, 0.7}) {
                const crowd::Vec2 onWall = a + t * (b - a);
                const auto exit = clickedExit(onWall.x, onWall.y, floor.scale, size);
                const Opened o = openExit(floor.text, {exit}, floor.scale, 0);
                SCOPED_TRACE("view " + std::to_string(size.width) + "x" +
                             std::to_string(size.height) + ", wall " + std::to_string(i) +
                             " at " + std::to_string(t));
                EXPECT_EQ(o.kind, crowd::ExitKind::Door);
                EXPECT_EQ(o.wallEdge, static_cast<int>(i));
                // Where it was clicked, within the pixel the click fell on
                // (and within the wall: a door 1 m wide keeps 0.5 m from its ends).
                const double pixel = 2.0 * (floor.scale + 1.0) / size.height / 10.0;
                const double wallLength = crowd::distance(a, b) / 10.0;
                const double along = std::clamp(t * wallLength, 0.5, wallLength - 0.5);
                const crowd::Vec2 expected = 0.1 * a + (along / wallLength) * (0.1 * (b - a));
                EXPECT_LT(crowd::distance(o.centre, expected), pixel) << o.places[0];
            }
        }
    }
}

}  // namespace

TEST(ExitIntent, ClicksOnEveryWallOfTheBasicFloorOpenThatWall) {
    clicksOnEveryWallOpenThatWall(basicFloor());
}

TEST(ExitIntent, ClicksOnEveryWallOfAnLShapedHallOpenThatWall) {
    clicksOnEveryWallOpenThatWall(lFloor());
}

TEST(ExitIntent, ClicksNextToAWallOrBeyondItOpenItAndClicksInsideMakeALine) {
    const Floor floor = lFloor();
    const ViewSize size = kSizes[0];
    // The east wall x = 150 runs from z = -100 to 0. One pixel is 1.25 units.
    auto open = [&](double x, double z) {
        return openExit(floor.text, {clickedExit(x, z, floor.scale, size)}, floor.scale, 0);
    };
    for (const double pixels : {-4.0, -2.0, 2.0, 4.0, 12.0}) {
        const Opened o = open(150.0 + pixels * 151.0 / 121.0, -50.0);
        EXPECT_EQ(o.kind, crowd::ExitKind::Door) << pixels;
        EXPECT_EQ(o.wallEdge, 1) << pixels;
    }
    const Opened inside = open(150.0 - 12.0 * 151.0 / 121.0, -50.0);
    EXPECT_EQ(inside.kind, crowd::ExitKind::Target);
    EXPECT_NE(inside.places[0].find("clicked inside the floor"), std::string::npos);
    EXPECT_NEAR(inside.centre.x, 13.5, 0.15);  // where it was clicked, 1.5 m from the wall
}

TEST(ExitIntent, DefaultExitsOpenTheNearestWallInTheirDirection) {
    // Basic floor: both default positions lie beyond it; the south wall
    // (z = 40, edge 6) and the alcove's north wall (z = -60, edge 2) open.
    const Floor basic = basicFloor();
    Opened first = openExit(basic.text, {}, basic.scale, 0);
    Opened second = openExit(basic.text, {}, basic.scale, 1);
    EXPECT_EQ(first.kind, crowd::ExitKind::Door);
    EXPECT_EQ(first.wallEdge, 6);
    EXPECT_NEAR(first.centre.x, 0.0, 1e-9);
    EXPECT_EQ(second.wallEdge, 2);
    EXPECT_NEAR(second.centre.y, -6.0, 1e-9);
    EXPECT_NE(first.places[0].find("default exit 1: a door in the south wall at (0.00, 4.00) m"),
              std::string::npos)
        << first.places[0];
    EXPECT_NE(first.places[1].find("lies outside the floor"), std::string::npos);

    // The L-shaped hall holds both default positions: the first walls met
    // going +z and -z open (the south wall z = 100, edge 4; the north wall
    // z = -100, edge 0), not lines in the middle of the hall.
    const Floor hall = lFloor();
    first = openExit(hall.text, {}, hall.scale, 0);
    second = openExit(hall.text, {}, hall.scale, 1);
    EXPECT_EQ(first.kind, crowd::ExitKind::Door);
    EXPECT_EQ(first.wallEdge, 4);
    EXPECT_NEAR(first.centre.y, 10.0, 1e-9);
    EXPECT_EQ(second.kind, crowd::ExitKind::Door);
    EXPECT_EQ(second.wallEdge, 0);
    EXPECT_NEAR(second.centre.y, -10.0, 1e-9);
    EXPECT_NE(first.places[0].find("lies inside the floor"), std::string::npos);

    // A placed first exit leaves the second at its default: named so.
    const auto clicked = clickedExit(150.0, -50.0, hall.scale, kSizes[0]);
    const Opened mixed = openExit(hall.text, {clicked}, hall.scale, 1);
    EXPECT_EQ(mixed.places[0].rfind("exit 1: a door in the east wall", 0), 0u) << mixed.places[0];
    EXPECT_EQ(mixed.places[1].rfind("default exit 2: a door in the north wall", 0), 0u);
}

TEST(FloorUnits, TheHeaderStatesTheUnitBeforeTheFirstNode) {
    EXPECT_EQ(floorplan::statedMetresPerUnit("KVX TEXT 2.1\r\nTW_Scene S\r\n\tUnits 1.000000\r\n"),
              1.0);
    EXPECT_EQ(floorplan::statedMetresPerUnit("TW_Scene S\n\tUnits\t0.1\n\tTW_Node N\n"), 0.1);
    EXPECT_EQ(floorplan::statedMetresPerUnit(runtimetest::basicFloor()), 0.1);
    EXPECT_FALSE(floorplan::statedMetresPerUnit("TW_Scene S\n\tUpAxis Y\n"));
    // After the first node a Units line is something else's.
    EXPECT_FALSE(floorplan::statedMetresPerUnit("TW_Scene S\n\tTW_Node N\n\t\tUnits 1.0\n"));
    EXPECT_FALSE(floorplan::statedMetresPerUnit("; Units 1.0 in a comment\n\tUnitsX 2\n"));
    for (const char* bad : {"\tUnits 0\n", "\tUnits -1\n", "\tUnits metres\r\n", "\tUnits \n",
                            "\tUnits nan\n"}) {
        EXPECT_THROW(floorplan::statedMetresPerUnit(bad), std::invalid_argument) << bad;
    }
}

TEST(FloorUnits, AMetreFloorWithAUnitsLineIsTheSameHallAsInDecimetres) {
    // The same clicks on the same hall drawn in decimetres (scale 150) and
    // in metres (scale 15, "Units 1.0"): the same floor, exits and people.
    auto setupOf = [](const std::string& floorText, float scale) {
        scenario::ScenarioSettings s;
        s.pairCount = 10;
        s.adultCount = 10;
        s.childCount = 10;
        s.exitCount = 2;
        s.exits[0] = clickedExit(150.0 * scale / 150.0, -50.0 * scale / 150.0, scale, kSizes[0]);
        s.exits[1] = clickedExit(-60.0 * scale / 150.0, 100.0 * scale / 150.0, scale, kSizes[0]);
        // Clusters clicked over the same floor points of the two drawings.
        s.clusterCount = 3;
        for (int k = 0; k < 3; ++k)
            s.clusters[static_cast<std::size_t>(k)] =
                clickedCluster((-75.0 + 60.0 * k) * scale / 150.0, -45.0 * scale / 150.0, scale,
                               kSizes[0]);
        s.floorScale = scenario::floorScaleFromScale(scale);
        testsupport::TempDir dir;
        runtimetest::writeProject(dir.path(), generator::startupScriptText(s), floorText);
        return runtime::buildProjectSetup(runtime::readProject(dir.path()), 7);
    };
    const runtime::ProjectSetup dm = setupOf(fixture("l-floor.kvx"), 150.0f);
    const runtime::ProjectSetup m = setupOf(fixture("l-floor-metres.kvx"), 15.0f);
    const crowd::Box box = m.setup.area.bounds();
    EXPECT_NEAR(box.max.x - box.min.x, 30.0, 1e-9);
    EXPECT_NEAR(box.max.y - box.min.y, 20.0, 1e-9);
    EXPECT_NEAR(dm.setup.area.area(), m.setup.area.area(), 1e-6);
    // The view draws a floor at 1 / (scale + 1), so the same pixel lies over
    // points of the two drawings up to a pixel (0.125 m) apart.
    for (std::size_t e = 0; e < 2; ++e) {
        EXPECT_LT(crowd::distance(dm.setup.exits[e].segment.a, m.setup.exits[e].segment.a), 0.13);
        EXPECT_LT(crowd::distance(dm.setup.exits[e].segment.b, m.setup.exits[e].segment.b), 0.13);
    }
    EXPECT_EQ(m.exitPlaces[0].rfind("exit 1: a door in the east wall", 0), 0u) << m.exitPlaces[0];
    EXPECT_EQ(m.exitPlaces[1].rfind("exit 2: a door in the south wall", 0), 0u) << m.exitPlaces[1];
    // The clusters' people, too (the scattered ones start in the script's
    // square of decimetres either way).
    ASSERT_EQ(dm.setup.people.size(), m.setup.people.size());
    for (std::size_t i = 0; i < m.setup.people.size(); ++i)
        EXPECT_LT(crowd::distance(dm.setup.people[i].start, m.setup.people[i].start), 0.13) << i;
}

TEST(FloorUnits, AMetreFloorWithoutAUnitsLineIsToldWithItsSizeAndTheLikelyMistake) {
    scenario::ScenarioSettings s;
    s.pairCount = 5;
    s.adultCount = 5;
    s.childCount = 30;  // 45 people: more than 2.4 m^2 can hold, even squeezed
    testsupport::TempDir dir;
    runtimetest::writeProject(dir.path(), generator::startupScriptText(s),
                              fixture("hall-metres-unstated.kvx"));
    const runtime::ProjectData data = runtime::readProject(dir.path());
    try {
        (void)runtime::buildProjectSetup(data, 1);
        FAIL() << "45 people fit a 2 m x 1.2 m floor";
    } catch (const runtime::InputError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("Floor.kvx: the floor is 2.00 m x 1.20 m"), std::string::npos) << what;
        EXPECT_NE(what.find("read as decimetres"), std::string::npos) << what;
        EXPECT_NE(what.find("cannot hold 45 people"), std::string::npos) << what;
        EXPECT_NE(what.find("\"Units 1.0\""), std::string::npos) << what;
    }
}

TEST(FloorUnits, ABadUnitsLineNamesTheFloorFile) {
    std::string floor = fixture("l-floor-metres.kvx");
    floor.replace(floor.find("Units 1.000000"), 14, "Units metres");
    testsupport::TempDir dir;
    runtimetest::writeProject(dir.path(), generator::startupScriptText({}), floor);
    try {
        (void)runtime::readProject(dir.path());
        FAIL() << "a Units line without a number was taken";
    } catch (const runtime::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("Floor.kvx: its Units line gives 'metres'"),
                  std::string::npos)
            << e.what();
    }
}
