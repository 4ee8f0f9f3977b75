#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

namespace analysis {

double quantileOfSorted(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0.0;
    const double h = (static_cast<double>(sorted.size()) - 1.0) * std::clamp(p, 0.0, 1.0);
    const std::size_t lo = static_cast<std::size_t>(std::floor(h));
    const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
    return sorted[lo] + (h - static_cast<double>(lo)) * (sorted[hi] - sorted[lo]);
}

double studentT975(std::size_t df) {
    // Exact to four decimals up to 30 degrees of freedom.
    static const double table[] = {12.7062, 4.3027, 3.1824, 2.7764, 2.5706, 2.4469, 2.3646, 2.3060,
                                   2.2622,  2.2281, 2.2010, 2.1788, 2.1604, 2.1448, 2.1314, 2.1199,
                                   2.1098,  2.1009, 2.0930, 2.0860, 2.0796, 2.0739, 2.0687, 2.0639,
                                   2.0595,  2.0555, 2.0518, 2.0484, 2.0452, 2.0423};
    if (df == 0) return 0.0;
    if (df <= 30) return table[df - 1];
    // Beyond, the Cornish-Fisher expansion around the normal quantile
    // (Abramowitz and Stegun 26.7.5), within 1e-5 from 30 on.
    const double z = 1.959963985;
    const double n = static_cast<double>(df);
    const double z3 = z * z * z, z5 = z3 * z * z, z7 = z5 * z * z;
    return z + (z3 + z) / (4.0 * n) + (5.0 * z5 + 16.0 * z3 + 3.0 * z) / (96.0 * n * n) +
           (3.0 * z7 + 19.0 * z5 + 17.0 * z3 - 15.0 * z) / (384.0 * n * n * n);
}

Distribution describe(std::vector<double> values) {
    Distribution d;
    d.count = values.size();
    if (values.empty()) return d;
    std::sort(values.begin(), values.end());
    d.min = values.front();
    d.max = values.back();
    double sum = 0.0;
    for (double v : values) sum += v;
    d.mean = sum / static_cast<double>(d.count);
    double squares = 0.0;
    for (double v : values) squares += (v - d.mean) * (v - d.mean);
    d.sd = d.count > 1 ? std::sqrt(squares / static_cast<double>(d.count - 1)) : 0.0;
    d.median = quantileOfSorted(values, 0.5);
    d.p95 = quantileOfSorted(values, 0.95);
    const double half =
        d.count > 1 ? studentT975(d.count - 1) * d.sd / std::sqrt(static_cast<double>(d.count))
                    : 0.0;
    d.ciLow = d.mean - half;
    d.ciHigh = d.mean + half;
    return d;
}

std::vector<double> runningMean(const std::vector<double>& values) {
    std::vector<double> out;
    out.reserve(values.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        sum += values[i];
        out.push_back(sum / static_cast<double>(i + 1));
    }
    return out;
}

Convergence convergence(const std::vector<double>& values, double tolerance, double windowShare) {
    Convergence c;
    const std::size_t n = values.size();
    if (n == 0) return c;
    c.window = std::max<std::size_t>(
        kSettledMinimumRuns,
        static_cast<std::size_t>(std::ceil(windowShare * static_cast<double>(n) - 1e-9)));
    c.window = std::min(c.window, n);
    c.judged = n >= kSettledMinimumRuns;
    const std::vector<double> m = runningMean(values);
    const double final = m.back();
    for (std::size_t i = n - c.window; i < n; ++i) {
        const double dev =
            final != 0.0 ? std::abs(m[i] - final) / std::abs(final) : std::abs(m[i] - final);
        c.largestDeviation = std::max(c.largestDeviation, dev);
    }
    c.settled = c.judged && c.largestDeviation <= tolerance;
    return c;
}

}  // namespace analysis
