#include "studies/sweep_study.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include "analysis/sweep_table.h"
#include "platform/safe_output.h"
#include "run/results.h"
#include "run/results_folder.h"
#include "studies/many_runs.h"

namespace runtime {

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kRootNames = {"sweep.csv", "sweep.json", "report.html", kPlanName,
                                             kTaskListName};
const std::vector<std::string> kVariantNames = {"runs.json", "statistics.json", "report.html",
                                                "scenario.json"};

// A run listed by where it belongs: "task 5 (hall-2 seed 2: missing)".
std::string runLabel(const SweepPlan& plan, const TaskRun& r, analysis::RunStatus status) {
    return "task " + std::to_string(r.task) + " (" + plan.variants[r.variant].name + " seed " +
           std::to_string(r.seed) + ": " + analysis::statusName(status) + ")";
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text + " ";
}

std::string tableText(const std::vector<analysis::VariantRow>& rows) {
    std::size_t width = 7;
    for (const analysis::VariantRow& r : rows) width = std::max(width, r.name.size());
    std::string t = padded("variant", width) + " runs  done  evacuation time: mean (95 % CI), sd\n";
    for (const analysis::VariantRow& r : rows) {
        const analysis::Distribution& d = r.stats.evacuation;
        std::string runs = std::to_string(r.stats.runs), done = std::to_string(r.stats.finished);
        t += padded(r.name, width) + " " + padded(runs, 5) + padded(done, 5);
        if (d.count > 0)
            t += fixed(d.mean, 1) + " s (" + fixed(d.ciLow, 1) + "-" + fixed(d.ciHigh, 1) +
                 "), sd " + fixed(d.sd, 1);
        else
            t += "-";
        if (!r.stats.notEvacuated.empty())
            t += ", " + std::to_string(r.stats.notEvacuated.size()) +
                 " runs ended at the time limit";
        t += "\n";
    }
    return t;
}

// Each variant's aggregate, then sweep.csv and sweep.json. Prints the table
// and the runs not finished. Returns 0 when every run finished.
// `wallSeconds` and `processSeconds`: the wall time of the runs made here
// and their processes' wall times added up (0: none made here).
int aggregatePlan(const SweepPlan& plan, bool quiet, double wallSeconds, double processSeconds,
                  int jobs) {
    const ResultsFolder root(plan.root, true, kRootNames);
    std::vector<analysis::VariantRow> rows;
    std::vector<VariantResult> compared;
    for (const PlannedVariant& v : plan.variants) {
        const VariantLabel label{v.name, v.parameters};
        analysis::VariantRow row{v.name,
                                 v.project ? "project" : "scenario",
                                 v.source,
                                 v.parameters,
                                 seedsText(v.seeds),
                                 {},
                                 0.0};
        platform::requireFolder(plan.root / v.name);  // never through a link
        if (collectRuns(plan.root / v.name, v.seeds, true, &row.stats, &row.runSecondsSum,
                        &label) != 0)
            return 1;
        compared.push_back({label, row.stats});
        rows.push_back(std::move(row));
    }
    // The variants compared, on one page.
    const std::string comparisonProblem = writeSweepComparison(plan.root, plan.sweepFile, compared);
    if (!comparisonProblem.empty()) {
        std::cerr << "mvnrt: " << comparisonProblem << "\n";
        return 1;
    }
    for (const auto& [name, text] : {std::pair{"sweep.csv", analysis::sweepCsvText(rows)},
                                     std::pair{"sweep.json", analysis::sweepJsonText(rows)}}) {
        const std::string problem = root.write(name, text);
        if (!problem.empty()) {
            std::cerr << "mvnrt: " << problem << "\n";
            return 1;
        }
    }

    std::vector<std::string> unfinished;
    std::vector<std::size_t> tasks;
    std::size_t runs = 0;
    for (const TaskRun& r : taskRuns(plan)) {
        ++runs;
        const analysis::RunStatus status =
            analysis::readRun(plan.root / plan.variants[r.variant].name, r.seed).status;
        if (status == analysis::RunStatus::Ok) continue;
        unfinished.push_back(runLabel(plan, r, status));
        if (tasks.empty() || tasks.back() != r.task) tasks.push_back(r.task);
    }
    if (!quiet) {
        std::cout << tableText(rows);
        std::cout << "Runs: " << runs - unfinished.size() << " of " << runs << " finished";
        if (wallSeconds > 0.0)
            std::cout << " in " << fixed(wallSeconds, 1) << " s (" << jobs
                      << " at a time; the run processes took " << fixed(processSeconds, 1)
                      << " s in all)";
        std::cout << "\nResults in " << plan.root.string()
                  << ": report.html (the variants compared), sweep.csv, sweep.json, and a folder "
                     "per variant (runs.json, statistics.json, report.html, run-K)\n";
    }
    if (unfinished.empty()) return 0;
    std::cerr << "mvnrt: " << unfinished.size() << " of " << runs << " runs not finished:";
    for (std::size_t i = 0; i < unfinished.size() && i < 20; ++i)
        std::cerr << (i ? ", " : " ") << unfinished[i];
    if (unfinished.size() > 20) std::cerr << " and " << unfinished.size() - 20 << " more";
    std::cerr << "\nmvnrt: tasks to run again: " << indexRanges(tasks) << " (mvnrt --sweep "
              << plan.sweepFile << " --resume, or with --submit slurm)\n";
    return 1;
}

}  // namespace

std::optional<SweepPlan> setUpSweepRoot(const SweepDefinition& sweep, std::size_t runsPerTask,
                                        bool resume, const std::vector<std::string>& extraNames) {
    SweepPlan plan = makePlan(sweep, runsPerTask);
    std::vector<std::string> names = kRootNames;
    names.insert(names.end(), extraNames.begin(), extraNames.end());
    const ResultsFolder root(plan.root, true, names);
    for (const SweepVariant& v : sweep.variants) {
        // A folder of its own: a link there would send the runs elsewhere.
        const ResultsFolder folder(variantFolder(sweep, v), false, kVariantNames);
        if (!v.scenarioText.empty()) {
            const std::string problem = folder.write("scenario.json", v.scenarioText);
            if (!problem.empty()) throw platform::OutputError(problem);
        }
        if (!resume)
            for (std::uint64_t seed : v.seeds)
                if (!clearRun(folder.path(), seed)) return std::nullopt;
    }
    for (const auto& [name, text] :
         {std::pair{kPlanName, planJsonText(plan)}, std::pair{kTaskListName, taskListText(plan)}}) {
        const std::string problem = root.write(name, text);
        if (!problem.empty()) throw platform::OutputError(problem);
    }
    return plan;
}

std::vector<TaskRun> unfinishedRuns(const SweepPlan& plan) {
    std::vector<TaskRun> out;
    for (const TaskRun& r : taskRuns(plan))
        if (!analysis::runFinished(plan.root / plan.variants[r.variant].name, r.seed))
            out.push_back(r);
    return out;
}

int runSweepFile(const Options& opt) {
    SweepDefinition sweep = loadSweepFile(*opt.sweepFile);
    if (opt.out) sweep.root = fs::absolute(*opt.out).lexically_normal();
    const std::optional<SweepPlan> plan = setUpSweepRoot(sweep, 0, opt.resume, {});
    if (!plan) return 1;
    std::vector<Study> studies;
    for (const PlannedVariant& v : plan->variants)
        studies.push_back({plan->root / v.name, v.seeds, v.args, v.timeLimit});
    const std::optional<StudiesOutcome> outcome =
        runStudies(studies, opt,
                   platform::capped(*opt.sweepFile) + ": " + std::to_string(plan->variants.size()) +
                       " variants (" + std::to_string(sweep.runs()) + " runs");
    if (!outcome) return 1;
    const int status = aggregatePlan(*plan, opt.quiet, outcome->wallSeconds,
                                     outcome->processSeconds, outcome->jobs);
    if (outcome->stopped) {
        std::cerr << "mvnrt: stopped; the finished runs are kept, --resume continues the sweep\n";
        return 130;
    }
    return status;
}

int collectSweepRoot(const fs::path& root, bool quiet) {
    return aggregatePlan(readPlan(root), quiet, 0.0, 0.0, 0);
}

int runSweepTask(const Options& opt) {
    const fs::path root(*opt.sweepTask);
    const SweepPlan plan = readPlan(root);
    const std::vector<TaskRun> runs = readTaskRuns(root, plan, *opt.taskIndex);
    if (runs.empty()) {
        std::cerr << "mvnrt: " << platform::capped((root / kTaskListName).string())
                  << ": has no task " << *opt.taskIndex << "\n";
        return 2;
    }
    std::vector<Study> studies;
    for (const TaskRun& r : runs) {
        const PlannedVariant& v = plan.variants[r.variant];
        if (studies.empty() || studies.back().root != root / v.name)
            studies.push_back({root / v.name, {}, v.args, v.timeLimit});
        studies.back().seeds.push_back(r.seed);
    }
    Options one = opt;
    one.resume = true;  // a requeued task keeps what it finished
    one.jobs = 1;
    const std::optional<StudiesOutcome> outcome =
        runStudies(studies, one,
                   "task " + std::to_string(*opt.taskIndex) + " of " + plan.sweepFile + " (" +
                       std::to_string(runs.size()) + (runs.size() == 1 ? " run" : " runs"));
    if (!outcome) return 1;
    if (outcome->stopped) return 130;
    return outcome->failed > 0 ? 1 : 0;
}

}  // namespace runtime
