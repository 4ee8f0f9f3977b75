// Careless and hostile input to mvnrt: scenarios out of bounds, files that
// are not files, results folders with links and foreign files, full disks.
// Each case checks the clear refusal (or the safe outcome) and that nothing
// outside what mvnrt owns was touched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>

#include "crowd/fast_exp.h"
#include "crowd/floor_outline.h"
#include "crowd/neighbour_grid.h"
#include "crowd/setup_limits.h"
#include "crowd/simulation.h"
#include "inputs/project.h"
#include "run/results_folder.h"
#include "inputs/scenario_file.h"
#include "support/runtime_test_helpers.h"

namespace fs = std::filesystem;
using runtimetest::basicFloor;
using runtimetest::Outcome;
using runtimetest::runMvnrt;
using runtimetest::workedExample;
using runtimetest::writeProject;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::string kRoom =
    R"("walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}])";
const std::string kOnePerson = R"("people": [{"x":1,"z":1}])";

std::string scenarioWith(const std::string& members) {
    return "{" + kRoom + ", " + kOnePerson + (members.empty() ? "" : ", " + members) + "}";
}

std::string errorOf(const std::string& text) {
    try {
        runtime::parseScenario(text);
    } catch (const runtime::InputError& e) {
        return e.what();
    }
    return "(read without an error)";
}

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::size_t entriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

TEST(ScenarioBounds, DuplicateKeysAndDeepNestingAreRefused) {
    EXPECT_TRUE(has(errorOf(scenarioWith(R"("seed": 1, "seed": 2)")), "seed: appears twice"));
    EXPECT_TRUE(has(errorOf(scenarioWith(R"("model": {"B": 0.08, "B": 0.09})")),
                    "model.B: appears twice"));
    EXPECT_TRUE(has(errorOf("{" + kRoom + R"(, "people": [{"x":1,"z":1}, {"x":2,"x":2,"z":1}]})"),
                    "people[1].x: appears twice"));
    // Thousands of levels: refused at the limit, without a deep recursion.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_TRUE(has(errorOf(deep), "nested deeper than"));
    EXPECT_TRUE(has(errorOf(R"({"name": )" + std::string(5000, '[')), "nested deeper than"));
}

TEST(ScenarioBounds, APersonOutsideTheWallsIsRefusedByName) {
    // 40 m outside the room: such a person walked around the walls to the
    // door and was counted out of a room never entered.
    const std::string text = "{" + kRoom + R"(, "people": [{"x":1,"z":1}, {"x":44,"z":1}]})";
    EXPECT_TRUE(has(errorOf(text), "people[1]: stands at (44.00, 1.00) m, outside the walkable area"))
        << errorOf(text);
    EXPECT_EQ(errorOf("{" + kRoom + R"(, "people": [{"x":1,"z":1}, {"x":3.9,"z":3.9}]})"),
              "(read without an error)");
}

TEST(ScenarioBounds, ModelParametersAndTheProductsTheySizeStayInRange) {
    // The repulsion range B of 1e-5 m made the force overflow on contact.
    EXPECT_TRUE(has(errorOf(scenarioWith(R"("model": {"B": 1e-5})")),
                    "model.B: is 1e-05; it must be in [0.01, 2] m"));
    EXPECT_TRUE(has(errorOf(scenarioWith(R"("model": {"dt": 1e-9})")), "model.dt"));
    EXPECT_TRUE(has(errorOf(scenarioWith(R"("model": {"A": 1e400})")), "number overflow"));
    EXPECT_TRUE(has(errorOf(scenarioWith(R"("model": {"mass": 0})")), "model.mass"));
    EXPECT_TRUE(has(errorOf(scenarioWith(R"("model": {"radiusMin": 0.3, "radiusMax": 0.2})")),
                    "model.radiusMax"));
    // Every parameter has a range, and its bounds are accepted.
    for (const crowd::ParamRange& r : crowd::paramRanges()) {
        crowd::ModelParams p;
        p.*r.member = r.max;
        if (r.member == &crowd::ModelParams::radiusMin) p.radiusMax = r.max;
        EXPECT_FALSE(crowd::paramsProblem(p)) << r.name;
        p.*r.member = r.max * 1.5 + 1.0;
        EXPECT_TRUE(crowd::paramsProblem(p)) << r.name;
    }
    // Steps: a long time limit at a fine step is refused before it runs.
    crowd::CrowdSetup setup = runtime::parseScenario(scenarioWith(R"("model": {"dt": 0.0001})")).setup;
    setup.timeLimit = 1e6;
    const auto problem = crowd::setupProblem(setup);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->member, "timeLimit");
}

TEST(ScenarioBounds, FarExitsHugeAreasAndCrowdsAreRefusedBeforeMemoryIsTaken) {
    const auto start = std::chrono::steady_clock::now();
    const std::string farExit =
        R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[1000000,1],"to":[1000000,2]}], )" +
        kOnePerson + "}";
    EXPECT_TRUE(has(errorOf(farExit), "exits[0]: has a point (1e+06, 1) beyond")) << errorOf(farExit);
    const std::string wideExit =
        R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[9000,9000]}], )" +
        kOnePerson + "}";
    EXPECT_TRUE(has(errorOf(wideExit), "walkable and exits: span")) << errorOf(wideExit);
    EXPECT_TRUE(has(errorOf("{" + kRoom + R"(, "fill": [{"area": [[0,0],[1,0],[1,1],[0,1]], "count": 100000}, {"area": [[0,0],[1,0],[1,1],[0,1]], "count": 100000}]})"),
                    "at most 100000"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(ScenarioBounds, MessagesNeverEchoAHugeKey) {
    const std::string key(1 << 20, 'k');
    const std::string e1 = errorOf(scenarioWith("\"" + key + "\": 1"));
    EXPECT_TRUE(has(e1, "is not a known member"));
    EXPECT_LT(e1.size(), 300u);
    const std::string e2 = errorOf(scenarioWith("\"" + key + "\": 1, \"" + key + "\": 2"));
    EXPECT_TRUE(has(e2, "appears twice"));
    EXPECT_LT(e2.size(), 300u);
}

// The force code stays finite at the edges of every range it accepts.
TEST(ScenarioBounds, ExtremeAcceptedParametersGiveFinitePositions) {
    const std::string stiff = scenarioWith(
        R"("model": {"B": 0.01, "A": 100000, "k": 1e7, "kappa": 1e7, "mass": 1, "tau": 0.05})");
    auto f = runtime::parseScenario(
        "{" + kRoom + R"(, "people": [{"x":1,"z":1,"radius":0.5}, {"x":1.2,"z":1.1,"radius":0.5}, {"x":1.1,"z":1.3}],)" +
        R"("model": {"B": 0.01, "A": 100000, "k": 1e7, "kappa": 1e7, "mass": 1, "tau": 0.05}})");
    (void)stiff;
    crowd::Simulation sim(f.setup);
    for (int s = 0; s < 300; ++s) sim.step();
    for (std::size_t i = 0; i < sim.peopleCount(); ++i) {
        EXPECT_TRUE(std::isfinite(sim.position(static_cast<int>(i)).x)) << i;
        EXPECT_TRUE(std::isfinite(sim.position(static_cast<int>(i)).y)) << i;
    }
}

TEST(MvnrtInputs, FifosDevicesAndFoldersAreRefusedByNameWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.json").c_str(), 0644), 0);
    fs::create_directory(dir / "folder.json");
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& input : {std::string("pipe.json"), std::string("/dev/zero"),
                                     std::string("folder.json")}) {
        const Outcome o = runMvnrt(dir.path(), "--scenario " + input + " --quiet");
        EXPECT_EQ(o.status, 2) << input << o.err;
        EXPECT_TRUE(has(o.err, input + ": is a")) << o.err;
    }
    // The same for the project's script and floor.
    TempDir project;
    writeProject(project.path(), workedExample(), basicFloor());
    const fs::path script = project / "bProj/Vellico/startup.pc";
    fs::remove(script);
    ASSERT_EQ(::mkfifo(script.c_str(), 0644), 0);
    Outcome o = runMvnrt(project.path(), "--quiet");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "startup.pc: is a FIFO")) << o.err;
    fs::remove(script);
    writeFile(script, workedExample());
    const fs::path floor = project / "bProj/Content/Actors/Floor/Floor.kvx";
    fs::remove(floor);
    fs::create_symlink("/dev/zero", floor);
    o = runMvnrt(project.path(), "--quiet");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "Floor.kvx")) << o.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(MvnrtInputs, TheForceOverflowCaseIsARefusalNotACrash) {
    TempDir dir;
    writeFile(dir / "b.json", scenarioWith(R"("model": {"B": 1e-5})"));
    const Outcome o = runMvnrt(dir.path(), "--scenario b.json --quiet");
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_TRUE(has(o.err, "b.json: model.B: is 1e-05")) << o.err;
    EXPECT_FALSE(fs::exists(dir / "results"));
}

TEST(MvnrtResults, LinksInTheResultsFolderAreNeverFollowed) {
    TempDir dir;
    writeProject(dir.path(), workedExample(), basicFloor());
    writeFile(dir / "victim.txt", "precious");
    // A folder named with --out is written again by the next run.
    ASSERT_EQ(runMvnrt(dir.path(), "--quiet --fps 1 --out named").status, 0);
    const fs::path named = dir / "named";
    // Someone puts links where mvnrt's own results were.
    for (const char* name : {"summary.json", "trajectories.csv", "evacuation.png"}) {
        fs::remove(named / name);
        fs::create_symlink(dir / "victim.txt", named / name);
    }
    // Refused by name before anything is written; the links stay links.
    const Outcome o = runMvnrt(dir.path(), "--quiet --fps 1 --out named");
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(has(o.err, "summary.json: is a symbolic link, not a regular file")) << o.err;
    EXPECT_EQ(readFile(dir / "victim.txt"), "precious");
    for (const char* name : {"summary.json", "trajectories.csv", "evacuation.png"})
        EXPECT_TRUE(fs::is_symlink(named / name)) << name;

    // A link where the default results folder must be is refused by name.
    const fs::path results = dir / "bProj/results";
    fs::remove_all(results);
    fs::create_directory(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", results);
    const Outcome linked = runMvnrt(dir.path(), "--quiet");
    EXPECT_EQ(linked.status, 1);
    EXPECT_TRUE(has(linked.err, "bProj/results: is a symbolic link")) << linked.err;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST(MvnrtResults, ForeignFilesInAnOutFolderAreNeitherOverwrittenNorDeleted) {
    TempDir dir;
    writeFile(dir / "s.json", scenarioWith(""));
    fs::create_directory(dir / "mine");
    writeFile(dir / "mine/trajectories.csv", "my own data");
    writeFile(dir / "mine/summary.json", "{}");
    Outcome o = runMvnrt(dir.path(), "--scenario s.json --out mine --quiet");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "mine: holds summary.json, trajectories.csv that mvnrt did not write"))
        << o.err;
    EXPECT_EQ(readFile(dir / "mine/trajectories.csv"), "my own data");
    EXPECT_EQ(entriesIn(dir / "mine"), 2u);
    // Without trajectories, mvnrt leaves the user's file alone.
    fs::remove(dir / "mine/summary.json");
    o = runMvnrt(dir.path(), "--scenario s.json --out mine --quiet --fps 0");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(readFile(dir / "mine/trajectories.csv"), "my own data");
    // mvnrt's own files are written over and removed freely.
    fs::remove(dir / "mine/trajectories.csv");
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario s.json --out mine --quiet").status, 0);
    EXPECT_TRUE(fs::exists(dir / "mine/trajectories.csv"));
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario s.json --out mine --quiet --fps 0").status, 0);
    EXPECT_FALSE(fs::exists(dir / "mine/trajectories.csv"));
    // A name removed is no longer ours: a file the user puts there later
    // is theirs.
    EXPECT_EQ(runtime::manifestNames(dir / "mine"),
              (std::set<std::string>{"density.png", "evacuation.png", "floor.png", "measures.json",
                                     "report.html", "summary.json"}));
}

TEST(MvnrtResults, UnwritableResultsGiveStatus1AndNoClaimOfSuccess) {
    TempDir dir;
    writeFile(dir / "s.json", scenarioWith(""));
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario s.json --out r --quiet").status, 0);
    // A folder at the plot's name: refused by name before anything is
    // written, and no claim of results.
    fs::remove(dir / "r/evacuation.png");
    fs::create_directory(dir / "r/evacuation.png");
    const std::string before = readFile(dir / "r/summary.json");
    Outcome o = runMvnrt(dir.path(), "--scenario s.json --out r --seed 7");
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_TRUE(has(o.err, "evacuation.png: is a directory")) << o.err;
    EXPECT_FALSE(has(o.out, "Results in")) << o.out;
    EXPECT_EQ(readFile(dir / "r/summary.json"), before);
    // Over-long names and a results folder below a file.
    o = runMvnrt(dir.path(), "--scenario s.json --quiet --out " + std::string(300, 'n'));
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "cannot create the results folder")) << o.err;
    EXPECT_LT(o.err.size(), 600u);
    o = runMvnrt(dir.path(), "--scenario s.json --quiet --out s.json/below");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "s.json/below: cannot create the results folder")) << o.err;
}

TEST(MvnrtResults, ADeletedWorkingFolderIsReportedNotAnAbort) {
    TempDir dir;
    writeFile(dir / "s.json", scenarioWith(""));
    fs::create_directory(dir / "gone");
    const std::string cmd = "cd '" + (dir / "gone").string() + "' && rmdir '" +
                            (dir / "gone").string() + "' && '" MVNRT_PATH "' --headless --quiet; echo $? > '" +
                            (dir / "status").string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(readFile(dir / "status"), "2\n");
    const std::string withScenario = "cd '" + dir.path().string() + "' && mkdir gone && cd gone && rmdir '" +
                                     (dir / "gone").string() + "' && '" MVNRT_PATH "' --headless --quiet --scenario '" +
                                     (dir / "s.json").string() + "'; echo $? > '" +
                                     (dir / "status").string() + "'";
    ASSERT_EQ(std::system(withScenario.c_str()), 0);
    EXPECT_EQ(readFile(dir / "status"), "1\n");
}

// A full disk: a small tmpfs as the results folder, when the test may mount one.
TEST(MvnrtResults, AFullDiskKeepsThePreviousResults) {
    TempDir dir;
    const fs::path small = dir / "small";
    fs::create_directory(small);
    const testsupport::SmallDisk disk(small, "size=256k");
    if (!disk.mounted()) GTEST_SKIP() << disk.why() << "; the full-disk case is not tested";
    writeFile(dir / "s.json", scenarioWith(""));
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario s.json --quiet --fps 1 --out small/r").status, 0);
    const std::string summary = readFile(small / "r/summary.json");
    const std::string trajectories = readFile(small / "r/trajectories.csv");
    // A crowd at 1000 frames a second fills the disk.
    writeFile(dir / "crowd.json",
              "{" + kRoom + R"(, "fill": [{"area": [[0.5,0.5],[3.5,0.5],[3.5,3.5],[0.5,3.5]], "count": 20}]})");
    const Outcome o =
        runMvnrt(dir.path(), "--scenario crowd.json --quiet --fps 1000 --out small/r");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "trajectories.csv: cannot be written: No space left")) << o.err;
    EXPECT_EQ(readFile(small / "r/trajectories.csv"), trajectories);
    for (const auto& e : fs::directory_iterator(small / "r"))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
    (void)summary;
}

// One check decides for the runtime and the builders whether a floor can be
// simulated.
TEST(FloorOutline, TheOneCheckForEveryFloor) {
    using crowd::checkFloorOutline;
    const crowd::Polygon square = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    EXPECT_EQ(checkFloorOutline(square).warning(), "");
    EXPECT_EQ(checkFloorOutline(square).walkable.size(), 4u);
    // A figure eight encloses no net area but crosses itself: its hull.
    const auto eight = checkFloorOutline({{0, 0}, {4, 4}, {4, 0}, {0, 4}});
    EXPECT_TRUE(eight.crossesItself);
    EXPECT_EQ(eight.problem, "");
    EXPECT_EQ(eight.walkable.size(), 4u);
    EXPECT_TRUE(has(eight.warning(), "convex hull"));
    struct Case {
        crowd::Polygon outline;
        const char* problem;
    };
    for (const Case& c :
         {Case{{{0, 0}, {1, 1}}, "fewer than three distinct vertices"},
          Case{{{0, 0}, {1, 1}, {1, 1}, {0, 0}}, "fewer than three distinct vertices"},
          Case{{{0, 0}, {1, 1}, {2, 2}, {3, 3}}, "all its vertices lie on one line"},
          Case{{{0, 0}, {2, 2}, {1, 1}, {3, 3}}, "all its vertices lie on one line"},
          Case{{{0, 0}, {1, 1}, {2, 2}}, "all its vertices lie on one line"},
          Case{{{0, 0}, {NAN, 0}, {1, 1}}, "not a finite number"},
          Case{{{0, 0}, {1e30, 0}, {1, 1}}, "more than 100000 m from the origin"},
          Case{crowd::Polygon(crowd::kMaxFloorVertices + 1, crowd::Vec2{1, 1}), "vertices, more than"}}) {
        const auto check = checkFloorOutline(c.outline);
        EXPECT_TRUE(has(check.problem, c.problem)) << check.problem;
        EXPECT_TRUE(has(check.warning(), "cannot be simulated"));
    }
}

TEST(FloorOutline, TheRuntimeWalksOnTheHullOfASelfCrossingFloor) {
    TempDir dir;
    // The square floor with its last two corners swapped: a figure eight.
    std::string eight = runtimetest::fixture("square-floor.kvx");
    const std::string third = "70.000000, 0.000000, 70.000000", fourth = "-70.000000, 0.000000, 70.000000";
    eight.replace(eight.find(third), third.size(), "@");
    eight.replace(eight.find(fourth), fourth.size(), third);
    eight.replace(eight.find("@"), 1, fourth);
    writeProject(dir.path(), workedExample(), eight);
    const Outcome o = runMvnrt(dir.path(), "--fps 0");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(has(o.out, "convex hull")) << o.out;
}

// The class of the force overflow: out-of-range values never size a table or
// grid, and a value that is not a number never becomes a grid index.
TEST(ForceArithmetic, BoundsAreCheckedBeforeAnythingIsSizedAndIndicesStayInTheGrid) {
    crowd::CrowdSetup setup = runtime::parseScenario(scenarioWith("")).setup;
    setup.params.B = 1e-5;  // as a library caller could, past the reader
    try {
        crowd::Simulation sim(setup);
        ADD_FAILURE() << "built";
    } catch (const std::invalid_argument& e) {
        EXPECT_TRUE(has(e.what(), "model.B")) << e.what();
    }
    EXPECT_EQ(crowd::NeighbourGrid::clampedCell(NAN, 10), 0);
    EXPECT_EQ(crowd::NeighbourGrid::clampedCell(-INFINITY, 10), 0);
    EXPECT_EQ(crowd::NeighbourGrid::clampedCell(INFINITY, 10), 9);
    EXPECT_EQ(crowd::NeighbourGrid::clampedCell(1e300, 10), 9);
    EXPECT_EQ(crowd::NeighbourGrid::clampedCell(3.0, 10), 3);
    EXPECT_TRUE(std::isfinite(1e5 * crowd::fastExp(1e6)));
    EXPECT_NEAR(crowd::fastExp(1.0), std::exp(1.0), 1e-10);
}
