// mvnrt as a program: started in a folder that holds bProj with no
// arguments, or with --scenario; its exit status, report and result files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "support/runtime_test_helpers.h"

using runtimetest::basicFloor;
using runtimetest::Outcome;
using runtimetest::runMvnrt;
using runtimetest::workedExample;
using runtimetest::writeProject;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

nlohmann::json summaryOf(const std::filesystem::path& dir) {
    return nlohmann::json::parse(readFile(dir / "summary.json"));
}

bool has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

}  // namespace

TEST(Mvnrt, ReadsTheProjectOfTheCurrentFolderAndWritesItsResults) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), basicFloor());
    const Outcome o = runMvnrt(dir.path(), "");
    ASSERT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_TRUE(has(o.out, "Evacuation time: ")) << o.out;
    // The worked example places one exit; the second is the script's default.
    EXPECT_TRUE(has(o.out, "Out by exit: exit 1: ")) << o.out;
    EXPECT_TRUE(has(o.out, ", default exit 2: ")) << o.out;
    EXPECT_TRUE(has(o.out, "times real time")) << o.out;
    // In a folder of its own below bProj/results, which `latest` names.
    const auto results = dir / "bProj" / "results" / "latest";
    EXPECT_TRUE(has(o.out, "Results in bProj/results/single-")) << o.out;
    const auto s = summaryOf(results);
    EXPECT_EQ(s["people"], 20);
    EXPECT_EQ(s["everyoneOut"], true);
    EXPECT_EQ(s["persons"].size(), 20u);
    EXPECT_EQ(s["persons"][0]["role"], "child");
    EXPECT_EQ(s["persons"][1]["role"], "parent");
    EXPECT_EQ(s["persons"][1]["follows"], 0);
    int out = 0;
    for (const auto& e : s["exits"]) {
        out += e["peopleOut"].get<int>();
        // The report says the same names with the same numbers.
        EXPECT_TRUE(has(o.out, e["name"].get<std::string>() + ": " +
                                   std::to_string(e["peopleOut"].get<int>())))
            << o.out;
    }
    EXPECT_EQ(s["exits"][0]["name"], "exit 1");
    EXPECT_EQ(s["exits"][1]["name"], "default exit 2");
    EXPECT_EQ(out, 20);
    // Trajectories at 24 frames per second.
    const std::string csv = readFile(results / "trajectories.csv");
    EXPECT_EQ(csv.rfind("time_s,person,x_m,z_m\n0.0000,0,", 0), 0u);
    EXPECT_TRUE(has(csv, "\n0.0417,0,"));
    const std::string png = readFile(results / "evacuation.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
}

// A project's world units are decimetres; what mvnrt writes is metres, with
// the unit in every column's and key's name, and the world unit said once.
TEST(Mvnrt, EveryOutputIsInMetresWithTheUnitInItsName) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), basicFloor());
    const Outcome o = runMvnrt(dir.path(), "--time-limit 2");
    ASSERT_EQ(o.status, 0) << o.out << o.err;
    const auto results = dir / "bProj" / "results" / "latest";
    const auto s = summaryOf(results);
    EXPECT_EQ(s["units"]["length"], "m");
    EXPECT_EQ(s["units"]["worldUnit"], "dm");
    EXPECT_EQ(s["units"]["worldUnitsPerMetre"], 10.0);
    // The basic floor is 140 x 80 world units, 14 m x 8 m, with an alcove 2 m
    // deep in its north wall: x within 7 m, z within 6 m.
    double maxX = 0.0, maxZ = 0.0;
    for (const auto& ring : s["walkable_m"])
        for (const auto& v : ring) {
            maxX = std::max(maxX, std::abs(v[0].get<double>()));
            maxZ = std::max(maxZ, std::abs(v[1].get<double>()));
        }
    EXPECT_NEAR(maxX, 7.0, 1e-6);
    EXPECT_NEAR(maxZ, 6.0, 1e-6);
    // A door is a metre wide, in metres.
    const auto& e = s["exits"][0];
    EXPECT_NEAR(std::hypot(e["openingTo_m"][0].get<double>() - e["openingFrom_m"][0].get<double>(),
                           e["openingTo_m"][1].get<double>() - e["openingFrom_m"][1].get<double>()),
                1.0, 1e-3);
    for (const char* older : {"walkable"}) EXPECT_FALSE(s.contains(older));
    // Person 0's first row is where the summary says it started, both in metres.
    const auto& p0 = s["persons"][0];
    EXPECT_FALSE(p0.contains("start"));
    const std::string csv = readFile(results / "trajectories.csv");
    ASSERT_EQ(csv.rfind("time_s,person,x_m,z_m\n0.0000,0,", 0), 0u);
    const std::size_t row = csv.find('\n') + 1;
    const std::string first = csv.substr(row, csv.find('\n', row) - row);
    const std::size_t c2 = first.find(',', first.find(',') + 1), c3 = first.find(',', c2 + 1);
    EXPECT_NEAR(std::stod(first.substr(c2 + 1, c3 - c2 - 1)), p0["start_m"][0].get<double>(), 1e-3);
    EXPECT_NEAR(std::stod(first.substr(c3 + 1)), p0["start_m"][1].get<double>(), 1e-3);
    EXPECT_LE(std::abs(p0["start_m"][0].get<double>()), 7.0);
    // The people left at the time limit are named with their place in metres.
    EXPECT_TRUE(has(o.out, " m), ")) << o.out;
    EXPECT_TRUE(has(readFile(results / "report.html"), "world unit: dm (10 a metre)"));
}

TEST(Mvnrt, TheSameInputAndSeedGiveTheSameFilesAndAnotherSeedAnotherRun) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), basicFloor());
    // a on two threads, b on one: the same files.
    ASSERT_EQ(runMvnrt(dir.path(), "--quiet --out a --threads 2").status, 0);
    ASSERT_EQ(runMvnrt(dir.path(), "--quiet --out b --threads 1").status, 0);
    ASSERT_EQ(runMvnrt(dir.path(), "--quiet --out c --seed 2 --threads 2").status, 0);
    EXPECT_EQ(readFile(dir / "a" / "trajectories.csv"), readFile(dir / "b" / "trajectories.csv"));
    EXPECT_EQ(readFile(dir / "a" / "evacuation.png"), readFile(dir / "b" / "evacuation.png"));
    auto sa = summaryOf(dir / "a"), sb = summaryOf(dir / "b"), sc = summaryOf(dir / "c");
    // Only the wall-clock figures and where the recordings went may differ.
    for (auto* s : {&sa, &sb, &sc}) {
        s->erase("timing");
        s->erase("recordings");
    }
    EXPECT_EQ(sa.dump(), sb.dump());
    EXPECT_NE(readFile(dir / "a" / "trajectories.csv"), readFile(dir / "c" / "trajectories.csv"));
    EXPECT_NE(sa["persons"].dump(), sc["persons"].dump());
}

TEST(Mvnrt, AnUnusableProjectStopsWithStatus2AndSaysWhy) {
    TempDir dir;
    Outcome o = runMvnrt(dir.path(), "");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "no project here")) << o.err;

    writeProject(dir.path(), runtimetest::withLine(16, "\tglobal var vb = new DrvVector(7.5,0);"),
                 basicFloor());
    o = runMvnrt(dir.path(), "");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "startup.pc: line 16: ")) << o.err;
    EXPECT_TRUE(has(o.err, "first exit vector vb")) << o.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "bProj" / "results" / "summary.json"));

    writeProject(dir.path(), workedExample(), runtimetest::fixture("floor-without-mesh.kvx"));
    o = runMvnrt(dir.path(), "");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "Floor.kvx: the floor cannot be read")) << o.err;
}

TEST(Mvnrt, TheCommandLine) {
    TempDir dir;
    Outcome o = runMvnrt(dir.path(), "--help");
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(has(o.out, "Usage: mvnrt"));
    o = runMvnrt(dir.path(), "--frobnicate");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "mvnrt: unknown option '--frobnicate' (see mvnrt --help)")) << o.err;
    o = runMvnrt(dir.path(), "--sede 3");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "unknown option '--sede' (did you mean '--seed'?)")) << o.err;
    // --opt value and --opt=value are one option.
    for (const char* threads : {"--threads 65", "--threads=65"}) {
        o = runMvnrt(dir.path(), threads);
        EXPECT_EQ(o.status, 2) << threads;
        EXPECT_TRUE(has(o.err, "--threads needs a whole number from 1 to 64")) << o.err;
    }
    o = runMvnrt(dir.path(), "--movie-camera side");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "--movie-camera needs script or top, not \"side\"")) << o.err;
}

TEST(Mvnrt, RunsAScenarioAndNamesWhoIsLeftAtTheTimeLimit) {
    TempDir dir;
    const std::string file =
        testsupport::sourcePath("examples/runtime/corner-corridor.json").string();
    Outcome o = runMvnrt(dir.path(), "--scenario '" + file + "' --out r --fps 0");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(has(o.out, "Out by exit: north end: 20")) << o.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "r" / "trajectories.csv"));
    EXPECT_TRUE(std::filesystem::exists(dir / "r" / "evacuation.png"));

    o = runMvnrt(dir.path(), "--scenario '" + file + "' --out r --time-limit 2");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(has(o.out, "Evacuation not complete")) << o.out;
    EXPECT_TRUE(has(o.out, "Still inside: 20: 0 (person at ")) << o.out;
    const auto s = summaryOf(dir / "r");
    EXPECT_EQ(s["stillInside"].size(), 20u);
    EXPECT_TRUE(s["persons"][0]["exitTime"].is_null());
}

TEST(Mvnrt, ABrokenScenarioStopsWithStatus2) {
    TempDir dir;
    testsupport::writeFile(dir / "s.json", R"({"walkable": [[[0,0],[1,0]]]})");
    Outcome o = runMvnrt(dir.path(), "--scenario s.json");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "s.json: walkable[0]")) << o.err;
    // Not JSON: the file, line and column, in plain words.
    testsupport::writeFile(dir / "s.json", "{\n  \"walkable\": [[[0,0],[1,0]]],\n  \"exits\" []\n}\n");
    o = runMvnrt(dir.path(), "--scenario s.json");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "mvnrt: s.json:3:11: not valid JSON: ")) << o.err;
    EXPECT_FALSE(has(o.err, "json.exception")) << o.err;
}
