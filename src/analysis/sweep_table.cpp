#include "analysis/sweep_table.h"

#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/number_text.h"

namespace analysis {

namespace {

using nlohmann::ordered_json;

// Four decimals, whatever the locale; empty for a figure that is not there.
std::string number(double v) {
    if (!std::isfinite(v)) return "";
    return platform::fixedText(v, 4);
}

std::string parametersText(const VariantRow& row) {
    std::string t;
    for (const auto& [key, value] : row.parameters)
        t.append(t.empty() ? "" : "; ").append(key).append("=").append(value);
    return t;
}

std::string exitsText(const SweepStatistics& s) {
    std::string t;
    for (const ExitUse& e : s.exits)
        t.append(t.empty() ? "" : "; ").append(e.name).append("=").append(number(e.people.mean));
    return t;
}

ordered_json distribution(const Distribution& d) {
    if (d.count == 0) return ordered_json{{"count", 0}};
    auto r = [](double v) { return std::round(v * 1e4) / 1e4; };
    return ordered_json{{"count", d.count}, {"mean", r(d.mean)},
                        {"sd", r(d.sd)},    {"ci95OfMean", {r(d.ciLow), r(d.ciHigh)}},
                        {"min", r(d.min)},  {"median", r(d.median)},
                        {"p95", r(d.p95)},  {"max", r(d.max)}};
}

}  // namespace

const std::vector<std::string>& sweepCsvColumns() {
    static const std::vector<std::string> columns = {"variant",
                                                     "kind",
                                                     "source",
                                                     "parameters",
                                                     "seeds",
                                                     "runs",
                                                     "finished",
                                                     "failed",
                                                     "timed_out",
                                                     "missing",
                                                     "not_evacuated",
                                                     "evacuation_runs",
                                                     "evacuation_mean_s",
                                                     "evacuation_sd_s",
                                                     "evacuation_ci95_low_s",
                                                     "evacuation_ci95_high_s",
                                                     "evacuation_min_s",
                                                     "evacuation_median_s",
                                                     "evacuation_p95_s",
                                                     "evacuation_max_s",
                                                     "settled",
                                                     "pre_movement_mean_s",
                                                     "travel_time_mean_s",
                                                     "people_out_by_exit_mean"};
    return columns;
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char c : text) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

std::string sweepCsvText(const std::vector<VariantRow>& rows) {
    std::string t;
    for (std::size_t c = 0; c < sweepCsvColumns().size(); ++c)
        t.append(c ? "," : "").append(sweepCsvColumns()[c]);
    t += "\n";
    for (const VariantRow& row : rows) {
        const SweepStatistics& s = row.stats;
        const Distribution& d = s.evacuation;
        const bool any = d.count > 0;
        const std::vector<std::string> fields = {
            row.name,
            row.kind,
            row.source,
            parametersText(row),
            row.seeds,
            std::to_string(s.runs),
            std::to_string(s.finished),
            std::to_string(s.failed),
            std::to_string(s.timedOut),
            std::to_string(s.missing),
            std::to_string(s.notEvacuated.size()),
            std::to_string(d.count),
            any ? number(d.mean) : "",
            any ? number(d.sd) : "",
            any ? number(d.ciLow) : "",
            any ? number(d.ciHigh) : "",
            any ? number(d.min) : "",
            any ? number(d.median) : "",
            any ? number(d.p95) : "",
            any ? number(d.max) : "",
            s.convergence.settled ? "yes" : "no",
            s.preMovement.count ? number(s.preMovement.mean) : "",
            s.travelTime.count ? number(s.travelTime.mean) : "",
            exitsText(s)};
        for (std::size_t c = 0; c < fields.size(); ++c)
            t.append(c ? "," : "").append(csvField(fields[c]));
        t += "\n";
    }
    return t;
}

std::string sweepJsonText(const std::vector<VariantRow>& rows) {
    ordered_json list = ordered_json::array();
    for (const VariantRow& row : rows) {
        const SweepStatistics& s = row.stats;
        ordered_json parameters = ordered_json::object();
        for (const auto& [key, value] : row.parameters)
            parameters[key] = ordered_json::parse(value);
        ordered_json exits = ordered_json::array();
        for (const ExitUse& e : s.exits)
            exits.push_back({{"name", e.name}, {"people", distribution(e.people)}});
        list.push_back(ordered_json{{"variant", row.name},
                                    {"folder", row.name},
                                    {"kind", row.kind},
                                    {"source", row.source},
                                    {"parameters", parameters},
                                    {"seeds", row.seeds},
                                    {"runs", s.runs},
                                    {"finished", s.finished},
                                    {"failed", s.failed},
                                    {"timedOut", s.timedOut},
                                    {"missing", s.missing},
                                    {"notEvacuated", s.notEvacuated},
                                    {"evacuationTime", distribution(s.evacuation)},
                                    {"settled", s.convergence.settled},
                                    {"meanPreMovement", distribution(s.preMovement)},
                                    {"meanTravelTime", distribution(s.travelTime)},
                                    {"exits", exits},
                                    {"runSecondsSum", std::round(row.runSecondsSum * 1e3) / 1e3}});
    }
    return ordered_json{{"variants", list}}.dump(2) + "\n";
}

}  // namespace analysis
