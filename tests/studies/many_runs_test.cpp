// Many runs: each seed a child process of mvnrt into ROOT/run-K, the same
// results as single runs, a killed sweep resumed, crashed and hung children
// isolated and reported.
#include "platform/input_error.h"
#include "studies/many_runs.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "analysis/sweep_results.h"
#include "inputs/mvnrt_options.h"
#include "studies/run_pool.h"
#include "support/test_support.h"

using testsupport::readFile;
using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

// 30 people in an 8 m square room with one door: a run takes some 50 ms.
const char* kRoom = R"({
  "name": "small room", "timeLimit": 300,
  "walkable": [[[0, 0], [8, 0], [8, 8], [0, 8]]],
  "exits": [{"name": "door", "from": [8, 3.5], "to": [8, 4.5]}],
  "fill": [{"area": [[0.5, 0.5], [7.5, 0.5], [7.5, 7.5], [0.5, 7.5]], "count": 30}]
})";

int runMvnrt(const fs::path& cwd, const std::string& args) {
    // Without a display: a single run would show its window otherwise.
    const std::string cmd = "cd '" + cwd.string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY '" MVNRT_PATH "' " + args +
                            " >mvnrt.out 2>mvnrt.err </dev/null";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

nlohmann::json withoutTiming(const fs::path& summary) {
    nlohmann::json j = nlohmann::json::parse(readFile(summary));
    j.erase("timing");
    return j;
}

}  // namespace

TEST(Sweep, RunsInParallelGiveTheFilesOfSingleRunsWithThoseSeeds) {
    TempDir dir;
    testsupport::writeFile(dir / "room.json", kRoom);
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario room.json --runs 4 --jobs 2 --out sweep"), 0)
        << readFile(dir / "mvnrt.err");
    for (int seed = 1; seed <= 4; ++seed) {
        const std::string single = "single-" + std::to_string(seed);
        ASSERT_EQ(runMvnrt(dir.path(), "--scenario room.json --fps 0 --quiet --seed " +
                                           std::to_string(seed) + " --out " + single),
                  0);
        const fs::path run = dir / "sweep" / ("run-" + std::to_string(seed));
        EXPECT_EQ(withoutTiming(run / "summary.json"), withoutTiming(dir / single / "summary.json"))
            << seed;
        EXPECT_EQ(readFile(run / "evacuation.png"), readFile(dir / single / "evacuation.png"));
        EXPECT_FALSE(fs::exists(run / "trajectories.csv"));  // --fps 0 unless asked
    }
    const auto runs = nlohmann::json::parse(readFile(dir / "sweep" / "runs.json"))["runs"];
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[2]["seed"], 3);
    EXPECT_EQ(runs[2]["status"], "ok");
    EXPECT_EQ(runs[2]["evacuationTime"],
              withoutTiming(dir / "single-3" / "summary.json")["evacuationTime"]);
    // The aggregate is made from the run folders alone: collected again
    // by hand, it is the same.
    const std::string stats = readFile(dir / "sweep" / "statistics.json");
    const std::string list = readFile(dir / "sweep" / "runs.json");
    fs::remove(dir / "sweep" / "statistics.json");
    fs::remove(dir / "sweep" / "runs.json");
    ASSERT_EQ(runMvnrt(dir.path(), "--collect sweep"), 0) << readFile(dir / "mvnrt.err");
    EXPECT_EQ(readFile(dir / "sweep" / "statistics.json"), stats);
    EXPECT_EQ(readFile(dir / "sweep" / "runs.json"), list);
    fs::create_directory(dir / "empty");
    EXPECT_EQ(runMvnrt(dir.path(), "--collect empty"), 2);
    // A run missing from the seeds asked for is reported, with status 1.
    EXPECT_EQ(runMvnrt(dir.path(), "--collect sweep --runs 5"), 1);
    EXPECT_NE(readFile(dir / "mvnrt.out").find("1 not run"), std::string::npos)
        << readFile(dir / "mvnrt.out");
    ASSERT_EQ(runMvnrt(dir.path(), "--collect sweep --runs 4"), 0);

    // Nothing temporary is left beside the runs.
    for (const auto& e : fs::directory_iterator(dir / "sweep")) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name[0] != '.' || name == ".mvnrt-results") << name;
    }
}

TEST(Sweep, AKilledSweepResumedGivesTheAggregateOfAnUninterruptedOne) {
    TempDir dir;
    testsupport::writeFile(dir / "room.json", kRoom);
    // Ten runs: enough that the sweep is still going when it is killed,
    // even on a busy machine.
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario room.json --runs 10 --jobs 2 --out whole"), 0);

    // The same sweep one run at a time, killed with all its children as
    // soon as its first run is in place.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setpgid(0, 0);
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        execl(MVNRT_PATH, MVNRT_PATH, "--scenario", "room.json", "--runs", "10", "--jobs", "1",
              "--out", "cut", "--quiet", static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(dir / "cut" / "run-1" / "summary.json") &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(-pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    std::size_t finished = 0;
    for (std::uint64_t seed = 1; seed <= 10; ++seed)
        finished += analysis::runFinished(dir / "cut", seed) ? 1 : 0;
    EXPECT_GE(finished, 1u);
    EXPECT_LT(finished, 10u);
    EXPECT_FALSE(fs::exists(dir / "cut" / "statistics.json"));

    ASSERT_EQ(runMvnrt(dir.path(), "--scenario room.json --runs 10 --jobs 2 --out cut --resume"), 0)
        << readFile(dir / "mvnrt.err");
    EXPECT_NE(readFile(dir / "mvnrt.out").find(std::to_string(finished) + " finished before"),
              std::string::npos)
        << readFile(dir / "mvnrt.out");
    EXPECT_EQ(readFile(dir / "cut" / "statistics.json"),
              readFile(dir / "whole" / "statistics.json"));
    EXPECT_EQ(readFile(dir / "cut" / "runs.json"), readFile(dir / "whole" / "runs.json"));
}

TEST(Sweep, CrashedAndHungChildrenAreReportedNotDropped) {
    TempDir dir;
    // Seed 2 crashes, seed 3 hangs, seed 4 fails with a message, the rest
    // finish.
    const fs::path script = dir / "child.sh";
    testsupport::writeFile(script,
                           "#!/bin/sh\n"
                           "case \"$1\" in\n"
                           "  2) kill -SEGV $$ ;;\n"
                           "  3) exec sleep 30 ;;\n"
                           "  4) echo 'the floor is gone' >&2; exit 2 ;;\n"
                           "esac\n"
                           "exit 0\n");
    fs::permissions(script, fs::perms::owner_all);
    std::vector<runtime::ChildJob> jobs;
    for (std::uint64_t seed = 1; seed <= 5; ++seed)
        jobs.push_back({seed, {std::to_string(seed)}, dir / ("log-" + std::to_string(seed))});
    runtime::PoolOptions opt;
    opt.executable = script.string();
    opt.jobs = 2;
    opt.wallLimit = 1.0;
    std::vector<std::uint64_t> told;
    opt.onDone = [&](const runtime::ChildOutcome& o) { told.push_back(o.key); };
    const auto started = std::chrono::steady_clock::now();
    const auto out = runtime::runChildren(jobs, opt);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    using Kind = runtime::ChildOutcome::Kind;
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0].kind, Kind::Ok);
    EXPECT_EQ(out[1].kind, Kind::Failed);
    EXPECT_EQ(out[1].signal, SIGSEGV);
    EXPECT_NE(out[1].detail.find("signal"), std::string::npos) << out[1].detail;
    EXPECT_EQ(out[2].kind, Kind::TimedOut);
    EXPECT_EQ(out[3].kind, Kind::Failed);
    EXPECT_EQ(out[3].exitCode, 2);
    EXPECT_NE(out[3].detail.find("the floor is gone"), std::string::npos) << out[3].detail;
    EXPECT_EQ(out[4].kind, Kind::Ok);
    EXPECT_EQ(told.size(), 5u);
}

TEST(Sweep, OptionsOfManyRuns) {
    using runtime::parseOptions;
    const runtime::Options o = parseOptions({"--seeds", "5-7", "--jobs", "3", "--resume"});
    EXPECT_EQ(runtime::sweepSeeds(o), (std::vector<std::uint64_t>{5, 6, 7}));
    EXPECT_EQ(runtime::sweepSeeds(parseOptions({"--runs", "3"})),
              (std::vector<std::uint64_t>{1, 2, 3}));
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--runs", "0"},
                                                {"--runs", "4", "--seed", "2"},
                                                {"--runs", "4", "--seeds", "1-4"},
                                                {"--seeds", "7-5"},
                                                {"--seeds", "5"},
                                                {"--jobs", "2"},
                                                {"--resume"},
                                                {"--atomic-out"}})
        EXPECT_THROW(parseOptions(bad), platform::InputError) << bad[0];

    // One run's command: the sweep's options out, the run's in.
    EXPECT_EQ(
        runtime::runArguments({"--scenario", "a.json", "--runs", "9", "--jobs", "2", "--out", "r",
                               "--time-limit", "60", "--quiet"},
                              4, "r/run-4"),
        (std::vector<std::string>{"--scenario", "a.json", "--time-limit", "60", "--seed", "4",
                                  "--out", "r/run-4", "--atomic-out", "--quiet", "--fps", "0",
                                  "--threads", "1", "--headless"}));
    EXPECT_EQ(runtime::runArguments({"--runs", "2", "--fps", "10", "--threads", "2"}, 1, "x"),
              (std::vector<std::string>{"--fps", "10", "--threads", "2", "--seed", "1", "--out",
                                        "x", "--atomic-out", "--quiet", "--headless"}));
}
