// The run-through of a safety engineer, with the real programs: escape-build
// writes the tree and its scenario record, mvnrt simulates the people typed,
// refuses floors that cannot hold them, keeps one runtime per results root,
// and reports a run stopped by the user as such without touching the last
// complete results (the window closed with xdotool under Xvfb).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "run/results_layout.h"
#include "support/runtime_test_helpers.h"

namespace fs = std::filesystem;
using runtimetest::Outcome;
using runtimetest::runMvnrt;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

int shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// escape-build in `dir` (with the templates) with `args`.
void build(const fs::path& dir, const std::string& args) {
    if (!fs::exists(dir / "unchanged")) testsupport::copyTemplates(dir);
    ASSERT_EQ(shell("'" ESCAPE_BUILD_PROGRAM "' --dir '" + dir.string() + "' " + args +
                    " > '" + (dir / "build.out").string() + "' 2>&1"),
              0)
        << readFile(dir / "build.out");
}

nlohmann::json summaryIn(const fs::path& folder) {
    return nlohmann::json::parse(readFile(folder / "summary.json"));
}

// The engineer's scenario: 30 pairs, 20 adults, 10 children, two exits and
// six clusters on the basic floor.
const char* kEngineersScenario =
    "--pairs 30 --adults 20 --children 10 --view-exit=0.02,0.62 --view-exit=-0.9,-0.1 "
    "--view-cluster=-0.6,-0.3 --view-cluster=-0.3,0.3 --view-cluster=0.3,-0.3 "
    "--view-cluster=0.7,0.3 --view-cluster=0.55,-0.35 --view-cluster=-0.6,0.35";

// Every file of `folder` with its bytes.
std::map<std::string, std::string> filesOf(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) files[fs::relative(e.path(), folder).string()] = readFile(e.path());
    return files;
}

// mvnrt started in `cwd` with a window (the display of the test), not waited
// for; its output goes to LOG.out and LOG.err there.
pid_t startWithWindow(const fs::path& cwd, const std::string& args,
                      const std::string& log = "window") {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        // The windowed mvnrt runs without the leak check: a system library
        // holds 240 bytes at exit behind a stack that cannot be followed.
        const std::string cmd = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" exec '" MVNRT_PATH "' " +
                                args + " >'" +
                                (cwd / (log + ".out")).string() + "' 2>'" +
                                (cwd / (log + ".err")).string() + "' </dev/null";
        ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool displayAndXdotool() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0' && shell("command -v xdotool >/dev/null") == 0;
}

// Waits until mvnrt's window (process `pid`) is on the screen; its id.
std::string windowOf(pid_t pid) {
    const fs::path id = fs::temp_directory_path() / ("mvnrt-window-" + std::to_string(pid));
    for (int i = 0; i < 600; ++i) {
        if (shell("xdotool search --onlyvisible --pid " + std::to_string(pid) + " > '" +
                  id.string() + "' 2>/dev/null") == 0) {
            std::string text = readFile(id);
            fs::remove(id);
            return text.substr(0, text.find('\n'));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

}  // namespace

TEST(EngineerRun, ThePeopleTypedAreThePeopleSimulatedAndFamiliesLeaveTogether) {
    TempDir dir;
    build(dir.path(), kEngineersScenario);
    EXPECT_TRUE(has(readFile(dir / "build.out"), "scenario record: " +
                                                     (dir / "bProj-scenario.json").string()));
    const Outcome o = runMvnrt(dir.path(), "--fps 0");
    ASSERT_EQ(o.status, 0) << o.out << o.err;
    const fs::path latest = dir / "bProj/results/latest";
    const nlohmann::json s = summaryIn(latest);
    EXPECT_EQ(s["roles"]["rule"], "typed");
    EXPECT_EQ(s["roles"]["parents"], 30);
    EXPECT_EQ(s["roles"]["children"], 30);
    EXPECT_EQ(s["roles"]["adults"], 20);
    EXPECT_EQ(s["roles"]["joggingChildren"], 10);
    EXPECT_EQ(s["roles"]["families"], 30);
    ASSERT_EQ(s["everyoneOut"], true);
    int parents = 0;
    for (const auto& p : s["persons"]) {
        if (p["role"] != "parent") continue;
        ++parents;
        const auto& child = s["persons"][p["follows"].get<std::size_t>()];
        EXPECT_EQ(child["role"], "child");
        EXPECT_LT(std::fabs(p["exitTime"].get<double>() - child["exitTime"].get<double>()), 5.0)
            << "parent " << p["id"] << " and child " << child["id"];
    }
    EXPECT_EQ(parents, 30);
    const std::string report = readFile(latest / "report.html");
    EXPECT_TRUE(has(report, "roles as typed: 30 families, 20 adults, 10 children")) << o.out;
    EXPECT_TRUE(has(report, "families (a parent with its child)"));
    EXPECT_TRUE(has(o.out, "people: roles as typed")) << o.out;
    // Where each cluster was clicked and where its people started.
    EXPECT_TRUE(has(report, "cluster 6: clicked at ("));
    // The report and the summary name the run's own folder.
    const std::string folder = fs::read_symlink(latest).string();
    EXPECT_EQ(folder.rfind("single-", 0), 0u) << folder;
    EXPECT_TRUE(has(o.out, "Results folder: bProj/results/" + folder)) << o.out;
    EXPECT_TRUE(has(report, folder));

    // The same tree without its record: the script's rule, and the report says so.
    fs::remove(dir / "bProj-scenario.json");
    const Outcome without = runMvnrt(dir.path(), "--fps 0 --time-limit 5");
    ASSERT_EQ(without.status, 0) << without.err;
    const nlohmann::json w = summaryIn(dir / "bProj/results/latest");
    EXPECT_EQ(w["roles"]["rule"], "script");
    EXPECT_EQ(w["roles"]["children"], 15);
    EXPECT_EQ(w["roles"]["parents"], 15);
    EXPECT_EQ(w["roles"]["adults"], 30);
    EXPECT_EQ(w["roles"]["joggingChildren"], 30);
    EXPECT_TRUE(has(readFile(dir / "bProj/results/latest/report.html"),
                    "roles by the startup script&#39;s rule, not as typed"));
    // Two runs, two folders: neither left its files beside the other's.
    EXPECT_NE(fs::read_symlink(dir / "bProj/results/latest").string(), folder);
    EXPECT_TRUE(fs::exists(dir / "bProj/results" / folder / "summary.json"));
}

TEST(EngineerRun, AMetreFloorWithoutUnitsIsRefusedForACrowdAndWarnedForAFew) {
    TempDir dir;
    fs::create_directories(dir / "plans");
    fs::copy_file(testsupport::sourcePath("tests/fixtures/hall-metres-unstated.kvx"),
                  dir / "plans/hall.kvx");
    build(dir.path(), "--floor plans/hall.kvx --pairs 0 --adults 20 --children 0");
    EXPECT_TRUE(has(readFile(dir / "build.out"), "the runtime will refuse this start"));
    const Outcome refused = runMvnrt(dir.path(), "");
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(has(refused.err, (dir / "plans/hall.kvx").string() +
                                     ": the floor is 2.00 m x 1.20 m"))
        << refused.err;
    EXPECT_TRUE(has(refused.err, "\"Units 1.0\"")) << refused.err;
    EXPECT_FALSE(has(refused.err, "Floor.kvx")) << refused.err;

    build(dir.path(), "--floor plans/hall.kvx --pairs 0 --adults 3 --children 0");
    const Outcome warned = runMvnrt(dir.path(), "--fps 0");
    ASSERT_EQ(warned.status, 0) << warned.err;
    EXPECT_TRUE(has(warned.out, "WARNING: " + (dir / "plans/hall.kvx").string() +
                                    " is only 2.00 m x 1.20 m"))
        << warned.out;
    const fs::path latest = dir / "bProj/results/latest";
    EXPECT_TRUE(has(readFile(latest / "report.html"), "<h2>Warnings</h2>"));
    EXPECT_EQ(summaryIn(latest)["warnings"].size(), 1u);

    // Dense but possible: 99 pairs, 99 adults, 99 children on the basic floor.
    TempDir dense;
    build(dense.path(), "--pairs 99 --adults 99 --children 99");
    const Outcome o = runMvnrt(dense.path(), "--fps 0 --time-limit 2");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(summaryIn(dense / "bProj/results/latest")["people"], 396);
}

TEST(EngineerRun, OneRuntimePerProjectAndALockOfAKilledRuntimeIsTakenOver) {
    if (!displayAndXdotool()) GTEST_SKIP() << "needs a display (xvfb-run) and xdotool";
    TempDir dir;
    build(dir.path(), kEngineersScenario);
    // The first plays its run in a window at real time: it holds the project.
    const pid_t first = startWithWindow(dir.path(), "--speed 1");
    ASSERT_FALSE(windowOf(first).empty()) << readFile(dir / "window.err");
    const Outcome second = runMvnrt(dir.path(), "--fps 0");
    EXPECT_EQ(second.status, 4) << second.out << second.err;
    EXPECT_TRUE(has(second.err, "bProj/results is in use by mvnrt (process " +
                                    std::to_string(first)))
        << second.err;
    // With a display the refusal is a message box too.
    // (Its window is the box, "mvnrt"; it waits for its reader, so the test
    // ends it once it has seen it.)
    const pid_t boxed = startWithWindow(dir.path(), "--fps 0", "boxed");
    const std::string box = windowOf(boxed);
    EXPECT_FALSE(box.empty()) << readFile(dir / "boxed.err");
    const fs::path name = dir / "box-name.txt";
    shell("xdotool getwindowname " + box + " > '" + name.string() + "' 2>/dev/null");
    EXPECT_EQ(readFile(name), "mvnrt\n");
    EXPECT_TRUE(has(readFile(dir / "boxed.err"), "is in use by mvnrt (process "));
    ::kill(boxed, SIGTERM);
    waitFor(boxed);

    // Killed, it leaves its lock file; the next runtime takes it over.
    ::kill(first, SIGKILL);
    waitFor(first);
    EXPECT_TRUE(fs::exists(dir / "bProj/results/.mvnrt-lock"));
    const Outcome third = runMvnrt(dir.path(), "--fps 0 --time-limit 2");
    EXPECT_EQ(third.status, 0) << third.err;
    EXPECT_TRUE(has(third.out, "took over the lock of bProj/results left by process " +
                                   std::to_string(first)))
        << third.out;
    EXPECT_FALSE(fs::exists(dir / "bProj/results/.mvnrt-lock"));
}

TEST(EngineerRun, AWindowClosedEarlyIsAStoppedRunAndTheLastCompleteResultsStay) {
    if (!displayAndXdotool()) GTEST_SKIP() << "needs a display (xvfb-run) and xdotool";
    TempDir dir;
    build(dir.path(), kEngineersScenario);
    const Outcome complete = runMvnrt(dir.path(), "");
    ASSERT_EQ(complete.status, 0) << complete.err;
    const fs::path results = dir / "bProj/results";
    const fs::path last = fs::read_symlink(results / "latest");
    const auto before = filesOf(results / last);
    // And a folder named with --out, complete too.
    ASSERT_EQ(runMvnrt(dir.path(), "--out named").status, 0);
    const auto namedBefore = filesOf(dir / "named");

    for (const bool named : {false, true}) {
        SCOPED_TRACE(named ? "--out named" : "the project's results");
        const pid_t pid = startWithWindow(dir.path(), std::string("--speed 1") +
                                                          (named ? " --out named" : ""));
        const std::string window = windowOf(pid);
        ASSERT_FALSE(window.empty()) << readFile(dir / "window.err");
        // About two simulated seconds at real time, then Esc.
        std::this_thread::sleep_for(std::chrono::milliseconds(2000));
        shell("xdotool windowactivate --sync " + window + " key Escape >/dev/null 2>&1 || "
              "xdotool key --window " + window + " Escape");
        EXPECT_EQ(waitFor(pid), 3) << readFile(dir / "window.err");
        const std::string out = readFile(dir / "window.out");
        EXPECT_TRUE(has(out, "Stopped by the user at ")) << out;
        EXPECT_FALSE(has(out, "Evacuation time")) << out;
        EXPECT_FALSE(has(out, "time limit")) << out;

        const fs::path stopped = named ? dir / "named-stopped"
                                       : *runtime::newestRunFolder(results, runtime::kSingleRunKind);
        const nlohmann::json s = summaryIn(stopped);
        EXPECT_EQ(s["stoppedByUser"], true);
        EXPECT_EQ(s["everyoneOut"], false);
        EXPECT_TRUE(s["evacuationTime"].is_null());
        // Stopped at what the window showed, about two seconds in; the
        // simulation runs ahead of the picture by its queue (two simulated
        // seconds) and the frames the window holds (4.2-4.5 s ahead measured
        // on a quiet machine), and its time is said too.
        const double at = s["stoppedAt"].get<double>();
        EXPECT_GT(at, 1.0);
        EXPECT_LT(at, 3.5);
        EXPECT_GE(s["simulatedSeconds"].get<double>(), at);
        EXPECT_LT(s["simulatedSeconds"].get<double>(), at + 6.0);
        EXPECT_TRUE(has(readFile(stopped / "report.html"), "Stopped by the user at "));
        EXPECT_TRUE(has(out, stopped.filename().string())) << out;
    }
    // The last complete results, byte for byte, and `latest` still names them.
    EXPECT_EQ(fs::read_symlink(results / "latest"), last);
    EXPECT_TRUE(filesOf(results / last) == before);
    EXPECT_TRUE(filesOf(dir / "named") == namedBefore);
}
