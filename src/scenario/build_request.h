#pragma once
// What escape-build and the dialog are asked to build: a scenario file read
// and written, and the values it shares with escape-build's command line,
// checked before anything is written.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/input_error.h"
#include "scenario/scenario_settings.h"

namespace scenario {

// Bad input: the message names the option or key and the value. A scenario
// file's mistake is BadInput; escape-build's command line throws its own
// mistakes as Usage (platform::usageError).
class UsageError : public platform::InputError {
  public:
    using platform::InputError::InputError;
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

// The values of a request, checked as the scenario file and escape-build's
// command line both give them; `option` starts the message of the
// UsageError each throws.
int parseCount(const std::string& option, const std::string& value);  // 0 to 99
std::string parseRecord(const std::string& option, const std::string& value);  // none, kvx, avi
float parseScale(const std::string& option, const std::string& value);  // from 0 up
// "X,Z" (or "VX,VY" in view units).
Placement parsePlacement(const std::string& option, const std::string& value, bool inViewUnits);
// Appends `p` to `list`, refusing a third exit or a 41st cluster.
void addPlacement(std::vector<Placement>& list, const Placement& p, const std::string& option,
                  const std::string& value, bool isExit);

// A scenario file is at most this long (a full one is under a kilobyte).
inline constexpr std::uint64_t kMaxScenarioFileBytes = 1u << 20;

// Reads a scenario file (a JSON object; a regular file of at most
// kMaxScenarioFileBytes, keys once per object, nesting bounded). Throws
// UsageError naming the file.
BuildRequest readScenarioFile(const std::string& path);
// The same for the text of one; `where` starts every message.
BuildRequest parseScenarioText(const std::string& text, const std::string& where);

// The text of a scenario file holding the fields of `request` that are set
// (the keys readScenarioFile reads; positions in view units under viewExits
// and viewClusters, world units under exits and clusters). Numbers are
// written so that reading them back gives the same single-precision values.
// The command-line-only fields (directory, scenario file, launch, help) are
// not written.
std::string scenarioFileText(const BuildRequest& request);

// The world positions of `placements`: world units as they are, view units
// converted with the floor's `scale`. Throws UsageError naming the position
// when the result is not a finite single-precision number (a view position
// of 1e38 at scale 70), which no project could hold.
std::vector<scenario::WorldPosition> worldPositions(const std::vector<Placement>& placements,
                                                    scenario::PlacementKind kind, float scale);

// The floor file a request names, checked as escape-build and the dialog's
// "Open scenario" both check it: a regular file that opens without blocking
// (a FIFO, a device, a folder, an unreadable or over-long path are refused),
// a relative path taken from `startDirectory` (empty: the current
// directory). Throws UsageError "<label>: cannot read '<path>': it <why>".
void checkFloorFile(const std::string& floorPath, const std::string& startDirectory,
                    const std::string& label);

// The checks of a read scenario before anything is built or shown, in one
// place for escape-build and the dialog: the floor (when named) as
// checkFloorFile, every exit and cluster a finite world position at `scale`
// (worldPositions). Throws UsageError.
void checkScenario(const BuildRequest& request, const std::string& startDirectory, float scale,
                   const std::string& floorLabel);

// The fields of `over` that are set replace those of `base`.
BuildRequest merge(BuildRequest base, const BuildRequest& over);

}  // namespace scenario
