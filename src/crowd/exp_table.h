#pragma once
// exp(x) from a table on a fine grid with linear interpolation (relative
// error below 1e-5), for the repulsion exp((r - d) / B) that every pair
// within range needs: much cheaper than the library call.

#include <cmath>
#include <cstddef>
#include <vector>

namespace crowd {

class ExpTable {
  public:
    // Below `lowest` exp counts as 0; at or above kTableMax it is computed
    // exactly (an overlap of 0.96 m at B = 0.08 m, which a sound run never
    // reaches).
    static constexpr double kTableMax = 12.0;
    static constexpr double kStep = 1.0 / 256.0;
    // Beyond this exp is held (e^600 = 4e260): a force, even times the
    // largest A, stays finite, so the speed cap can still bound the step.
    static constexpr double kLargest = 600.0;

    explicit ExpTable(double lowest) : lowest_(lowest) {
        const auto entries =
            static_cast<std::size_t>(std::ceil((kTableMax - lowest_) * kInvStep)) + 2;
        table_.resize(entries);
        for (std::size_t k = 0; k < entries; ++k)
            table_[k] = std::exp(lowest_ + static_cast<double>(k) * kStep);
    }

    // The table by value, for hot loops: copied into locals, its fields stay
    // in registers where stores through other double pointers might alias.
    struct View {
        const double* table;
        double lowest;
        double operator()(double x) const {
            if (x >= kTableMax) return std::exp(std::fmin(x, kLargest));
            if (x <= lowest) return 0.0;
            const double u = (x - lowest) * kInvStep;
            const auto k = static_cast<std::size_t>(u);
            const double f = u - static_cast<double>(k);
            return table[k] + f * (table[k + 1] - table[k]);
        }
    };
    View view() const { return {table_.data(), lowest_}; }
    double operator()(double x) const { return view()(x); }

  private:
    static constexpr double kInvStep = 256.0;
    double lowest_;
    std::vector<double> table_;
};

}  // namespace crowd
