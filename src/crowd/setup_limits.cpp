#include "crowd/setup_limits.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace crowd {

namespace {

std::string number(double v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string rangeText(const ParamRange& r) {
    return std::string(r.minExcluded ? "(" : "[") + number(r.min) + ", " + number(r.max) + "]" +
           (r.unit[0] != '\0' ? std::string(" ") + r.unit : std::string());
}

}  // namespace

const std::vector<ParamRange>& paramRanges() {
    // Wide enough for every calibration we know of; narrow enough that
    // forces, accelerations and table sizes stay finite and small (B below a
    // centimetre makes the exponential repulsion overflow on contact).
    static const std::vector<ParamRange> ranges = {
        {"tau", &ModelParams::tau, 0.05, 10.0, false, "s"},
        {"A", &ModelParams::A, 0.0, 1.0e5, false, "N"},
        {"B", &ModelParams::B, 0.01, 2.0, false, "m"},
        {"k", &ModelParams::k, 0.0, 1.0e7, false, "kg/s^2"},
        {"kappa", &ModelParams::kappa, 0.0, 1.0e7, false, "kg/(m s)"},
        {"mass", &ModelParams::mass, 1.0, 1000.0, false, "kg"},
        {"lambda", &ModelParams::lambda, 0.0, 1.0, false, ""},
        {"headwayTime", &ModelParams::headwayTime, 0.0, 10.0, false, "s"},
        {"headwayWidth", &ModelParams::headwayWidth, 0.1, 1.0, false, ""},
        {"steerStrength", &ModelParams::steerStrength, 0.0, 100.0, false, ""},
        {"steerRange", &ModelParams::steerRange, 0.01, 2.0, false, "m"},
        {"radiusMin", &ModelParams::radiusMin, 0.0, 1.99, true, "m"},
        {"radiusMax", &ModelParams::radiusMax, 0.0, 1.99, true, "m"},
        {"dt", &ModelParams::dt, 1.0e-4, 0.01, false, "s"},
        {"speedCapFactor", &ModelParams::speedCapFactor, 1.0, 10.0, false, ""},
        {"cutoff", &ModelParams::cutoff, 0.5, 10.0, false, "m"},
        {"navCell", &ModelParams::navCell, 0.02, 2.0, false, "m"},
        {"wallBand", &ModelParams::wallBand, 0.0, 10.0, false, "m"},
        {"wallPenalty", &ModelParams::wallPenalty, 0.0, 100.0, false, ""},
        {"doorSnap", &ModelParams::doorSnap, 0.0, 10.0, false, "m"},
        {"pocketDepth", &ModelParams::pocketDepth, 0.2, 5.0, false, "m"},
        {"exitWalkOn", &ModelParams::exitWalkOn, 0.0, 1.0, false, "m"},
        {"leaveDistance", &ModelParams::leaveDistance, 0.0, 10.0, true, "m"},
        {"directionInterval", &ModelParams::directionInterval, 0.0, 1.0, false, "s"},
        {"fluctuation", &ModelParams::fluctuation, 0.0, 1.0e4, false, "N"},
        {"nervousFluctuation", &ModelParams::nervousFluctuation, 0.0, 1.0e4, false, "N"},
        {"fluctuationInterval", &ModelParams::fluctuationInterval, 0.0, 10.0, false, "s"},
    };
    return ranges;
}

std::optional<SetupProblem> paramsProblem(const ModelParams& params) {
    for (const ParamRange& r : paramRanges()) {
        const double v = params.*r.member;
        const bool aboveMin = r.minExcluded ? v > r.min : v >= r.min;
        if (!(aboveMin && v <= r.max))
            return SetupProblem{std::string("model.") + r.name,
                                (std::isfinite(v) ? "is " + number(v) : std::string("is not finite")) +
                                    "; it must be in " + rangeText(r)};
    }
    if (params.radiusMax < params.radiusMin)
        return SetupProblem{"model.radiusMax", "must not be below radiusMin"};
    // Beyond pocketDepth + 0.5 m behind a door nobody is counted as leaving:
    // a longer walk on would keep everyone inside for good.
    if (params.exitWalkOn >= params.pocketDepth + 0.5)
        return SetupProblem{"model.exitWalkOn", "must be below pocketDepth + 0.5 m (" +
                                                    number(params.pocketDepth + 0.5) + " m)"};
    return std::nullopt;
}

std::optional<SetupProblem> extentProblem(const CrowdSetup& setup) {
    if (setup.exits.size() > kMaxExits)
        return SetupProblem{"exits", "there are " + std::to_string(setup.exits.size()) +
                                         " exits; at most " + std::to_string(kMaxExits) +
                                         " are allowed (each has a navigation field of up to "
                                         "17.6 MB)"};
    std::size_t points = 0;
    for (const Polygon& poly : setup.area.polygons()) points += poly.size();
    if (setup.area.polygons().size() > kMaxWalkablePolygons)
        return SetupProblem{"walkable", "has " + std::to_string(setup.area.polygons().size()) +
                                            " polygons; at most " +
                                            std::to_string(kMaxWalkablePolygons) + " are allowed"};
    if (points > kMaxWalkablePoints)
        return SetupProblem{"walkable", "has " + std::to_string(points) + " points; at most " +
                                            std::to_string(kMaxWalkablePoints) + " are allowed"};
    Box box{{INFINITY, INFINITY}, {-INFINITY, -INFINITY}};
    auto take = [&](Vec2 p, const std::string& member) -> std::optional<SetupProblem> {
        if (!(std::fabs(p.x) <= kMaxCoordinate && std::fabs(p.y) <= kMaxCoordinate))
            return SetupProblem{member, "has a point (" + number(p.x) + ", " + number(p.y) +
                                            ") beyond " + number(kMaxCoordinate) +
                                            " m from the origin"};
        box.min = {std::min(box.min.x, p.x), std::min(box.min.y, p.y)};
        box.max = {std::max(box.max.x, p.x), std::max(box.max.y, p.y)};
        return std::nullopt;
    };
    const auto& polys = setup.area.polygons();
    for (std::size_t i = 0; i < polys.size(); ++i)
        for (const Vec2& p : polys[i])
            if (auto problem = take(p, "walkable[" + std::to_string(i) + "]")) return problem;
    for (std::size_t i = 0; i < setup.exits.size(); ++i)
        for (const Vec2& p : {setup.exits[i].segment.a, setup.exits[i].segment.b})
            if (auto problem = take(p, "exits[" + std::to_string(i) + "]")) return problem;
    if (polys.empty()) return std::nullopt;
    // The grid also holds a margin around the area (the pocket behind a door
    // and a metre around each exit).
    const ModelParams& mp = setup.params;
    const double margin = 2.0 * (mp.pocketDepth + 2.0 * mp.navCell + 1.5);
    const double w = box.max.x - box.min.x + margin, h = box.max.y - box.min.y + margin;
    const double cells = std::ceil(w / mp.cutoff) * std::ceil(h / mp.cutoff);
    if (!(cells <= kMaxNeighbourCells))
        return SetupProblem{
            setup.exits.empty() ? "walkable" : "walkable and exits",
            "span " + number(std::round(w)) + " m by " + number(std::round(h)) +
                " m; with the cutoff of " + number(mp.cutoff) + " m that is " +
                number(std::round(cells)) + " cells of the neighbour grid, more than the " +
                number(kMaxNeighbourCells) + " allowed (about " +
                number(std::round(std::sqrt(kMaxNeighbourCells) * mp.cutoff)) + " m square)"};
    return std::nullopt;
}

std::optional<SetupProblem> setupProblem(const CrowdSetup& setup) {
    if (auto problem = paramsProblem(setup.params)) return problem;
    if (setup.people.size() > kMaxPeople)
        return SetupProblem{"people", "there are " + std::to_string(setup.people.size()) +
                                          " people; at most " + std::to_string(kMaxPeople) +
                                          " are allowed"};
    for (std::size_t i = 0; i < setup.people.size(); ++i)
        if (!(setup.people[i].preMovement >= 0.0 && setup.people[i].preMovement <= 1.0e6))
            return SetupProblem{"people[" + std::to_string(i) + "].preMovement",
                                "must be from 0 to 1000000 s"};
    if (!(setup.timeLimit > 0.0 && setup.timeLimit / setup.params.dt <= kMaxSteps))
        return SetupProblem{"timeLimit", number(setup.timeLimit) + " s in steps of " +
                                             number(setup.params.dt) + " s would be more than " +
                                             number(kMaxSteps) + " steps"};
    return extentProblem(setup);
}

}  // namespace crowd
