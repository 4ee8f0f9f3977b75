#pragma once
// What a sweep tells its user: the lines on the terminal and the page
// ROOT/report.html.

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/sweep_results.h"
#include "run/prepare.h"

namespace runtime {

// The closing lines of a sweep on stdout.
// `runSeconds`: wall time of the runs, `aggregateSeconds`: of the aggregate
// and the report.
std::string sweepText(const analysis::SweepStatistics& stats, double runSeconds,
                      double aggregateSeconds, const std::filesystem::path& root,
                      const std::vector<std::string>& written);

// A variant of a sweep file: its name and the values it varies (key, JSON
// value), said in its report's title and table.
struct VariantLabel {
    std::string name;
    std::vector<std::pair<std::string, std::string>> parameters;
};

// "headway-0.3 (model.headwayTime = 0.3, fill[0].count = 80)".
std::string variantTitle(const VariantLabel& v);

// Writes ROOT/report.html. Returns the problem, empty on success.
std::string writeSweepReport(const std::filesystem::path& root, const RunMeta& meta,
                             const std::vector<analysis::RunRecord>& runs,
                             const analysis::SweepStatistics& stats,
                             const VariantLabel* variant = nullptr);

// One variant of a sweep against the others: its row of the sweep's table.
struct VariantResult {
    VariantLabel label;
    analysis::SweepStatistics stats;
};

// Writes ROOT/report.html of a sweep file: every variant's evacuation time
// with its confidence interval (table and chart), whether its mean has
// settled, and its exit use, each linking to the variant's own report.
// Returns the problem, empty on success.
std::string writeSweepComparison(const std::filesystem::path& root, const std::string& sweepFile,
                                 const std::vector<VariantResult>& variants);

}  // namespace runtime
