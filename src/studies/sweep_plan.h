#pragma once
// The plan of a sweep in its results root, written before any run starts, so
// that the runs, a cluster's tasks and a later --collect all read the same:
//   ROOT/sweep-plan.json  the variants: name, what they run, their seeds
//   ROOT/tasks.tsv        one line a run: task index, variant, seed
// Task K of a job array makes the runs of the lines of task K, in turn. Runs
// are numbered through the variants in order, seed by seed; runsPerTask
// consecutive runs make one task.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "studies/sweep_file.h"

namespace runtime {

inline constexpr const char* kPlanName = "sweep-plan.json";
inline constexpr const char* kTaskListName = "tasks.tsv";
// A job array of more tasks than this is refused by a default Slurm
// (MaxArraySize 1001): longer sweeps put several runs in a task.
inline constexpr std::size_t kMaxArrayTasks = 1000;

struct PlannedVariant {
    std::string name;  // its folder under the root
    bool project = false;
    std::string source;  // as the sweep file names it
    std::vector<std::pair<std::string, std::string>> parameters;
    std::vector<std::string> args;  // a run's command line without seed and folder
    std::vector<std::uint64_t> seeds;
    double timeLimit = 0.0;  // simulated seconds of a run
};

struct SweepPlan {
    std::filesystem::path root;
    std::string sweepFile;
    std::size_t runsPerTask = 1;
    std::vector<PlannedVariant> variants;
};

struct TaskRun {
    std::size_t task = 0;
    std::size_t variant = 0;
    std::uint64_t seed = 0;
};

// `runsPerTask` 0: one, or as many as keep the array within kMaxArrayTasks.
SweepPlan makePlan(const SweepDefinition& sweep, std::size_t runsPerTask);
// Every run with its task, in order.
std::vector<TaskRun> taskRuns(const SweepPlan& plan);
std::size_t taskCount(const SweepPlan& plan);

// The files' texts, and their reading back. Reading throws InputError naming
// the file.
std::string planJsonText(const SweepPlan& plan);
std::string taskListText(const SweepPlan& plan);
bool hasPlan(const std::filesystem::path& root);
SweepPlan readPlan(const std::filesystem::path& root);
// The runs of task `task` as the task list in ROOT says.
std::vector<TaskRun> readTaskRuns(const std::filesystem::path& root, const SweepPlan& plan,
                                  std::size_t task);

// "1-4,9" for sorted task indices (as sbatch --array takes them).
std::string indexRanges(const std::vector<std::size_t>& sorted);

}  // namespace runtime
