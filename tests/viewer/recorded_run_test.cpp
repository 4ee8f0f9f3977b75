// Reading a results folder back for a replay: the frames and scene as the run
// had them, people out by each exit over time, and clear errors for damaged
// files.
#include "viewer/recorded_run.h"

#include <gtest/gtest.h>

#include <fstream>

#include "run/prepare.h"
#include "inputs/project.h"
#include "run/single_run.h"
#include "support/scenarios.h"
#include "support/test_support.h"

namespace {

std::string errorOf(const std::filesystem::path& dir) {
    try {
        viewer::loadRecordedRun(dir);
    } catch (const runtime::InputError& e) {
        return e.what();
    }
    return "";
}

TEST(RecordedRun, ResultsFolderGivesBackTheRunsSceneAndFrames) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "s.json", testsupport::kRoomWithPillarJson);
    runtime::Options opt;
    opt.scenario = (dir / "s.json").string();
    opt.out = (dir / "results").string();
    opt.quiet = true;
    const runtime::PreparedRun prep = runtime::prepareRun(opt);
    const runtime::SingleRunResult result = runtime::runPrepared(prep, opt);
    ASSERT_EQ(result.status, 0);

    const viewer::RecordedRun run = viewer::loadRecordedRun(dir / "results");
    EXPECT_EQ(run.title, "room with a pillar");
    ASSERT_EQ(run.scene.floor.size(), 2u);
    EXPECT_NEAR(run.scene.floor[1][2].x, 4.0, 1e-6);
    ASSERT_EQ(run.scene.exits.size(), 2u);
    EXPECT_EQ(run.scene.exits[0].name, prep.meta.exitNames[0]);
    EXPECT_TRUE(run.scene.exits[0].door);
    EXPECT_FALSE(run.scene.exits[1].door);
    // The east wall has its 1 m gap.
    double east = 0.0;
    for (const auto& w : run.scene.walls)
        if (std::abs(w.a.x - 8) < 1e-9 && std::abs(w.b.x - 8) < 1e-9)
            east += std::abs(w.b.y - w.a.y);
    EXPECT_NEAR(east, 5.0, 1e-6);
    ASSERT_EQ(run.scene.people.size(), 12u);
    EXPECT_EQ(run.scene.people[3].role, crowd::Role::Child);
    // 24 frames a second from 0, and a last one, empty, when the last person left.
    ASSERT_GT(run.frames.size(), 24u);
    EXPECT_DOUBLE_EQ(run.frames[24].frame.time, 1.0);
    EXPECT_EQ(run.frames[0].frame.people.size(), 12u);
    EXPECT_TRUE(run.everyoneOut);
    EXPECT_TRUE(run.frames.back().frame.people.empty());
    EXPECT_DOUBLE_EQ(run.frames.back().frame.time, run.evacuationTime);
    EXPECT_GT(run.evacuationTime, run.frames[run.frames.size() - 2].frame.time);
    const auto& last = run.frames.back().outByExit;
    EXPECT_EQ(last[0] + last[1], 12);
    EXPECT_EQ(run.frames[0].outByExit, (std::vector<int>{0, 0}));
}

TEST(RecordedRun, DamagedFilesAreNamedWithTheLine) {
    testsupport::TempDir dir;
    EXPECT_NE(errorOf(dir.path()).find("no recorded run here"), std::string::npos);
    const std::string summary = R"({"name": "x", "units": {"unitsPerMetre": 1},
      "walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [], "everyoneOut": true,
      "evacuationTime": 1, "persons": [{"role": "adult", "radius": 0.3}]})";
    testsupport::writeFile(dir / "summary.json", summary);
    EXPECT_NE(errorOf(dir.path()).find("trajectories.csv: is missing"), std::string::npos)
        << errorOf(dir.path());
    testsupport::writeFile(dir / "trajectories.csv",
                           "time,person,x,z\n0.0000,0,1,1\n0.0417,0,1;1\n");
    EXPECT_NE(errorOf(dir.path()).find("trajectories.csv: line 3"), std::string::npos)
        << errorOf(dir.path());
    testsupport::writeFile(dir / "trajectories.csv", "time,person,x,z\n0.0000,5,1,1\n");
    EXPECT_NE(errorOf(dir.path()).find("line 2: no person 5"), std::string::npos)
        << errorOf(dir.path());
    testsupport::writeFile(dir / "summary.json", "{\"name\": ");
    EXPECT_NE(errorOf(dir.path()).find("summary.json: not readable JSON"), std::string::npos)
        << errorOf(dir.path());
}

TEST(RecordedRun, NumbersOutOfRangeAreRefusedWhereTheyAreRead) {
    // A vertex at 1e308 took gigabytes in the renderer; a replay refuses it
    // by name, as it refuses positions and times out of range.
    testsupport::TempDir dir;
    auto summaryWith = [](const std::string& vertex, const std::string& time) {
        return R"({"name": "x", "units": {"unitsPerMetre": 1},
          "walkable": [[[0,0],)" + vertex + R"(,[4,4],[0,4]]], "exits": [], "everyoneOut": true,
          "evacuationTime": )" + time + R"(, "persons": [{"role": "adult", "radius": 0.3}]})";
    };
    testsupport::writeFile(dir / "trajectories.csv", "time,person,x,z\n0.0000,0,1,1\n");
    testsupport::writeFile(dir / "summary.json", summaryWith("[1e308,0]", "1"));
    EXPECT_NE(errorOf(dir.path()).find("a floor vertex lies beyond 100000 m"), std::string::npos)
        << errorOf(dir.path());
    testsupport::writeFile(dir / "summary.json", summaryWith("[4,0]", "-1e300"));
    EXPECT_NE(errorOf(dir.path()).find("evacuationTime is -1"), std::string::npos)
        << errorOf(dir.path());
    testsupport::writeFile(dir / "summary.json", summaryWith("[4,0]", "1"));
    testsupport::writeFile(dir / "trajectories.csv", "time,person,x,z\n0.0000,0,1,1\n0.5,0,3e200,1\n");
    EXPECT_NE(errorOf(dir.path()).find("line 3: a position beyond 100000 m"), std::string::npos)
        << errorOf(dir.path());
    testsupport::writeFile(dir / "trajectories.csv", "time,person,x,z\n0.0000,0,1,1\n0.5,0,2,1\n");
    EXPECT_EQ(errorOf(dir.path()), "");
}

// Results folders written before every output was in metres hold world
// units (decimetres for a project): they replay at the same place.
TEST(RecordedRun, OlderResultsInWorldUnitsReplayInMetresAsNewerOnes) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "older" / "summary.json", R"json({"name": "x", "mode": "scenario",
      "units": {"position": "dm (world units)", "unitsPerMetre": 10},
      "walkable": [[[-40,-30],[40,-30],[40,30],[-40,30]]],
      "exits": [{"name": "exit 1", "kind": "door in a wall", "openingFrom": [40,-5], "openingTo": [40,5]}],
      "everyoneOut": false, "evacuationTime": 1,
      "persons": [{"role": "adult", "radius": 0.25}]})json");
    testsupport::writeFile(dir / "older" / "trajectories.csv",
                           "time,person,x,z\n0.0000,0,12.5,-7.0\n1.0000,0,13.5,-7.0\n");
    testsupport::writeFile(dir / "newer" / "summary.json", R"json({"name": "x", "mode": "scenario",
      "units": {"length": "m", "worldUnit": "dm", "worldUnitsPerMetre": 10},
      "walkable_m": [[[-4,-3],[4,-3],[4,3],[-4,3]]],
      "exits": [{"name": "exit 1", "kind": "door in a wall", "openingFrom_m": [4,-0.5], "openingTo_m": [4,0.5]}],
      "everyoneOut": false, "evacuationTime": 1,
      "persons": [{"role": "adult", "radius_m": 0.25}]})json");
    testsupport::writeFile(dir / "newer" / "trajectories.csv",
                           "time_s,person,x_m,z_m\r\n0.0000,0,1.25,-0.7\r\n1.0000,0,1.35,-0.7\r\n");
    const viewer::RecordedRun a = viewer::loadRecordedRun(dir / "older");
    const viewer::RecordedRun b = viewer::loadRecordedRun(dir / "newer");
    for (const viewer::RecordedRun* r : {&a, &b}) {
        ASSERT_EQ(r->scene.floor.size(), 1u);
        EXPECT_NEAR(r->scene.floor[0][1].x, 4.0, 1e-9);
        EXPECT_NEAR(r->scene.floor[0][1].y, -3.0, 1e-9);
        ASSERT_EQ(r->scene.exits.size(), 1u);
        EXPECT_NEAR(r->scene.exits[0].opening.b.y, 0.5, 1e-9);
        EXPECT_NEAR(r->scene.people[0].radius, 0.25, 1e-9);
        ASSERT_EQ(r->frames.size(), 2u);
        EXPECT_NEAR(r->frames[1].frame.positions[0].x, 1.35, 1e-9);
        EXPECT_NEAR(r->frames[0].frame.positions[0].y, -0.7, 1e-9);
    }
    // A header of neither kind is named.
    testsupport::writeFile(dir / "newer" / "trajectories.csv", "t,p,x,z\n");
    EXPECT_NE(errorOf(dir / "newer").find("line 1 is not \"time_s,person,x_m,z_m\""),
              std::string::npos)
        << errorOf(dir / "newer");
}

TEST(RecordedRun, PeopleOutByExitCountUpAtTheirTimes) {
    std::vector<viewer::LiveFrame> frames(4);
    for (int k = 0; k < 4; ++k) frames[k].frame.time = k;
    viewer::countOutByExit(frames, 2, {{1, 0.5}, {0, 2.0}, {-1, 0.0}, {1, 2.5}, {7, 1.0}});
    EXPECT_EQ(frames[0].outByExit, (std::vector<int>{0, 0}));
    EXPECT_EQ(frames[1].outByExit, (std::vector<int>{0, 1}));
    EXPECT_EQ(frames[2].outByExit, (std::vector<int>{1, 1}));
    EXPECT_EQ(frames[3].outByExit, (std::vector<int>{1, 2}));
}

}  // namespace
