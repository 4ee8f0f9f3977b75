#pragma once
// What escape-build was asked to do: the command line and an optional
// scenario file, read and checked before anything is written.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace cli {

// Bad input: the message names the option or key and the value.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A placed position: world units (x, z) or view units (vx, vy) that are
// converted with the floor's scale.
struct Placement {
    bool inViewUnits = false;
    float first = 0.0f;
    float second = 0.0f;
};

struct BuildRequest {
    std::optional<std::string> directory;
    std::optional<int> pairs;
    std::optional<int> adults;
    std::optional<int> children;
    std::optional<std::string> record;  // "none", "kvx" or "avi"
    std::optional<std::vector<Placement>> exits;
    std::optional<std::vector<Placement>> clusters;
    std::optional<std::string> floor;
    std::optional<float> scale;
    std::optional<std::string> scenarioFile;
    bool launch = false;
    bool help = false;
};

// Reads the command line (argv[1..]). Throws UsageError.
BuildRequest parseCommandLine(const std::vector<std::string>& arguments);

// Reads a scenario file (a JSON object). Throws UsageError naming the file.
BuildRequest readScenarioFile(const std::string& path);

// The text of a scenario file holding the fields of `request` that are set
// (the keys readScenarioFile reads; positions in view units under viewExits
// and viewClusters, world units under exits and clusters). Numbers are
// written so that reading them back gives the same single-precision values.
// The command-line-only fields (directory, scenario file, launch, help) are
// not written.
std::string scenarioFileText(const BuildRequest& request);

// The fields of `over` that are set replace those of `base`.
BuildRequest merge(BuildRequest base, const BuildRequest& over);

std::string usageText();

}  // namespace cli
