#include "inputs/mvnrt_options.h"

#include <charconv>
#include <cstdint>
#include <cmath>
#include <stdexcept>

#include "inputs/pre_movement.h"
#include "platform/command_line.h"

namespace runtime {

namespace {

double positiveNumber(const std::string& option, const std::string& text, double max,
                      bool allowZero) {
    double v = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || !std::isfinite(v) || v < 0.0 ||
        (!allowZero && v == 0.0) || v > max)
        throw platform::usageError(
            option + " needs a number " + (allowZero ? "from 0" : "above 0") + " to " +
            std::to_string(static_cast<long long>(max)) + ", not \"" + text + "\"");
    return v;
}

std::uint64_t wholeNumber(const std::string& option, const std::string& text, std::uint64_t min,
                          std::uint64_t max) {
    std::uint64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < min || v > max)
        throw platform::usageError(option + " needs a whole number from " + std::to_string(min) +
                                    " to " + std::to_string(max) + ", not \"" + text + "\"");
    return v;
}

// The options of a sweep file and of its submission to a cluster.
void checkSweepOptions(const Options& o) {
    if (o.project && o.scenario)
        throw platform::usageError("give either --project or --scenario, not both");
    if (o.sweepFile &&
        (o.scenario || o.project || o.manyRuns() || o.seed || o.collect || o.movie || o.motion ||
         o.timeLimit || o.preMovement || o.atomicOut || o.sweepTask))
        throw platform::usageError(
            "--sweep takes its scenarios, seeds and settings from the sweep file: no --scenario, "
            "--project, --runs, --seeds, --seed, --time-limit, --pre-movement, --movie, "
            "--motion or --collect");
    if (o.submit && !o.sweepFile) throw platform::usageError("--submit needs --sweep");
    if (o.submit && (o.jobs > 0 || o.runTimeout))
        throw platform::usageError(
            "--jobs and --run-timeout are for a sweep run here; on the cluster --max-parallel "
            "and --time bound it");
    if (!o.submit && (o.partition || o.wallTime || o.maxParallel > 0 || o.runsPerTask > 0))
        throw platform::usageError(
            "--partition, --time, --max-parallel and --runs-per-task need --submit slurm");
    if (o.sweepTask.has_value() != o.taskIndex.has_value())
        throw platform::usageError("--sweep-task ROOT and --task-index K come together");
}

// Slurm's time formats: MM, MM:SS, HH:MM:SS, D-HH, D-HH:MM, D-HH:MM:SS.
bool slurmTime(const std::string& t) {
    const std::size_t dash = t.find('-');
    const std::string clock = dash == std::string::npos ? t : t.substr(dash + 1);
    if (dash != std::string::npos &&
        (dash == 0 || t.find_first_not_of("0123456789") != dash || dash > 4))
        return false;
    std::size_t fields = 1, digits = 0;
    for (char c : clock) {
        if (c == ':') {
            if (digits == 0) return false;
            ++fields;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 6) {
            ++digits;
        } else {
            return false;
        }
    }
    return digits > 0 && fields <= 3;
}

// Seeds from A to B, at most this many runs in one sweep.
constexpr std::uint64_t kMaxRuns = 100000;

void checkManyRuns(const Options& o) {
    if (o.runs && o.firstSeed)
        throw platform::usageError("give either --runs or --seeds, not both");
    if (o.manyRuns() && o.seed)
        throw platform::usageError("--seed is for one run; --runs and --seeds choose the seeds");
    if (o.collect && (o.jobs > 0 || o.resume || o.runTimeout || o.atomicOut))
        throw platform::usageError("--collect runs nothing: no --jobs, --resume, --run-timeout");
    if (!o.collect && !o.manyRuns() && !o.sweepFile && (o.jobs > 0 || o.resume || o.runTimeout))
        throw platform::usageError(
            "--jobs, --resume and --run-timeout need --runs, --seeds or --sweep");
    if (o.atomicOut && !o.out) throw platform::usageError("--atomic-out needs --out");
    if (o.atomicOut && o.manyRuns())
        throw platform::usageError("--atomic-out is for one run, not with --runs or --seeds");
    if ((o.movie || o.motion) && o.manyRuns())
        throw platform::usageError("--movie and --motion record one run, not with --runs or --seeds");
    checkSweepOptions(o);
}

// "WxH", both even (the movie's colour planes are halved) and 32 to 4096.
void parseMovieSize(const std::string& text, Options& o) {
    const std::size_t x = text.find('x');
    int size[2] = {0, 0};
    bool ok = x != std::string::npos;
    for (int k = 0; ok && k < 2; ++k) {
        const char* first = text.data() + (k == 0 ? 0 : x + 1);
        const char* last = text.data() + (k == 0 ? x : text.size());
        const auto r = std::from_chars(first, last, size[k]);
        ok = r.ec == std::errc() && r.ptr == last && size[k] >= 32 && size[k] <= 4096 &&
             size[k] % 2 == 0;
    }
    if (!ok)
        throw platform::usageError("--movie-size needs WIDTHxHEIGHT, even numbers from 32 to "
                                    "4096 (1280x720, say), not \"" +
                                    text + "\"");
    o.movieWidth = size[0];
    o.movieHeight = size[1];
}

// The options mvnrt knows, and whether each takes a value.
const std::vector<platform::KnownOption>& knownOptions() {
    static const std::vector<platform::KnownOption> known = {
        {"--help,-h", false},   {"--headless", false},   {"--speed"},
        {"--exit-at-end", false}, {"--replay"},          {"--quiet,-q", false},
        {"--scenario"},         {"--out"},               {"--seed"},
        {"--time-limit"},       {"--fps"},               {"--movie"},
        {"--motion"},           {"--movie-size"},        {"--movie-camera"},
        {"--threads"},          {"--pre-movement"},      {"--runs"},
        {"--seeds"},            {"--jobs"},              {"--resume", false},
        {"--run-timeout"},      {"--collect"},           {"--atomic-out", false},
        {"--project"},          {"--sweep"},             {"--submit"},
        {"--partition"},        {"--time"},              {"--max-parallel"},
        {"--runs-per-task"},    {"--sweep-task"},        {"--task-index"},
    };
    return known;
}

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (const platform::GivenOption& given : platform::splitCommandLine(knownOptions(), args)) {
        const std::string& a = given.name;
        auto value = [&]() -> const std::string& { return given.value; };
        if (a == "--help") {
            o.help = true;
        } else if (a == "--headless") {
            o.headless = true;
        } else if (a == "--speed") {
            const std::string& t = value();
            o.playbackSpeed = t == "max" ? 0.0 : positiveNumber(a, t, 64.0, false);
        } else if (a == "--exit-at-end") {
            o.exitAtEnd = true;
        } else if (a == "--replay") {
            o.replay = value();
            if (o.replay->empty()) throw platform::usageError("--replay needs a results folder");
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--scenario") {
            o.scenario = value();
        } else if (a == "--out") {
            o.out = value();
            if (o.out->empty()) throw platform::usageError("--out needs a folder");
        } else if (a == "--seed") {
            const std::string& t = value();
            std::uint64_t s = 0;
            const auto r = std::from_chars(t.data(), t.data() + t.size(), s);
            if (r.ec != std::errc() || r.ptr != t.data() + t.size())
                throw platform::usageError(
                    "--seed needs a whole number from 0 to 18446744073709551615, not \"" + t +
                    "\"");
            o.seed = s;
        } else if (a == "--time-limit") {
            o.timeLimit = positiveNumber(a, value(), 1.0e6, false);
        } else if (a == "--fps") {
            o.fps = positiveNumber(a, value(), 1000.0, true);
        } else if (a == "--movie") {
            o.movie = value();
            if (o.movie->empty()) throw platform::usageError("--movie needs a file name");
        } else if (a == "--motion") {
            o.motion = value();
            if (o.motion->empty()) throw platform::usageError("--motion needs a file name");
        } else if (a == "--movie-size") {
            parseMovieSize(value(), o);
        } else if (a == "--movie-camera") {
            const std::string& c = value();
            if (c != "script" && c != "top")
                throw platform::usageError("--movie-camera needs script or top, not \"" + c +
                                            "\"");
            o.movieFromAbove = c == "top";
        } else if (a == "--threads") {
            o.threads = static_cast<int>(wholeNumber(a, value(), 1, 64));
        } else if (a == "--pre-movement") {
            o.preMovement = value();
            parsePreMovement(*o.preMovement);  // refused here, before anything runs
        } else if (a == "--runs") {
            o.runs = wholeNumber(a, value(), 1, kMaxRuns);
        } else if (a == "--seeds") {
            const std::string& t = value();
            const std::size_t dash = t.find('-');
            if (dash == std::string::npos)
                throw platform::usageError("--seeds needs a range A-B, not \"" + t + "\"");
            o.firstSeed = wholeNumber(a, t.substr(0, dash), 0, UINT64_MAX - 1);
            o.lastSeed = wholeNumber(a, t.substr(dash + 1), 0, UINT64_MAX - 1);
            if (*o.lastSeed < *o.firstSeed || *o.lastSeed - *o.firstSeed >= kMaxRuns)
                throw platform::usageError("--seeds needs A <= B and at most " +
                                            std::to_string(kMaxRuns) + " seeds, not \"" + t +
                                            "\"");
        } else if (a == "--jobs") {
            o.jobs = static_cast<int>(wholeNumber(a, value(), 1, 1024));
        } else if (a == "--resume") {
            o.resume = true;
        } else if (a == "--run-timeout") {
            o.runTimeout = positiveNumber(a, value(), 1.0e7, false);
        } else if (a == "--collect") {
            o.collect = value();
            if (o.collect->empty()) throw platform::usageError("--collect needs a folder");
        } else if (a == "--atomic-out") {
            o.atomicOut = true;
        } else if (a == "--project") {
            o.project = value();
            if (o.project->empty()) throw platform::usageError("--project needs a folder");
        } else if (a == "--sweep") {
            o.sweepFile = value();
            if (o.sweepFile->empty()) throw platform::usageError("--sweep needs a sweep file");
        } else if (a == "--submit") {
            o.submit = value();
            if (*o.submit != "slurm")
                throw platform::usageError("--submit knows one scheduler, slurm, not \"" +
                                            *o.submit + "\"");
        } else if (a == "--partition") {
            o.partition = value();
            if (o.partition->empty() ||
                o.partition->find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                               "0123456789_.,-") != std::string::npos)
                throw platform::usageError("--partition needs a partition name, not \"" +
                                            *o.partition + "\"");
        } else if (a == "--time") {
            o.wallTime = value();
            if (!slurmTime(*o.wallTime))
                throw platform::usageError(
                    "--time needs a limit per task as HH:MM:SS (or MM, MM:SS, D-HH:MM:SS), not \"" +
                    *o.wallTime + "\"");
        } else if (a == "--max-parallel") {
            o.maxParallel = static_cast<int>(wholeNumber(a, value(), 1, 100000));
        } else if (a == "--runs-per-task") {
            o.runsPerTask = static_cast<int>(wholeNumber(a, value(), 1, 100000));
        } else if (a == "--sweep-task") {
            o.sweepTask = value();
            if (o.sweepTask->empty()) throw platform::usageError("--sweep-task needs a folder");
        } else if (a == "--task-index") {
            o.taskIndex = wholeNumber(a, value(), 0, 10000000);
        }
    }
    checkManyRuns(o);
    return o;
}

std::string usageText() {
    return R"(Usage: mvnrt [options]

Simulates the escape of the people of the project bProj in the current
directory, as escape-setup writes it (escape-setup starts mvnrt there with no
arguments), or of a generic scenario given with --scenario. An option with a
value takes it as --option VALUE or --option=VALUE.

Options:
  --scenario FILE   run the scenario FILE (JSON, metres) instead of ./bProj
  --seed N          random seed (default 1; a scenario may name its own)
  --time-limit S    stop after S simulated seconds (default 3600, or the
                    scenario's timeLimit)
  --out DIR         folder for the results (default bProj/results, or
                    ./results for a scenario)
  --fps N           trajectory frames per simulated second (default 24;
                    0 leaves out trajectories.csv)
  --movie FILE      record a movie of the run into FILE (AVI, MPEG-4 video,
                    24 frames per simulated second); a project records one
                    into test.avi when its script asks ("Create AVI")
  --movie-size WxH  the movie's size in pixels (default 1280x720)
  --movie-camera C  script (default) or top: a project's movie from its
                    script camera or from above (x to the right, z
                    downward, as the dialog shows the floor)
  --motion FILE     record the people's motion into FILE (KVX text, 24
                    frames per second); a project records into mocap.kvx in
                    its results folder when its script asks ("Create KVX")
  --threads N       threads for the forces, 1 to 64 (default: one per
                    core, at most two); the results are the same
  --pre-movement D  time everyone waits before walking off, drawn per
                    person from the seed: seconds (30) or uniform:MIN:MAX,
                    normal:MEAN:SD (truncated at 0), lognormal:MEAN:SD
                    (mean and sd of the time itself); default 0, or what
                    the scenario gives
  --quiet           print nothing but errors
  --help            show this text

Many runs (a sweep; each seed runs as a process of its own):
  --runs N          run seeds 1 to N, each into OUT/run-K, then write
                    OUT/runs.json, OUT/statistics.json and OUT/report.html
  --seeds A-B       run seeds A to B instead
  --jobs J          runs at a time (default: the number of cores)
  --resume          keep the finished runs in OUT and run only the others
  --run-timeout S   wall-clock seconds a run may take before it is killed
                    and reported as timed out (default 60 + twice the
                    time limit)
  Runs write no trajectories unless --fps is given, and use one thread
  each unless --threads is given.
  --collect ROOT    run nothing: write the aggregate of the run folders
                    under ROOT anew (of --runs/--seeds, or of all there;
                    of a sweep file's results root: every variant and
                    sweep.csv, with the runs missing or failed named by
                    their task index)
  --atomic-out      (one run) write into a new folder beside --out and put
                    it in place of --out when complete; this is how each
                    run of a sweep is made

Sweep files (many variants, each many runs; see docs/sweep-files.md):
  --project DIR     run the project DIR/bProj instead of ./bProj
  --sweep FILE      run every variant of the sweep file FILE, seed by seed,
                    here (with --jobs, --resume, --run-timeout), then write
                    ROOT/sweep.csv and ROOT/sweep.json, one row a variant
  --submit slurm    submit the sweep to Slurm instead: one job array (one
                    task per run) and an aggregation job after it
                    (mvnrt --collect ROOT); with --resume only the tasks
                    whose runs are not finished
  --partition P     the partition of the jobs
  --time T          time limit of a task (HH:MM:SS)
  --max-parallel N  at most N tasks of the array at a time
  --runs-per-task N runs one task makes in turn (default 1; more when the
                    array would exceed 1000 tasks)
  --sweep-task ROOT --task-index K
                    make the runs of task K of the sweep in ROOT (what the
                    job array's tasks run)

The window: with a display (and without --headless) the run is shown in a
window while it is simulated: Space pauses, + and - change the speed, C
switches the camera, a mouse drag turns the view, the wheel zooms, R puts
the view back, Esc closes. The window never changes the results.
  --headless        no window, even when there is a display
  --exit-at-end     close the window when the run has ended
  --speed X         the window's playback speed at the start: 0.25 to 64
                    times real time (default 1), or max (as fast as the
                    run computes)
  --replay DIR      show the results in DIR (summary.json and
                    trajectories.csv), or a motion recording (FILE.kvx),
                    again in the window, with a time slider; simulates
                    nothing

Results: summary.json, trajectories.csv and evacuation.png, every length
in metres (a project's world unit is said in summary.json's "units").
Exit status: 0 after a run (also when people are still inside at the time
limit), 1 when a result or recording cannot be written (the others are
written all the same) or a run of a sweep failed or timed out, 2 for an
unusable project, scenario or command line, 130 for a sweep stopped by a
signal (its finished runs are kept for --resume).
)";
}

}  // namespace runtime
