#include "analysis/sweep_results.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "platform/number_text.h"
#include "platform/safe_input.h"
#include "platform/safe_output.h"

namespace analysis {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// A summary of a run with many thousands of people stays far below this.
constexpr std::uint64_t kMaxSummaryBytes = 512ull << 20;

double rounded(double v) { return std::round(v * 1e4) / 1e4; }

ordered_json distributionJson(const Distribution& d) {
    if (d.count == 0) return ordered_json{{"count", 0}};
    return ordered_json{{"count", d.count},
                        {"min", rounded(d.min)},
                        {"mean", rounded(d.mean)},
                        {"sd", rounded(d.sd)},
                        {"median", rounded(d.median)},
                        {"p95", rounded(d.p95)},
                        {"max", rounded(d.max)},
                        {"ci95OfMean", {rounded(d.ciLow), rounded(d.ciHigh)}}};
}

RunStatus statusFromName(const std::string& s) {
    if (s == "timed out") return RunStatus::TimedOut;
    if (s == "missing") return RunStatus::Missing;
    return RunStatus::Failed;
}

// Longer than any run can last (a time limit is at most 1e6 s).
constexpr double kMaxSummarySeconds = 1.0e7;

// A time of a summary: finite and from 0 to kMaxSummarySeconds, else the
// run is unreadable, naming the member.
double timeIn(const json& j, const char* member) {
    const double t = j.get<double>();
    if (!(t >= 0.0 && t <= kMaxSummarySeconds))
        throw std::runtime_error(std::string(member) + " is " + platform::fixedText(t, 1) +
                                 "; a time of a run lies from 0 to 1e7 s");
    return t;
}

void readSummary(const json& j, RunRecord& r) {
    r.people = j.at("people").get<int>();
    r.everyoneOut = j.at("everyoneOut").get<bool>();
    r.evacuationTime = timeIn(j.at("evacuationTime"), "evacuationTime");
    for (const json& e : j.at("exits"))
        r.outByExit.emplace_back(e.at("name").get<std::string>(), e.at("peopleOut").get<int>());
    r.peopleLeft = static_cast<int>(j.at("stillInside").size());
    double pre = 0.0, travel = 0.0;
    int out = 0;
    for (const json& p : j.at("persons")) {
        const double pm = p.contains("preMovement") ? timeIn(p["preMovement"], "preMovement") : 0.0;
        pre += pm;
        if (p.at("exitTime").is_number()) {
            travel += timeIn(p["exitTime"], "exitTime") - pm;
            ++out;
        }
    }
    const std::size_t persons = j.at("persons").size();
    r.meanPreMovement = persons > 0 ? pre / static_cast<double>(persons) : 0.0;
    r.meanTravelTime = out > 0 ? travel / out : 0.0;
    if (j.contains("timing") && j["timing"].contains("wallSeconds"))
        r.wallSeconds = j["timing"]["wallSeconds"].get<double>();
}

// Each exit's flow series from the run's measures.json, when it has one.
void readFlows(const std::filesystem::path& measures, RunRecord& r) {
    std::error_code ec;
    if (!std::filesystem::exists(measures, ec)) return;
    try {
        const json j = json::parse(platform::readRegularFile(measures, kMaxSummaryBytes));
        for (const json& e : j.at("exits")) {
            const std::vector<double> t = e.at("time").get<std::vector<double>>();
            if (t.size() > 1) r.flowStep = t[1] - t[0];
            r.exitFlow.push_back(e.at("personsPerSecond").get<std::vector<double>>());
        }
    } catch (const std::exception&) {
        r.exitFlow.clear();  // the flows are a figure more, not the run's result
    }
}

}  // namespace

std::string runFolderName(std::uint64_t seed) { return "run-" + std::to_string(seed); }
std::string failureRecordName(std::uint64_t seed) { return runFolderName(seed) + ".failed"; }

const char* statusName(RunStatus s) {
    switch (s) {
        case RunStatus::Ok:
            return "ok";
        case RunStatus::Failed:
            return "failed";
        case RunStatus::TimedOut:
            return "timed out";
        case RunStatus::Missing:
            return "missing";
    }
    return "missing";
}

std::string writeFailureRecord(const std::filesystem::path& root, std::uint64_t seed,
                               RunStatus status, const std::string& detail) {
    const ordered_json j{{"seed", seed}, {"status", statusName(status)}, {"detail", detail}};
    return platform::writeFileAtomically(root / failureRecordName(seed), j.dump(2) + "\n", platform::Durability::WhenReplacing,
                                   platform::Replacing::RegularFileOnly);
}

RunRecord readRun(const std::filesystem::path& root, std::uint64_t seed) {
    RunRecord r;
    r.seed = seed;
    std::error_code ec;
    const std::filesystem::path summary = root / runFolderName(seed) / "summary.json";
    if (std::filesystem::exists(summary, ec)) {
        try {
            readSummary(json::parse(platform::readRegularFile(summary, kMaxSummaryBytes)), r);
            r.status = RunStatus::Ok;
            readFlows(root / runFolderName(seed) / "measures.json", r);
        } catch (const std::exception& e) {
            r = RunRecord{};
            r.seed = seed;
            r.status = RunStatus::Failed;
            r.detail = summary.string() + ": unreadable (" + e.what() + ")";
        }
        return r;
    }
    const std::filesystem::path failure = root / failureRecordName(seed);
    if (std::filesystem::exists(failure, ec)) {
        r.status = RunStatus::Failed;
        try {
            const json j = json::parse(platform::readRegularFile(failure, 1 << 20));
            r.status = statusFromName(j.at("status").get<std::string>());
            r.detail = j.at("detail").get<std::string>();
        } catch (const std::exception& e) {
            r.detail = failure.string() + ": unreadable (" + e.what() + ")";
        }
    }
    return r;
}

bool runFinished(const std::filesystem::path& root, std::uint64_t seed) {
    return readRun(root, seed).status == RunStatus::Ok;
}

SweepStatistics sweepStatistics(const std::vector<RunRecord>& runs) {
    SweepStatistics s;
    s.runs = runs.size();
    std::vector<std::vector<double>> perExit, peaks;
    std::vector<double> pre, travel;
    std::size_t withFlows = 0;
    for (const RunRecord& r : runs) {
        switch (r.status) {
            case RunStatus::Ok:
                ++s.finished;
                break;
            case RunStatus::Failed:
                ++s.failed;
                continue;
            case RunStatus::TimedOut:
                ++s.timedOut;
                continue;
            case RunStatus::Missing:
                ++s.missing;
                continue;
        }
        if (r.everyoneOut)
            s.evacuationTimes.push_back(r.evacuationTime);
        else
            s.notEvacuated.push_back(r.seed);
        for (std::size_t e = 0; e < r.outByExit.size(); ++e) {
            if (e >= s.exits.size()) {
                s.exits.push_back({r.outByExit[e].first, {}, {}, {}});
                perExit.emplace_back();
                peaks.emplace_back();
            }
            perExit[e].push_back(r.outByExit[e].second);
        }
        // The mean flow: the runs' flows added up sample by sample (a run
        // that has ended adds nothing), divided by the runs at the end.
        if (!r.exitFlow.empty()) {
            ++withFlows;
            s.flowStep = r.flowStep;
        }
        for (std::size_t e = 0; e < r.exitFlow.size() && e < s.exits.size(); ++e) {
            std::vector<double>& sum = s.exits[e].meanFlow;
            if (sum.size() < r.exitFlow[e].size()) sum.resize(r.exitFlow[e].size(), 0.0);
            double peak = 0.0;
            for (std::size_t k = 0; k < r.exitFlow[e].size(); ++k) {
                sum[k] += r.exitFlow[e][k];
                peak = std::max(peak, r.exitFlow[e][k]);
            }
            peaks[e].push_back(peak);
        }
        pre.push_back(r.meanPreMovement);
        travel.push_back(r.meanTravelTime);
    }
    s.evacuation = describe(s.evacuationTimes);
    s.convergence = convergence(s.evacuationTimes);
    for (std::size_t e = 0; e < s.exits.size(); ++e) {
        s.exits[e].people = describe(perExit[e]);
        s.exits[e].peakFlow = describe(peaks[e]);
        for (double& v : s.exits[e].meanFlow)
            v /= static_cast<double>(std::max<std::size_t>(withFlows, 1));
    }
    s.preMovement = describe(pre);
    s.travelTime = describe(travel);
    return s;
}

std::string runsJsonText(const std::vector<RunRecord>& runs) {
    ordered_json list = ordered_json::array();
    for (const RunRecord& r : runs) {
        ordered_json o;
        o["seed"] = r.seed;
        o["folder"] = runFolderName(r.seed);
        o["status"] = statusName(r.status);
        if (r.status != RunStatus::Ok) {
            if (!r.detail.empty()) o["detail"] = r.detail;
            list.push_back(o);
            continue;
        }
        o["people"] = r.people;
        o["everyoneOut"] = r.everyoneOut;
        o["evacuationTime"] = rounded(r.evacuationTime);
        ordered_json byExit = ordered_json::object();
        for (const auto& [name, n] : r.outByExit) byExit[name] = n;
        o["outByExit"] = byExit;
        o["peopleLeft"] = r.peopleLeft;
        o["meanPreMovement"] = rounded(r.meanPreMovement);
        o["meanTravelTime"] = rounded(r.meanTravelTime);
        list.push_back(o);
    }
    return ordered_json{{"runs", list}}.dump(2) + "\n";
}

std::string statisticsJsonText(const SweepStatistics& s) {
    ordered_json j;
    j["runs"] = s.runs;
    j["finished"] = s.finished;
    j["failed"] = s.failed;
    j["timedOut"] = s.timedOut;
    j["missing"] = s.missing;
    j["notEvacuated"] = s.notEvacuated;
    j["evacuationTime"] = distributionJson(s.evacuation);
    j["evacuationTime"]["note"] = "over the finished runs in which everyone got out; seconds";
    ordered_json running = ordered_json::array();
    for (double m : runningMean(s.evacuationTimes)) running.push_back(rounded(m));
    j["runningMean"] = running;
    j["settled"] = {{"settled", s.convergence.settled},
                    {"judged", s.convergence.judged},
                    {"criterion", kSettledRule},
                    {"window", s.convergence.window},
                    {"largestDeviation", std::round(s.convergence.largestDeviation * 1e6) / 1e6}};
    ordered_json exits = ordered_json::array();
    for (const ExitUse& e : s.exits) {
        ordered_json o{{"name", e.name},
                       {"people", distributionJson(e.people)},
                       {"peakFlow", distributionJson(e.peakFlow)}};
        exits.push_back(o);
    }
    j["exits"] = exits;
    j["meanPreMovement"] = distributionJson(s.preMovement);
    j["meanTravelTime"] = distributionJson(s.travelTime);
    return j.dump(2) + "\n";
}

std::vector<RunRecord> collectAndWrite(const std::filesystem::path& root,
                                       const std::vector<std::uint64_t>& seeds,
                                       SweepStatistics* statsOut) {
    std::vector<RunRecord> runs;
    runs.reserve(seeds.size());
    for (std::uint64_t seed : seeds) runs.push_back(readRun(root, seed));
    const SweepStatistics stats = sweepStatistics(runs);
    for (const auto& [name, text] : {std::pair{"runs.json", runsJsonText(runs)},
                                     std::pair{"statistics.json", statisticsJsonText(stats)}}) {
        const std::string problem = platform::writeFileAtomically(root / name, text, platform::Durability::WhenReplacing,
                                   platform::Replacing::RegularFileOnly);
        if (!problem.empty()) throw std::runtime_error(problem);
    }
    if (statsOut) *statsOut = stats;
    return runs;
}

}  // namespace analysis
