#pragma once
// The unit of a floor scene file. A KVX scene may state its unit in its
// header, in a line "Units U" before the first node: U is the length of one
// coordinate unit in metres (1 for metres, 0.1 for decimetres). A project's
// world unit is the decimetre; a floor that states another unit is
// converted, one that states none is read as decimetres.

#include <filesystem>
#include <optional>
#include <string_view>

namespace floorplan {

// Metres per unit stated by the scene's header, or nothing when it has no
// "Units" line before its first node or mesh. Throws std::invalid_argument
// when the line's value is not a positive finite number.
std::optional<double> statedMetresPerUnit(std::string_view sceneText);

// The same for the scene file `file`, read from its head (where the header
// is). A file that cannot be opened states nothing.
std::optional<double> statedMetresPerUnitOfFile(const std::filesystem::path& file);

}  // namespace floorplan
