#include "cad/scenario_area.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/input_error.h"
#include "platform/safe_output.h"

namespace cad {

namespace {

using nlohmann::json;

[[noreturn]] void bad(const std::string& where, const std::string& what) {
    throw platform::InputError(where + ": " + what);
}

std::string text(const json& j, const std::string& where) {
    if (!j.is_string()) bad(where, "must be a string");
    return j.get<std::string>();
}

bool within(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty()) continue;  // a trailing separator
        if (i == inner.end() || *i != *o) return false;
    }
    return true;
}

}  // namespace

std::filesystem::path planPath(const std::string& dxf, const std::filesystem::path& scenarioFolder,
                               const std::string& where) {
    namespace fs = std::filesystem;
    if (dxf.empty()) bad(where, "is empty: name a DXF file");
    if (dxf.find('\0') != std::string::npos) bad(where, "holds a NUL character");
    const fs::path given(dxf);
    if (given.is_absolute()) return given;
    const fs::path relative = given.lexically_normal();
    if (!relative.empty() && *relative.begin() == "..")
        bad(where, "'" + platform::capped(dxf, 200) +
                       "' leads out of the scenario's folder (a relative path stays below it; "
                       "give an absolute path for a drawing elsewhere)");
    const fs::path folder = scenarioFolder.empty() ? fs::path(".") : scenarioFolder;
    const fs::path full = folder / relative;
    // Links may not lead out either.
    std::error_code ec;
    const fs::path realFolder = fs::weakly_canonical(folder, ec);
    const fs::path realFile = ec ? fs::path() : fs::weakly_canonical(full, ec);
    if (!ec && !within(realFile, realFolder))
        bad(where, "'" + platform::capped(dxf, 200) + "' leads out of the scenario's folder through a link");
    return full;
}

ScenarioArea readScenarioArea(const json& member, const std::filesystem::path& scenarioFolder,
                              const std::string& where) {
    if (!member.is_object()) bad(where, "must be a list of polygons or {\"dxf\": ..}");
    for (const auto& item : member.items()) {
        const std::string& k = item.key();
        if (k != "dxf" && k != "layers" && k != "unit" && k != "joinTolerance")
            bad(where + "." + platform::capped(k, 60), "is not a known member");
    }
    if (!member.contains("dxf")) bad(where + ".dxf", "is missing: the DXF file of the plan");
    const std::string dxf = text(member["dxf"], where + ".dxf");
    ScenarioArea out;
    out.file = planPath(dxf, scenarioFolder, where + ".dxf");

    PlanOptions o;
    if (member.contains("layers")) {
        const json& l = member["layers"];
        const std::string at = where + ".layers";
        if (!l.is_object()) bad(at, "must be an object {\"walls\": .., \"obstacles\": .., \"exits\": ..}");
        for (const auto& item : l.items()) {
            const std::string& k = item.key();
            LayerChoice* c = k == "walls"       ? &o.layers.walls
                             : k == "obstacles" ? &o.layers.obstacles
                             : k == "exits"     ? &o.layers.exits
                                                : nullptr;
            if (c == nullptr) bad(at + "." + platform::capped(k, 60), "is not a known member");
            c->name = text(item.value(), at + "." + k);
            c->required = !c->name.empty();
            if (k == "walls" && c->name.empty()) bad(at + ".walls", "must name a layer");
        }
    }
    o.layers.stairs.name.clear();
    if (member.contains("unit")) {
        const std::string u = text(member["unit"], where + ".unit");
        const auto unit = unitFromName(u);
        if (!unit)
            bad(where + ".unit", std::string("'").append(platform::capped(u, 40)).append(
                                     "' is not a unit (" + unitChoices() + ")"));
        o.unit = unit;
    }
    if (member.contains("joinTolerance")) {
        const json& t = member["joinTolerance"];
        if (!t.is_number() || !(t.get<double>() > 0.0 && t.get<double>() <= 1.0))
            bad(where + ".joinTolerance", "must be a number in (0, 1] m");
        o.joinTolerance = t.get<double>();
    }
    Plan plan;
    try {
        plan = readPlan(out.file, platform::capped(dxf, 200), o);
    } catch (const platform::InputError& e) {
        bad(where, e.what());
    }
    for (const Area& a : plan.walkable) {
        out.rings.push_back(a.outer);
        for (const Ring& h : a.holes) out.rings.push_back(h);
    }
    out.exits = plan.exits;
    out.exitsLayer = o.layers.exits.name;
    out.area = plan.area();
    return out;
}

}  // namespace cad
