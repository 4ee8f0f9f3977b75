#pragma once
// The command line of mvnrt.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace runtime {

struct Options {
    std::optional<std::string> scenario;  // --scenario FILE.json; none: the project ./bProj
    std::optional<std::uint64_t> seed;
    std::optional<double> timeLimit;
    std::optional<std::string> out;
    double fps = 24.0;
    std::optional<std::string> movie;   // --movie FILE.avi: record a movie there
    std::optional<std::string> motion;  // --motion FILE.kvx: record the motion there
    int movieWidth = 1280, movieHeight = 720;  // --movie-size WxH
    // --movie-camera script|top: a project's movie from its script camera
    // (the default) or from above; a scenario has only the view from above.
    bool movieFromAbove = false;
    int threads = 0;  // --threads N; 0: one per core, at most two
    bool quiet = false;
    bool help = false;
    // --pre-movement: everyone's time before walking off (a number of
    // seconds or a distribution, see pre_movement.h); replaces a scenario's.
    std::optional<std::string> preMovement;

    // Many runs: seeds 1..runs, or firstSeed..lastSeed, each run a child
    // process of its own into OUT/run-K.
    std::optional<std::uint64_t> runs;
    std::optional<std::uint64_t> firstSeed, lastSeed;  // --seeds A-B
    int jobs = 0;                      // children at a time; 0: the number of cores
    bool resume = false;               // keep the finished runs of OUT
    std::optional<double> runTimeout;  // wall-clock seconds per run
    // Write the results into a new folder beside --out and put it in its
    // place when complete (one run of a sweep).
    bool atomicOut = false;
    // --collect ROOT: only the aggregate of the run folders under ROOT.
    std::optional<std::string> collect;

    bool manyRuns() const { return runs.has_value() || firstSeed.has_value(); }

    // --project DIR: the project DIR/bProj instead of ./bProj.
    std::optional<std::string> project;
    // --sweep FILE.json: the variants and seeds of a sweep file (sweep_file.h).
    std::optional<std::string> sweepFile;
    // --submit slurm: hand the sweep to the cluster's scheduler instead of
    // running it here, with these settings of the job array.
    std::optional<std::string> submit;
    std::optional<std::string> partition;  // --partition P
    std::optional<std::string> wallTime;   // --time [D-]HH:MM:SS, a task's limit
    int maxParallel = 0;                   // --max-parallel N; 0: as many as the cluster gives
    int runsPerTask = 0;                   // --runs-per-task N; 0: one (more past 1000 tasks)
    // --sweep-task ROOT --task-index K: one task of a submitted sweep.
    std::optional<std::string> sweepTask;
    std::optional<std::uint64_t> taskIndex;

    bool headless = false;               // --headless: no window even with a display
    bool exitAtEnd = false;              // --exit-at-end: the window closes when the run ends
    std::optional<std::string> replay;   // --replay DIR: show saved results, simulate nothing
    double playbackSpeed = 1.0;          // --speed: the window's start speed; 0: as fast as it computes
};

// Throws platform::InputError (of kind Usage for the command line itself,
// BadInput for a value such as --pre-movement's) with a message for the user.
Options parseOptions(const std::vector<std::string>& args);

std::string usageText();

}  // namespace runtime
