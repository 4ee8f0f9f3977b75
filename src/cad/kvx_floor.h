#pragma once
// A DXF plan's outline as a KVX text floor for the dialog and escape-build:
// the layout of the basic floor (docs/kvx-format.md), one mesh whose vertex
// list is the outline, in metres with "Units 1.000000" in the header. A
// point (x, y) of the drawing is the floor's (x, 0, y), as a scenario's
// [x, z] is.

#include <filesystem>
#include <optional>
#include <string>

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

// The layer whose outline is the floor when none is named.
inline constexpr const char* kDefaultFloorLayer = "WALLS";

// What was written, for the user: "N vertices, W m x H m, A m², in metres
// (the drawing's unit mm, from its $INSUNITS)".
std::string floorSummary(const Outline& outline);

}  // namespace cad
