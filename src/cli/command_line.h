#pragma once
// escape-build's command line: its options, read into a BuildRequest (or
// into the request of its second mode, a DXF plan's outline written as a KVX
// floor), and its help text.

#include <optional>
#include <string>
#include <vector>

#include "cad/units.h"
#include "scenario/build_request.h"

namespace cli {

// `--floor-from-dxf PLAN.dxf [--layer NAME] [--unit U] OUT.kvx`.
struct FloorFromDxf {
    std::string plan;
    std::string layer;               // the default layer when not named
    std::optional<cad::Unit> unit;   // the drawing's $INSUNITS when not given
    std::string output;
};

struct CommandLine {
    scenario::BuildRequest build;
    std::optional<FloorFromDxf> floorFromDxf;  // set: that mode, not a build
};

// Reads the command line (argv[1..]): `--option value` or `--option=value`.
// Throws platform::InputError (scenario::UsageError for a value, a usage
// error for the command line itself). With --help, `build.help` is set in
// either mode.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace cli
