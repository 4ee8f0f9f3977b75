// Sweep files: their variants, the task plan a cluster runs, the aggregate
// table, a sweep run here end to end (resumed, collected, one task by hand),
// and mistakes refused before anything runs.
#include "studies/sweep_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/sweep_results.h"
#include "analysis/sweep_table.h"
#include "platform/input_error.h"
#include "inputs/mvnrt_options.h"
#include "run/results.h"
#include "studies/slurm_submit.h"
#include "studies/sweep_plan.h"
#include "support/test_support.h"

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

// 20 people in a 6 m room with one door: a run takes some 30 ms.
const char* kRoom = R"({
  "name": "small room", "timeLimit": 200,
  "walkable": [[[0, 0], [6, 0], [6, 6], [0, 6]]],
  "exits": [{"name": "door", "from": [6, 2.5], "to": [6, 3.5]}],
  "fill": [{"area": [[0.5, 0.5], [5.5, 0.5], [5.5, 5.5], [0.5, 5.5]], "count": 20}]
})";

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome mvnrt(const fs::path& cwd, const std::string& args) {
    const std::string cmd = "cd '" + cwd.string() +
                            "' && env -u DISPLAY -u WAYLAND_DISPLAY '" MVNRT_PATH "' " + args +
                            " >mvnrt.out 2>mvnrt.err </dev/null";
    const int raw = std::system(cmd.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(cwd / "mvnrt.out"),
            readFile(cwd / "mvnrt.err")};
}

std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::string field;
        bool quoted = false;
        for (char c : line) {
            if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                fields.push_back(std::exchange(field, {}));
            else
                field += c;
        }
        fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

std::string column(const std::vector<std::vector<std::string>>& rows, std::size_t row,
                   const std::string& name) {
    const auto& header = rows.at(0);
    const auto at = std::find(header.begin(), header.end(), name);
    return rows.at(row).at(static_cast<std::size_t>(at - header.begin()));
}

}  // namespace

TEST(SweepFile, ExpandsEntriesIntoVariantsWithSeedsParametersAndPaths) {
    TempDir dir;
    writeFile(dir / "scen" / "room.json", kRoom);
    const std::string text = R"({
      "results": "out", "seeds": "4-6", "timeLimit": 90,
      "scenarios": [
        {"scenario": "scen/room.json", "runs": 2},
        {"name": "varied", "scenario": "scen/room.json", "seeds": [9, 3], "preMovement": "uniform:0:5",
         "vary": {"model.headwayTime": [0.3, 0.6], "fill[0].count": [10, 15, 20]}}
      ]})";
    const runtime::SweepDefinition s = runtime::parseSweepFile(text, dir / "sweep.json");
    EXPECT_EQ(s.root, dir / "out");
    ASSERT_EQ(s.variants.size(), 7u);
    EXPECT_EQ(s.variants[0].name, "room");  // from the scenario's file name
    EXPECT_EQ(s.variants[0].seeds, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_EQ(s.variants[0].timeLimit, 90.0);  // the file's default
    EXPECT_EQ(s.variants[0].sourcePath, dir / "scen" / "room.json");
    EXPECT_TRUE(s.variants[0].scenarioText.empty());
    EXPECT_EQ(runtime::variantArguments(s, s.variants[0]),
              (std::vector<std::string>{"--scenario", (dir / "scen" / "room.json").string(),
                                        "--time-limit", "90.0"}));
    // The first key (in key order) varies slowest.
    const runtime::SweepVariant& v5 = s.variants[5];
    EXPECT_EQ(v5.name, "varied-5");
    EXPECT_EQ(v5.parameters, (std::vector<std::pair<std::string, std::string>>{
                                 {"fill[0].count", "20"}, {"model.headwayTime", "0.3"}}));
    EXPECT_EQ(v5.seeds, (std::vector<std::uint64_t>{9, 3}));
    const auto scenario = nlohmann::json::parse(v5.scenarioText);
    EXPECT_EQ(scenario["fill"][0]["count"], 20);
    EXPECT_EQ(scenario["model"]["headwayTime"], 0.3);
    EXPECT_EQ(runtime::variantArguments(s, v5),
              (std::vector<std::string>{"--scenario",
                                        (dir / "out" / "varied-5" / "scenario.json").string(),
                                        "--time-limit", "90.0", "--pre-movement", "uniform:0:5"}));
    EXPECT_EQ(s.runs(), 2u + 6u * 2u);
    EXPECT_EQ(runtime::seedsText({4, 5, 6}), "4-6");
    EXPECT_EQ(runtime::seedsText({9, 3}), "9,3");
}

TEST(SweepFile, AMistakeIsRefusedNamingTheFileAndEntryBeforeAnythingRuns) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    fs::create_directory(dir / "not-a-project");
    const std::string room = R"("scenario": "room.json")";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"runs": 2, "scenarios": [{)" + room + R"(, "speed": 1}]})",
         "sweep.json: scenarios[0].speed: is not a known member"},
        {R"({"runs": 2, "output": "x", "scenarios": [{)" + room + "}]}",
         "sweep.json: output: is not a known member"},
        {R"({"runs": 2, "scenarios": [{)" + room + R"(}, {"scenario": "nope.json"}]})",
         "sweep.json: scenarios[1].scenario: nope.json: no such scenario file"},
        {R"({"runs": 2, "scenarios": [{)" + room + R"(}, {"name": "b", )" + room +
             R"(, "seeds": []}]})",
         "sweep.json: scenarios[1].seeds: the seed list is empty"},
        {R"({"scenarios": [{)" + room + "}]}", "sweep.json: scenarios[0]: names no seeds"},
        {R"({"seeds": "5-2", "scenarios": [{)" + room + "}]}", "seeds: the range \"5-2\" is empty"},
        {R"({"runs": 2, "scenarios": [{)" + room + R"(, "seeds": [1, 1]}]})",
         "scenarios[0].seeds[1]: appears twice"},
        {R"({"runs": 2, "scenarios": [{)" + room + R"(, "runs": 3, "seeds": [1]}]})",
         "scenarios[0].seeds: give either seeds or runs"},
        {R"({"runs": 2, "scenarios": [{)" + room + "}, {" + room + "}]}",
         "scenarios[1].name: \"room\" names another variant already"},
        {R"({"runs": 2, "scenarios": [{"name": "../up", )" + room + "}]}",
         "scenarios[0].name: \"../up\" cannot name a folder"},
        {R"({"runs": 2, "scenarios": [{)" + room + R"(, "vary": {"fill[3].count": [5]}}]})",
         "scenarios[0].vary.fill[3].count: the scenario has no fill[3]"},
        {R"({"runs": 2, "scenarios": [{)" + room +
             R"(, "vary": {"model.headwayTime": [0.5, 50]}}]})",
         "scenarios[0]: variant room-2: model.headwayTime"},
        {R"({"runs": 2, "scenarios": [{)" + room + R"(, "vary": {"model.tua": [0.5]}}]})",
         "scenarios[0]: variant room-1: model.tua: is not a known member"},
        {R"({"runs": 2, "scenarios": [{"project": "not-a-project"}]})",
         "scenarios[0].project: not-a-project: holds no project bProj"},
        {R"({"runs": 2, "scenarios": [{"project": "not-a-project", "vary": {"model.A": [1]}}]})",
         "holds no project bProj"},
        {R"({"runs": 2, "scenarios": [{)" + room + R"(, "preMovement": "gauss:1"}]})",
         "scenarios[0].preMovement:"},
        {R"({"runs": 2, "scenarios": []})", "sweep.json: scenarios: must be a non-empty list"},
        {R"({"runs": 2, "runs": 3, "scenarios": []})", "runs: appears twice"},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(dir / "sweep.json", text);
        try {
            runtime::loadSweepFile(dir / "sweep.json");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const platform::InputError& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos)
                << e.what() << "\nexpected: " << expected;
        }
    }
    // mvnrt says so with status 2 and writes nothing.
    writeFile(dir / "sweep.json", R"({"results": "out", "runs": 2, "scenarios": [{)" + room +
                                      R"(}, {"name": "b", )" + room + R"(, "seeds": []}]})");
    const Outcome o = mvnrt(dir.path(), "--sweep sweep.json");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("sweep.json: scenarios[1].seeds: the seed list is empty"),
              std::string::npos)
        << o.err;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(SweepPlan, RunsAreNumberedIntoTasksAndReadBackAsWritten) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    writeFile(dir / "sweep.json",
              R"({"results": "out", "scenarios": [{"name": "a", "scenario": "room.json", "runs": 4},
                  {"name": "b", "scenario": "room.json", "seeds": [7, 9, 11]}]})");
    const runtime::SweepDefinition s = runtime::loadSweepFile(dir / "sweep.json");
    runtime::SweepPlan plan = runtime::makePlan(s, 3);
    EXPECT_EQ(runtime::taskCount(plan), 3u);  // 7 runs, 3 a task
    const auto runs = runtime::taskRuns(plan);
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[3].task, 1u);
    EXPECT_EQ(runs[3].variant, 0u);
    EXPECT_EQ(runs[4].variant, 1u);
    EXPECT_EQ(runs[4].seed, 7u);
    EXPECT_EQ(runs[6].task, 2u);

    // What a task reads is what was planned.
    fs::create_directories(plan.root);
    writeFile(plan.root / runtime::kPlanName, runtime::planJsonText(plan));
    writeFile(plan.root / runtime::kTaskListName, runtime::taskListText(plan));
    const runtime::SweepPlan back = runtime::readPlan(plan.root);
    EXPECT_EQ(runtime::planJsonText(back), runtime::planJsonText(plan));
    const auto task1 = runtime::readTaskRuns(plan.root, back, 1);
    ASSERT_EQ(task1.size(), 3u);
    EXPECT_EQ(task1[0].seed, 4u);
    EXPECT_EQ(back.variants[task1[1].variant].name, "b");
    EXPECT_EQ(task1[2].seed, 9u);
    EXPECT_TRUE(runtime::readTaskRuns(plan.root, back, 3).empty());
    writeFile(plan.root / runtime::kTaskListName, "task\tvariant\tseed\n0\tzz\t1\n");
    EXPECT_THROW(runtime::readTaskRuns(plan.root, back, 0), platform::InputError);

    // One run a task by default; a sweep past the array limit packs more.
    EXPECT_EQ(runtime::makePlan(s, 0).runsPerTask, 1u);
    writeFile(dir / "big.json", R"({"scenarios": [{"scenario": "room.json", "runs": 2500}]})");
    const runtime::SweepPlan big = runtime::makePlan(runtime::loadSweepFile(dir / "big.json"), 0);
    EXPECT_EQ(big.runsPerTask, 3u);
    EXPECT_LE(runtime::taskCount(big), runtime::kMaxArrayTasks);

    EXPECT_EQ(runtime::indexRanges({0, 1, 2, 5, 7, 8}), "0-2,5,7-8");
    EXPECT_EQ(runtime::indexRanges({4}), "4");
}

TEST(SweepPlan, SbatchOutputAndShellQuoting) {
    EXPECT_EQ(runtime::parsableJobId("1234\n"), "1234");
    EXPECT_EQ(runtime::parsableJobId("77;cluster-a\n"), "77");
    for (const char* bad : {"", "\n", "Submitted batch job 12\n", "12a\n", ";x"})
        EXPECT_THROW(runtime::parsableJobId(bad), std::runtime_error) << bad;
    EXPECT_EQ(analysis::csvField("plain"), "plain");
    EXPECT_EQ(analysis::csvField("a,\"b\""), "\"a,\"\"b\"\"\"");
}

TEST(SweepPlan, OptionsOfSweepFilesAndSubmission) {
    using runtime::parseOptions;
    const runtime::Options o =
        parseOptions({"--sweep", "s.json", "--submit", "slurm", "--partition", "debug", "--time",
                      "1-02:00:00", "--max-parallel", "8", "--runs-per-task", "5", "--resume"});
    EXPECT_EQ(*o.submit, "slurm");
    EXPECT_EQ(*o.wallTime, "1-02:00:00");
    EXPECT_EQ(o.maxParallel, 8);
    EXPECT_EQ(o.runsPerTask, 5);
    for (const char* t : {"30", "10:00", "02:00:00", "3-12"})
        EXPECT_NO_THROW(parseOptions({"--sweep", "s", "--submit", "slurm", "--time", t})) << t;
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--sweep", "s", "--submit", "pbs"},
          {"--submit", "slurm"},                     // no sweep file
          {"--sweep", "s", "--scenario", "a.json"},  // the file names them
          {"--sweep", "s", "--runs", "4"},
          {"--sweep", "s", "--time-limit", "30"},
          {"--sweep", "s", "--partition", "debug"},              // needs --submit
          {"--sweep", "s", "--submit", "slurm", "--jobs", "2"},  // for a local sweep
          {"--sweep", "s", "--submit", "slurm", "--time", "1:2:3:4"},
          {"--sweep", "s", "--submit", "slurm", "--time", "-1"},
          {"--sweep", "s", "--submit", "slurm", "--partition", "a b"},
          {"--sweep-task", "root"},  // without its index
          {"--project", "p", "--scenario", "a.json"}})
        EXPECT_THROW(parseOptions(bad), platform::InputError) << bad[0] << " " << bad[1];
}

// The sweep run here: its table holds the figures of the runs themselves,
// collecting again gives the same bytes, and a lost run is named by its task
// and made again by --resume or by that task alone.
TEST(SweepRun, TheTableEqualsTheRunsAndALostRunIsNamedAndMadeAgain) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    writeFile(dir / "sweep.json",
              R"({"results": "out", "seeds": "1-3", "scenarios": [
                  {"name": "plain", "scenario": "room.json"},
                  {"name": "doors", "scenario": "room.json", "vary": {"exits[0].to": [[6, 3.5], [6, 4.5]]}}]})");
    const Outcome first = mvnrt(dir.path(), "--sweep sweep.json --jobs 2");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("Runs: 9 of 9 finished"), std::string::npos) << first.out;
    const fs::path out = dir / "out";
    const std::string csv = readFile(out / "sweep.csv");
    const auto rows = csvRows(csv);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].size(), analysis::sweepCsvColumns().size());
    const std::vector<std::string> names = {"plain", "doors-1", "doors-2"};
    for (std::size_t v = 0; v < names.size(); ++v) {
        EXPECT_EQ(column(rows, v + 1, "variant"), names[v]);
        EXPECT_EQ(column(rows, v + 1, "finished"), "3");
        double sum = 0.0, min = 1e9;
        for (int seed = 1; seed <= 3; ++seed) {
            const auto summary = nlohmann::json::parse(
                readFile(out / names[v] / ("run-" + std::to_string(seed)) / "summary.json"));
            ASSERT_TRUE(summary["everyoneOut"].get<bool>());
            sum += summary["evacuationTime"].get<double>();
            min = std::min(min, summary["evacuationTime"].get<double>());
        }
        EXPECT_NEAR(std::stod(column(rows, v + 1, "evacuation_mean_s")), sum / 3.0, 1e-4);
        EXPECT_NEAR(std::stod(column(rows, v + 1, "evacuation_min_s")), min, 1e-4);
    }
    // The wider door lets the room out sooner.
    EXPECT_LT(std::stod(column(rows, 3, "evacuation_mean_s")),
              std::stod(column(rows, 2, "evacuation_mean_s")));
    EXPECT_EQ(column(rows, 2, "parameters"), "exits[0].to=[6,3.5]");
    // Each variant's report says its varied values in its title and table.
    const std::string doors1 = readFile(out / "doors-1" / "report.html");
    EXPECT_NE(doors1.find("<title>Sweep of doors-1 (exits[0].to = [6,3.5]): 3 runs</title>"),
              std::string::npos);
    EXPECT_NE(doors1.find("<td class=\"l\">exits[0].to</td><td>[6,3.5]</td>"), std::string::npos);
    EXPECT_NE(readFile(out / "doors-2" / "report.html").find("(exits[0].to = [6,4.5])"),
              std::string::npos);
    // Three runs are too few to judge whether a mean has settled, and the
    // report states its rule.
    EXPECT_NE(doors1.find("is not judged: 3 runs"), std::string::npos);
    EXPECT_NE(doors1.find(analysis::kSettledRule), std::string::npos);
    // One page compares the variants: each with its evacuation time and
    // interval, linked to its report, a chart and the exits' use.
    const std::string compared = readFile(out / "report.html");
    for (const std::string& n : names)
        EXPECT_NE(compared.find("<a href=\"" + n + "/report.html\">" + n + "</a>"),
                  std::string::npos)
            << n;
    std::vector<analysis::RunRecord> doors2;
    for (std::uint64_t seed = 1; seed <= 3; ++seed)
        doors2.push_back(analysis::readRun(out / "doors-2", seed));
    const analysis::SweepStatistics summary = analysis::sweepStatistics(doors2);
    EXPECT_NE(compared.find("<td>" + runtime::fixed(summary.evacuation.ciLow, 1) + " - " +
                            runtime::fixed(summary.evacuation.ciHigh, 1) + "</td>"),
              std::string::npos);
    EXPECT_NE(compared.find("aria-label=\"evacuation time by variant\""), std::string::npos);
    EXPECT_NE(compared.find("Exit use by variant"), std::string::npos);
    EXPECT_NE(compared.find("not judged (3 runs)"), std::string::npos);
    // The same runs seed by seed as a plain many-runs study.
    ASSERT_EQ(mvnrt(dir.path(), "--scenario room.json --seeds 1-3 --out plain --quiet").status, 0);
    EXPECT_EQ(readFile(dir / "plain" / "runs.json"), readFile(out / "plain" / "runs.json"));

    // Collected again: the same bytes.
    fs::remove(out / "sweep.csv");
    ASSERT_EQ(mvnrt(dir.path(), "--collect out").status, 0);
    EXPECT_EQ(readFile(out / "sweep.csv"), csv);

    // A run lost: named by its task (doors-1 seed 2 is the fifth run).
    fs::remove_all(out / "doors-1" / "run-2");
    Outcome lost = mvnrt(dir.path(), "--collect out");
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(lost.err.find("task 4 (doors-1 seed 2: missing)"), std::string::npos) << lost.err;
    EXPECT_NE(lost.err.find("tasks to run again: 4"), std::string::npos) << lost.err;
    EXPECT_EQ(column(csvRows(readFile(out / "sweep.csv")), 2, "missing"), "1");

    // That task alone makes it again.
    ASSERT_EQ(mvnrt(dir.path(), "--sweep-task out --task-index 4").status, 0);
    EXPECT_TRUE(analysis::runFinished(out / "doors-1", 2));
    ASSERT_EQ(mvnrt(dir.path(), "--collect out").status, 0);
    EXPECT_EQ(readFile(out / "sweep.csv"), csv);

    // --resume makes only what is missing.
    fs::remove_all(out / "plain" / "run-3");
    const Outcome resumed = mvnrt(dir.path(), "--sweep sweep.json --resume");
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_NE(resumed.out.find("8 finished before"), std::string::npos) << resumed.out;
    EXPECT_EQ(readFile(out / "sweep.csv"), csv);
    EXPECT_EQ(mvnrt(dir.path(), "--sweep-task out --task-index 99").status, 2);
}
