#pragma once
// A DXF plan's outline as a KVX text floor for the dialog and escape-build:
// the layout of the basic floor (docs/kvx-format.md), one mesh whose vertex
// list is the outline, in metres with "Units 1.000000" in the header. A
// point (x, y) of the drawing is the floor's (x, 0, y), as a scenario's
// [x, z] is.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cad/plan.h"

namespace cad {

// The whole text of the floor (CR LF line ends, as the basic floor has).
// `source` is said in a comment line.
std::string kvxFloorText(const Outline& outline, const std::string& source);

// Reads `layer` of `dxf` and writes its outline to `out` (whole or not at
// all). Throws platform::InputError for the drawing, platform::OutputError
// when `out` cannot be written.
Outline writeKvxFloor(const std::filesystem::path& dxf, const std::string& layer,
                      std::optional<Unit> unit, const std::filesystem::path& out);

// escape-build's mode `--floor-from-dxf PLAN.dxf [--layer NAME] [--unit U]
// OUT.kvx`: when `arguments` (without the program's name) hold
// --floor-from-dxf, does it, says what was written on `out` (problems on
// `err`) and gives the exit status (0, or 2 for bad input, 1 when the file
// cannot be written); otherwise nothing, and the build goes on.
std::optional<int> floorFromDxfCommand(const std::vector<std::string>& arguments,
                                       std::ostream& out, std::ostream& err);

// The usage lines of that mode, for --help.
std::string floorFromDxfUsage();

}  // namespace cad
