#pragma once
// Generic scenarios for mvnrt --scenario FILE.json: a walkable area, exits and
// people described directly, in metres. See docs/runtime-scenarios.md.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "crowd/model.h"

namespace runtime {

// A scenario file is read whole; larger ones are refused before reading.
inline constexpr std::uint64_t kMaxScenarioBytes = 8u << 20;

struct ScenarioFile {
    std::string name;
    crowd::CrowdSetup setup;
    std::vector<std::string> exitNames;
    std::uint64_t seed = 1;
};

// Parses the JSON text of a scenario. `seedOverride` replaces the file's seed
// (the seed decides body radii, speeds and filled positions). Throws
// InputError with the offending member's path for anything unusable: also a
// key that appears twice, nesting deeper than platform::kMaxJsonDepth and
// values outside the bounds of crowd/setup_limits.h. loadScenario reads only
// regular files of at most kMaxScenarioBytes. A walkable area from a DXF plan
// (cad/scenario_area.h) is found relative to `folder`, the scenario file's
// folder (empty: the current directory).
ScenarioFile parseScenario(const std::string& text,
                           std::optional<std::uint64_t> seedOverride = std::nullopt,
                           const std::filesystem::path& folder = {});
ScenarioFile loadScenario(const std::string& path,
                          std::optional<std::uint64_t> seedOverride = std::nullopt);

}  // namespace runtime
