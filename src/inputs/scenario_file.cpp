#include "inputs/scenario_file.h"

#include "platform/number_text.h"

#include <algorithm>
#include <map>
#include <cmath>
#include <nlohmann/json.hpp>

#include "cad/scenario_area.h"
#include "crowd/placement.h"
#include "crowd/rng.h"
#include "crowd/setup_limits.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "platform/strict_json.h"
#include "inputs/pre_movement.h"
#include "inputs/project.h"

namespace runtime {

namespace {

using crowd::Vec2;
using nlohmann::json;

[[noreturn]] void bad(const std::string& where, const std::string& what) {
    throw InputError(where + ": " + what);
}

double number(const json& j, const std::string& where) {
    if (!j.is_number()) bad(where, "must be a number");
    const double v = j.get<double>();
    if (!std::isfinite(v)) bad(where, "must be a finite number");
    return v;
}

Vec2 point(const json& j, const std::string& where) {
    if (!j.is_array() || j.size() != 2) bad(where, "must be a point [x, z] in metres");
    return {number(j[0], where + "[0]"), number(j[1], where + "[1]")};
}

crowd::Polygon polygon(const json& j, const std::string& where) {
    if (!j.is_array() || j.size() < 3) bad(where, "must be a list of at least three points [x, z]");
    if (j.size() > 100000)
        bad(where, "has " + std::to_string(j.size()) + " points; at most 100000 a polygon");
    crowd::Polygon poly;
    for (std::size_t i = 0; i < j.size(); ++i)
        poly.push_back(point(j[i], where + "[" + std::to_string(i) + "]"));
    const std::string problem = crowd::polygonProblem(poly);
    if (!problem.empty()) bad(where, "is unusable: " + problem);
    return crowd::withoutRepeatedVertices(poly);
}

void checkKeys(const json& obj, std::initializer_list<const char*> known,
               const std::string& where) {
    for (const auto& item : obj.items()) {
        bool ok = false;
        for (const char* k : known) ok = ok || item.key() == k;
        if (!ok) bad(where + "." + platform::capped(item.key(), 60), "is not a known member");
    }
}

struct SpeedRange {
    double min, max;
};

SpeedRange speedRange(const json& obj, SpeedRange fallback, const std::string& where) {
    if (!obj.contains("speed")) return fallback;
    const json& s = obj["speed"];
    const std::string at = where + ".speed";
    SpeedRange r;
    if (s.is_number()) {
        r.min = r.max = number(s, at);
    } else if (s.is_object()) {
        checkKeys(s, {"min", "max"}, at);
        if (!s.contains("min") || !s.contains("max")) bad(at, "needs both min and max");
        r = {number(s["min"], at + ".min"), number(s["max"], at + ".max")};
    } else {
        bad(at, "must be a number or {\"min\": .., \"max\": ..} in m/s");
    }
    if (!(r.min >= 0.0 && r.max >= r.min && r.max <= 12.0))
        bad(at, "must satisfy 0 <= min <= max <= 12 m/s");
    return r;
}

int exitIndex(const json& obj, const std::vector<std::string>& names, const std::string& where) {
    if (!obj.contains("exit")) return -1;
    const json& e = obj["exit"];
    if (e.is_string()) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == e.get<std::string>()) return static_cast<int>(i);
        bad(where + ".exit", "names no exit of the scenario");
    }
    if (e.is_number_integer()) {
        const auto i = e.get<long long>();
        if (i < 0 || i >= static_cast<long long>(names.size()))
            bad(where + ".exit", "is not an exit index");
        return static_cast<int>(i);
    }
    bad(where + ".exit", "must be an exit name or index");
}

crowd::Role roleFrom(const json& obj, const std::string& where) {
    if (!obj.contains("role")) return crowd::Role::Person;
    if (!obj["role"].is_string()) bad(where + ".role", "must be a string");
    const std::string r = obj["role"].get<std::string>();
    for (crowd::Role role : {crowd::Role::Person, crowd::Role::Child, crowd::Role::Parent,
                             crowd::Role::Adult, crowd::Role::JoggingChild})
        if (r == crowd::roleName(role)) return role;
    bad(where + ".role", "must be person, child, parent, adult or jogging child");
}

void readModel(const json& j, crowd::ModelParams& p) {
    const std::string at = "model";
    if (!j.is_object()) bad(at, "must be an object");
    const auto& ranges = crowd::paramRanges();
    for (const auto& item : j.items()) {
        const auto known = std::find_if(ranges.begin(), ranges.end(),
                                        [&](const crowd::ParamRange& r) { return item.key() == r.name; });
        if (known == ranges.end()) bad(at + "." + platform::capped(item.key(), 60), "is not a known member");
        p.*(known->member) = number(item.value(), at + "." + known->name);
    }
    if (const auto problem = crowd::paramsProblem(p)) bad(problem->member, problem->message);
}

// The people and fill counts together, before anyone is placed.
void countPeople(const json& j) {
    // The real sum, saturating at the largest whole number (said so).
    std::uint64_t total = 0;
    bool saturated = false;
    auto add = [&](std::uint64_t n) {
        if (total > UINT64_MAX - n) saturated = true;
        total = saturated ? UINT64_MAX : total + n;
    };
    if (j.contains("people") && j["people"].is_array()) add(j["people"].size());
    if (j.contains("fill") && j["fill"].is_array())
        for (const json& f : j["fill"])
            if (f.is_object() && f.contains("count") && f["count"].is_number_unsigned())
                add(f["count"].get<std::uint64_t>());
    if (total > crowd::kMaxPeople)
        bad("people", "the scenario has " + std::string(saturated ? "more than " : "") +
                          std::to_string(total) + " people (people and fill counts); at most " +
                          std::to_string(crowd::kMaxPeople) + " are allowed");
}

// The walkable area and exits of a DXF plan (cad/scenario_area.h): the
// plan's rings as polygons (even-odd, as typed ones), its exit lines named
// by layer and handle ("EXITS 2F").
std::vector<crowd::ExitSpec> exitsOfPlan(const json& w, const std::filesystem::path& folder,
                                         std::vector<crowd::Polygon>& polys) {
    const cad::ScenarioArea area = cad::readScenarioArea(w, folder, "walkable");
    for (const cad::Ring& ring : area.rings) {
        crowd::Polygon poly;
        for (const cad::Point& p : ring) poly.push_back({p.x, p.y});
        polys.push_back(crowd::withoutRepeatedVertices(poly));
    }
    std::vector<crowd::ExitSpec> exits;
    for (const cad::ExitLine& e : area.exits) {
        crowd::ExitSpec x;
        x.name = area.exitsLayer + " " + e.handle;
        x.segment = {{e.from.x, e.from.y}, {e.to.x, e.to.y}};
        exits.push_back(x);
    }
    return exits;
}

void checkExtent(const crowd::CrowdSetup& setup) {
    if (const auto problem = crowd::extentProblem(setup)) bad(problem->member, problem->message);
}

// The scenario's name, seed, time limit and model.
void readHeader(const json& j, std::optional<std::uint64_t> seedOverride, ScenarioFile& out) {
    crowd::CrowdSetup& setup = out.setup;
    if (j.contains("name")) {
        if (!j["name"].is_string()) bad("name", "must be a string");
        out.name = j["name"].get<std::string>();
    }
    if (j.contains("seed")) {
        if (!j["seed"].is_number_unsigned()) bad("seed", "must be a non-negative whole number");
        out.seed = j["seed"].get<std::uint64_t>();
    }
    if (seedOverride) out.seed = *seedOverride;
    if (j.contains("timeLimit")) {
        setup.timeLimit = number(j["timeLimit"], "timeLimit");
        if (!(setup.timeLimit > 0.0 && setup.timeLimit <= 1.0e6))
            bad("timeLimit", "must be in (0, 1e6] s");
    }
    if (j.contains("model")) readModel(j["model"], setup.params);
}

// The walkable polygons, typed or from a DXF plan below `folder`, and the
// periodic corridor when there is one. Returns the plan's exits (none for
// typed polygons).
std::vector<crowd::ExitSpec> readArea(const json& j, const std::filesystem::path& folder,
                                      crowd::CrowdSetup& setup) {
    if (!j.contains("walkable"))
        bad("walkable", "is missing: a list of polygons, each a list of points [x, z]");
    const json& w = j["walkable"];
    std::vector<crowd::Polygon> polys;
    std::vector<crowd::ExitSpec> planExits;  // from the plan's exits layer
    if (w.is_object()) {
        planExits = exitsOfPlan(w, folder, polys);
    } else {
        if (!w.is_array() || w.empty())
            bad("walkable", "must be a non-empty list of polygons, or a DXF plan {\"dxf\": ..}");
        for (std::size_t i = 0; i < w.size(); ++i)
            polys.push_back(polygon(w[i], "walkable[" + std::to_string(i) + "]"));
    }
    setup.area = crowd::WalkableArea(polys);

    if (j.contains("periodic")) {
        const json& p = j["periodic"];
        if (!p.is_object()) bad("periodic", "must be an object");
        checkKeys(p, {"direction"}, "periodic");
        setup.periodic.enabled = true;
        if (p.contains("direction"))
            setup.periodic.direction = point(p["direction"], "periodic.direction");
    }
    return planExits;
}

// The typed exits, then those of the plan's exits layer.
void readExits(const json& j, std::vector<crowd::ExitSpec> planExits, ScenarioFile& out) {
    crowd::CrowdSetup& setup = out.setup;
    if (j.contains("exits")) {
        const json& e = j["exits"];
        if (!e.is_array()) bad("exits", "must be a list");
        for (std::size_t i = 0; i < e.size(); ++i) {
            const std::string at = "exits[" + std::to_string(i) + "]";
            if (!e[i].is_object()) bad(at, "must be an object with from and to");
            checkKeys(e[i], {"name", "from", "to"}, at);
            crowd::ExitSpec x;
            x.name = e[i].contains("name") && e[i]["name"].is_string()
                         ? e[i]["name"].get<std::string>()
                         : "exit " + std::to_string(i + 1);
            if (!e[i].contains("from") || !e[i].contains("to")) bad(at, "needs from and to");
            x.segment = {point(e[i]["from"], at + ".from"), point(e[i]["to"], at + ".to")};
            setup.exits.push_back(x);
            out.exitNames.push_back(x.name);
        }
    }
    for (crowd::ExitSpec& x : planExits) {
        setup.exits.push_back(x);
        out.exitNames.push_back(x.name);
    }
}

// People's speeds when a scenario gives none: 1.34 +- 0.26 m/s (Weidmann).
const SpeedRange kDefaultSpeed{1.08, 1.60};

PreMovement preMovementOf(const json& obj, const std::string& at) {
    return obj.contains("preMovement") ? preMovementFromJson(obj["preMovement"], at + ".preMovement")
                                       : PreMovement{};
}

// The people placed one by one ("people"), each checked where it stands.
void readPeople(const json& p, ScenarioFile& out, crowd::Rng& rng, crowd::Placer& placer,
                std::vector<PreMovement>& preMovement) {
    crowd::CrowdSetup& setup = out.setup;
    const crowd::ModelParams& mp = setup.params;
    if (!p.is_array()) bad("people", "must be a list");
    if (p.size() > 1000000) bad("people", "has too many entries");
    std::map<std::pair<long long, long long>, std::size_t> perSquareMetre;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const std::string at = "people[" + std::to_string(i) + "]";
        if (!p[i].is_object()) bad(at, "must be an object");
        checkKeys(p[i], {"x", "z", "speed", "radius", "exit", "role", "leader", "preMovement"},
                  at);
        crowd::PersonSpec s;
        if (!p[i].contains("x") || !p[i].contains("z")) bad(at, "needs x and z in metres");
        s.start = {number(p[i]["x"], at + ".x"), number(p[i]["z"], at + ".z")};
        if (!(std::fabs(s.start.x) <= crowd::kMaxCoordinate &&
              std::fabs(s.start.y) <= crowd::kMaxCoordinate))
            bad(at, "stands beyond " + std::to_string(static_cast<long>(crowd::kMaxCoordinate)) +
                        " m from the origin");
        s.radius = p[i].contains("radius") ? number(p[i]["radius"], at + ".radius")
                                           : rng.uniform(mp.radiusMin, mp.radiusMax);
        if (!(s.radius > 0.0 && s.radius < 2.0)) bad(at + ".radius", "must be in (0, 2) m");
        const SpeedRange sr = speedRange(p[i], kDefaultSpeed, at);
        s.desiredSpeed = sr.min == sr.max ? sr.min : rng.uniform(sr.min, sr.max);
        s.exit = exitIndex(p[i], out.exitNames, at);
        s.role = roleFrom(p[i], at);
        if (p[i].contains("leader")) {
            if (!p[i]["leader"].is_number_integer())
                bad(at + ".leader", "must be a person index");
            const auto l = p[i]["leader"].get<long long>();
            if (l < 0 || l >= static_cast<long long>(p.size()) ||
                l == static_cast<long long>(i))
                bad(at + ".leader", "must be the index of another person in people");
            s.leader = static_cast<int>(l);
        }
        // As a fill never would: no square metre holds more than
        // kMaxPeoplePerSquareMetre (a pile of people costs memory and
        // time without bound).
        const auto key = std::make_pair(static_cast<long long>(std::floor(s.start.x)),
                                        static_cast<long long>(std::floor(s.start.y)));
        if (++perSquareMetre[key] > crowd::kMaxPeoplePerSquareMetre)
            bad(at, "is person " + std::to_string(crowd::kMaxPeoplePerSquareMetre + 1) +
                        " in the square metre from (" + std::to_string(key.first) + ", " +
                        std::to_string(key.second) + "); at most " +
                        std::to_string(crowd::kMaxPeoplePerSquareMetre) +
                        " people may stand in one square metre");
        placer.add(s.start, s.radius);
        setup.people.push_back(s);
        preMovement.push_back(preMovementOf(p[i], at));
    }
    // Nobody starts outside the walls: such a person would walk around
    // them to a door and be counted out of a room never entered.
    std::vector<Vec2> starts;
    for (const crowd::PersonSpec& s : setup.people) starts.push_back(s.start);
    const std::vector<std::uint8_t> inside = setup.area.containsEach(starts);
    for (std::size_t i = 0; i < inside.size(); ++i)
        if (!inside[i])
            bad("people[" + std::to_string(i) + "]",
                "stands at (" + platform::fixedText(starts[i].x, 2) + ", " +
                    platform::fixedText(starts[i].y, 2) + ") m, outside the walkable area");
}

// The people drawn into regions ("fill"), each where there is room.
void readFill(const json& f, ScenarioFile& out, crowd::Rng& rng, crowd::Placer& placer,
              std::vector<PreMovement>& preMovement) {
    crowd::CrowdSetup& setup = out.setup;
    const crowd::ModelParams& mp = setup.params;
    if (!f.is_array()) bad("fill", "must be a list");
    for (std::size_t i = 0; i < f.size(); ++i) {
        const std::string at = "fill[" + std::to_string(i) + "]";
        if (!f[i].is_object()) bad(at, "must be an object with area and count");
        checkKeys(f[i], {"area", "count", "speed", "exit", "role", "preMovement"}, at);
        if (!f[i].contains("area") || !f[i].contains("count")) bad(at, "needs area and count");
        const crowd::WalkableArea region({polygon(f[i]["area"], at + ".area")});
        if (!f[i]["count"].is_number_unsigned())
            bad(at + ".count", "must be a non-negative whole number");
        const auto count = f[i]["count"].get<std::uint64_t>();
        if (count > 1000000) bad(at + ".count", "is too large");
        const SpeedRange sr = speedRange(f[i], kDefaultSpeed, at);
        const int exit = exitIndex(f[i], out.exitNames, at);
        const crowd::Role role = roleFrom(f[i], at);
        const PreMovement groupPreMovement = preMovementOf(f[i], at);
        const crowd::Box b = region.bounds();
        for (std::uint64_t n = 0; n < count; ++n) {
            crowd::PersonSpec s;
            s.radius = rng.uniform(mp.radiusMin, mp.radiusMax);
            s.desiredSpeed = sr.min == sr.max ? sr.min : rng.uniform(sr.min, sr.max);
            s.exit = exit;
            s.role = role;
            // Uniformly at random in the region, where free; after many
            // misses the nearest free spot to the last try.
            Vec2 p{};
            bool placed = false;
            for (int attempt = 0; attempt < 200 && !placed; ++attempt) {
                p = {rng.uniform(b.min.x, b.max.x), rng.uniform(b.min.y, b.max.y)};
                placed = region.contains(p) && placer.isFree(p, s.radius);
            }
            if (!placed) {
                const auto q = placer.nearestFree(p, s.radius);
                if (!q)
                    bad(at, "the area has no room for person " + std::to_string(n + 1) +
                                " of " + std::to_string(count));
                p = *q;
            }
            s.start = p;
            placer.add(p, s.radius);
            setup.people.push_back(s);
            preMovement.push_back(groupPreMovement);
        }
    }
}

}  // namespace

ScenarioFile parseScenario(const std::string& text, std::optional<std::uint64_t> seedOverride,
                           const std::filesystem::path& folder) {
    const json j = platform::parseStrictJson(text);  // a JsonError names its line and column
    if (!j.is_object()) bad("scenario", "must be a JSON object");
    checkKeys(j,
              {"name", "description", "seed", "timeLimit", "walkable", "exits", "people", "fill",
               "periodic", "model"},
              "scenario");
    ScenarioFile out;
    crowd::CrowdSetup& setup = out.setup;
    readHeader(j, seedOverride, out);
    std::vector<crowd::ExitSpec> planExits = readArea(j, folder, setup);
    readExits(j, std::move(planExits), out);
    checkExtent(setup);
    if (setup.periodic.enabled && !setup.exits.empty())
        bad("periodic", "a periodic corridor has no exits");
    if (!setup.periodic.enabled && setup.exits.empty())
        bad("exits", "a scenario needs at least one exit");

    setup.seed = out.seed;
    crowd::Rng rng(out.seed);
    countPeople(j);
    crowd::Placer placer(setup.area);
    std::vector<PreMovement> preMovement;  // per person
    if (j.contains("people")) readPeople(j["people"], out, rng, placer, preMovement);
    if (j.contains("fill")) readFill(j["fill"], out, rng, placer, preMovement);
    if (setup.people.empty()) bad("people", "the scenario has nobody in it (give people or fill)");
    drawPreMovements(setup.people, preMovement, out.seed);
    return out;
}

ScenarioFile loadScenario(const std::string& path, std::optional<std::uint64_t> seedOverride) {
    std::string text;
    try {
        text = platform::readRegularFile(path, kMaxScenarioBytes);
    } catch (const platform::InputFileError& e) {
        throw InputError(e.what());
    }
    try {
        ScenarioFile f = parseScenario(text, seedOverride, std::filesystem::path(path).parent_path());
        if (f.name.empty()) f.name = path;
        return f;
    } catch (const platform::JsonError& e) {
        throw InputError(e.inFile(platform::capped(path)));
    } catch (const InputError& e) {
        throw InputError(platform::capped(path) + ": " + e.what());
    }
}

}  // namespace runtime
