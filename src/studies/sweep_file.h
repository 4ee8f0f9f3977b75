#pragma once
// Sweep files: a study of several scenarios and projects, each with its
// seeds and variations of its parameters, for `mvnrt --sweep FILE.json`.
// See docs/sweep-files.md for the members.
//
// A sweep file expands into variants: one per entry of `scenarios`, or, when
// the entry varies parameters, one per combination of their values. Each
// variant is a many-runs study of its own under ROOT/<variant name>.
// Everything is checked before anything runs: a mistake is an InputError
// naming the file and the entry ("sweep.json: scenarios[1].seeds: the seed
// list is empty").

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace runtime {

// A sweep file is read whole; larger ones are refused before reading.
inline constexpr std::uint64_t kMaxSweepFileBytes = 1u << 20;
// At most this many runs in all variants together.
inline constexpr std::uint64_t kMaxSweepRuns = 1000000;

struct SweepVariant {
    std::string name;  // also its folder under the results root
    bool project = false;
    std::string source;                // as the sweep file names it
    std::filesystem::path sourcePath;  // the scenario file or project folder, absolute
    // Each varied parameter with its value as JSON text, in key order.
    std::vector<std::pair<std::string, std::string>> parameters;
    // The scenario with the varied members applied (JSON text); empty when
    // the scenario file itself is run.
    std::string scenarioText;
    std::optional<double> timeLimit;
    std::optional<std::string> preMovement;
    double simulatedLimit = 0.0;  // the time limit its runs have, s
    std::vector<std::uint64_t> seeds;
};

struct SweepDefinition {
    std::filesystem::path file;  // the sweep file
    std::filesystem::path root;  // results root, absolute
    std::vector<SweepVariant> variants;
    std::size_t runs() const;
};

// Parses the text of the sweep file `file` (relative paths in it are taken
// from the file's folder) and checks every variant: the scenario it runs
// parses and fits the model's bounds, a project can be read. Throws
// platform::InputError.
SweepDefinition parseSweepFile(const std::string& text, const std::filesystem::path& file);
SweepDefinition loadSweepFile(const std::filesystem::path& file);

// The folder a variant's runs go to, and the file its varied scenario is
// written to before the runs (when it has one).
std::filesystem::path variantFolder(const SweepDefinition& sweep, const SweepVariant& v);
std::filesystem::path variantScenarioFile(const SweepDefinition& sweep, const SweepVariant& v);

// The command line of a variant's runs, without seed and folder.
std::vector<std::string> variantArguments(const SweepDefinition& sweep, const SweepVariant& v);

// "1-20" for consecutive seeds, else the seeds listed with commas.
std::string seedsText(const std::vector<std::uint64_t>& seeds);

}  // namespace runtime
