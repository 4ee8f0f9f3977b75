#include "cad/units.h"

namespace cad {

double metresPer(Unit unit) {
    switch (unit) {
        case Unit::Inch: return 0.0254;
        case Unit::Foot: return 0.3048;
        case Unit::Millimetre: return 0.001;
        case Unit::Centimetre: return 0.01;
        case Unit::Metre: return 1.0;
    }
    return 1.0;
}

std::string_view unitName(Unit unit) {
    switch (unit) {
        case Unit::Inch: return "in";
        case Unit::Foot: return "ft";
        case Unit::Millimetre: return "mm";
        case Unit::Centimetre: return "cm";
        case Unit::Metre: return "m";
    }
    return "m";
}

std::optional<Unit> unitFromName(std::string_view n) {
    if (n == "in" || n == "inch" || n == "inches") return Unit::Inch;
    if (n == "ft" || n == "foot" || n == "feet") return Unit::Foot;
    if (n == "mm" || n == "millimetre" || n == "millimetres" || n == "millimeter" ||
        n == "millimeters")
        return Unit::Millimetre;
    if (n == "cm" || n == "centimetre" || n == "centimetres" || n == "centimeter" ||
        n == "centimeters")
        return Unit::Centimetre;
    if (n == "m" || n == "metre" || n == "metres" || n == "meter" || n == "meters")
        return Unit::Metre;
    return std::nullopt;
}

std::optional<Unit> unitFromInsunits(int code) {
    switch (code) {
        case 1: return Unit::Inch;
        case 2: return Unit::Foot;
        case 4: return Unit::Millimetre;
        case 5: return Unit::Centimetre;
        case 6: return Unit::Metre;
        default: return std::nullopt;
    }
}

std::string unitChoices() { return "in, ft, mm, cm or m"; }

}  // namespace cad
