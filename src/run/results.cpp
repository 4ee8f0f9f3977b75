#include "run/results.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/number_text.h"
#include "platform/safe_output.h"
#include "inputs/roles.h"

namespace runtime {

std::string fixed(double value, int decimals) { return platform::fixedText(value, decimals); }

std::string recordingLine(const Recording& r) {
    return r.kind + " " + r.file + ": " + std::to_string(r.frames) + " frames, " +
           fixed(r.seconds, 1) + " s" + (r.note.empty() ? "" : " (" + r.note + ")");
}

std::string stoppedText(const RunSummary& s) {
    std::string text = "Stopped by the user at " + fixed(s.stoppedAt, 2) + " s of simulated time";
    if (s.simulatedSeconds > s.stoppedAt + 0.005)
        text += " (as the window showed it; the simulation had reached " +
                fixed(s.simulatedSeconds, 2) + " s, and the results are of that moment)";
    return text + ", with " + std::to_string(s.stillInside.size()) +
           " people still inside: this run gives no evacuation time";
}

namespace {

double rounded(double v, double unit) { return std::round(v / unit) * unit; }

std::string personLine(const crowd::Simulation& sim, int i) {
    const crowd::Vec2 p = sim.position(i);
    return std::to_string(i) + " (" + crowd::roleName(sim.setup().people[i].role) + " at " +
           fixed(p.x, 2) + ", " + fixed(p.y, 2) + " m)";
}

}  // namespace

RunSummary summarize(const crowd::Simulation& sim, const crowd::RunResult& result) {
    RunSummary s;
    s.people = static_cast<int>(sim.peopleCount());
    s.outByExit.assign(sim.world().exits().size(), 0);
    double last = 0.0;
    for (int i = 0; i < s.people; ++i) {
        if (sim.inside(i)) {
            s.stillInside.push_back(i);
        } else {
            ++s.outByExit[static_cast<std::size_t>(sim.exitUsed(i))];
            last = std::max(last, sim.exitTime(i));
        }
    }
    s.everyoneOut = result.everyoneOut;
    s.evacuationTime = s.everyoneOut ? last : result.endTime;
    s.simulatedSeconds = result.endTime;
    s.wallSeconds = result.wallSeconds;
    s.ratio = result.wallSeconds > 0.0 ? result.endTime / result.wallSeconds : 0.0;
    s.steps = result.steps;
    return s;
}

std::string reportText(const RunMeta& meta, const RunSummary& s, const crowd::Simulation& sim) {
    std::string out;
    out += "mvnrt: " + meta.mode + " " + meta.source + ": " + std::to_string(s.people) +
           " people, seed " + std::to_string(meta.seed) + "\n";
    for (const std::string& w : meta.warnings) out += "  WARNING: " + w + "\n";
    if (!meta.roleRule.empty()) out += "  people: " + meta.roleRule + "\n";
    for (const std::string& n : meta.notes) out += "  note: " + n + "\n";
    if (s.stoppedByUser) {
        out += stoppedText(s) + "\n";
    } else if (sim.world().periodic()) {
        out += "Periodic corridor: ran " + fixed(s.simulatedSeconds, 1) + " s of simulated time\n";
    } else if (s.everyoneOut) {
        out += "Evacuation time: " + fixed(s.evacuationTime, 2) + " s (everyone is out)\n";
    } else {
        out += "Evacuation not complete: the time limit of " + fixed(meta.timeLimit, 0) +
               " s was reached\n";
    }
    out += "Out by exit:";
    for (std::size_t e = 0; e < s.outByExit.size(); ++e)
        out += (e ? ", " : " ") + meta.exitNames[e] + ": " + std::to_string(s.outByExit[e]);
    if (s.outByExit.empty()) out += " (no exits)";
    out += "\n";
    out += "Still inside: " + std::to_string(s.stillInside.size());
    if (!s.stillInside.empty() && !sim.world().periodic()) {
        out += ": ";
        for (std::size_t k = 0; k < s.stillInside.size(); ++k) {
            if (k == 50) {
                out += ", ... (all in summary.json)";
                break;
            }
            out += (k ? ", " : "") + personLine(sim, s.stillInside[k]);
        }
    }
    out += "\n";
    out += "Simulated " + fixed(s.simulatedSeconds, 2) + " s in " + fixed(s.wallSeconds, 3) +
           " s wall time (" + fixed(s.ratio, 1) + " times real time)\n";
    if (!s.folder.empty()) out += "Results folder: " + s.folder + "\n";
    return out;
}

void writeSummaryJson(const std::filesystem::path& file, const RunMeta& meta, const RunSummary& s,
                      const crowd::Simulation& sim) {
    using nlohmann::ordered_json;
    ordered_json j;
    j["mode"] = meta.mode;
    j["source"] = meta.source;
    j["name"] = meta.name;
    j["seed"] = meta.seed;
    // Every length below is in metres; what the project's files are drawn in
    // is said here, once.
    j["units"] = {{"length", "m"},
                  {"time", "s"},
                  {"speed", "m/s"},
                  {"worldUnit", meta.unitName},
                  {"worldUnitsPerMetre", meta.unitsPerMetre}};
    j["notes"] = meta.notes;
    j["warnings"] = meta.warnings;
    j["people"] = s.people;
    {
        // By role, and which rule gave the roles (roles.h).
        const RoleCounts c = countRoles(sim.setup().people);
        ordered_json roles = {{"rule", meta.mode != "project" ? "scenario"
                                       : meta.rolesTyped      ? "typed"
                                                              : "script"},
                              {"children", c.children},
                              {"parents", c.parents},
                              {"adults", c.adults},
                              {"joggingChildren", c.joggingChildren},
                              {"families", c.families}};
        if (c.others > 0) roles["persons"] = c.others;
        if (!meta.roleRule.empty()) roles["says"] = meta.roleRule;
        j["roles"] = roles;
    }
    j["stoppedByUser"] = s.stoppedByUser;
    if (s.stoppedByUser) j["stoppedAt"] = rounded(s.stoppedAt, 1e-4);
    j["everyoneOut"] = s.everyoneOut;
    // A stopped run has no evacuation time.
    j["evacuationTime"] = s.stoppedByUser ? ordered_json(nullptr)
                                          : ordered_json(rounded(s.evacuationTime, 1e-4));
    j["timeLimit"] = meta.timeLimit;
    j["simulatedSeconds"] = rounded(s.simulatedSeconds, 1e-4);
    j["steps"] = s.steps;
    ordered_json exits = ordered_json::array();
    for (std::size_t e = 0; e < sim.world().exits().size(); ++e) {
        const crowd::ResolvedExit& x = sim.world().exits()[e];
        auto pt = [&](crowd::Vec2 p) {
            return ordered_json::array({rounded(p.x, 1e-5), rounded(p.y, 1e-5)});
        };
        exits.push_back(
            {{"name", meta.exitNames[e]},
             {"kind", x.kind == crowd::ExitKind::Door ? "door in a wall" : "target line"},
             {"from_m", pt(x.requested.a)},
             {"to_m", pt(x.requested.b)},
             {"openingFrom_m", pt(x.opening.a)},
             {"openingTo_m", pt(x.opening.b)},
             {"peopleOut", s.outByExit[e]}});
    }
    j["exits"] = exits;
    // The walkable floor (polygons, even-odd), for a replay of the results.
    ordered_json floor = ordered_json::array();
    for (const crowd::Polygon& poly : sim.world().area().polygons()) {
        ordered_json ring = ordered_json::array();
        for (const crowd::Vec2& v : poly)
            ring.push_back(ordered_json::array({rounded(v.x, 1e-5), rounded(v.y, 1e-5)}));
        floor.push_back(ring);
    }
    j["walkable_m"] = floor;
    j["stillInside"] = s.stillInside;
    const crowd::ModelParams& p = sim.setup().params;
    j["model"] = {{"tau", p.tau},
                  {"A", p.A},
                  {"B", p.B},
                  {"k", p.k},
                  {"kappa", p.kappa},
                  {"mass", p.mass},
                  {"lambda", p.lambda},
                  {"headwayTime", p.headwayTime},
                  {"radiusMin", p.radiusMin},
                  {"radiusMax", p.radiusMax},
                  {"dt", p.dt},
                  {"speedCapFactor", p.speedCapFactor},
                  {"cutoff", p.cutoff},
                  {"navCell", p.navCell},
                  {"wallBand", p.wallBand},
                  {"wallPenalty", p.wallPenalty},
                  {"doorSnap", p.doorSnap},
                  {"pocketDepth", p.pocketDepth},
                  {"leaveDistance", p.leaveDistance},
                  {"directionInterval", p.directionInterval},
                  {"fluctuation", p.fluctuation},
                  {"fluctuationInterval", p.fluctuationInterval},
                  {"nervousFluctuation", p.nervousFluctuation}};
    ordered_json people = ordered_json::array();
    for (int i = 0; i < s.people; ++i) {
        const crowd::PersonSpec& ps = sim.setup().people[i];
        ordered_json o;
        o["id"] = i;
        o["role"] = crowd::roleName(ps.role);
        if (ps.leader >= 0) o["follows"] = ps.leader;
        o["start_m"] = {rounded(ps.start.x, 1e-5), rounded(ps.start.y, 1e-5)};
        o["radius_m"] = rounded(ps.radius, 1e-5);
        o["desiredSpeed"] = rounded(ps.desiredSpeed, 1e-5);
        o["preMovement"] = rounded(ps.preMovement, 1e-4);
        const int target = sim.targetExit(i);
        o["exit"] = target >= 0 ? ordered_json(meta.exitNames[target]) : ordered_json(nullptr);
        if (sim.inside(i)) {
            o["leftBy"] = nullptr;
            o["exitTime"] = nullptr;
            const crowd::Vec2 q = sim.position(i);
            o["position_m"] = {rounded(q.x, 1e-5), rounded(q.y, 1e-5)};
        } else {
            o["leftBy"] = meta.exitNames[sim.exitUsed(i)];
            o["exitTime"] = rounded(sim.exitTime(i), 1e-4);
            o["travelTime"] = rounded(sim.exitTime(i) - ps.preMovement, 1e-4);
        }
        people.push_back(o);
    }
    j["persons"] = people;
    // What was recorded: beside the results, not among them (a run with and
    // without recordings gives the same results).
    ordered_json recordings = ordered_json::array();
    for (const Recording& r : s.recordings)
        recordings.push_back(ordered_json{{"kind", r.kind},
                              {"file", r.file},
                              {"frames", r.frames},
                              {"seconds", rounded(r.seconds, 1e-4)},
                              {"note", r.note}});
    j["recordings"] = recordings;
    j["timing"] = {{"wallSeconds", rounded(s.wallSeconds, 1e-4)},
                   {"simulatedToWallRatio", rounded(s.ratio, 1e-2)}};

    const std::string problem = platform::writeFileAtomically(
        file, j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n", platform::Durability::WhenReplacing,
                                   platform::Replacing::RegularFileOnly);
    if (!problem.empty()) throw std::runtime_error(problem);
}

TrajectoryWriter::TrajectoryWriter(const std::filesystem::path& file)
    : file_(std::make_unique<platform::AtomicFile>(file, platform::Durability::WhenReplacing,
                                                   platform::Replacing::RegularFileOnly)) {
    buffer_ = std::string(kTrajectoryColumns) + "\n";
}

TrajectoryWriter::~TrajectoryWriter() = default;

bool TrajectoryWriter::ok() const { return file_ != nullptr && file_->ok(); }

void TrajectoryWriter::flush() {
    if (!file_ || buffer_.empty()) return;
    file_->write(buffer_);
    buffer_.clear();
}

void TrajectoryWriter::frame(const crowd::FrameView& f) {
    if (!file_) return;
    const std::string t = fixed(f.time, 4);
    char num[32];
    for (std::size_t k = 0; k < f.people.size(); ++k) {
        buffer_ += t;
        buffer_ += ',';
        const auto r = std::to_chars(num, num + sizeof num, f.people[k]);
        buffer_.append(num, r.ptr);
        buffer_ += ',';
        buffer_ += fixed(f.positions[k].x, 4);
        buffer_ += ',';
        buffer_ += fixed(f.positions[k].y, 4);
        buffer_ += '\n';
    }
    if (buffer_.size() > (1u << 20)) flush();
}

void TrajectoryWriter::close() {
    if (!file_) throw std::runtime_error("trajectories.csv: written already");
    flush();
    const bool committed = file_->commit();
    const std::string problem = file_->problem();
    file_.reset();
    if (!committed) throw std::runtime_error(problem);
}

PlotData plotData(const RunMeta& meta, const crowd::Simulation& sim, double endTime) {
    PlotData d;
    d.title = meta.name.empty() ? meta.source : meta.name;
    d.endTime = endTime;
    d.total = static_cast<int>(sim.peopleCount());
    const std::size_t exits = sim.world().exits().size();
    std::vector<std::pair<double, int>> events;  // (time, series index), sorted
    std::vector<int> count(exits + 1, 0);
    std::vector<int> out(exits + 1, 0);
    count[0] = d.total;
    for (int i = 0; i < d.total; ++i) {
        // Whoever is out counts for the exit used; whoever is still inside
        // for the exit headed for.
        const int exit = sim.inside(i) ? std::max(0, sim.targetExit(i)) : sim.exitUsed(i);
        if (exits > 0) ++count[static_cast<std::size_t>(exit) + 1];
        if (!sim.inside(i)) {
            events.push_back({sim.exitTime(i), exit + 1});
            ++out[0];
            ++out[static_cast<std::size_t>(exit) + 1];
        }
    }
    std::sort(events.begin(), events.end());
    d.series.resize(exits + 1);
    d.series[0].name = "everyone";
    d.series[0].legend = "everyone: " + std::to_string(d.total) + " people, " +
                         std::to_string(out[0]) + " out";
    for (std::size_t e = 0; e < exits; ++e) {
        PlotSeries& s = d.series[e + 1];
        s.name = meta.exitNames[e];
        s.legend = s.name + ": " + std::to_string(out[e + 1]) + " out";
        const int inside = count[e + 1] - out[e + 1];
        if (inside > 0) s.legend += ", " + std::to_string(inside) + " still heading for it";
    }
    for (std::size_t k = 0; k <= exits; ++k) d.series[k].points.push_back({0.0, count[k]});
    for (const auto& [t, k] : events) {
        --count[0];
        --count[static_cast<std::size_t>(k)];
        d.series[0].points.push_back({t, count[0]});
        d.series[static_cast<std::size_t>(k)].points.push_back(
            {t, count[static_cast<std::size_t>(k)]});
    }
    return d;
}

}  // namespace runtime
