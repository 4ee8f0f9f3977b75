#include "inputs/project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "crowd/geometry.h"
#include "crowd/simulation.h"
#include "support/runtime_test_helpers.h"

using runtime::InputError;
using runtimetest::basicFloor;
using runtimetest::fixture;
using runtimetest::withLine;
using runtimetest::workedExample;
using runtimetest::writeProject;
using testsupport::TempDir;

namespace {

std::string errorOf(const std::filesystem::path& dir) {
    try {
        runtime::readProject(dir);
    } catch (const InputError& e) {
        return e.what();
    }
    ADD_FAILURE() << "the project was accepted";
    return {};
}

bool contains(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// A script of the generator's form with `scattered` people and no clusters.
std::string scatteredScript(int scattered) {
    auto ls = runtimetest::lines(workedExample());
    ls.erase(ls.begin() + 65, ls.begin() + 69);
    ls[6] = "\tglobal var TotalPeople=" + std::to_string(scattered) + ";";
    ls[60] = "\tfor (var i=0; i<" + std::to_string(scattered) + "; i++) {";
    return runtimetest::join(ls);
}

}  // namespace

TEST(ProjectReading, TheScriptAndTheFloorOutlineAreRead) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), basicFloor());
    const runtime::ProjectData p = runtime::readProject(dir.path());
    EXPECT_EQ(p.script.totalPeople, 20);
    ASSERT_EQ(p.floorOutline.size(), 9u);  // the basic floor: a room with an alcove
    EXPECT_DOUBLE_EQ(p.floorOutline[0].x, -70.0);
    EXPECT_DOUBLE_EQ(p.floorOutline[0].y, -40.0);  // the floor's z
}

TEST(ProjectReading, AMissingOrDamagedProjectIsReportedByFile) {
    TempDir dir;
    EXPECT_TRUE(contains(errorOf(dir.path()), "no project here"));

    writeProject(dir.path(), withLine(7, "\tglobal var TotalPeople=x;"), basicFloor());
    const std::string e = errorOf(dir.path());
    EXPECT_TRUE(contains(e, "startup.pc: line 7: ")) << e;

    std::filesystem::remove(dir / "bProj" / "Vellico" / "startup.pc");
    EXPECT_TRUE(contains(errorOf(dir.path()), "startup.pc: does not exist"));
}

TEST(ProjectReading, AFloorWithoutAMeshIsAnErrorEvenWhereTheBasicFloorIsAtHand) {
    TempDir dir;
    // The reader falls back to unchanged\floor.kvx of the current directory;
    // for the runtime a project floor without a mesh stays an error.
    testsupport::copyTemplates(dir.path());
    testsupport::ScopedCurrentDirectory cd(dir.path());
    writeProject(dir.path(), workedExample(), fixture("floor-without-mesh.kvx"));
    std::string e = errorOf(dir.path());
    EXPECT_TRUE(contains(e, "Floor.kvx: the floor cannot be read")) << e;

    writeProject(dir.path(), workedExample(), "");
    e = errorOf(dir.path());
    EXPECT_TRUE(contains(e, "Floor.kvx: the floor cannot be read")) << e;

    std::filesystem::remove(dir / "bProj" / "Content" / "Actors" / "Floor" / "Floor.kvx");
    EXPECT_TRUE(contains(errorOf(dir.path()), "no floor file"));
}

TEST(ProjectReading, AnOutlineWithoutAreaIsRefusedWhenBuilding) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), fixture("floor-with-two-vertices.kvx"));
    const runtime::ProjectData p = runtime::readProject(dir.path());
    try {
        runtime::buildProjectSetup(p, 1);
        ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
        EXPECT_TRUE(contains(e.what(), "floor outline is unusable")) << e.what();
    }
}

TEST(ProjectSetup, ClusterPeopleStandOnACircleOfRadius15UnitsAndParentsBesideTheirChildren) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), basicFloor());
    const runtime::ProjectSetup ps =
        runtime::buildProjectSetup(runtime::readProject(dir.path()), 1);
    const auto& people = ps.setup.people;
    ASSERT_EQ(people.size(), 20u);
    const double pi = std::acos(-1.0);
    // The script's centres (10, 20) and (-15.5, 4.75) are the dialog's
    // cluster conversion (x 0.72 and 0.78 of the view position times the
    // scale 70) of clicks on the floor points view position x (70 + 1).
    auto clicked = [](double world, float factor) {
        return world / (70.0 * static_cast<double>(factor)) * 71.0;
    };
    const double centres[2][2] = {{clicked(10, 0.72f), clicked(20, 0.78f)},
                                  {clicked(-15.5, 0.72f), clicked(4.75, 0.78f)}};
    int onCircle = 0;
    for (int c = 0; c < 2; ++c)
        for (int k = 0; k < 10; ++k) {
            const std::size_t i = static_cast<std::size_t>(10 * c + k);
            const auto& p = people[i];
            if (p.role == crowd::Role::Parent) {
                // Hand in hand: at the nearest free spot 2 units behind
                // (along z) the child loaded just before.
                const auto& child = people[i - 1];
                EXPECT_LT(crowd::distance(p.start, child.start), p.radius + child.radius + 0.2)
                    << "person " << i;
                continue;
            }
            const double a = (-180.0 + 36.0 * k) * pi / 180.0;
            const crowd::Vec2 wanted{(centres[c][0] + 15 * std::cos(a)) / 10.0,
                                     (centres[c][1] + 15 * std::sin(a)) / 10.0};
            const double d = crowd::distance(p.start, wanted);
            if (d < 1e-9) ++onCircle;
            EXPECT_LT(d, 0.5) << "person " << i;
        }
    // The children stand where the script puts them, unless a body is in
    // the way (the later one in load order steps aside).
    EXPECT_EQ(onCircle + ps.movedPeople, 10);
    EXPECT_GE(onCircle, 8);
    for (std::size_t i = 0; i < people.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_GE(crowd::distance(people[i].start, people[j].start),
                      people[i].radius + people[j].radius);
}

TEST(ProjectSetup, RolesFollowTheScriptsLoopOverPeople) {
    TempDir dir;
    writeProject(dir.path(), scatteredScript(75), fixture("square-floor.kvx"));
    const auto ps = runtime::buildProjectSetup(runtime::readProject(dir.path()), 4);
    const auto& people = ps.setup.people;
    ASSERT_EQ(people.size(), 75u);
    for (int i = 0; i < 75; ++i) {
        const auto& p = people[static_cast<std::size_t>(i)];
        if (i < 30 && i % 2 == 0) {
            EXPECT_EQ(p.role, crowd::Role::Child);
            EXPECT_GE(p.desiredSpeed, 1.0);
            EXPECT_LT(p.desiredSpeed, 1.2);
        } else if (i < 30) {
            EXPECT_EQ(p.role, crowd::Role::Parent);
            EXPECT_EQ(p.leader, i - 1);
            EXPECT_EQ(p.desiredSpeed, people[static_cast<std::size_t>(i - 1)].desiredSpeed);
        } else if (i < 60) {
            EXPECT_EQ(p.role, crowd::Role::Adult);
            EXPECT_GE(p.desiredSpeed, 1.08);
            EXPECT_LT(p.desiredSpeed, 1.60);
        } else {
            EXPECT_EQ(p.role, crowd::Role::JoggingChild);
            EXPECT_GE(p.desiredSpeed, 1.8);
            EXPECT_LT(p.desiredSpeed, 2.2);
        }
        EXPECT_GE(p.radius, crowd::ModelParams{}.radiusMin);
        EXPECT_LT(p.radius, crowd::ModelParams{}.radiusMax);
    }
}

TEST(ProjectSetup, ScatteredPeopleStandOnWholeUnitsInsideTheFloorWithoutOverlap) {
    TempDir dir;
    writeProject(dir.path(), scatteredScript(60), basicFloor());
    const auto ps = runtime::buildProjectSetup(runtime::readProject(dir.path()), 9);
    const auto& people = ps.setup.people;
    int onGrid = 0, parents = 0;
    for (std::size_t i = 0; i < people.size(); ++i) {
        const crowd::Vec2 p = people[i].start;
        EXPECT_TRUE(ps.setup.area.contains(p));
        for (std::size_t j = 0; j < i; ++j)
            EXPECT_GE(crowd::distance(p, people[j].start), people[i].radius + people[j].radius);
        // A parent starts behind its child, wherever that is free (not
        // counted as moved).
        if (people[i].role == crowd::Role::Parent) {
            ++parents;
            continue;
        }
        const double x = p.x * 10, z = p.y * 10;
        if (std::fabs(x - std::round(x)) < 1e-9 && std::fabs(z - std::round(z)) < 1e-9 &&
            x >= -60 && x < 60 && z >= -60 && z < 60)
            ++onGrid;
    }
    // The basic floor reaches z = 40 only: the script's square of -60 to 59
    // puts some people outside, and they are moved in.
    EXPECT_GT(ps.movedPeople, 0);
    EXPECT_GE(onGrid + ps.movedPeople + parents, 60);
}

TEST(ProjectSetup, TheSeedDecidesTheScatteredPositions) {
    TempDir dir;
    writeProject(dir.path(), scatteredScript(10), fixture("square-floor.kvx"));
    const auto data = runtime::readProject(dir.path());
    const auto a = runtime::buildProjectSetup(data, 1), b = runtime::buildProjectSetup(data, 1),
               c = runtime::buildProjectSetup(data, 2);
    int same = 0, differ = 0;
    for (std::size_t i = 0; i < 10; ++i) {
        same += a.setup.people[i].start.x == b.setup.people[i].start.x;
        differ += a.setup.people[i].start.x != c.setup.people[i].start.x;
    }
    EXPECT_EQ(same, 10);
    EXPECT_GT(differ, 5);
}

TEST(ProjectSetup, ExitsStandWhereTheyWereClickedAndEachPersonTakesTheCloserOne) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), fixture("square-floor.kvx"));
    const auto data = runtime::readProject(dir.path());
    const auto ps = runtime::buildProjectSetup(data, 1);
    ASSERT_EQ(ps.setup.exits.size(), 2u);
    // The exit (12.5, -30.25) was clicked at view (12.5, -30.25) / (70 x
    // (0.86, 0.93)), over the floor point 71 times that: (14.74, -32.99)
    // units, 3.7 m from every wall of the square room: a line there, 1 m long.
    const crowd::Segment line = ps.setup.exits[0].segment;
    EXPECT_NEAR(0.5 * (line.a.x + line.b.x), 12.5 / (70 * 0.86f) * 71 / 10, 1e-5);
    EXPECT_NEAR(0.5 * (line.a.y + line.b.y), -30.25 / (70 * 0.93f) * 71 / 10, 1e-5);
    EXPECT_NEAR(line.b.x - line.a.x, 1.0, 1e-9);
    EXPECT_NEAR(ps.setup.exits[0].leavePointRadius, 0.5, 1e-12);  // 5 units
    // The default second exit (0, -65) lies inside the room: the first wall
    // toward -z, the north wall at z = -70 units, opens at x = 0.
    EXPECT_NEAR(ps.setup.exits[1].segment.a.y, -7.0, 1e-9);
    EXPECT_NEAR(ps.setup.exits[1].segment.b.y, -7.0, 1e-9);
    EXPECT_NEAR(ps.setup.exits[1].segment.a.x + ps.setup.exits[1].segment.b.x, 0.0, 1e-9);
    EXPECT_EQ(ps.exitPlaces.size(), 2u);
    EXPECT_NE(ps.exitPlaces[1].find("default exit 2: a door in the north wall at (0.00, -7.00) m"),
              std::string::npos)
        << ps.exitPlaces[1];
    // ClosestExit with the exits where they stand: the nearer vector decides.
    for (const auto& p : ps.setup.people) {
        auto d = [&](const crowd::ExitSpec& x) {
            return std::min(crowd::distance(x.leavePoints[0], p.start),
                            crowd::distance(x.leavePoints[1], p.start));
        };
        EXPECT_EQ(p.exit, d(ps.setup.exits[0]) <= d(ps.setup.exits[1]) ? 0 : 1);
    }
    const crowd::Simulation sim(ps.setup);
    EXPECT_EQ(sim.world().exits()[0].kind, crowd::ExitKind::Target);
    EXPECT_EQ(sim.world().exits()[1].kind, crowd::ExitKind::Door);
    EXPECT_NEAR(sim.world().exits()[1].opening.a.y, -7.0, 1e-9);
}
