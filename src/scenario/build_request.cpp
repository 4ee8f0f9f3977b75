#include "scenario/build_request.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/platform.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"
#include "platform/strict_json.h"
#include "scenario/scenario_settings.h"

namespace scenario {

namespace {

constexpr int kMaxCount = 99;

std::string inQuotes(const std::string& value) { return "'" + value + "'"; }

bool parseFloat(const std::string& text, float& out) {
    if (text.empty()) return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (*begin == '+') ++begin;
    auto result = std::from_chars(begin, end, out);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(out);
}

// A JSON number as single precision; false when it does not fit.
bool toFloat(double value, float& out) {
    if (!std::isfinite(value) || std::fabs(value) > static_cast<double>(FLT_MAX)) return false;
    out = static_cast<float>(value);
    return true;
}

}  // namespace

int parseCount(const std::string& option, const std::string& value) {
    int count = 0;
    const char* begin = value.data();
    const char* end = begin + value.size();
    auto result = std::from_chars(begin, end, count);
    if (value.empty() || result.ec != std::errc() || result.ptr != end || count < 0 ||
        count > kMaxCount) {
        throw UsageError(option + ": " + inQuotes(value) + " is not a count from 0 to 99");
    }
    return count;
}

Placement parsePlacement(const std::string& option, const std::string& value, bool inViewUnits) {
    const auto comma = value.find(',');
    Placement p;
    p.inViewUnits = inViewUnits;
    if (comma == std::string::npos || !parseFloat(value.substr(0, comma), p.first) ||
        !parseFloat(value.substr(comma + 1), p.second)) {
        throw UsageError(option + ": " + inQuotes(value) + " is not a position " +
                         (inViewUnits ? "VX,VY" : "X,Z") + " (two numbers and a comma)");
    }
    return p;
}

void addPlacement(std::vector<Placement>& list, const Placement& p, const std::string& option,
                  const std::string& value, bool isExit) {
    const std::size_t limit = isExit ? scenario::kMaxExits : scenario::kMaxClusters;
    if (list.size() >= limit) {
        throw UsageError(
            option + ": " + inQuotes(value) + " would be " +
            (isExit ? "a third exit (at most 2 exits)" : "a 41st cluster (at most 40 clusters)"));
    }
    list.push_back(p);
}

std::string parseRecord(const std::string& option, const std::string& value) {
    if (value != "none" && value != "kvx" && value != "avi") {
        throw UsageError(option + ": " + inQuotes(value) + " is not one of none, kvx, avi");
    }
    return value;
}

float parseScale(const std::string& option, const std::string& value) {
    float scale = 0.0f;
    if (!parseFloat(value, scale) || scale < 0.0f) {
        throw UsageError(option + ": " + inQuotes(value) + " is not a scale (a number from 0 up)");
    }
    return scale;
}

namespace {

std::string shortText(float value) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

}  // namespace

std::vector<scenario::WorldPosition> worldPositions(const std::vector<Placement>& placements,
                                                    scenario::PlacementKind kind, float scale) {
    std::vector<scenario::WorldPosition> out;
    for (const Placement& p : placements) {
        const scenario::WorldPosition w =
            p.inViewUnits ? scenario::viewToWorld(kind, p.first, p.second, scale)
                          : scenario::WorldPosition{p.first, p.second};
        if (!std::isfinite(w.x) || !std::isfinite(w.z)) {
            const char* what = kind == scenario::PlacementKind::Exit ? "exit" : "cluster";
            throw UsageError(std::string("the ") + what + " at " + shortText(p.first) + "," +
                             shortText(p.second) + " in view units lies beyond any world at scale " +
                             shortText(scale));
        }
        out.push_back(w);
    }
    return out;
}

void checkFloorFile(const std::string& floorPath, const std::string& startDirectory,
                    const std::string& label) {
    std::filesystem::path file = platform::nativePath(floorPath);
    if (file.is_relative() && !startDirectory.empty())
        file = platform::nativePath(startDirectory) / file;
    // Regular files only, opened without blocking (a FIFO or a device would
    // hang the build and the dialog).
    std::string why;
    if (!platform::openRegularFile(file, std::numeric_limits<std::uint64_t>::max(), &why).isOpen())
        throw UsageError(label + ": cannot read '" + platform::capped(floorPath) + "': it " + why);
}

void checkScenario(const BuildRequest& request, const std::string& startDirectory, float scale,
                   const std::string& floorLabel) {
    if (request.floor) checkFloorFile(*request.floor, startDirectory, floorLabel);
    for (const auto& [list, kind] : {std::pair{request.exits, scenario::PlacementKind::Exit},
                                     std::pair{request.clusters, scenario::PlacementKind::Cluster}})
        if (list) worldPositions(*list, kind, scale);
}

BuildRequest readScenarioFile(const std::string& path) {
    const std::string where = "scenario file " + inQuotes(platform::capped(path));
    std::string text;
    try {
        text = platform::readRegularFile(path, kMaxScenarioFileBytes);
    } catch (const platform::InputFileError& e) {
        // e.what() begins with the path; say it the way the other messages do.
        const std::string why = e.what();
        const std::string name = platform::capped(path);
        throw UsageError(where + ": cannot read it: " +
                         (why.rfind(name + ": ", 0) == 0 ? why.substr(name.size() + 2) : why));
    }
    return parseScenarioText(text, where);
}

BuildRequest parseScenarioText(const std::string& text, const std::string& where) {
    nlohmann::json document;
    try {
        document = platform::parseStrictJson(text);
    } catch (const platform::JsonError& e) {
        throw UsageError(e.inFile(where));  // a syntax error as WHERE:LINE:COLUMN: what
    }
    if (!document.is_object()) throw UsageError(where + ": not a JSON object");

    BuildRequest request;
    auto count = [&](const std::string& key, const nlohmann::json& v) {
        if (!v.is_number_integer() || v.get<long long>() < 0 || v.get<long long>() > kMaxCount) {
            throw UsageError(where + ": " + inQuotes(key) + " must be a count from 0 to 99, not " +
                             platform::capped(v.dump(), 80));
        }
        return v.get<int>();
    };
    auto positions = [&](const std::string& key, const nlohmann::json& v, bool inViewUnits,
                         bool isExit, std::vector<Placement>& list) {
        if (!v.is_array()) throw UsageError(where + ": " + inQuotes(key) + " must be an array");
        for (const auto& item : v) {
            if (!item.is_array() || item.size() != 2 || !item[0].is_number() ||
                !item[1].is_number()) {
                throw UsageError(where + ": " + inQuotes(key) + ": " + platform::capped(item.dump(), 80) +
                                 " is not a position [" + (inViewUnits ? "vx, vy" : "x, z") + "]");
            }
            Placement p;
            p.inViewUnits = inViewUnits;
            if (!toFloat(item[0].get<double>(), p.first) ||
                !toFloat(item[1].get<double>(), p.second)) {
                throw UsageError(where + ": " + inQuotes(key) + ": " + platform::capped(item.dump(), 80) +
                                 " is out of range");
            }
            addPlacement(list, p, where + ": " + inQuotes(key), platform::capped(item.dump(), 80),
                         isExit);
        }
    };

    std::vector<Placement> exits;
    std::vector<Placement> clusters;
    bool exitsGiven = false;
    bool clustersGiven = false;
    // Exits in world units come before those in view units, whatever the
    // order of the keys; the same for clusters.
    for (const char* key : {"exits", "viewExits", "clusters", "viewClusters"}) {
        if (!document.contains(key)) continue;
        const std::string name = key;
        const bool inView = name.rfind("view", 0) == 0;
        const bool isExit = name == "exits" || name == "viewExits";
        positions(name, document[name], inView, isExit, isExit ? exits : clusters);
        (isExit ? exitsGiven : clustersGiven) = true;
    }
    for (const auto& [key, value] : document.items()) {
        if (key == "pairs") {
            request.pairs = count(key, value);
        } else if (key == "adults") {
            request.adults = count(key, value);
        } else if (key == "children") {
            request.children = count(key, value);
        } else if (key == "record") {
            if (!value.is_string()) {
                throw UsageError(where + ": 'record' must be \"none\", \"kvx\" or \"avi\"");
            }
            request.record = parseRecord(where + ": 'record'", value.get<std::string>());
        } else if (key == "floor") {
            if (!value.is_string() || value.get<std::string>().empty()) {
                throw UsageError(where + ": 'floor' must be a file name");
            }
            request.floor = value.get<std::string>();
        } else if (key == "scale") {
            float scale = 0.0f;
            if (!value.is_number() || !toFloat(value.get<double>(), scale) || scale < 0.0f) {
                throw UsageError(where + ": 'scale' must be a number from 0 up, not " +
                                 platform::capped(value.dump(), 80));
            }
            request.scale = scale;
        } else if (key != "exits" && key != "viewExits" && key != "clusters" &&
                   key != "viewClusters") {
            throw UsageError(where + ": unknown key " + inQuotes(platform::capped(key, 60)));
        }
    }
    if (exitsGiven) request.exits = exits;
    if (clustersGiven) request.clusters = clusters;
    return request;
}

std::string scenarioFileText(const BuildRequest& request) {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    if (request.pairs) j["pairs"] = *request.pairs;
    if (request.adults) j["adults"] = *request.adults;
    if (request.children) j["children"] = *request.children;
    if (request.record) j["record"] = *request.record;
    if (request.floor) j["floor"] = *request.floor;
    if (request.scale) j["scale"] = static_cast<double>(*request.scale);
    // A float widened to double is written with the shortest text that reads
    // back as that double, hence as the same float.
    auto positions = [&](const std::optional<std::vector<Placement>>& list, bool inViewUnits,
                         const char* key) {
        if (!list) return;
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        bool any = false;
        for (const Placement& p : *list) {
            if (p.inViewUnits != inViewUnits) continue;
            items.push_back({static_cast<double>(p.first), static_cast<double>(p.second)});
            any = true;
        }
        // An empty list is written once, in view units (the dialog's own).
        if (any || (list->empty() && inViewUnits)) j[key] = items;
    };
    positions(request.exits, false, "exits");
    positions(request.exits, true, "viewExits");
    positions(request.clusters, false, "clusters");
    positions(request.clusters, true, "viewClusters");
    return j.dump(2) + "\n";
}

BuildRequest merge(BuildRequest base, const BuildRequest& over) {
    if (over.directory) base.directory = over.directory;
    if (over.pairs) base.pairs = over.pairs;
    if (over.adults) base.adults = over.adults;
    if (over.children) base.children = over.children;
    if (over.record) base.record = over.record;
    if (over.exits) base.exits = over.exits;
    if (over.clusters) base.clusters = over.clusters;
    if (over.floor) base.floor = over.floor;
    if (over.scale) base.scale = over.scale;
    if (over.scenarioFile) base.scenarioFile = over.scenarioFile;
    base.launch = base.launch || over.launch;
    base.help = base.help || over.help;
    return base;
}

}  // namespace scenario
