#pragma once
// The scenario record of the last build, kept beside the project tree.
//
// The tree itself carries only the total number of people (the startup
// script's TotalPeople), not how many of them are families, adults and
// children. So each build of the dialog and of escape-build also writes the
// scenario it was made from, as the scenario file of "Save scenario as..."
// (the keys escape-build --scenario reads), into the start directory under
// kBuildRecordName. mvnrt reads it to give the people the roles that were
// typed, and to name the floor file the user chose. The tree stays as it is;
// the record can be opened again with "Open scenario..." or given to
// escape-build --scenario.

#include <filesystem>
#include <optional>
#include <string>

#include "scenario/build_request.h"

namespace scenario {

// Beside bProj in the start directory: the record of the last build.
inline constexpr const char* kBuildRecordName = "bProj-scenario.json";

// The record's path for a tree built in `startDirectory`.
std::filesystem::path buildRecordPath(const std::filesystem::path& startDirectory);

// Writes the record whole (or not at all) after a build. The counts are
// written even when they are the defaults, so the record says every count.
// Returns the problem, empty on success; on failure an older record is
// removed, so that it is never taken for this build's.
std::string writeBuildRecord(const std::filesystem::path& startDirectory,
                             const BuildRequest& request);

}  // namespace scenario
