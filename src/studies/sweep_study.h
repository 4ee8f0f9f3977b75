#pragma once
// A sweep file's study: every variant's runs into ROOT/<variant>/run-K, made
// here with the children of the parallel runner (`mvnrt --sweep FILE`) or
// task by task on a cluster (`mvnrt --sweep-task ROOT --task-index K`), and
// the aggregate of them all: each variant's runs.json, statistics.json and
// report.html, and ROOT/sweep.csv and ROOT/sweep.json.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "inputs/mvnrt_options.h"
#include "studies/sweep_file.h"
#include "studies/sweep_plan.h"

namespace runtime {

// Makes the results root and the variants' folders ready (refusing files of
// our names that mvnrt did not write), writes each varied scenario, the plan
// and the task list, and (unless opt.resume) clears earlier runs of the
// plan's seeds. `extraNames`: further files of the root (a batch script).
// Throws platform::OutputError; returns nullopt when a run's folder is in the
// way (said on stderr).
std::optional<SweepPlan> setUpSweepRoot(const SweepDefinition& sweep, std::size_t runsPerTask,
                                        bool resume, const std::vector<std::string>& extraNames);

// The runs of the plan that have not finished (missing, failed, timed out).
std::vector<TaskRun> unfinishedRuns(const SweepPlan& plan);

// mvnrt --sweep FILE: returns mvnrt's exit status (0: every run finished;
// 1: a run failed or timed out; 130: stopped by a signal).
int runSweepFile(const Options& opt);

// The aggregate of a sweep's results root (mvnrt --collect ROOT when ROOT
// holds a plan). Runs missing or failed are named with their task index.
// Returns 0 when every run finished, 1 when not (or the aggregate cannot be
// written).
int collectSweepRoot(const std::filesystem::path& root, bool quiet);

// mvnrt --sweep-task ROOT --task-index K: the runs of one task, in turn
// (a run finished before, by a task that was requeued, is kept). Returns 0
// when they all finished.
int runSweepTask(const Options& opt);

}  // namespace runtime
