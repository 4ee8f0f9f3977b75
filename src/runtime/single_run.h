#pragma once
// One run of a prepared project or scenario: simulate, hand frames to the
// sinks, write summary.json, trajectories.csv and evacuation.png, print the
// report.

#include <functional>
#include <vector>

#include "runtime/frame_sink.h"
#include "runtime/options.h"
#include "runtime/prepare.h"

namespace runtime {

struct RunHooks {
    // Beside the trajectory file; not owned.
    std::vector<FrameSink*> sinks;
    // Asked every few steps; false stops the run early (a closed window).
    std::function<bool()> keepGoing;
    // Told when the simulation has been built, before the first step.
    std::function<void(const crowd::Simulation&)> onStart;
    // Names of recordings the sinks write into the results folder: claimed
    // there as results (refused when a file of the name is not mvnrt's).
    std::vector<std::string> resultFiles;
};

struct SingleRunResult {
    int status = 0;  // 0, or 1 when a result could not be written
    RunSummary summary;
};

// Throws std::invalid_argument when the crowd model cannot take the setup.
SingleRunResult runPrepared(const PreparedRun& prepared, const Options& options,
                            const RunHooks& hooks = {});

}  // namespace runtime
