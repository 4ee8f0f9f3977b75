#pragma once
// Many runs of one project or scenario: each seed is a run of its own, made
// by a child process of this program with the same inputs
// (`mvnrt ... --seed K --out ROOT/run-K --atomic-out`), a few at a time; then
// the aggregate of the run folders (runs.json, statistics.json, report.html).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/options.h"
#include "runtime/prepare.h"
#include "runtime/single_run.h"

namespace runtime {

// The seeds the options ask for, in order.
std::vector<std::uint64_t> sweepSeeds(const Options& opt);

// The command line of one run of a sweep: `sweepArgs` without the options of
// the sweep itself (--runs, --seeds, --jobs, --resume, --run-timeout, --out,
// --quiet), then --seed K --out FOLDER --atomic-out --quiet, and --fps 0
// and --threads 1 unless the sweep gave --fps or --threads.
std::vector<std::string> runArguments(const std::vector<std::string>& sweepArgs, std::uint64_t seed,
                                      const std::filesystem::path& folder);

// Runs the sweep; returns mvnrt's exit status (0: every run finished; 1: a
// run failed or timed out, or the aggregate could not be written; 130: stopped
// by a signal, finished runs kept for --resume).
int runSweep(const Options& opt, const std::vector<std::string>& args);

// mvnrt --collect ROOT: the aggregate of the run folders under ROOT (the
// seeds of --runs/--seeds, or every run-K there), without running anything.
// Returns 0 when every run finished, 1 when one failed, timed out or is
// missing (or the aggregate cannot be written), 2 when ROOT holds no runs.
int collectSweep(const Options& opt);

// One run whose results appear all at once: written into a new folder beside
// prep.outDir, which then takes the place of prep.outDir (an older run
// folder there is replaced; anything else there is an error).
SingleRunResult runIntoFreshFolder(PreparedRun prep, const Options& opt, const RunHooks& hooks);

}  // namespace runtime
