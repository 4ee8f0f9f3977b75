#pragma once
// Seeded random numbers with a fixed mapping, so that one seed gives the same
// numbers with every standard library (std::uniform_real_distribution and
// friends are implementation-defined; std::mt19937_64 itself is not).

#include <cstdint>
#include <random>

namespace crowd {

class Rng {
  public:
    explicit Rng(std::uint64_t seed) : engine_(seed) {}

    std::uint64_t next() { return engine_(); }

    // Uniform in [0, 1): the top 53 bits of one draw.
    double uniform01() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

    // Uniform in [lo, hi).
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform01(); }

    // Uniform integer in [0, n), n > 0, without modulo bias (rejection).
    std::uint64_t below(std::uint64_t n) {
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
        std::uint64_t v;
        do v = engine_();
        while (v >= limit);
        return v % n;
    }

    // A non-negative 31-bit integer, like the script language's Math.Rand().
    int rand31() { return static_cast<int>(engine_() >> 33); }

  private:
    std::mt19937_64 engine_;
};

// SplitMix64's finaliser (Steele, Lea and Flood, "Fast splittable
// pseudorandom number generators", 2014): every bit of x stirred into every
// bit of the result.
inline std::uint64_t stir(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A draw uniform in [0, 1) that depends on nothing but (seed, a, b, c):
// the same whichever thread draws it and in whatever order.
inline double keyedUniform01(std::uint64_t seed, std::uint64_t a, std::uint64_t b,
                             std::uint64_t c) {
    return static_cast<double>(stir(seed ^ stir(a ^ stir(b ^ stir(c)))) >> 11) * 0x1.0p-53;
}

}  // namespace crowd
