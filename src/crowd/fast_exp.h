#pragma once
// exp(x) without a library call, for the repulsion exp((r - d) / B) of
// every pair and wall within range. One algorithm for a single double and
// for the pair kernel's packs of doubles (each pack type brings its own
// minOf, maxOf and powerOfTwo), so that the scalar and the vectorised
// kernel compute bit for bit the same:
//   x = n ln 2 + r with n whole and |r| <= ln 2 / 2 (Cody and Waite's split
//   of ln 2 into a long and a short part keeps r exact to about 1e-19),
//   exp(r) from its Taylor series to r^9 (remainder below
//   0.347^10 / 10! = 7e-12 of the value), then times 2^n built in the
//   exponent bits. Relative error below 1e-11 over the whole range.
// x is held to [kExpLowest, kExpHighest]: below, exp is about 1e-304 and
// counts as that; above, a force even times the largest A stays finite, so
// the speed cap can still bound the step.

#include <cstdint>
#include <cstring>

namespace crowd {

inline constexpr double kExpLowest = -700.0;
inline constexpr double kExpHighest = 600.0;

namespace fastexp {
inline constexpr double kLog2e = 1.4426950408889634;
inline constexpr double kLn2Long = 6.93147180369123816490e-01;  // ln 2 to 32 bits
inline constexpr double kLn2Short = 1.90821492927058770002e-10;  // ln 2 minus that
// 1.5 * 2^52: adding it to |y| < 2^51 rounds y to a whole number (to even on
// a tie, as the processor rounds) and leaves that number in the low bits.
inline constexpr double kRoundShift = 6755399441055744.0;
}  // namespace fastexp

// The smaller / larger of a and b (a < b ? a : b and a > b ? a : b), as the
// processor's min and max instructions give them.
inline double minOf(double a, double b) { return a < b ? a : b; }
inline double maxOf(double a, double b) { return a > b ? a : b; }

// 2^n, where shifted = n + kRoundShift for a whole n in [-1022, 1023].
inline double powerOfTwo(double shifted) {
    std::uint64_t bits;
    std::memcpy(&bits, &shifted, sizeof bits);
    bits = (bits + 1023u) << 52;  // only n + 1023 is left in the exponent field
    double out;
    std::memcpy(&out, &bits, sizeof out);
    return out;
}

// V: double or a pack of doubles with +, -, * and the three functions above.
template <class V>
V fastExpOf(V x) {
    using namespace fastexp;
    x = minOf(maxOf(x, V(kExpLowest)), V(kExpHighest));
    const V shifted = x * V(kLog2e) + V(kRoundShift);
    const V n = shifted - V(kRoundShift);
    const V r = (x - n * V(kLn2Long)) - n * V(kLn2Short);
    // The series in Estrin's order: four short products side by side
    // instead of one long chain, so that the processor overlaps them.
    const V r2 = r * r;
    const V r4 = r2 * r2;
    const V r8 = r4 * r4;
    const V p01 = V(1.0) + r;
    const V p23 = V(1.0 / 2.0) + V(1.0 / 6.0) * r;
    const V p45 = V(1.0 / 24.0) + V(1.0 / 120.0) * r;
    const V p67 = V(1.0 / 720.0) + V(1.0 / 5040.0) * r;
    const V p89 = V(1.0 / 40320.0) + V(1.0 / 362880.0) * r;
    const V p03 = p01 + p23 * r2;
    const V p47 = p45 + p67 * r2;
    const V p = (p03 + p47 * r4) + p89 * r8;
    return p * powerOfTwo(shifted);
}

inline double fastExp(double x) { return fastExpOf(x); }

}  // namespace crowd
