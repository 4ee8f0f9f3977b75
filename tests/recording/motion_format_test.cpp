// The KVX motion file: what is written reads back the same, and a damaged
// file is refused with its line.
#include "recording/kvx_motion.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

using recording::Motion;
using recording::MotionFileError;
using recording::MotionWriter;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

Motion sample() {
    Motion m;
    m.name = "hall\nwith two doors";  // a line break in a name must not break the file
    m.metresPerUnit = 0.1;
    m.frameRate = 24.0;
    m.actors = {{0, "child", 2.5}, {3, "jogging child", 2.25}, {7, "adult", 3.1}};
    m.floor = {{{-70, -40}, {70, -40}, {70.5, 40.25}}, {{1, 1}, {2, 1}, {2, 2}, {1, 2}}};
    m.exits = {{"exit 1", true, {-5, 40}, {5, 40}}, {"target", false, {0, 0}, {1e-3, -2}}};
    m.camera = recording::MotionCamera{-100, 20, 100, -0.42, 60};
    for (int k = 0; k < 3; ++k) {
        recording::MotionFrame f;
        f.time = k / 24.0;
        f.poses.push_back({0, 10.0 + k, 0.0, -4.25 - 1e-7 * k, 1.5707963});
        if (k < 2) f.poses.push_back({3, -123.4567891, 0.0, 0.000001, -3.0});
        f.poses.push_back({7, 1e-9, 0.0, 98765.4321, 0.0});
        m.frames.push_back(f);
    }
    m.end = {0.1, false, {{3, 1, 0.0833333}}};
    return m;
}

void write(const std::filesystem::path& file, const Motion& m) {
    MotionWriter w(file, m);
    for (const auto& f : m.frames) w.frame(f);
    w.finish(m.end);
}

std::string readError(const std::filesystem::path& file) {
    try {
        recording::readMotion(file);
    } catch (const MotionFileError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(MotionFile, ReadsBackWhatWasWrittenToSixDecimals) {
    TempDir dir;
    const Motion m = sample();
    write(dir / "m.kvx", m);
    const Motion r = recording::readMotion(dir / "m.kvx");
    EXPECT_EQ(r.name, "hall with two doors");
    EXPECT_DOUBLE_EQ(r.metresPerUnit, 0.1);
    EXPECT_DOUBLE_EQ(r.frameRate, 24.0);
    ASSERT_EQ(r.actors.size(), 3u);
    EXPECT_EQ(r.actors[1].id, 3);
    EXPECT_EQ(r.actors[1].role, "jogging child");
    EXPECT_DOUBLE_EQ(r.actors[2].radius, 3.1);
    ASSERT_EQ(r.floor.size(), 2u);
    ASSERT_EQ(r.floor[0].size(), 3u);
    EXPECT_DOUBLE_EQ(r.floor[0][2].x, 70.5);
    EXPECT_DOUBLE_EQ(r.floor[0][2].z, 40.25);
    EXPECT_EQ(r.floor[1].size(), 4u);
    ASSERT_EQ(r.exits.size(), 2u);
    EXPECT_EQ(r.exits[0].name, "exit 1");
    EXPECT_TRUE(r.exits[0].door);
    EXPECT_FALSE(r.exits[1].door);
    EXPECT_DOUBLE_EQ(r.exits[1].to.x, 1e-3);
    EXPECT_DOUBLE_EQ(r.exits[1].to.z, -2);
    ASSERT_TRUE(r.camera.has_value());
    EXPECT_DOUBLE_EQ(r.camera->y, 20);
    EXPECT_DOUBLE_EQ(r.camera->rotationY, -0.42);
    EXPECT_DOUBLE_EQ(r.camera->fovY, 60);
    EXPECT_DOUBLE_EQ(r.end.evacuationTime, 0.1);
    EXPECT_FALSE(r.end.everyoneOut);
    ASSERT_EQ(r.end.leaving.size(), 1u);
    EXPECT_EQ(r.end.leaving[0].actor, 3);
    EXPECT_EQ(r.end.leaving[0].exit, 1);
    EXPECT_NEAR(r.end.leaving[0].time, 0.0833333, 5e-7);
    ASSERT_EQ(r.frames.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(r.frames[k].time, m.frames[k].time, 5e-7);
        ASSERT_EQ(r.frames[k].poses.size(), m.frames[k].poses.size());
        for (std::size_t i = 0; i < m.frames[k].poses.size(); ++i) {
            const auto &a = r.frames[k].poses[i], &b = m.frames[k].poses[i];
            EXPECT_EQ(a.actor, b.actor);
            EXPECT_NEAR(a.x, b.x, 5e-7);
            EXPECT_NEAR(a.z, b.z, 5e-7);
            EXPECT_NEAR(a.heading, b.heading, 5e-7);
        }
    }
    // Lines end in CR LF; no "-0.000000" for a tiny negative.
    const std::string text = readFile(dir / "m.kvx");
    EXPECT_EQ(text.rfind("KVX TEXT 2.1\r\n", 0), 0u);
    EXPECT_EQ(text.find("-0.000000"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 10), "EndScene\r\n");
}

TEST(MotionFile, LineFeedsAloneReadTheSame) {
    TempDir dir;
    write(dir / "m.kvx", sample());
    std::string text = readFile(dir / "m.kvx"), lf;
    for (char c : text)
        if (c != '\r') lf += c;
    writeFile(dir / "lf.kvx", lf);
    const Motion r = recording::readMotion(dir / "lf.kvx");
    EXPECT_EQ(r.frames.size(), 3u);
    EXPECT_EQ(r.frames[2].poses.size(), 2u);
}

TEST(MotionFile, ADamagedFileIsRefusedWithItsLine) {
    TempDir dir;
    write(dir / "m.kvx", sample());
    const std::string good = readFile(dir / "m.kvx");
    auto damaged = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        const auto at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        t.replace(at, from.size(), to);
        writeFile(dir / "bad.kvx", t);
        return readError(dir / "bad.kvx");
    };
    // Cut in the middle of a frame: the frame count no longer matches.
    writeFile(dir / "cut.kvx", good.substr(0, good.find("TW_Frame 2")));
    EXPECT_NE(readError(dir / "cut.kvx").find("cut.kvx:"), std::string::npos);
    EXPECT_NE(damaged("FrameCount 3", "FrameCount 4").find("FrameCount says 4"), std::string::npos);
    EXPECT_NE(damaged("\t\t\t\t7: ", "\t\t\t\t8: ").find("actor 8 is not declared"),
              std::string::npos);
    const std::string notNumber = damaged("\t\t\t\t0: 10.000000", "\t\t\t\t0: 1O.000000");
    EXPECT_NE(notNumber.find("bad.kvx:41: a coordinate is not a number"), std::string::npos)
        << notNumber;
    EXPECT_NE(damaged("TW_Frame 1 ", "TW_Frame 5 ").find("frame 1 expected"), std::string::npos);
    EXPECT_NE(damaged("ACT-7", "ACT-3").find("declared twice"), std::string::npos);
    EXPECT_NE(damaged("KVX TEXT 2.1", "KVX TEXT 9").find(":1: not a KVX"), std::string::npos);
    EXPECT_NE(damaged("3: 1, 0.083333", "3: 2, 0.083333").find("actor 3 left by no exit"), std::string::npos);
    EXPECT_NE(damaged("Kind line", "Kind window").find("a door or a line"), std::string::npos);
    EXPECT_NE(damaged("\t\t\t2.000000, 0.000000, 2.000000\r\n", "").find("expected a vertex"),
              std::string::npos);
    EXPECT_NE(readError(dir / "none.kvx").find("none.kvx"), std::string::npos);
}

TEST(MotionFile, AnUnwritableTargetIsNamedAndAnUnfinishedFileLeavesNothing) {
    TempDir dir;
    const auto file = dir / "no-such-folder" / "m.kvx";
    MotionWriter w(file, sample());
    EXPECT_NE(w.problem().find(file.string()), std::string::npos);
    w.frame(sample().frames[0]);
    EXPECT_THROW(w.finish({}), std::runtime_error);
    {
        MotionWriter interrupted(dir / "m.kvx", sample());
        interrupted.frame(sample().frames[0]);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
