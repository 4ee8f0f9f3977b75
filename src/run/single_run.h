#pragma once
// One run of a prepared project or scenario: simulate, hand frames to the
// sinks, write summary.json, trajectories.csv and evacuation.png, print the
// report.

#include <filesystem>
#include <functional>
#include <vector>

#include "run/frame_sink.h"
#include "inputs/mvnrt_options.h"
#include "run/prepare.h"

namespace runtime {

struct RunHooks {
    // Beside the trajectory file; not owned.
    std::vector<FrameSink*> sinks;
    // Asked every few steps; false stops the run early (a closed window).
    std::function<bool()> keepGoing;
    // When keepGoing stopped the run: the simulated time the user saw then
    // (the window's picture runs behind the simulation); negative or absent:
    // the time the simulation had reached.
    std::function<double()> stoppedAt;
    // Told when the simulation has been built, before the first step.
    std::function<void(const crowd::Simulation&)> onStart;
    // Names of recordings the sinks write into the results folder: claimed
    // there as results (refused when a file of the name is not mvnrt's).
    std::vector<std::string> resultFiles;
};

// mvnrt's exit status for a run the user stopped before its end (its window
// closed): its results are written, but they are no evacuation result.
inline constexpr int kStatusStoppedByUser = 3;

struct SingleRunResult {
    int status = 0;  // 0, 1 when a result could not be written, kStatusStoppedByUser
    RunSummary summary;
};

// Where a run the user stopped writes its results when the user named the
// results folder (--out DIR): DIR-stopped beside it, so that DIR keeps the
// last complete results.
std::filesystem::path stoppedFolderBeside(const std::filesystem::path& folder);

// Throws std::invalid_argument when the crowd model cannot take the setup.
SingleRunResult runPrepared(const PreparedRun& prepared, const Options& options,
                            const RunHooks& hooks = {});

}  // namespace runtime
