#include "run/run_report.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "analysis/html_page.h"
#include "analysis/run_measures.h"
#include "analysis/statistics.h"
#include "platform/safe_output.h"
#include "run/floor_maps.h"

namespace runtime {

namespace {

using analysis::Chart;
using analysis::Curve;
using analysis::htmlEscaped;
using analysis::tableRow;
using nlohmann::ordered_json;

constexpr const char* kProgramVersion = ESCAPE_VERSION;

// Colours of the curves, one an exit (the total in black).
const char* curveColour(std::size_t k) {
    static const char* colours[] = {"#1f5fa8", "#d95f02", "#1b9e77", "#7570b3",
                                    "#e7298a", "#66a61e", "#a6761d", "#666666"};
    return colours[k % (sizeof colours / sizeof *colours)];
}

// v to `decimals` places, as the double nearest to that decimal (so the
// JSON shows 7.6742, not 7.674200000000001).
double round(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

struct PersonTimes {
    std::vector<double> pre, travel, toExit, route, waiting;
};

PersonTimes personTimes(const crowd::Simulation& sim, const analysis::RunMeasures& m) {
    PersonTimes t;
    for (std::size_t i = 0; i < sim.peopleCount(); ++i) {
        const double pre = sim.setup().people[i].preMovement;
        t.pre.push_back(pre);
        t.route.push_back(m.persons()[i].routeLength);
        t.waiting.push_back(m.persons()[i].waitingTime);
        if (!sim.inside(static_cast<int>(i))) {
            t.toExit.push_back(sim.exitTime(static_cast<int>(i)));
            t.travel.push_back(sim.exitTime(static_cast<int>(i)) - pre);
        }
    }
    return t;
}

std::string measuresJson(const crowd::Simulation& sim, const RunMeta& meta,
                         const analysis::RunMeasures& m) {
    ordered_json j;
    j["units"] = {{"position", "m"}, {"time", "s"}, {"density", "people per m^2"}};
    const analysis::DensityGrid& g = m.density();
    ordered_json peak = ordered_json::array(), above2 = ordered_json::array(),
                 above4 = ordered_json::array();
    for (std::size_t i = 0; i < g.peak.size(); ++i) {
        if (!g.walkable[i]) {
            peak.push_back(nullptr), above2.push_back(nullptr), above4.push_back(nullptr);
            continue;
        }
        peak.push_back(round(g.peak[i], 3));
        above2.push_back(round(g.secondsAbove2[i], 2));
        above4.push_back(round(g.secondsAbove4[i], 2));
    }
    j["density"] = {
        {"method",
         "Gaussian kernel of radius 0.7 m cut off at 1.05 m, divided by its part on the floor; "
         "highest mean over 1 s windows"},
        {"cell", g.cell},
        {"origin", {g.origin.x, g.origin.y}},
        {"columns", g.columns},
        {"rows", g.rows},
        {"highest", round(m.peakDensity(), 3)},
        {"peak", peak},
        {"secondsAbove2", above2},
        {"secondsAbove4", above4}};
    ordered_json exits = ordered_json::array();
    for (std::size_t e = 0; e < m.flows().size(); ++e) {
        const analysis::ExitFlow& f = m.flows()[e];
        ordered_json flow = ordered_json::array();
        for (double v : f.flow) flow.push_back(round(v, 4));
        exits.push_back({{"name", meta.exitNames[e]},
                         {"peopleOut", f.cumulative.empty() ? 0 : f.cumulative.back()},
                         {"flowWindow", analysis::RunMeasures::kFlowWindow},
                         {"time", f.time},
                         {"personsPerSecond", flow},
                         {"cumulative", f.cumulative}});
    }
    j["exits"] = exits;
    ordered_json persons = ordered_json::array();
    for (std::size_t i = 0; i < sim.peopleCount(); ++i) {
        const int id = static_cast<int>(i);
        const double pre = sim.setup().people[i].preMovement;
        ordered_json o{{"id", id},
                       {"preMovement", round(pre, 4)},
                       {"routeLength", round(m.persons()[i].routeLength, 3)},
                       {"waitingTime", round(m.persons()[i].waitingTime, 3)}};
        if (sim.inside(id)) {
            o["timeToExit"] = nullptr;
            o["travelTime"] = nullptr;
        } else {
            o["timeToExit"] = round(sim.exitTime(id), 4);
            o["travelTime"] = round(sim.exitTime(id) - pre, 4);
        }
        persons.push_back(o);
    }
    j["persons"] = persons;
    return j.dump(1) + "\n";
}

std::string distributionRow(const std::string& what, const std::vector<double>& values) {
    const analysis::Distribution d = analysis::describe(values);
    if (d.count == 0) return tableRow({what, "0", "-", "-", "-", "-", "-", "-"});
    return tableRow({what, std::to_string(d.count), fixed(d.mean, 2), fixed(d.sd, 2),
                     fixed(d.min, 2), fixed(d.median, 2), fixed(d.p95, 2), fixed(d.max, 2)});
}

std::string evacuationChart(const PlotData& plot) {
    Chart c;
    c.title = "People inside, by the exit they head for";
    c.xLabel = "time (s)";
    c.yLabel = "people inside";
    for (std::size_t k = 0; k < plot.series.size(); ++k) {
        Curve cv{plot.series[k].name, k == 0 ? "#000000" : curveColour(k - 1), {}, true, false};
        for (const auto& [t, n] : plot.series[k].points) cv.points.push_back({t, double(n)});
        cv.points.push_back({plot.endTime, cv.points.back().second});
        c.curves.push_back(cv);
    }
    return analysis::svgChart(c);
}

std::string flowCharts(const analysis::RunMeasures& m, const RunMeta& meta) {
    Chart flow, total;
    flow.title = "Flow through each exit (10 s moving window)";
    flow.xLabel = "time (s)";
    flow.yLabel = "persons per second";
    total.title = "People out through each exit";
    total.xLabel = "time (s)";
    total.yLabel = "people out";
    for (std::size_t e = 0; e < m.flows().size(); ++e) {
        const analysis::ExitFlow& f = m.flows()[e];
        Curve a{meta.exitNames[e], curveColour(e), {}, false, false};
        Curve b{meta.exitNames[e], curveColour(e), {}, true, false};
        for (std::size_t k = 0; k < f.time.size(); ++k) {
            a.points.push_back({f.time[k], f.flow[k]});
            b.points.push_back({f.time[k], double(f.cumulative[k])});
        }
        flow.curves.push_back(a);
        total.curves.push_back(b);
    }
    return analysis::svgChart(flow) + "\n" + analysis::svgChart(total) + "\n";
}

std::string modelTable(const crowd::ModelParams& p) {
    std::string s = "<table>\n";
    const std::pair<const char*, double> rows[] = {
        {"tau (s)", p.tau},
        {"A (N)", p.A},
        {"B (m)", p.B},
        {"k (kg/s^2)", p.k},
        {"kappa (kg/(m s))", p.kappa},
        {"mass (kg)", p.mass},
        {"lambda", p.lambda},
        {"headwayTime (s)", p.headwayTime},
        {"radii (m)", NAN},
        {"dt (s)", p.dt},
        {"cutoff (m)", p.cutoff},
        {"fluctuation (N)", p.fluctuation},
        {"nervousFluctuation (N)", p.nervousFluctuation}};
    for (const auto& [name, v] : rows)
        s += tableRow({name, std::isnan(v)
                                 ? fixed(p.radiusMin, 2) + " - " + fixed(p.radiusMax, 2)
                                 : analysis::htmlEscaped(fixed(v, v == std::floor(v) ? 0 : 3))});
    return s + "</table>\n";
}

// The people by role and by family, and which rule gave the roles.
std::string peopleByRole(const crowd::Simulation& sim, const RunMeta& meta) {
    const std::vector<crowd::PersonSpec>& people = sim.setup().people;
    struct Row {
        const char* name;
        int count = 0, out = 0;
    };
    Row rows[] = {{"children with a parent"}, {"parents"}, {"adults"},
                  {"children on their own (jogging)"}, {"persons"}};
    auto rowOf = [](crowd::Role r) {
        switch (r) {
            case crowd::Role::Child: return 0;
            case crowd::Role::Parent: return 1;
            case crowd::Role::Adult: return 2;
            case crowd::Role::JoggingChild: return 3;
            case crowd::Role::Person: break;
        }
        return 4;
    };
    int families = 0, familiesOut = 0;
    double widestGap = 0.0;
    for (std::size_t i = 0; i < people.size(); ++i) {
        Row& row = rows[rowOf(people[i].role)];
        ++row.count;
        const int id = static_cast<int>(i);
        if (!sim.inside(id)) ++row.out;
        if (people[i].role == crowd::Role::Parent && people[i].leader >= 0) {
            ++families;
            const int child = people[i].leader;
            if (!sim.inside(id) && !sim.inside(child)) {
                ++familiesOut;
                widestGap = std::max(widestGap, std::fabs(sim.exitTime(id) - sim.exitTime(child)));
            }
        }
    }
    std::string b;
    if (!meta.roleRule.empty()) b += "<p>" + htmlEscaped("People: " + meta.roleRule) + ".</p>\n";
    b += "<table>\n" + tableRow({"role", "people", "out"}, true);
    for (const Row& row : rows)
        if (row.count > 0)
            b += tableRow({row.name, std::to_string(row.count), std::to_string(row.out)});
    if (families > 0)
        b += tableRow({"families (a parent with its child)", std::to_string(families),
                       std::to_string(familiesOut) + " out together" +
                           (familiesOut > 0 ? ", parent and child at most " +
                                                  fixed(widestGap, 1) + " s apart"
                                            : std::string())});
    b += "</table>\n";
    return b;
}

}  // namespace

struct RunReport::State {
    std::optional<analysis::RunMeasures> measures;
};

RunReport::RunReport(std::filesystem::path folder, RunMeta meta)
    : state_(std::make_unique<State>()), folder_(std::move(folder)), meta_(std::move(meta)) {}

RunReport::~RunReport() = default;

std::vector<std::string> RunReport::fileNames() {
    return {"measures.json", "floor.png", "density.png", "report.html"};
}

void RunReport::begin(const crowd::Simulation& sim) {
    std::vector<double> pre;
    for (const crowd::PersonSpec& p : sim.setup().people) pre.push_back(p.preMovement);
    state_->measures.emplace(sim.world().area(), std::move(pre));
}

void RunReport::frame(const crowd::FrameView& f) {
    state_->measures->frame(f.time, f.people, f.positions);
}

void RunReport::finish(const crowd::Simulation& sim, const RunSummary& summary) {
    analysis::RunMeasures& m = *state_->measures;
    std::vector<int> used;
    std::vector<double> when;
    std::vector<crowd::Vec2> where;
    for (std::size_t i = 0; i < sim.peopleCount(); ++i) {
        used.push_back(sim.exitUsed(static_cast<int>(i)));
        when.push_back(sim.exitTime(static_cast<int>(i)));
        where.push_back(sim.position(static_cast<int>(i)));
    }
    m.finish(used, when, where, sim.world().exits().size(), summary.simulatedSeconds);

    std::string problems;
    auto write = [&](const std::string& name, const std::string& bytes) {
        const std::string problem = platform::writeFileAtomically(folder_ / name, bytes, platform::Durability::WhenReplacing,
                                   platform::Replacing::RegularFileOnly);
        if (problem.empty())
            written_.push_back(name);
        else
            problems += (problems.empty() ? "" : "; ") + problem;
    };
    write("measures.json", measuresJson(sim, meta_, m));
    const std::string title = meta_.name.empty() ? meta_.source : meta_.name;
    const FloorMaps maps = drawFloorMaps(sim, meta_.exitNames, m.density(), title);
    if (!maps.floorPlan.empty()) write("floor.png", maps.floorPlan);
    if (!maps.density.empty()) write("density.png", maps.density);

    // The page.
    const crowd::World& world = sim.world();
    std::string b;
    b += "<h2>Result</h2>\n<p>";
    if (summary.stoppedByUser)
        b += "<span class=\"bad\">" + htmlEscaped(stoppedText(summary)) + ".</span>";
    else if (world.periodic())
        b += "A periodic corridor: ran " + fixed(summary.simulatedSeconds, 1) + " s.";
    else if (summary.everyoneOut)
        b += "<span class=\"ok\">Everyone is out after " + fixed(summary.evacuationTime, 2) +
             " s.</span>";
    else
        b += "<span class=\"bad\">Not everyone is out: " +
             std::to_string(summary.stillInside.size()) + " people were still inside at the " +
             "time limit of " + fixed(meta_.timeLimit, 0) + " s.</span>";
    b += "</p>\n<table>\n" + tableRow({"exit", "kind", "people out"}, true);
    for (std::size_t e = 0; e < world.exits().size(); ++e)
        b += tableRow(
            {meta_.exitNames[e],
             world.exits()[e].kind == crowd::ExitKind::Door ? "door in a wall" : "target line",
             std::to_string(summary.outByExit[e])});
    b += "</table>\n";

    // Notes: everything the run has to say.
    std::vector<std::string> notes = meta_.notes;
    for (std::size_t e = 0; e < world.exits().size(); ++e)
        if (world.exits()[e].kind == crowd::ExitKind::Target)
            notes.push_back(meta_.exitNames[e] +
                            " is not in a wall: people leave when they reach it (a target line)");
    if (!summary.stillInside.empty() && !world.periodic()) {
        std::string who;
        for (std::size_t k = 0; k < summary.stillInside.size() && k < 50; ++k)
            who += (k ? ", " : "") + std::to_string(summary.stillInside[k]);
        if (summary.stillInside.size() > 50) who += ", ... (all in summary.json)";
        notes.push_back(std::to_string(summary.stillInside.size()) + " people left inside: " + who);
    }
    if (!meta_.warnings.empty()) {
        b += "<h2>Warnings</h2>\n<ul>\n";
        for (const std::string& w : meta_.warnings)
            b += "<li class=\"bad\">" + htmlEscaped(w) + "</li>\n";
        b += "</ul>\n";
    }
    b += "<h2>Notes</h2>\n";
    if (notes.empty())
        b += "<p>None.</p>\n";
    else {
        b += "<ul>\n";
        for (const std::string& n : notes) b += "<li class=\"note\">" + htmlEscaped(n) + "</li>\n";
        b += "</ul>\n";
    }

    // What was recorded beside the results (the recorders finish before the report).
    if (!summary.recordings.empty()) {
        b += "<h2>Recordings</h2>\n<table>\n" +
             tableRow({"recording", "file", "frames", "duration (s)", "note"}, true);
        for (const Recording& r : summary.recordings)
            b += tableRow({r.kind, r.file, std::to_string(r.frames),
                           fixed(r.seconds, 1), r.note});
        b += "</table>\n";
    }

    b += "<h2>Evacuation</h2>\n" + evacuationChart(plotData(meta_, sim, summary.simulatedSeconds)) +
         "\n";
    b += "<h2>Exit flows</h2>\n" + flowCharts(m, meta_);
    b += "<h2>Density</h2>\n<p>Highest density (mean over 1 s): " + fixed(m.peakDensity(), 2) +
         " people per m&sup2; (level of service " +
         std::string(1, analysis::serviceLevelOf(m.peakDensity())) +
         "). Kernel estimate of radius 0.7 m on a 0.25 m grid.</p>\n";
    {
        const analysis::DensityGrid& g = m.density();
        double above2 = 0.0, above4 = 0.0;
        for (std::size_t i = 0; i < g.peak.size(); ++i) {
            if (!g.walkable[i]) continue;
            if (g.secondsAbove2[i] > 0.0) above2 += g.cell * g.cell;
            if (g.secondsAbove4[i] > 0.0) above4 += g.cell * g.cell;
        }
        b += "<p>Floor area that was above 2 people per m&sup2; for at least one second: " +
             fixed(above2, 2) + " m&sup2;; above 4: " + fixed(above4, 2) + " m&sup2;.</p>\n";
    }
    b += analysis::inlinePng(maps.density, "density map") + "\n";

    b += "<h2>People</h2>\n" + peopleByRole(sim, meta_);
    const PersonTimes t = personTimes(sim, m);
    b += "<table>\n" +
         tableRow({"", "people", "mean", "sd", "min", "median", "95th percentile", "max"}, true);
    b += distributionRow("pre-movement time (s)", t.pre);
    b += distributionRow("travel time (s)", t.travel);
    b += distributionRow("time to exit (s)", t.toExit);
    b += distributionRow("route length (m)", t.route);
    b += distributionRow("waiting time, below 0.1 m/s (s)", t.waiting);
    b += "</table>\n<p>Travel time: time to exit less pre-movement. Each person's figures are in "
         "measures.json.</p>\n";

    b += "<h2>Scenario</h2>\n" + analysis::inlinePng(maps.floorPlan, "floor plan") + "\n<table>\n";
    b += tableRow({"source", meta_.mode + " " + meta_.source});
    if (!meta_.name.empty()) b += tableRow({"name", meta_.name});
    b += tableRow({"people", std::to_string(summary.people)});
    b += tableRow({"seed", std::to_string(meta_.seed)});
    b += tableRow({"units", "metres in this report, summary.json and trajectories.csv; the " +
                                meta_.mode + "'s world unit: " + meta_.unitName + " (" +
                                fixed(meta_.unitsPerMetre, 0) + " a metre)"});
    b += tableRow({"results folder", folder_.string()});
    b += tableRow({"time limit", fixed(meta_.timeLimit, 0) + " s"});
    b += tableRow({"program", std::string("mvnrt ") + kProgramVersion});
    b += "</table>\n<h3>Model parameters</h3>\n" + modelTable(sim.setup().params);

    write("report.html",
          analysis::htmlPage("Run of " + title + ", seed " + std::to_string(meta_.seed), b));
    if (!problems.empty()) throw std::runtime_error(problems);
    if (!maps.problem.empty()) throw std::runtime_error(maps.problem);
}

}  // namespace runtime
