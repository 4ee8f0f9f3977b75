#include "floorplan/floor_fit.h"

#include <algorithm>
#include <cmath>

#include "platform/number_text.h"
#include "projectformat/project_files.h"

namespace floorplan {

namespace {

// Metres read as decimetres come out ten times too small.
constexpr double kDecimetresPerMetre = projectformat::kWorldUnitsPerMetre;

std::string metresSize(double width, double depth) {
    return platform::fixedText(width, 2) + " m x " + platform::fixedText(depth, 2) + " m";
}

}  // namespace

FloorFit checkFloorFit(const crowd::Polygon& walkable, bool unitsStated, int people) {
    FloorFit fit;
    fit.people = people;
    if (walkable.size() < 3) return fit;
    const crowd::Box box = crowd::WalkableArea({walkable}).bounds();
    fit.width = box.max.x - box.min.x;
    fit.depth = box.max.y - box.min.y;
    fit.area = std::fabs(crowd::signedArea(walkable));
    fit.density = fit.area > 0.0 ? people / fit.area : (people > 0 ? INFINITY : 0.0);
    fit.fits = fit.density <= kMaxStandingDensity;
    fit.looksLikeMetres = !unitsStated && std::max(fit.width, fit.depth) < kSmallestPlausibleFloor;
    return fit;
}

std::string floorSizeText(const FloorFit& fit) { return metresSize(fit.width, fit.depth); }

std::string noRoomText(const std::filesystem::path& floorFile, const FloorFit& fit,
                       bool unitsStated, double metresPerUnit) {
    std::string text = floorFile.string() + ": the floor is " + floorSizeText(fit) + " (" +
                       platform::fixedText(fit.area, 2) + " m² to walk on) and cannot hold " +
                       std::to_string(fit.people) + " people: that is " + platform::fixedText(fit.density, 1) +
                       " people per m², more than the " + platform::fixedText(kMaxStandingDensity, 1) +
                       " per m² that bodies can hold standing";
    if (!unitsStated) {
        text += ". Its header has no Units line, so its coordinates were read as decimetres; "
                "if they are metres, add the line \"Units 1.0\" to its header (before its first "
                "node): it is then " +
                metresSize(fit.width * kDecimetresPerMetre, fit.depth * kDecimetresPerMetre);
    } else if (metresPerUnit < 1.0) {
        text += ". Its Units line gives " + platform::fixedText(metresPerUnit, 4) +
                " m per unit; if its coordinates are metres, the line should read \"Units 1.0\"";
    } else {
        text += ". Choose fewer people or a larger floor";
    }
    return text;
}

std::string smallFloorText(const std::filesystem::path& floorFile, const FloorFit& fit) {
    return floorFile.string() + " is only " + floorSizeText(fit) +
           ": its header has no Units line, so its coordinates are read as decimetres. If it "
           "is drawn in metres, add the line \"Units 1.0\" to its header (it is then " +
           metresSize(fit.width * kDecimetresPerMetre, fit.depth * kDecimetresPerMetre) + ")";
}

}  // namespace floorplan
