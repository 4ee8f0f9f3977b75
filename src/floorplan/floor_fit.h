#pragma once
// Whether the people of a start can stand on the floor, and whether the
// floor's size looks like a unit mistake. Checked before anyone is placed,
// by the runtime (an error or a warning) and by the dialog (its notice line).
//
// The limit is what bodies can physically hold: 5.4 people per m², the jam
// density at which walking stops in Weidmann's fundamental diagram (1993,
// "Transporttechnik der Fussgänger", the density at which the speed of the
// fitted curve reaches zero); crowds measured standing still reach 5 to 6
// per m², and above that people are pressed against one another. A start
// that needs more is not a crowd on that floor: the floor is too small, most
// often because its coordinates are metres read as decimetres.

#include <filesystem>
#include <string>

#include "crowd/geometry.h"

namespace floorplan {

// People per m² that bodies can hold (see above).
inline constexpr double kMaxStandingDensity = 5.4;
// A floor plan read as decimetres that is less than this many metres across
// in both directions is more likely drawn in metres without its Units line.
inline constexpr double kSmallestPlausibleFloor = 3.0;

struct FloorFit {
    double width = 0.0, depth = 0.0;  // of its bounding box, m
    double area = 0.0;                // walkable, m²
    int people = 0;
    double density = 0.0;             // people per m² of the walkable area
    bool fits = true;                 // density <= kMaxStandingDensity
    // Read as decimetres for want of a Units line, and implausibly small.
    bool looksLikeMetres = false;
};

// `walkable` in metres; `unitsStated`: the floor file's header has a Units
// line (else it was read as decimetres).
FloorFit checkFloorFit(const crowd::Polygon& walkable, bool unitsStated, int people);

// "2.00 m x 1.20 m"
std::string floorSizeText(const FloorFit& fit);

// The error of a start that does not fit: names `floorFile` (the file the
// user chose), its size and what the likely unit mistake is.
std::string noRoomText(const std::filesystem::path& floorFile, const FloorFit& fit,
                       bool unitsStated, double metresPerUnit);

// The warning for a floor that looksLikeMetres: names `floorFile`, its size
// and the Units line that would mend it.
std::string smallFloorText(const std::filesystem::path& floorFile, const FloorFit& fit);

}  // namespace floorplan
