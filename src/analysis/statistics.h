#pragma once
// Figures over the runs of a sweep: the spread of the evacuation times, a
// confidence interval of their mean, and whether the mean has settled.

#include <cstddef>
#include <vector>

namespace analysis {

struct Distribution {
    std::size_t count = 0;
    double min = 0.0, mean = 0.0, sd = 0.0, median = 0.0, p95 = 0.0, max = 0.0;
    // 95 % confidence interval of the mean: mean -+ t(0.975, n - 1) sd / sqrt(n)
    // (Student's t; the interval is the mean itself for fewer than two values).
    double ciLow = 0.0, ciHigh = 0.0;
};

// Sample figures of `values` (sd with n - 1). Empty input gives count 0.
Distribution describe(std::vector<double> values);

// The p-quantile (0 <= p <= 1) of sorted values, interpolated linearly
// between order statistics (x[(n - 1) p], the usual "type 7").
double quantileOfSorted(const std::vector<double>& sorted, double p);

// The 0.975 quantile of Student's t distribution with `df` degrees of freedom.
double studentT975(std::size_t df);

// Mean of the first 1, 2, ..., n values.
std::vector<double> runningMean(const std::vector<double>& values);

// Whether the running mean has settled: the running mean after each of the
// last max(10, a tenth of n) runs lies within 1 % of the final mean. Fewer
// than 10 runs are not judged (never settled): a rule over two runs, say,
// is no evidence.
inline constexpr std::size_t kSettledMinimumRuns = 10;
inline constexpr const char* kSettledRule =
    "settled when the running mean after each of the last 10 runs (the last tenth of the runs "
    "when there are more than 100) lies within 1 % of the final mean; fewer than 10 runs are "
    "not judged.";
struct Convergence {
    bool judged = false;            // enough runs to judge
    bool settled = false;
    std::size_t window = 0;         // runs looked at
    double largestDeviation = 0.0;  // largest |running mean - final| / final in the window
};
Convergence convergence(const std::vector<double>& values, double tolerance = 0.01,
                        double windowShare = 0.10);

}  // namespace analysis
