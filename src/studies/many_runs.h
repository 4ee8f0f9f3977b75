#pragma once
// Many runs of one project or scenario: each seed is a run of its own, made
// by a child process of this program with the same inputs
// (`mvnrt ... --seed K --out ROOT/run-K --atomic-out`), a few at a time; then
// the aggregate of the run folders (runs.json, statistics.json, report.html).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/sweep_results.h"
#include "inputs/mvnrt_options.h"
#include "run/prepare.h"
#include "run/single_run.h"
#include "studies/sweep_report.h"

namespace runtime {

// The seeds the options ask for, in order.
std::vector<std::uint64_t> sweepSeeds(const Options& opt);

// The command line of one run of a sweep: `sweepArgs` without the options of
// the sweep itself (--runs, --seeds, --jobs, --resume, --run-timeout, --out,
// --quiet), then --seed K --out FOLDER --atomic-out --quiet, and --fps 0
// and --threads 1 unless the sweep gave --fps or --threads.
std::vector<std::string> runArguments(const std::vector<std::string>& sweepArgs, std::uint64_t seed,
                                      const std::filesystem::path& folder);

// The runs of one scenario or project (a variant of a sweep file, or the
// whole of --runs/--seeds): each seed into root/run-K.
struct Study {
    std::filesystem::path root;
    std::vector<std::uint64_t> seeds;
    // A run's command line before runArguments() (a sweep's own options
    // there are dropped).
    std::vector<std::string> args;
    double timeLimit = 0.0;  // simulated seconds, for the wall-clock bound
};

struct StudiesOutcome {
    std::size_t started = 0, kept = 0, failed = 0;
    double wallSeconds = 0.0;     // of all runs
    double processSeconds = 0.0;  // the run processes' wall times added up
    bool stopped = false;         // by a signal
    int jobs = 1;
};

// Prepares the run folders of every study (a finished run is kept with
// opt.resume; anything else of a run's name is replaced, or refused when it is
// not mvnrt's) and makes the runs with opt.jobs children at a time, across all
// studies, each bounded by opt.runTimeout (default 60 s + twice its time
// limit). `what` starts the line printed before ("8 runs of ..."). Returns
// nullopt (after saying why) when a run's folder is in the way.
std::optional<StudiesOutcome> runStudies(const std::vector<Study>& studies, const Options& opt,
                                         const std::string& what);

// Runs the sweep; returns mvnrt's exit status (0: every run finished; 1: a
// run failed or timed out, or the aggregate could not be written; 130: stopped
// by a signal, finished runs kept for --resume).
int runSweep(const Options& opt, const std::vector<std::string>& args);

// mvnrt --collect ROOT: the aggregate of the run folders under ROOT (the
// seeds of --runs/--seeds, or every run-K there), without running anything.
// Returns 0 when every run finished, 1 when one failed, timed out or is
// missing (or the aggregate cannot be written), 2 when ROOT holds no runs.
int collectSweep(const Options& opt);

// What a run was made of: "<16 hex digits> seed <K>", the digits of the
// scenario file's bytes (or the project's startup script), the time limit
// and the pre-movement, then the seed the options give. Kept in each run folder's manifest (note
// "fingerprint"), so that --resume and --collect never mix runs of other
// inputs with these.
std::string runFingerprint(const Options& opt);

// The seeds of the run folders (run-K, and run-K.failed records) in ROOT,
// ascending. Throws InputError naming an entry whose number is no seed (past
// 2^64 - 1) and a ROOT that cannot be read.
std::vector<std::uint64_t> runSeedsIn(const std::filesystem::path& root);

// The aggregate of the runs `seeds` under ROOT (runs.json, statistics.json,
// report.html) and, unless quiet, its closing lines. Returns 1 when it could
// not be written, else 0 (whatever the runs' outcome, which *stats holds).
// *runSecondsSum (when given) gets the runs' own wall times added.
// `variant` (when given) names the sweep file's variant in the report.
int collectRuns(const std::filesystem::path& root, const std::vector<std::uint64_t>& seeds,
                bool quiet, analysis::SweepStatistics* stats, double* runSecondsSum,
                const VariantLabel* variant = nullptr);

// Makes way for a new run of `seed` under ROOT: removes its earlier folder
// (only a run's folder, or an empty one), failure record and leftovers.
// Returns false, after saying why, when something else is in the way.
bool clearRun(const std::filesystem::path& root, std::uint64_t seed);

// One run whose results appear all at once: written into a new folder beside
// prep.outDir, which then takes the place of prep.outDir (an older run
// folder there is replaced; anything else there is an error).
SingleRunResult runIntoFreshFolder(PreparedRun prep, const Options& opt, const RunHooks& hooks);

}  // namespace runtime
