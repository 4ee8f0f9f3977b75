#pragma once
// What a sweep tells its user: the lines on the terminal and the page
// ROOT/report.html.

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/sweep_results.h"
#include "runtime/prepare.h"

namespace runtime {

// The closing lines of a sweep on stdout.
// `runSeconds`: wall time of the runs, `aggregateSeconds`: of the aggregate
// and the report.
std::string sweepText(const analysis::SweepStatistics& stats, double runSeconds,
                      double aggregateSeconds, const std::filesystem::path& root,
                      const std::vector<std::string>& written);

// Writes ROOT/report.html. Returns the problem, empty on success.
std::string writeSweepReport(const std::filesystem::path& root, const RunMeta& meta,
                             const std::vector<analysis::RunRecord>& runs,
                             const analysis::SweepStatistics& stats);

}  // namespace runtime
