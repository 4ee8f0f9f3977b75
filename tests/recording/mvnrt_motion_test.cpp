// mvnrt records the people's motion: from a scenario with --motion, from a
// project whose script asks for it; the file reads back to the trajectories,
// recording changes no result, and an unwritable target is reported.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "mvnrt_run.h"
#include "recording/kvx_motion.h"

using recordingtest::corridor;
using recordingtest::has;
using recordingtest::runMvnrt;
using recordingtest::summaryOf;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

// trajectories.csv as time text -> (person -> x, z).
using Rows = std::map<std::string, std::map<int, std::pair<double, double>>>;
Rows trajectories(const std::filesystem::path& file) {
    std::istringstream in(readFile(file));
    std::string line;
    std::getline(in, line);  // header
    Rows rows;
    while (std::getline(in, line)) {
        std::istringstream l(line);
        std::string time, person, x, z;
        std::getline(l, time, ',');
        std::getline(l, person, ',');
        std::getline(l, x, ',');
        std::getline(l, z, ',');
        rows[time][std::stoi(person)] = {std::stod(x), std::stod(z)};
    }
    return rows;
}

std::string fixed1(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

std::string fourDecimals(double t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", t);
    return text;
}

// Every frame of the motion file against trajectories.csv: the same people at
// the same times and places. The motion file holds six decimals of its
// scene's units, the trajectories four of metres: they differ by the
// trajectories' rounding at most.
constexpr double kCsvRounding = 0.00005 + 1e-6;

void expectSameMotion(const recording::Motion& m, const Rows& rows) {
    ASSERT_EQ(m.frames.size(), rows.size());
    for (const auto& f : m.frames) {
        const auto row = rows.find(fourDecimals(f.time));
        ASSERT_NE(row, rows.end()) << f.time;
        ASSERT_EQ(f.poses.size(), row->second.size()) << f.time;
        for (const auto& p : f.poses) {
            const auto at = row->second.at(p.actor);
            EXPECT_NEAR(p.x * m.metresPerUnit, at.first, kCsvRounding);
            EXPECT_NEAR(p.z * m.metresPerUnit, at.second, kCsvRounding);
            EXPECT_EQ(p.y, 0.0);
        }
    }
}

}  // namespace

TEST(MvnrtMotion, AScenarioRecordsWithMotionAndTheFileReadsBackToTheTrajectories) {
    TempDir dir;
    const auto o = runMvnrt(dir.path(), "--scenario " + corridor() + " --out r --motion walk.kvx");
    ASSERT_EQ(o.status, 0) << o.err;
    const recording::Motion m = recording::readMotion(dir / "walk.kvx");
    EXPECT_EQ(m.actors.size(), 20u);
    EXPECT_EQ(m.actors[0].role, "person");
    EXPECT_GT(m.actors[0].radius, 0.2);
    EXPECT_DOUBLE_EQ(m.frameRate, 24.0);
    EXPECT_DOUBLE_EQ(m.metresPerUnit, 1.0);
    // The scene to replay it in: the L-shaped floor, its door, no camera.
    ASSERT_EQ(m.floor.size(), 1u);
    EXPECT_EQ(m.floor[0].size(), 6u);
    ASSERT_EQ(m.exits.size(), 1u);
    EXPECT_EQ(m.exits[0].name, "north end");
    EXPECT_FALSE(m.camera.has_value());
    expectSameMotion(m, trajectories(dir / "r" / "trajectories.csv"));
    // Frames from 0 until the last person is out, and everyone walks north
    // at the end (heading 0 faces +z).
    const auto s = summaryOf(dir / "r");
    const double evacuation = s["evacuationTime"];
    EXPECT_EQ(static_cast<double>(m.frames.size()), std::floor(evacuation * 24.0 + 1e-6) + 1);
    EXPECT_NEAR(m.frames.back().poses.front().heading, 0.0, 0.5);
    // The report and summary.json name the recording.
    const std::string line = "Recorded motion walk.kvx: " + std::to_string(m.frames.size()) + " frames";
    EXPECT_TRUE(has(o.out, line)) << o.out;
    ASSERT_EQ(s["recordings"].size(), 1u);
    EXPECT_EQ(s["recordings"][0]["kind"], "motion");
    EXPECT_EQ(s["recordings"][0]["file"], "walk.kvx");
    EXPECT_EQ(s["recordings"][0]["frames"], m.frames.size());
    EXPECT_NEAR(s["recordings"][0]["seconds"].get<double>(), static_cast<double>(m.frames.size()) / 24.0, 1e-3);
    // And the page: the recording with its file, frames and length.
    const std::string page = readFile(dir / "r" / "report.html");
    EXPECT_TRUE(has(page, "<h2>Recordings</h2>")) << page;
    EXPECT_TRUE(has(page, "<td class=\"l\">motion</td><td>walk.kvx</td><td>" +
                              std::to_string(m.frames.size()) + "</td><td>" +
                              fixed1(static_cast<double>(m.frames.size()) / 24.0) + "</td>"))
        << page;
}

TEST(MvnrtMotion, RecordingChangesNoResult) {
    TempDir dir;
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario " + corridor() + " --out a --quiet").status, 0);
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario " + corridor() + " --out b --quiet --motion m.kvx")
                  .status,
              0);
    EXPECT_EQ(readFile(dir / "a" / "trajectories.csv"), readFile(dir / "b" / "trajectories.csv"));
    auto a = summaryOf(dir / "a"), b = summaryOf(dir / "b");
    EXPECT_EQ(a["recordings"].size(), 0u);
    for (auto* s : {&a, &b}) {
        s->erase("timing");
        s->erase("recordings");
    }
    EXPECT_EQ(a.dump(), b.dump());
}

TEST(MvnrtMotion, AnUnwritableTargetFailsWithItsNameAndTheResultsAreWrittenAllTheSame) {
    TempDir dir;
    const auto o =
        runMvnrt(dir.path(), "--scenario " + corridor() + " --out r --motion no-folder/m.kvx");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "no-folder/m.kvx")) << o.err;
    const auto s = summaryOf(dir / "r");
    EXPECT_EQ(s["everyoneOut"], true);
    EXPECT_EQ(s["recordings"].size(), 0u);
    const std::string csv = readFile(dir / "r" / "trajectories.csv");
    EXPECT_EQ(csv.back(), '\n');
    EXPECT_EQ(trajectories(dir / "r" / "trajectories.csv").size(),
              std::floor(s["evacuationTime"].get<double>() * 24.0 + 1e-6) + 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "no-folder"));
}

TEST(MvnrtMotion, AProjectRecordsIntoItsResultsFolderWhenItsScriptAsks) {
    TempDir dir;
    // The worked example asks for the motion (dumpToKVX = 1, dumpToAVI = 0).
    runtimetest::writeProject(dir.path(), runtimetest::workedExample(), runtimetest::basicFloor());
    auto o = runMvnrt(dir.path(), "");
    ASSERT_EQ(o.status, 0) << o.err;
    // The run's own folder below bProj/results, which `latest` names.
    const auto results =
        dir / "bProj" / "results" / std::filesystem::read_symlink(dir / "bProj/results/latest");
    const auto file = results / "mocap.kvx";
    ASSERT_TRUE(std::filesystem::exists(file)) << o.out;
    EXPECT_TRUE(has(o.out, "Recorded motion " + file.lexically_relative(dir.path()).string() + ": "))
        << o.out;
    EXPECT_TRUE(has(o.out, "(the script names h:\\mocap.kvx; there is no drive H: here)")) << o.out;
    EXPECT_FALSE(has(o.out, "writes trajectories.csv instead")) << o.out;
    const recording::Motion m = recording::readMotion(file);
    EXPECT_DOUBLE_EQ(m.metresPerUnit, 0.1);  // world units are decimetres
    // The basic floor's nine corners, two doors and the script's camera.
    ASSERT_EQ(m.floor.size(), 1u);
    EXPECT_EQ(m.floor[0].size(), 9u);
    EXPECT_EQ(m.exits.size(), 2u);
    ASSERT_TRUE(m.camera.has_value());
    EXPECT_DOUBLE_EQ(m.camera->rotationY, -0.42);
    EXPECT_EQ(m.actors[0].role, "child");
    EXPECT_EQ(m.actors[1].role, "parent");
    expectSameMotion(m, trajectories(results / "trajectories.csv"));
    EXPECT_FALSE(std::filesystem::exists(dir / "test.avi"));

    // Both flags 0: neither file.
    std::filesystem::remove(file);
    runtimetest::writeProject(dir.path(),
                              runtimetest::withLine(8, "\tglobal var dumpToKVX = 0;"),
                              runtimetest::basicFloor());
    o = runMvnrt(dir.path(), "");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(dir / "test.avi"));
    EXPECT_FALSE(has(o.out, "Recorded")) << o.out;
}

TEST(MvnrtMotion, TheMovieSizeMustBeEvenAndSensible) {
    TempDir dir;
    for (const char* bad : {"1280", "1281x720", "16x16", "1280x720x3", "x720", "99999x720"}) {
        const auto o = runMvnrt(dir.path(), std::string("--movie-size ") + bad);
        EXPECT_EQ(o.status, 2) << bad;
        EXPECT_TRUE(has(o.err, "--movie-size needs WIDTHxHEIGHT")) << o.err;
    }
    EXPECT_EQ(runMvnrt(dir.path(), "--movie").status, 2);
}

TEST(MvnrtMotion, ASweepRecordsNothingAndRefusesRecordingOptions) {
    TempDir dir;
    runtimetest::writeProject(dir.path(), runtimetest::workedExample(), runtimetest::basicFloor());
    auto o = runMvnrt(dir.path(), "--runs 2 --jobs 1 --out sweep --motion m.kvx");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "--movie and --motion record one run")) << o.err;
    // The worked example asks for the motion file; the runs of a sweep leave it out.
    o = runMvnrt(dir.path(), "--runs 2 --jobs 1 --out sweep");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "sweep" / "run-1" / "summary.json"));
    EXPECT_FALSE(std::filesystem::exists(dir / "sweep" / "run-1" / "mocap.kvx"));
}
