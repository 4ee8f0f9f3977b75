#pragma once
// The aggregate of a sweep of several variants: one row a variant with the
// figures of its runs, as ROOT/sweep.csv (for a spreadsheet) and
// ROOT/sweep.json. The table depends on the runs' results alone (no wall
// times, no host names): the same runs give the same sweep.csv wherever they
// were made.

#include <string>
#include <utility>
#include <vector>

#include "analysis/sweep_results.h"

namespace analysis {

struct VariantRow {
    std::string name;
    std::string kind;                                             // "scenario" or "project"
    std::string source;                                           // as the sweep file names it
    std::vector<std::pair<std::string, std::string>> parameters;  // key, JSON value
    std::string seeds;                                            // "1-20" or "1,5,9"
    SweepStatistics stats;
    double runSecondsSum = 0.0;  // the runs' own wall times (sweep.json only)
};

// The columns of sweep.csv, in order.
const std::vector<std::string>& sweepCsvColumns();
std::string sweepCsvText(const std::vector<VariantRow>& rows);
std::string sweepJsonText(const std::vector<VariantRow>& rows);

// A field of a CSV line: quoted when it holds a comma, quote or line break.
std::string csvField(const std::string& text);

}  // namespace analysis
