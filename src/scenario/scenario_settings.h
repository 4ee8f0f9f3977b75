#pragma once
// The record that carries one finished scenario from the dialog (or from
// escape-build) to the project generator, and the conversion of placed
// positions from view units to world units.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace scenario {

// A position on the floor plane of the runtime's world, in world units. The
// height is not carried; the startup script uses 0 for it.
struct WorldPosition {
    float x = 0.0f;
    float z = 0.0f;
};

inline constexpr int kMaxExits = 2;
inline constexpr int kMaxClusters = 40;

// Fields in the order in which the builder receives them. Note that
// clusterCount comes before exitCount while the arrays come exits first.
struct ScenarioSettings {
    int pairCount = 0;
    int adultCount = 0;
    int childCount = 0;
    bool recordKvx = false;
    bool recordAvi = false;
    int clusterCount = 0;
    int exitCount = 0;
    std::array<WorldPosition, kMaxExits> exits{};
    std::array<WorldPosition, kMaxClusters> clusters{};
    std::string floorPath;
    // The directory that was current when the dialog opened. Held whole: a
    // long working directory still builds into the right place.
    std::string startDirectory;
    int floorScale = 0;
};

// What a click placed.
enum class PlacementKind { Exit, Cluster };

// View-to-world rule: world x = (view x * s) * fx, world z = (view y * s) * fz,
// each product formed in double from single-precision operands and stored as
// single precision. Exits use (0.86, 0.93), clusters (0.72, 0.78). Neither
// axis is negated.
WorldPosition viewToWorld(PlacementKind kind, float viewX, float viewY, float scale);

// The integer part of the view's scale, truncated toward zero.
int floorScaleFromScale(float scale);

// Reads a count the way the standard atoi does: leading white space, an
// optional sign, decimal digits up to the first non-digit; no digits give 0.
// Digit strings beyond the range of int saturate at INT_MAX / INT_MIN, so the
// dialog's clamp and the record read pasted text the same way.
int countFromText(std::string_view text);

// The three commands differ only in the two recording flags.
enum class BuildCommand { RunMorvanta, CreateKvx, CreateAvi };
void applyCommandFlags(ScenarioSettings& settings, BuildCommand command);

// A placed exit or cluster as the user gave it: a click into the view (view
// units, -1 to 1, y downward) or, from escape-build, a world position (x, z).
struct Placed {
    float x = 0.0f;
    float y = 0.0f;
    bool inWorldUnits = false;
};

// Everything a build command knows, before conversion.
struct ScenarioInput {
    int pairCount = 0;  // the counts as read (countFromText in the dialog)
    int adultCount = 0;
    int childCount = 0;
    BuildCommand command = BuildCommand::RunMorvanta;
    std::vector<Placed> exits;     // in slot order; the first kMaxExits are taken
    std::vector<Placed> clusters;  // in slot order; the first kMaxClusters are taken
    // The view's scale: converts view units to world units, and its integer
    // part places the camera.
    float scale = 0.0f;
    // The floor the view shows, in the form the floor reader holds it: after
    // the reader's fallback this is the basic floor (never the file that had
    // no usable mesh).
    std::string floorPath;
    std::string startDirectory;
};

// The one road from a build command to the record: the dialog and
// escape-build both make their ScenarioSettings here.
ScenarioSettings makeScenarioSettings(const ScenarioInput& input);

// "1 family", "3 families": a count and its noun.
std::string countText(int n, const char* one, const char* many);

// "30 families, 20 adults, 10 children": what a build will simulate, as the
// dialog's notice line and mvnrt's report say it.
std::string peopleText(int families, int adults, int children);

}  // namespace scenario
