#pragma once
// Reads the startup script that escape-setup writes into
// bProj/Vellico/startup.pc: the scenario's numbers, checked against the whole
// fixed text of the script (the rows of projectformat/startup_script_format.h,
// which the generator renders). Anything that is not in the generator's form is
// reported with its line number and what was expected there.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/input_error.h"

namespace runtime {

// A vector of the script, on the floor plane (its height is always 0).
struct ScriptPoint {
    float x = 0.0f;
    float z = 0.0f;
};

struct StartupScript {
    int totalPeople = 0;                // TotalPeople
    int kvxFlag = 0;                    // dumpToKVX (the script records when it is 1)
    int aviFlag = 0;                    // dumpToAVI
    ScriptPoint va, vb;                 // the first exit's two ends
    ScriptPoint va2, vb2;               // the second exit's two ends
    int scattered = 0;                  // people who belong to no cluster
    std::vector<ScriptPoint> clusters;  // one centre per used cluster
    float cameraX = 0.0f, cameraY = 0.0f, cameraZ = 0.0f;  // the camera position
    int lineCount = 0;

    bool recordKvx() const { return kvxFlag == 1; }
    bool recordAvi() const { return aviFlag == 1; }
};

// A script that cannot be read. line() is 1-based; 0 when no one line is to blame.
class ScriptError : public platform::InputError {
  public:
    ScriptError(int line, const std::string& message);
    int line() const { return where().line; }
};

// Limits that keep a damaged script from asking for absurd work.
inline constexpr int kMaxScriptPeople = 100000;
inline constexpr int kMaxScriptClusters = 10000;

// Parses the whole script. Lines end in CR LF (a bare LF is accepted too).
// Throws ScriptError.
StartupScript parseStartupScript(std::string_view text);

// The expected text of table row `row` (1 to 225), with its leading tabs
// and a placeholder such as <int> or <real> where a number stands.
std::string describeRow(int row);

}  // namespace runtime
