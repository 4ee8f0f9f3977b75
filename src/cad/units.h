#pragma once
// The length units a DXF plan may be drawn in, and how a drawing states its
// unit: the header variable $INSUNITS (1 inches, 2 feet, 4 millimetres,
// 5 centimetres, 6 metres) or the caller's choice.

#include <optional>
#include <string>
#include <string_view>

namespace cad {

enum class Unit { Inch, Foot, Millimetre, Centimetre, Metre };

// Metres in one unit (an inch is 0.0254 m, a foot 0.3048 m).
double metresPer(Unit unit);

// The unit's name as documented and accepted: "in", "ft", "mm", "cm", "m".
std::string_view unitName(Unit unit);

// Reads a unit's name: the short names above, or inch/inches, foot/feet,
// millimetre(s)/millimeter(s), centimetre(s)/centimeter(s),
// metre(s)/meter(s). Nothing for anything else.
std::optional<Unit> unitFromName(std::string_view name);

// The unit of a $INSUNITS code, or nothing for the codes this reader does
// not take (0, unitless, among them).
std::optional<Unit> unitFromInsunits(int code);

// The names accepted, for messages: "in, ft, mm, cm or m".
std::string unitChoices();

}  // namespace cad
