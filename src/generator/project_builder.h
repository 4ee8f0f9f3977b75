#pragma once
// Writes the project tree bProj for the crowd-simulation runtime.

#include <array>
#include <string>
#include <vector>

#include "scenario/scenario_settings.h"

namespace generator {

// One step of a build that did not do its work: a file that could not be
// written, a template that could not be read, a directory that could not be
// entered. `path` is the system path of the file as the build names it.
struct BuildFailure {
    std::string path;
    std::string reason;
};

// See project_builder.cpp for the build order. The public surface:
//
//   generator::ProjectBuilder builder(settings);  // builds everything
//   for (const auto& f : builder.failures()) ...  // what did not work
//
// ProjectBuilder is a bidirectional stream over one file buffer that writes
// every generated file with CR LF line ends, whatever the platform.
class ProjectBuilder;

// Convenience for callers that only want the outcome of a whole build.
std::vector<BuildFailure> buildProject(const scenario::ScenarioSettings& settings);

// Formats a real as the runtime expects: the single-precision value widened to
// double, %g with precision 6, "." as decimal point whatever the locale, a
// three-digit exponent, and never "-0".
std::string formatReal(float value);

}  // namespace generator
