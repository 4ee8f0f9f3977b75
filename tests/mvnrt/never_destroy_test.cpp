// mvnrt never destroys what is not its own: the user's files beside a run
// (--atomic-out), devices and FIFOs named as outputs, batch scripts that a
// file name could inject a command into, runs of other inputs mixed into a
// mean, seeds that wrap. Each case checks the refusal by name and that the
// user's files and nodes are untouched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "support/runtime_test_helpers.h"

namespace fs = std::filesystem;
using runtimetest::runMvnrt;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::string kRoom =
    R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}],
        "people": [{"x":1,"z":1}], "timeLimit": 30})";

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            out.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

}  // namespace

TEST(OwnOnlyWhatWeWrote, AtomicOutKeepsTheUsersFilesBesideAnEarlierRun) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    const std::string run = "--headless --scenario room.json --fps 0 --quiet --atomic-out --out ";
    ASSERT_EQ(runMvnrt(dir.path(), run + "out").status, 0);
    fs::create_directories(dir / "out/thesis");
    writeFile(dir / "out/thesis/chapter.tex", "precious");
    writeFile(dir / "out/budget.xlsx", "precious too");
    writeFile(dir / "out/notes.txt", "my notes on this run");
    const runtimetest::Outcome again = runMvnrt(dir.path(), run + "out");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(readFile(dir / "out/thesis/chapter.tex"), "precious");
    EXPECT_EQ(readFile(dir / "out/budget.xlsx"), "precious too");
    EXPECT_EQ(readFile(dir / "out/notes.txt"), "my notes on this run");
    EXPECT_TRUE(fs::is_regular_file(dir / "out/summary.json"));

    // A working folder as --out: every file and folder of the user stays.
    fs::create_directories(dir / "work/sub");
    writeFile(dir / "work/room.json", kRoom);
    writeFile(dir / "work/sub/data.csv", "1,2");
    const runtimetest::Outcome here =
        runMvnrt(dir / "work", "--headless --scenario room.json --fps 0 --quiet --atomic-out --out .");
    EXPECT_EQ(here.status, 0) << here.err;
    EXPECT_EQ(readFile(dir / "work/room.json"), kRoom);
    EXPECT_EQ(readFile(dir / "work/sub/data.csv"), "1,2");
    EXPECT_TRUE(fs::is_regular_file(dir / "work/summary.json"));

    // A file of ours by name but not in the manifest stops the run; it stays.
    fs::create_directories(dir / "other");
    writeFile(dir / "other/summary.json", "the user's own");
    const runtimetest::Outcome refused = runMvnrt(dir.path(), run + "other");
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(has(refused.err, "summary.json that mvnrt did not write")) << refused.err;
    EXPECT_EQ(readFile(dir / "other/summary.json"), "the user's own");
}

TEST(OwnOnlyWhatWeWrote, ASweepMakesARunAgainWithoutRemovingTheNotesInItsFolder) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario room.json --runs 2 --jobs 1 --quiet --out s").status, 0);
    writeFile(dir / "s/run-1/notes.txt", "seed 1 looked odd");
    writeFile(dir / "s/run-2.failed", "not a failure record of mvnrt");
    const runtimetest::Outcome again =
        runMvnrt(dir.path(), "--scenario room.json --runs 2 --jobs 1 --quiet --out s");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(readFile(dir / "s/run-1/notes.txt"), "seed 1 looked odd");
    EXPECT_EQ(readFile(dir / "s/run-2.failed"), "not a failure record of mvnrt");
    EXPECT_TRUE(fs::is_regular_file(dir / "s/run-1/summary.json"));
}

TEST(OutputsAreRegularFiles, FifosDevicesAndLinksAreRefusedByNameAndStayAsTheyWere) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    for (const char* option : {"--movie", "--motion"}) {
        const runtimetest::Outcome o =
            runMvnrt(dir.path(), std::string("--headless --scenario room.json --out r ") + option + " pipe");
        EXPECT_EQ(o.status, 2) << option;
        EXPECT_TRUE(has(o.err, "pipe: is a FIFO (named pipe)")) << o.err;
        EXPECT_EQ(fs::symlink_status(dir / "pipe").type(), fs::file_type::fifo);
        EXPECT_FALSE(fs::exists(dir / "r")) << "nothing is written before the refusal";
    }
    fs::create_directories(dir / "res");
    ASSERT_EQ(::mkfifo((dir / "res/report.html").c_str(), 0644), 0);
    const runtimetest::Outcome o = runMvnrt(dir.path(), "--headless --scenario room.json --out res");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "report.html: is a FIFO")) << o.err;
    EXPECT_FALSE(fs::exists(dir / "res/summary.json"));

    if (::geteuid() != 0) GTEST_SKIP() << "the device cases need root (mknod)";
    ASSERT_EQ(::mknod((dir / "full").c_str(), S_IFCHR | 0644, makedev(1, 7)), 0);
    for (const char* option : {"--movie", "--motion"}) {
        const runtimetest::Outcome d =
            runMvnrt(dir.path(), std::string("--headless --scenario room.json --out r ") + option + " full");
        EXPECT_EQ(d.status, 2);
        EXPECT_TRUE(has(d.err, "full: is a character device")) << d.err;
        EXPECT_EQ(fs::symlink_status(dir / "full").type(), fs::file_type::character);
    }
}

TEST(OutputsAreRegularFiles, ALinkAtAVariantFolderIsRefused) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    writeFile(dir / "sweep.json",
              R"({"results": "res", "runs": 1, "scenarios": [{"name": "v", "scenario": "room.json"}]})");
    fs::create_directories(dir / "res");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "res/v");
    const runtimetest::Outcome o = runMvnrt(dir.path(), "--sweep sweep.json --quiet");
    EXPECT_NE(o.status, 0);
    EXPECT_TRUE(has(o.err, "res/v: is a symbolic link")) << o.err;
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST(ShellQuoting, ScriptsSubmittedThroughAFakeSbatchHoldEveryNameQuoted) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    // A fake sbatch: records its arguments and the script it was given,
    // answers with a job id.
    fs::create_directories(dir / "bin");
    writeFile(dir / "bin/sbatch",
              "#!/bin/sh\nn=$(ls \"$LOG\" | wc -l)\nprintf '%s\\n' \"$@\" > \"$LOG/call-$n\"\n"
              "echo $((100 + n))\n");
    fs::permissions(dir / "bin/sbatch", fs::perms::owner_all);
    fs::create_directories(dir / "log");
    const std::string env = "env PATH='" + (dir / "bin").string() + ":/usr/bin:/bin' LOG='" +
                            (dir / "log").string() + "' ";
    const std::string sweep =
        R"({"results": "res", "runs": 2, "scenarios": [{"name": "v", "scenario": "room.json"}]})";

    // A line break in the sweep file's name: refused by name, nothing
    // written, nothing submitted.
    writeFile(dir / "bad\nrm -rf ~.json", sweep);
    std::string cmd = "cd '" + dir.path().string() + "' && " + env + "'" MVNRT_PATH "' --sweep \"$(printf 'bad\\nrm -rf ~.json')\" --submit slurm --quiet 2>err.txt";
    int raw = std::system(cmd.c_str());
    EXPECT_EQ(WEXITSTATUS(raw), 2);
    EXPECT_TRUE(has(readFile(dir / "err.txt"), "holds a line break")) << readFile(dir / "err.txt");
    EXPECT_FALSE(fs::exists(dir / "res"));
    EXPECT_TRUE(fs::is_empty(dir / "log"));

    // Quotes, blanks and $( ) in the name: quoted in every line.
    const std::string odd = "it's a $(touch pwned) `x`.json";
    writeFile(dir / odd, sweep);
    cmd = "cd '" + dir.path().string() + "' && " + env + "'" MVNRT_PATH "' --sweep \"it's a \\$(touch pwned) \\`x\\`.json\" --submit slurm --quiet 2>err.txt";
    raw = std::system(cmd.c_str());
    ASSERT_EQ(WEXITSTATUS(raw), 0) << readFile(dir / "err.txt");
    const std::string quoted = "'" + dir.path().string() + "/it'\\''s a $(touch pwned) `x`.json'";
    const std::string root = "'" + (dir / "res").string() + "'";
    const std::vector<std::string> array = linesOf(readFile(dir / "res/sweep.sbatch"));
    ASSERT_EQ(array.size(), 11u);
    EXPECT_EQ(array[0], "#!/bin/bash");
    EXPECT_EQ(array[1], "# The runs of the sweep " + quoted + ", one job array.");
    EXPECT_EQ(array[3], "#   sbatch --array=3,5 '" + (dir / "res/sweep.sbatch").string() + "'");
    EXPECT_EQ(array[4], "#SBATCH --job-name=mvnrt-sweep");
    EXPECT_EQ(array[5], "#SBATCH --array=0-1");
    EXPECT_EQ(array[10], "exec '" MVNRT_PATH "' --sweep-task " + root +
                             " --task-index \"${SLURM_ARRAY_TASK_ID}\"");
    for (const std::string& line : array)
        EXPECT_TRUE(line.empty() || line[0] == '#' || line.rfind("echo \"mvnrt task", 0) == 0 ||
                    line.rfind("exec '", 0) == 0)
            << line;
    const std::vector<std::string> collect = linesOf(readFile(dir / "res/collect.sbatch"));
    EXPECT_EQ(collect[1], "# The aggregate of the sweep " + quoted + ": sweep.csv, sweep.json and");
    EXPECT_EQ(collect.back(), "exec '" MVNRT_PATH "' --collect " + root);
    // The shell reads both scripts as written, and running their comments
    // and directives does nothing.
    EXPECT_EQ(std::system(("bash -n '" + (dir / "res/sweep.sbatch").string() + "'").c_str()), 0);
    EXPECT_EQ(std::system(("bash -n '" + (dir / "res/collect.sbatch").string() + "'").c_str()), 0);
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_EQ(readFile(dir / "log/call-0"),
              "--parsable\n--array=0-1\n" + (dir / "res/sweep.sbatch").string() + "\n");
    EXPECT_EQ(readFile(dir / "log/call-1"), "--parsable\n--dependency=afterany:100\n" +
                                                (dir / "res/collect.sbatch").string() + "\n");
}

TEST(NoSilentMixing, ResumeAndCollectNameRunsOfOtherInputs) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario room.json --runs 2 --jobs 1 --quiet --out s").status, 0);
    EXPECT_EQ(runMvnrt(dir.path(), "--scenario room.json --runs 3 --jobs 1 --quiet --resume --out s").status, 0);
    // The scenario changed: the kept runs are named, nothing is averaged.
    writeFile(dir / "room.json", std::string(kRoom).replace(kRoom.find("30"), 2, "40"));
    const std::string before = readFile(dir / "s/statistics.json");
    const runtimetest::Outcome resumed =
        runMvnrt(dir.path(), "--scenario room.json --runs 3 --jobs 1 --quiet --resume --out s");
    EXPECT_NE(resumed.status, 0);
    EXPECT_TRUE(has(resumed.err, "s/run-1, s/run-2, s/run-3 were made of other inputs")) << resumed.err;
    EXPECT_EQ(readFile(dir / "s/statistics.json"), before);

    // A run of another seed copied in: --collect names it.
    fs::copy(dir / "s/run-1", dir / "s/run-7", fs::copy_options::recursive);
    const runtimetest::Outcome collected = runMvnrt(dir.path(), "--collect s --quiet");
    EXPECT_EQ(collected.status, 1);
    EXPECT_TRUE(has(collected.err, "run-7 differs from the first run")) << collected.err;
    EXPECT_EQ(readFile(dir / "s/statistics.json"), before);
}

TEST(NoSilentMixing, AProjectsFloorAndScenarioRecordAreItsInputsToo) {
    // The script alone does not make a project's runs: another floor, or
    // another record of the roles typed, makes the kept runs another study.
    TempDir dir;
    runtimetest::writeProject(dir.path(), runtimetest::workedExample(), runtimetest::basicFloor());
    ASSERT_EQ(runMvnrt(dir.path(), "--runs 2 --jobs 1 --quiet --out s").status, 0);
    const fs::path floor = dir / "bProj/Content/Actors/Floor/Floor.kvx";
    ASSERT_TRUE(fs::is_regular_file(floor));
    writeFile(floor, readFile(floor) + "\r\n");
    const runtimetest::Outcome resumed = runMvnrt(dir.path(), "--runs 2 --jobs 1 --quiet --resume --out s");
    EXPECT_NE(resumed.status, 0);
    EXPECT_TRUE(has(resumed.err, "s/run-1, s/run-2 were made of other inputs")) << resumed.err;
}

TEST(NoSilentMixing, NumbersPastTheLargestSeedAreRefusedNotWrapped) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    fs::create_directories(dir / "c/run-99999999999999999999");
    const runtimetest::Outcome o = runMvnrt(dir.path(), "--collect c");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "run-99999999999999999999: names no seed")) << o.err;

    writeFile(dir / "sweep.json",
              R"({"seeds": "99999999999999999999-1", "scenarios": [{"scenario": "room.json"}]})");
    const runtimetest::Outcome s = runMvnrt(dir.path(), "--sweep sweep.json");
    EXPECT_EQ(s.status, 2);
    EXPECT_TRUE(has(s.err, "seeds: must be a list of seeds or a range")) << s.err;
    writeFile(dir / "sweep.json",
              R"({"runs": 1, "scenarios": [{"scenario": "room.json",
                  "vary": {"people[18446744073709551616].x": [1]}}]})");
    const runtimetest::Outcome v = runMvnrt(dir.path(), "--sweep sweep.json");
    EXPECT_EQ(v.status, 2);
    EXPECT_TRUE(has(v.err, "is not a member path")) << v.err;
    EXPECT_FALSE(fs::exists(dir / "sweep-results"));
}

namespace {

// A room of `points` points on a circle of radius 20 m with a door east.
std::string roundRoom(int points, const std::string& people) {
    std::string ring;
    for (int k = 0; k < points; ++k) {
        const double a = 2.0 * M_PI * k / points;
        if (k) ring.append(",");
        ring.append("[").append(std::to_string(20.0 + 20.0 * std::cos(a))).append(",");
        ring.append(std::to_string(20.0 + 20.0 * std::sin(a))).append("]");
    }
    std::string text = R"({"walkable": [[)";
    text.append(ring).append(R"(]], "exits": [{"from":[40,19],"to":[40,21]}], "people": [)");
    text.append(people).append(R"(], "timeLimit": 1})");
    return text;
}

std::string exitsText(int n) {
    std::string t;
    for (int k = 0; k < n; ++k) {
        if (k) t.append(",");
        t.append(R"({"from":[)").append(std::to_string(0.1 * k)).append(R"(,0],"to":[)");
        t.append(std::to_string(0.1 * k + 0.05)).append(",0]}");
    }
    return t;
}

}  // namespace

TEST(BoundsInMemoryAndTime, EachRefusalNamesTheMemberAndTheLimit) {
    TempDir dir;
    // Exits: 32 allowed, 33 refused.
    const std::string area = R"("walkable": [[[0,0],[4,0],[4,4],[0,4]]], "people": [{"x":1,"z":1}])";
    writeFile(dir / "e.json", "{" + area + R"(, "exits": [)" + exitsText(33) + "]}");
    runtimetest::Outcome o = runMvnrt(dir.path(), "--headless --scenario e.json --quiet");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "exits: there are 33 exits; at most 32 are allowed")) << o.err;
    // Explicit people: ten in a square metre, not eleven.
    std::string ten, eleven;
    for (int k = 0; k < 11; ++k)
        (k < 10 ? ten : eleven) += std::string(k ? "," : "") + R"({"x":)" +
                                   std::to_string(1.05 + 0.09 * k) + R"(,"z":1.5})";
    writeFile(dir / "ten.json", R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}], "people": [)" + ten + R"(], "timeLimit": 1})");
    o = runMvnrt(dir.path(), "--headless --scenario ten.json --quiet --fps 0");
    EXPECT_EQ(o.status, 0) << o.err;
    writeFile(dir / "eleven.json", R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}], "people": [)" + ten + eleven + R"(], "timeLimit": 1})");
    o = runMvnrt(dir.path(), "--headless --scenario eleven.json --quiet");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "people[10]: is person 11 in the square metre from (1, 1); at most 10"))
        << o.err;
    // A person far from the floor, and the real count of a huge fill.
    writeFile(dir / "far.json", R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}], "people": [{"x":1e300,"z":1}]})");
    o = runMvnrt(dir.path(), "--headless --scenario far.json --quiet");
    EXPECT_TRUE(has(o.err, "people[0]: stands beyond 100000 m")) << o.err;
    writeFile(dir / "huge.json", R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}], "people": [{"x":1,"z":1}], "fill": [{"area": [[0,0],[1,0],[1,1]], "count": 123456789}]})");
    o = runMvnrt(dir.path(), "--headless --scenario huge.json --quiet");
    EXPECT_TRUE(has(o.err, "the scenario has 123456790 people")) << o.err;
    // Polygon points: 100,000 a polygon (and 200,000 in all).
    writeFile(dir / "many.json", roundRoom(100001, R"({"x":20,"z":20})"));
    o = runMvnrt(dir.path(), "--headless --scenario many.json --quiet");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "walkable[0]: has 100001 points; at most 100000 a polygon")) << o.err;
}

TEST(BoundsInMemoryAndTime, AWalkablePolygonOfAHundredThousandPointsRunsInSeconds) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a timing bound: it holds in the optimised build, not under the sanitizers";
#endif
    TempDir dir;
    writeFile(dir / "round.json", roundRoom(100000, R"({"x":20,"z":20})"));
    const auto started = std::chrono::steady_clock::now();
    const runtimetest::Outcome o =
        runMvnrt(dir.path(), "--headless --scenario round.json --quiet --fps 0 --threads 1");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(o.status, 0) << o.err;
    // Every navigation cell against every vertex took minutes; row by row
    // it is a few seconds (generous for a loaded machine and the sanitizers).
    EXPECT_LT(seconds, 60.0);
}

TEST(BoundsInMemoryAndTime, ACollectedTimeOutOfRangeIsAFailedRunNotAReport) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario room.json --runs 2 --jobs 1 --quiet --out s").status, 0);
    std::string summary = readFile(dir / "s/run-2/summary.json");
    const std::size_t at = summary.find("\"evacuationTime\": ");
    ASSERT_NE(at, std::string::npos);
    summary.replace(at, summary.find(',', at) - at, "\"evacuationTime\": -1e300");
    writeFile(dir / "s/run-2/summary.json", summary);
    const runtimetest::Outcome o = runMvnrt(dir.path(), "--collect s");
    EXPECT_EQ(o.status, 1);
    const std::string runs = readFile(dir / "s/runs.json");
    char expected[400];
    std::snprintf(expected, sizeof expected, "evacuationTime is %.1f; a time of a run lies", -1e300);
    EXPECT_TRUE(has(runs, expected)) << runs;
    const std::string report = readFile(dir / "s/report.html");
    EXPECT_EQ(report.find('\0'), std::string::npos);
}

TEST(MessagesSayWhatIsWrong, FifosDevicesAndOptionsAreNamedAsWhatTheyAre) {
    TempDir dir;
    writeFile(dir / "room.json", kRoom);
    ASSERT_EQ(::mkfifo((dir / "pipe.json").c_str(), 0644), 0);
    writeFile(dir / "sweep.json", R"({"runs": 1, "scenarios": [{"scenario": "pipe.json"}]})");
    runtimetest::Outcome o = runMvnrt(dir.path(), "--sweep sweep.json");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "pipe.json: is a FIFO")) << o.err;
    writeFile(dir / "sweep.json", R"({"runs": 1, "scenarios": [{"scenario": "/dev/null"}]})");
    o = runMvnrt(dir.path(), "--sweep sweep.json");
    EXPECT_TRUE(has(o.err, "/dev/null: is a device")) << o.err;
    // A project whose floor is a FIFO.
    runtimetest::writeProject(dir / "p", runtimetest::workedExample(), runtimetest::basicFloor());
    const fs::path floor = dir / "p/bProj/Content/Actors/Floor/Floor.kvx";
    ASSERT_TRUE(fs::exists(floor));
    fs::remove(floor);
    ASSERT_EQ(::mkfifo(floor.c_str(), 0644), 0);
    o = runMvnrt(dir / "p", "--headless --quiet");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "Floor.kvx: is a FIFO")) << o.err;
    EXPECT_FALSE(has(o.err, "no floor file")) << o.err;
    // A time limit too long for the time step is the option's.
    writeFile(dir / "fine.json", R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}],
                                     "people": [{"x":1,"z":1}], "model": {"dt": 0.005}})");
    o = runMvnrt(dir.path(), "--headless --scenario fine.json --time-limit 1000000 --quiet");
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(has(o.err, "--time-limit: timeLimit")) << o.err;
}
