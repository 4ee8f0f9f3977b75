#pragma once
// From mvnrt's command line to a run that is ready to start: the project
// ./bProj (or a generic scenario) read and turned into a crowd setup, with
// what the results and the report need to know about it.

#include <filesystem>
#include <optional>
#include <string>

#include "crowd/model.h"
#include "inputs/mvnrt_options.h"
#include "run/results.h"

namespace runtime {

// The project script's camera: a world position in world units.
struct ScriptCamera {
    double x = 0.0, y = 0.0, z = 0.0;
};

struct PreparedRun {
    crowd::CrowdSetup setup;
    RunMeta meta;
    std::filesystem::path outDir;
    bool recordMotion = false;           // the project asks for a KVX motion file
    bool recordMovie = false;            // the project asks for a movie
    std::optional<ScriptCamera> camera;  // projects only
};

// The default results root of the options (without --out): bProj/results
// of the project, or ./results for a scenario (results_layout.h).
std::filesystem::path defaultResultsRoot(const Options& options);

// Reads the project in the current directory or the scenario the options
// name. Throws InputError (unusable project or scenario) and
// std::invalid_argument (a setup the crowd model cannot take).
PreparedRun prepareRun(const Options& options);
// The same with the scenario's JSON text given (options.scenario names it).
PreparedRun prepareRun(const Options& options, const std::string* scenarioText);

}  // namespace runtime
