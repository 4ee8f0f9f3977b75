#pragma once
// The results of a sweep of runs, one seed each, under one root folder:
//   ROOT/run-K/           a finished run (its summary.json and the rest)
//   ROOT/run-K.failed     a run that failed or was stopped (JSON: status, detail)
// and the aggregate made from them alone: ROOT/runs.json (one entry a run)
// and ROOT/statistics.json. Reading the folders again gives the same
// aggregate, so a sweep resumed or collected later is summed up the same way.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "analysis/statistics.h"

namespace analysis {

std::string runFolderName(std::uint64_t seed);      // "run-K"
std::string failureRecordName(std::uint64_t seed);  // "run-K.failed"

enum class RunStatus { Ok, Failed, TimedOut, Missing };
const char* statusName(RunStatus s);  // "ok", "failed", "timed out", "missing"

struct RunRecord {
    std::uint64_t seed = 0;
    RunStatus status = RunStatus::Missing;
    std::string detail;  // why a run failed
    int people = 0;
    bool everyoneOut = false;
    double evacuationTime = 0.0;  // s; the end of the run when not everyone left
    std::vector<std::pair<std::string, int>> outByExit;
    int peopleLeft = 0;
    double meanPreMovement = 0.0;  // s, over everyone
    double meanTravelTime = 0.0;   // s, exit time less pre-movement, over those out
    double wallSeconds = 0.0;
    // From the run's measures.json (empty without one): per exit the flow
    // over the last 10 s, persons per second, every flowStep seconds from 0.
    double flowStep = 0.5;
    std::vector<std::vector<double>> exitFlow;
};

// Writes ROOT/run-K.failed (atomically). Returns the problem, empty on success.
std::string writeFailureRecord(const std::filesystem::path& root, std::uint64_t seed,
                               RunStatus status, const std::string& detail);

// Reads one run's record from ROOT: its summary.json, else its failure
// record, else Missing. A summary that cannot be read counts as failed.
RunRecord readRun(const std::filesystem::path& root, std::uint64_t seed);

// Whether ROOT/run-K holds a finished run (a readable summary.json).
bool runFinished(const std::filesystem::path& root, std::uint64_t seed);

struct ExitUse {
    std::string name;
    Distribution people;           // people out by this exit over the finished runs
    Distribution peakFlow;         // each run's highest 10 s flow, persons per second
    std::vector<double> meanFlow;  // flow over the runs' mean, every flowStep s
};

struct SweepStatistics {
    std::size_t runs = 0, finished = 0, failed = 0, timedOut = 0, missing = 0;
    std::vector<std::uint64_t> notEvacuated;  // finished, but people were left at the time limit
    // Evacuation times of the finished runs in which everyone got out, in
    // seed order.
    std::vector<double> evacuationTimes;
    Distribution evacuation;
    Convergence convergence;
    std::vector<ExitUse> exits;
    double flowStep = 0.5;
    Distribution preMovement;  // of the runs' mean pre-movement
    Distribution travelTime;   // of the runs' mean travel time
};

SweepStatistics sweepStatistics(const std::vector<RunRecord>& runs);

// The JSON texts of runs.json and statistics.json.
std::string runsJsonText(const std::vector<RunRecord>& runs);
std::string statisticsJsonText(const SweepStatistics& stats);

// Reads every seed's run and writes runs.json and statistics.json into ROOT.
// Throws std::runtime_error naming the file that could not be written.
std::vector<RunRecord> collectAndWrite(const std::filesystem::path& root,
                                       const std::vector<std::uint64_t>& seeds,
                                       SweepStatistics* statsOut = nullptr);

}  // namespace analysis
