// mvnrt as a program: started in a folder that holds bProj with no
// arguments, or with --scenario; its exit status, report and result files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "runtime_test_helpers.h"

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
    // Trajectories at 24 frames per second, in world units (decimetres).
    const std::string csv = readFile(results / "trajectories.csv");
    EXPECT_EQ(csv.rfind("time,person,x,z\n0.0000,0,", 0), 0u);
    EXPECT_TRUE(has(csv, "\n0.0417,0,"));
    const std::string png = readFile(results / "evacuation.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
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
    EXPECT_TRUE(has(o.err, "unknown argument"));
    o = runMvnrt(dir.path(), "--threads 65");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "--threads needs a whole number from 1 to 64"));
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
    const Outcome o = runMvnrt(dir.path(), "--scenario s.json");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "s.json: walkable[0]")) << o.err;
}
