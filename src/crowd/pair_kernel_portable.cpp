// The pair kernel on four lanes worked one after the other: for processors
// without 256-bit vector units, and the reference the vectorised build is
// tested against.
#include <cmath>

#include "crowd/pair_kernel_body.h"

namespace crowd {

namespace {

struct Lanes {
    double v[4];

    Lanes() = default;
    Lanes(double x) : v{x, x, x, x} {}  // NOLINT: a pack converts from a double like a double

    struct Mask {
        unsigned bits_ = 0;
        static Mask firstLanes(int count) { return {(1u << count) - 1u}; }
        unsigned bits() const { return bits_; }
        friend Mask operator&(Mask a, Mask b) { return {a.bits_ & b.bits_}; }
    };

    static Lanes load(const double* p, int count) {
        Lanes out(0.0);
        for (int i = 0; i < count; ++i) out.v[i] = p[i];
        return out;
    }
    void store(double* out) const {
        for (int i = 0; i < 4; ++i) out[i] = v[i];
    }
    double sum() const { return (v[0] + v[1]) + (v[2] + v[3]); }
    double least() const { return minOf(minOf(v[0], v[1]), minOf(v[2], v[3])); }

    template <class Op>
    friend Lanes each(Lanes a, Lanes b, Op op) {
        Lanes out;
        for (int i = 0; i < 4; ++i) out.v[i] = op(a.v[i], b.v[i]);
        return out;
    }
    template <class Test>
    friend Mask where(Lanes a, Lanes b, Test test) {
        unsigned bits = 0;
        for (int i = 0; i < 4; ++i)
            if (test(a.v[i], b.v[i])) bits |= 1u << i;
        return {bits};
    }
    friend Lanes operator+(Lanes a, Lanes b) { return each(a, b, [](double x, double y) { return x + y; }); }
    friend Lanes operator-(Lanes a, Lanes b) { return each(a, b, [](double x, double y) { return x - y; }); }
    friend Lanes operator*(Lanes a, Lanes b) { return each(a, b, [](double x, double y) { return x * y; }); }
    friend Lanes operator/(Lanes a, Lanes b) { return each(a, b, [](double x, double y) { return x / y; }); }
    friend Lanes operator-(Lanes a) {
        for (double& x : a.v) x = -x;
        return a;
    }
    friend Lanes squareRoot(Lanes a) {
        for (double& x : a.v) x = std::sqrt(x);
        return a;
    }
    friend Lanes minOf(Lanes a, Lanes b) { return each(a, b, [](double x, double y) { return minOf(x, y); }); }
    friend Lanes maxOf(Lanes a, Lanes b) { return each(a, b, [](double x, double y) { return maxOf(x, y); }); }
    friend Lanes powerOfTwo(Lanes shifted) {
        for (double& x : shifted.v) x = crowd::powerOfTwo(x);
        return shifted;
    }
    friend Mask less(Lanes a, Lanes b) { return where(a, b, [](double x, double y) { return x < y; }); }
    friend Mask lessOrEqual(Lanes a, Lanes b) { return where(a, b, [](double x, double y) { return x <= y; }); }
    friend Mask greater(Lanes a, Lanes b) { return where(a, b, [](double x, double y) { return x > y; }); }
    friend Lanes select(Mask m, Lanes a, Lanes b) {
        for (int i = 0; i < 4; ++i)
            if (!(m.bits_ & (1u << i))) a.v[i] = b.v[i];
        return a;
    }
};

}  // namespace

void addPairsPortable(const PairTerms& terms, const CellOrderedCrowd& crowd,
                      const NeighbourGrid& grid, int rowBegin, int rowEnd, PairSums& sums) {
    addPairsInPacks<Lanes>(terms, crowd, grid, rowBegin, rowEnd, sums);
}

}  // namespace crowd
