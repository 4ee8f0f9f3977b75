#include "studies/sweep_report.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "analysis/html_page.h"
#include "platform/number_text.h"
#include "platform/safe_output.h"
#include "run/results.h"

namespace runtime {

std::string sweepText(const analysis::SweepStatistics& s, double runSeconds,
                      double aggregateSeconds, const std::filesystem::path& root,
                      const std::vector<std::string>& written) {
    std::string out;
    out += "Runs: " + std::to_string(s.finished) + " finished";
    if (s.failed) out += ", " + std::to_string(s.failed) + " failed";
    if (s.timedOut) out += ", " + std::to_string(s.timedOut) + " timed out";
    if (s.missing) out += ", " + std::to_string(s.missing) + " not run";
    out += " of " + std::to_string(s.runs);
    if (runSeconds > 0.0) out += " in " + fixed(runSeconds, 1) + " s";
    out += " (aggregate and report: " + fixed(aggregateSeconds, 2) + " s)\n";
    if (!s.notEvacuated.empty())
        out += "Not everyone out at the time limit: " + std::to_string(s.notEvacuated.size()) +
               " runs (left out of the evacuation times)\n";
    const analysis::Distribution& d = s.evacuation;
    if (d.count > 0) {
        out += "Evacuation time over " + std::to_string(d.count) + " runs: mean " +
               fixed(d.mean, 1) + " s (95 % CI " + fixed(d.ciLow, 1) + "-" + fixed(d.ciHigh, 1) +
               "), sd " + fixed(d.sd, 1) + ", median " + fixed(d.median, 1) + ", 95th percentile " +
               fixed(d.p95, 1) + ", min " + fixed(d.min, 1) + ", max " + fixed(d.max, 1) + "\n";
        if (s.convergence.judged)
            out += "Mean settled within 1 % over the last " + std::to_string(s.convergence.window) +
                   " runs: " + (s.convergence.settled ? "yes" : "no") + " (largest deviation " +
                   fixed(100.0 * s.convergence.largestDeviation, 2) + " %)\n";
        else
            out += "Mean settled: not judged, " + std::to_string(d.count) + " runs (at least " +
                   std::to_string(analysis::kSettledMinimumRuns) + " are needed)\n";
    }
    if (!s.exits.empty()) {
        out += "People out by exit (mean, sd):";
        for (std::size_t e = 0; e < s.exits.size(); ++e)
            out += (e ? ", " : " ") + s.exits[e].name + " " + fixed(s.exits[e].people.mean, 1) +
                   " (" + fixed(s.exits[e].people.sd, 1) + ")";
        out += "\n";
    }
    out += "Results in " + root.string() + ":";
    for (std::size_t k = 0; k < written.size(); ++k) out += (k ? ", " : " ") + written[k];
    out += " and a folder run-K per seed\n";
    return out;
}

}  // namespace runtime

namespace runtime {

namespace {

constexpr const char* kProgramVersion = ESCAPE_VERSION;

using analysis::Chart;
using analysis::Curve;
using analysis::htmlEscaped;
using analysis::tableRow;

std::string distributionRow(const std::string& what, const analysis::Distribution& d) {
    if (d.count == 0) return tableRow({what, "-", "-", "-", "-", "-", "-", "-", "-"});
    return tableRow({what, std::to_string(d.count), fixed(d.mean, 1),
                     fixed(d.ciLow, 1) + " - " + fixed(d.ciHigh, 1), fixed(d.sd, 1),
                     fixed(d.min, 1), fixed(d.median, 1), fixed(d.p95, 1), fixed(d.max, 1)});
}

std::string histogramAndCumulative(const std::vector<double>& times) {
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double lo = sorted.front(), hi = sorted.back();
    const int wanted =
        std::clamp(static_cast<int>(std::sqrt(static_cast<double>(sorted.size()))), 4, 30);
    // niceStep rounds the width up (to 1, 2 or 5): ask for twice the bins.
    // The range is taken in halves, so that it stays finite for any times.
    const double width =
        platform::niceStep(std::max(2.0 * (hi / 2.0 - lo / 2.0), 1.0), 2 * wanted);
    const double start = std::floor(lo / width) * width;
    Chart h;
    h.title = "Distribution of the evacuation time";
    h.xLabel = "evacuation time (s)";
    h.yLabel = "runs";
    // At most 2 * wanted + 2 bins, whatever the numbers.
    for (int k = 0; k <= 2 * wanted + 1; ++k) {
        const double from = start + k * width;
        if (from > hi) break;
        const auto n = std::count_if(sorted.begin(), sorted.end(),
                                     [&](double t) { return t >= from && (t < from + width); });
        h.bars.push_back({{from, from + width}, static_cast<double>(n)});
    }
    Chart c;
    c.title = "Share of runs in which everyone is out by time t";
    c.xLabel = "t (s)";
    c.yLabel = "share of runs";
    Curve cdf{"", "#1f5fa8", {{start, 0.0}}, true, false};
    for (std::size_t k = 0; k < sorted.size(); ++k)
        cdf.points.push_back(
            {sorted[k], static_cast<double>(k + 1) / static_cast<double>(sorted.size())});
    c.curves.push_back(cdf);
    return analysis::svgChart(h) + "\n" + analysis::svgChart(c) + "\n";
}

std::string convergenceChart(const std::vector<double>& times) {
    const std::vector<double> m = analysis::runningMean(times);
    Chart c;
    c.title = "Running mean of the evacuation time";
    c.xLabel = "runs";
    c.yLabel = "mean evacuation time (s)";
    c.yFromZero = false;
    Curve mean{"running mean", "#1f5fa8", {}, false, false};
    for (std::size_t k = 0; k < m.size(); ++k) mean.points.push_back({double(k + 1), m[k]});
    const double f = m.back();
    c.curves.push_back(mean);
    c.curves.push_back({"final mean +- 1 %",
                        "#b35900",
                        {{1.0, 1.01 * f}, {double(m.size()), 1.01 * f}},
                        false,
                        true});
    c.curves.push_back(
        {"", "#b35900", {{1.0, 0.99 * f}, {double(m.size()), 0.99 * f}}, false, true});
    return analysis::svgChart(c) + "\n";
}

std::string meanFlowChart(const analysis::SweepStatistics& s) {
    Chart c;
    c.title = "Flow through each exit, mean over the runs (10 s moving window)";
    c.xLabel = "time (s)";
    c.yLabel = "persons per second";
    static const char* colours[] = {"#1f5fa8", "#d95f02", "#1b9e77", "#7570b3", "#e7298a"};
    for (std::size_t e = 0; e < s.exits.size(); ++e) {
        Curve cv{s.exits[e].name, colours[e % 5], {}, false, false};
        for (std::size_t k = 0; k < s.exits[e].meanFlow.size(); ++k)
            cv.points.push_back({static_cast<double>(k) * s.flowStep, s.exits[e].meanFlow[k]});
        if (!cv.points.empty()) c.curves.push_back(cv);
    }
    return c.curves.empty() ? std::string() : analysis::svgChart(c) + "\n";
}

// Each variant's mean evacuation time as a dot on the line of its 95 %
// confidence interval, one row a variant, on a common time axis.
std::string intervalChart(const std::vector<VariantResult>& variants) {
    double lo = INFINITY, hi = -INFINITY;
    for (const VariantResult& v : variants)
        if (v.stats.evacuation.count > 0) {
            lo = std::min(lo, v.stats.evacuation.ciLow);
            hi = std::max(hi, v.stats.evacuation.ciHigh);
        }
    if (!std::isfinite(lo)) return {};
    const double step = platform::niceStep(std::max(hi - lo, 1.0), 6);
    lo = std::floor(lo / step) * step;
    hi = std::ceil(hi / step) * step;
    if (hi <= lo) hi = lo + step;
    const double L = 230, R = 30, T = 40, rowH = 26, B = 44;
    const double W = 760, H = T + rowH * static_cast<double>(variants.size()) + B;
    auto X = [&](double t) { return L + (W - L - R) * (t - lo) / (hi - lo); };
    auto n = [](double v) { return fixed(v, 1); };
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + n(W) + "\" height=\"" +
                    n(H) + "\" role=\"img\" aria-label=\"evacuation time by variant\">";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>";
    s += "<text x=\"10\" y=\"20\" class=\"t\">Mean evacuation time and its 95 % confidence "
         "interval, by variant</text>";
    for (double t = lo; t <= hi + 1e-9 * step; t += step) {
        s += "<line x1=\"" + n(X(t)) + "\" y1=\"" + n(T) + "\" x2=\"" + n(X(t)) + "\" y2=\"" +
             n(H - B) + "\" stroke=\"#e4e4e4\"/>";
        s += "<text x=\"" + n(X(t)) + "\" y=\"" + n(H - B + 16) + "\" text-anchor=\"middle\">" +
             fixed(t, step < 1.0 ? 1 : 0) + "</text>";
    }
    s += "<text x=\"" + n((L + W - R) / 2) + "\" y=\"" + n(H - 8) +
         "\" text-anchor=\"middle\">evacuation time (s)</text>";
    for (std::size_t k = 0; k < variants.size(); ++k) {
        const analysis::Distribution& d = variants[k].stats.evacuation;
        const double y = T + rowH * (static_cast<double>(k) + 0.5);
        s += "<text x=\"" + n(L - 8) + "\" y=\"" + n(y + 4) + "\" text-anchor=\"end\">" +
             htmlEscaped(variants[k].label.name) + "</text>";
        if (d.count == 0) continue;
        const std::string colour = variants[k].stats.convergence.settled ? "#1f5fa8" : "#b35900";
        s += "<line x1=\"" + n(X(d.ciLow)) + "\" y1=\"" + n(y) + "\" x2=\"" + n(X(d.ciHigh)) +
             "\" y2=\"" + n(y) + "\" stroke=\"" + colour + "\" stroke-width=\"3\"/>";
        for (double end : {d.ciLow, d.ciHigh})
            s += "<line x1=\"" + n(X(end)) + "\" y1=\"" + n(y - 6) + "\" x2=\"" + n(X(end)) +
                 "\" y2=\"" + n(y + 6) + "\" stroke=\"" + colour + "\" stroke-width=\"2\"/>";
        s += "<circle cx=\"" + n(X(d.mean)) + "\" cy=\"" + n(y) + "\" r=\"5\" fill=\"" + colour +
             "\"/>";
    }
    s += "</svg>\n";
    return s;
}

std::string settledText(const analysis::SweepStatistics& s) {
    if (s.evacuation.count == 0) return "-";
    if (!s.convergence.judged) return "not judged (" + std::to_string(s.evacuation.count) + " runs)";
    return std::string(s.convergence.settled ? "yes" : "no") + " (" +
           fixed(100.0 * s.convergence.largestDeviation, 2) + " % over the last " +
           std::to_string(s.convergence.window) + " runs)";
}

std::string readPng(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string();
}

}  // namespace

std::string variantTitle(const VariantLabel& v) {
    std::string t = v.name;
    for (std::size_t k = 0; k < v.parameters.size(); ++k)
        t += (k ? ", " : " (") + v.parameters[k].first + " = " + v.parameters[k].second;
    return v.parameters.empty() ? t : t + ")";
}

std::string writeSweepReport(const std::filesystem::path& root, const RunMeta& meta,
                             const std::vector<analysis::RunRecord>& runs,
                             const analysis::SweepStatistics& s, const VariantLabel* variant) {
    std::string b;
    b += "<h2>Scenario</h2>\n<table>\n";
    if (variant) b += tableRow({"variant", variant->name});
    if (variant)
        for (const auto& [key, value] : variant->parameters) b += tableRow({key, value});
    b += tableRow({"source", meta.mode + " " + meta.source});
    if (!meta.name.empty()) b += tableRow({"name", meta.name});
    for (const analysis::RunRecord& r : runs)
        if (r.status == analysis::RunStatus::Ok) {
            b += tableRow({"people", std::to_string(r.people)});
            break;
        }
    b += tableRow({"exits", std::to_string(meta.exitNames.size())});
    b += tableRow({"seeds", runs.empty() ? "-"
                                         : std::to_string(runs.front().seed) + " to " +
                                               std::to_string(runs.back().seed)});
    b += tableRow({"time limit", fixed(meta.timeLimit, 0) + " s"});
    b += tableRow({"results folder", root.string()});
    b += tableRow({"program", std::string("mvnrt ") + kProgramVersion});
    b += "</table>\n";

    b += "<h2>Evacuation time</h2>\n<p>" + std::to_string(s.finished) + " of " +
         std::to_string(s.runs) + " runs finished";
    if (s.failed) b += ", <span class=\"bad\">" + std::to_string(s.failed) + " failed</span>";
    if (s.timedOut)
        b += ", <span class=\"bad\">" + std::to_string(s.timedOut) + " timed out</span>";
    if (s.missing) b += ", <span class=\"bad\">" + std::to_string(s.missing) + " not run</span>";
    b += ".";
    if (!s.notEvacuated.empty())
        b += " <span class=\"note\">In " + std::to_string(s.notEvacuated.size()) +
             " runs people were still inside at the time limit; their times are left out "
             "below.</span>";
    b += "</p>\n<table>\n";
    b += tableRow({"", "runs", "mean", "95 % CI of the mean", "sd", "min", "median",
                   "95th percentile", "max"},
                  true);
    b += distributionRow("evacuation time (s)", s.evacuation);
    b += distributionRow("mean pre-movement time (s)", s.preMovement);
    b += distributionRow("mean travel time (s)", s.travelTime);
    b += "</table>\n";
    if (s.evacuation.count > 0) {
        if (s.convergence.judged)
            b += "<p>The running mean " +
                 std::string(s.convergence.settled ? "<span class=\"ok\">has settled</span>"
                                                   : "<span class=\"note\">has not settled</span>") +
                 ": over the last " + std::to_string(s.convergence.window) +
                 " runs it stays within " + fixed(100.0 * s.convergence.largestDeviation, 2) +
                 " % of the final mean.";
        else
            b += "<p><span class=\"note\">Whether the mean has settled is not judged: " +
                 std::to_string(s.evacuation.count) + " runs.</span>";
        b += " Rule: " + htmlEscaped(analysis::kSettledRule) + "</p>\n";
        b += histogramAndCumulative(s.evacuationTimes);
        b += convergenceChart(s.evacuationTimes);
    }

    if (!s.exits.empty()) {
        b += "<h2>Exit usage</h2>\n<table>\n";
        b += tableRow({"exit", "runs", "mean", "95 % CI of the mean", "sd", "min", "median",
                       "95th percentile", "max"},
                      true);
        for (const analysis::ExitUse& e : s.exits) b += distributionRow(e.name, e.people);
        b += "</table>\n<p>Highest flow of each run (persons per second over 10 s):</p>\n<table>\n";
        b += tableRow({"exit", "runs", "mean", "95 % CI of the mean", "sd", "min", "median",
                       "95th percentile", "max"},
                      true);
        for (const analysis::ExitUse& e : s.exits) b += distributionRow(e.name, e.peakFlow);
        b += "</table>\n" + meanFlowChart(s);
    }

    for (const analysis::RunRecord& r : runs) {
        if (r.status != analysis::RunStatus::Ok) continue;
        const std::filesystem::path folder = root / analysis::runFolderName(r.seed);
        const std::string density = readPng(folder / "density.png");
        if (density.empty()) break;
        b += "<h2>Density map of the first run (seed " + std::to_string(r.seed) + ")</h2>\n";
        b += analysis::inlinePng(density, "density map, seed " + std::to_string(r.seed)) + "\n";
        break;
    }

    b += "<h2>Runs</h2>\n<table>\n<tr><th class=\"l\">run</th><th>status</th><th>evacuation "
         "time (s)</th><th>people out by exit</th><th>people left</th></tr>\n";
    for (const analysis::RunRecord& r : runs) {
        const std::string name = analysis::runFolderName(r.seed);
        b += "<tr><td class=\"l\"><a href=\"" + name + "/report.html\">" + name + "</a></td>";
        b += "<td class=\"" + std::string(r.status == analysis::RunStatus::Ok ? "ok" : "bad") +
             "\">" + analysis::statusName(r.status) + "</td>";
        if (r.status == analysis::RunStatus::Ok) {
            std::string byExit;
            for (const auto& [n, c] : r.outByExit)
                byExit += (byExit.empty() ? "" : ", ") + n + " " + std::to_string(c);
            b += "<td>" + fixed(r.evacuationTime, 2) + (r.everyoneOut ? "" : " (time limit)") +
                 "</td><td>" + htmlEscaped(byExit) + "</td><td>" + std::to_string(r.peopleLeft) +
                 "</td>";
        } else {
            b += "<td colspan=\"3\" class=\"l\">" + htmlEscaped(r.detail) + "</td>";
        }
        b += "</tr>\n";
    }
    b += "</table>\n";

    const std::string what =
        variant ? variantTitle(*variant) : (meta.name.empty() ? meta.source : meta.name);
    const std::string page =
        analysis::htmlPage("Sweep of " + what + ": " + std::to_string(runs.size()) + " runs", b);
    return platform::writeFileAtomically(root / "report.html", page, platform::Durability::WhenReplacing,
                                         platform::Replacing::RegularFileOnly);
}

std::string writeSweepComparison(const std::filesystem::path& root, const std::string& sweepFile,
                                 const std::vector<VariantResult>& variants) {
    std::string b;
    std::size_t runs = 0, finished = 0;
    for (const VariantResult& v : variants) runs += v.stats.runs, finished += v.stats.finished;
    b += "<p>" + std::to_string(variants.size()) + " variants of " + htmlEscaped(sweepFile) + ", " +
         std::to_string(finished) + " of " + std::to_string(runs) +
         " runs finished. Each variant's own report has its runs, charts and density map.</p>\n";
    b += "<h2>Evacuation time by variant</h2>\n<table>\n";
    b += tableRow({"variant", "varied values", "runs", "everyone out", "mean (s)",
                   "95 % CI of the mean (s)", "sd (s)", "median (s)", "95th percentile (s)",
                   "max (s)", "mean settled"},
                  true);
    for (const VariantResult& v : variants) {
        const analysis::Distribution& d = v.stats.evacuation;
        std::string varied;
        for (const auto& [key, value] : v.label.parameters)
            varied += (varied.empty() ? "" : ", ") + key + " = " + value;
        std::string row = "<tr><td class=\"l\"><a href=\"" + htmlEscaped(v.label.name) +
                          "/report.html\">" + htmlEscaped(v.label.name) + "</a></td>";
        const std::vector<std::string> cells =
            d.count == 0
                ? std::vector<std::string>{varied.empty() ? "-" : varied,
                                           std::to_string(v.stats.runs), "0", "-", "-", "-", "-",
                                           "-", "-", settledText(v.stats)}
                : std::vector<std::string>{varied.empty() ? "-" : varied,
                                           std::to_string(v.stats.runs),
                                           std::to_string(d.count),
                                           fixed(d.mean, 1),
                                           fixed(d.ciLow, 1) + " - " + fixed(d.ciHigh, 1),
                                           fixed(d.sd, 1),
                                           fixed(d.median, 1),
                                           fixed(d.p95, 1),
                                           fixed(d.max, 1),
                                           settledText(v.stats)};
        for (std::size_t k = 0; k < cells.size(); ++k)
            row += std::string(k == 0 ? "<td class=\"l\">" : "<td>") + htmlEscaped(cells[k]) +
                   "</td>";
        b += row + "</tr>\n";
    }
    b += "</table>\n<p>Everyone out: the runs in which everyone got out before the time limit; "
         "only they give evacuation times. Mean settled, rule: " +
         htmlEscaped(analysis::kSettledRule) + "</p>\n";
    b += intervalChart(variants);
    b += "<p>Blue: the variant's mean has settled; orange: not (or not judged).</p>\n";

    b += "<h2>Exit use by variant</h2>\n<table>\n" +
         tableRow({"variant", "exit", "people out: mean", "sd", "min", "max",
                   "highest flow (persons/s): mean"},
                  true);
    for (const VariantResult& v : variants)
        for (const analysis::ExitUse& e : v.stats.exits)
            b += tableRow({v.label.name, e.name, fixed(e.people.mean, 1), fixed(e.people.sd, 1),
                           fixed(e.people.min, 0), fixed(e.people.max, 0),
                           fixed(e.peakFlow.mean, 2)});
    b += "</table>\n";
    const std::string page = analysis::htmlPage(
        "Sweep " + std::filesystem::path(sweepFile).filename().string() + ": " +
            std::to_string(variants.size()) + " variants compared",
        b);
    return platform::writeFileAtomically(root / "report.html", page, platform::Durability::WhenReplacing,
                                         platform::Replacing::RegularFileOnly);
}

}  // namespace runtime
