// A motion recording replays as the results folder of the same run does:
// the same scene, frames, people out by each exit and ending.
#include <gtest/gtest.h>

#include "recording/recorders.h"
#include "run/prepare.h"
#include "run/single_run.h"
#include "support/scenarios.h"
#include "support/test_support.h"
#include "viewer/motion_file_reader.h"

TEST(MotionReplay, AMotionFileReplaysLikeTheResultsFolderOfItsRun) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "s.json", testsupport::kRoomWithPillarJson);
    runtime::Options opt;
    opt.scenario = (dir / "s.json").string();
    opt.out = (dir / "results").string();
    opt.motion = (dir / "walk.kvx").string();
    opt.quiet = true;
    runtime::PreparedRun prep = runtime::prepareRun(opt);
    prep.meta.notes.push_back("3 people started at the nearest free spot\nof the floor");
    const auto recorder = recording::makeMotionRecorder(recording::planRecordings(prep, opt), prep);
    runtime::RunHooks hooks;
    hooks.sinks = {recorder.get()};
    ASSERT_EQ(runtime::runPrepared(prep, opt, hooks).status, 0);

    const viewer::RecordedRun folder = viewer::loadRecordedRun(dir / "results");
    const viewer::RecordedRun motion = viewer::loadRecordedRun(dir / "walk.kvx");
    EXPECT_EQ(motion.title, "room with a pillar");
    // The notes of the run, as the results folder keeps them (on one line).
    ASSERT_EQ(folder.notes.size(), prep.meta.notes.size());
    ASSERT_EQ(motion.notes.size(), folder.notes.size());
    EXPECT_EQ(motion.notes.back(), "3 people started at the nearest free spot of the floor");
    ASSERT_EQ(motion.scene.floor.size(), folder.scene.floor.size());
    for (std::size_t p = 0; p < folder.scene.floor.size(); ++p) {
        ASSERT_EQ(motion.scene.floor[p].size(), folder.scene.floor[p].size());
        for (std::size_t v = 0; v < folder.scene.floor[p].size(); ++v) {
            EXPECT_NEAR(motion.scene.floor[p][v].x, folder.scene.floor[p][v].x, 1e-6);
            EXPECT_NEAR(motion.scene.floor[p][v].y, folder.scene.floor[p][v].y, 1e-6);
        }
    }
    ASSERT_EQ(motion.scene.exits.size(), 2u);
    for (std::size_t e = 0; e < 2; ++e) {
        EXPECT_EQ(motion.scene.exits[e].name, folder.scene.exits[e].name);
        EXPECT_EQ(motion.scene.exits[e].door, folder.scene.exits[e].door);
        EXPECT_NEAR(motion.scene.exits[e].opening.a.y, folder.scene.exits[e].opening.a.y, 1e-6);
    }
    EXPECT_EQ(motion.scene.walls.size(), folder.scene.walls.size());
    ASSERT_EQ(motion.scene.people.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(motion.scene.people[i].role, folder.scene.people[i].role);
        EXPECT_NEAR(motion.scene.people[i].radius, folder.scene.people[i].radius, 1e-4);
    }
    // The trajectories hold three decimals, the motion file six.
    ASSERT_EQ(motion.frames.size(), folder.frames.size());
    for (std::size_t k = 0; k < folder.frames.size(); ++k) {
        const auto &a = motion.frames[k], &b = folder.frames[k];
        EXPECT_NEAR(a.frame.time, b.frame.time, 1e-4);
        ASSERT_EQ(a.frame.people, b.frame.people) << "frame " << k;
        for (std::size_t i = 0; i < a.frame.positions.size(); ++i) {
            EXPECT_NEAR(a.frame.positions[i].x, b.frame.positions[i].x, 5.1e-4);
            EXPECT_NEAR(a.frame.positions[i].y, b.frame.positions[i].y, 5.1e-4);
        }
        EXPECT_EQ(a.outByExit, b.outByExit) << "frame " << k;
    }
    EXPECT_EQ(motion.everyoneOut, folder.everyoneOut);
    EXPECT_NEAR(motion.evacuationTime, folder.evacuationTime, 1e-4);
    EXPECT_FALSE(motion.scriptCamera.has_value());
}

TEST(MotionReplay, AProjectsCameraComesInMetresAndADamagedFileIsNamed) {
    recording::Motion m;
    m.metresPerUnit = 0.1;
    m.camera = recording::MotionCamera{-100, 20, 100, -0.42, 60};
    m.actors = {{0, "adult", 3.0}, {2, "jogging child", 2.0}};
    m.floor = {{{-70, -40}, {70, -40}, {70, 40}}};
    const viewer::RecordedRun run = viewer::recordedRunOf(m);
    ASSERT_TRUE(run.scriptCamera.has_value());
    EXPECT_DOUBLE_EQ(run.scriptCamera->x, -10.0);
    EXPECT_DOUBLE_EQ(run.scriptCamera->y, 2.0);
    EXPECT_NEAR(run.scene.floor[0][1].x, 7.0, 1e-12);
    ASSERT_EQ(run.scene.people.size(), 3u);  // numbers 0 to 2, 1 unused
    EXPECT_EQ(run.scene.people[2].role, crowd::Role::JoggingChild);
    EXPECT_NEAR(run.scene.people[0].radius, 0.3, 1e-12);

    testsupport::TempDir dir;
    testsupport::writeFile(dir / "cut.kvx", "KVX TEXT 2.1\r\n; nothing else\r\n");
    try {
        viewer::loadRecordedRun(dir / "cut.kvx");
        FAIL() << "a cut file must not load";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("cut.kvx:3"), std::string::npos) << e.what();
    }
}
