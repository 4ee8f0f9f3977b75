// The pair kernel on the 256-bit vector units: four pairs in one register.
// Compiled for AVX2 (this file only); called only where the processor has it.
#include "crowd/pair_kernel_body.h"

#if defined(ESCAPE_HAVE_AVX2_KERNEL)
#include <immintrin.h>

namespace crowd {

namespace {

struct Avx2 {
    __m256d v;

    Avx2() = default;
    Avx2(__m256d x) : v(x) {}                      // NOLINT
    Avx2(double x) : v(_mm256_set1_pd(x)) {}       // NOLINT: a pack converts from a double

    struct Mask {
        __m256d m;
        static Mask firstLanes(int count) { return {_mm256_castsi256_pd(lanesUpTo(count))}; }
        unsigned bits() const { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
        friend Mask operator&(Mask a, Mask b) { return {_mm256_and_pd(a.m, b.m)}; }
    };

    // All ones in the lanes below count.
    static __m256i lanesUpTo(int count) {
        return _mm256_cmpgt_epi64(_mm256_set1_epi64x(count), _mm256_setr_epi64x(0, 1, 2, 3));
    }
    static Avx2 load(const double* p, int count) {
        if (count == 4) return _mm256_loadu_pd(p);
        return _mm256_maskload_pd(p, lanesUpTo(count));  // masked lanes read nothing, give 0
    }
    void store(double* out) const { _mm256_store_pd(out, v); }
    double sum() const {
        const __m128d low = _mm256_castpd256_pd128(v), high = _mm256_extractf128_pd(v, 1);
        const __m128d pairs = _mm_hadd_pd(low, high);  // l0 + l1, l2 + l3
        return _mm_cvtsd_f64(_mm_add_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
    }
    double least() const {
        const __m128d low = _mm256_castpd256_pd128(v), high = _mm256_extractf128_pd(v, 1);
        // min(l0, l1) and min(l2, l3), then the smaller of the two.
        const __m128d firsts = _mm_unpacklo_pd(low, high), seconds = _mm_unpackhi_pd(low, high);
        const __m128d pairs = _mm_min_pd(firsts, seconds);  // min(l0, l1), min(l2, l3)
        return _mm_cvtsd_f64(_mm_min_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
    }

    friend Avx2 operator+(Avx2 a, Avx2 b) { return _mm256_add_pd(a.v, b.v); }
    friend Avx2 operator-(Avx2 a, Avx2 b) { return _mm256_sub_pd(a.v, b.v); }
    friend Avx2 operator*(Avx2 a, Avx2 b) { return _mm256_mul_pd(a.v, b.v); }
    friend Avx2 operator/(Avx2 a, Avx2 b) { return _mm256_div_pd(a.v, b.v); }
    friend Avx2 operator-(Avx2 a) { return _mm256_xor_pd(a.v, _mm256_set1_pd(-0.0)); }
    friend Avx2 squareRoot(Avx2 a) { return _mm256_sqrt_pd(a.v); }
    // minpd and maxpd give the second operand unless the first is smaller
    // (larger): a < b ? a : b and a > b ? a : b, as minOf and maxOf.
    friend Avx2 minOf(Avx2 a, Avx2 b) { return _mm256_min_pd(a.v, b.v); }
    friend Avx2 maxOf(Avx2 a, Avx2 b) { return _mm256_max_pd(a.v, b.v); }
    friend Avx2 powerOfTwo(Avx2 shifted) {
        const __m256i bits = _mm256_add_epi64(_mm256_castpd_si256(shifted.v), _mm256_set1_epi64x(1023));
        return _mm256_castsi256_pd(_mm256_slli_epi64(bits, 52));
    }
    friend Mask less(Avx2 a, Avx2 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)}; }
    friend Mask lessOrEqual(Avx2 a, Avx2 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ)}; }
    friend Mask greater(Avx2 a, Avx2 b) { return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ)}; }
    friend Avx2 select(Mask m, Avx2 a, Avx2 b) { return _mm256_blendv_pd(b.v, a.v, m.m); }
};

}  // namespace

void addPairsAvx2(const PairTerms& terms, const CellOrderedCrowd& crowd, const NeighbourGrid& grid,
                  int rowBegin, int rowEnd, PairSums& sums) {
    addPairsInPacks<Avx2>(terms, crowd, grid, rowBegin, rowEnd, sums);
}

}  // namespace crowd
#endif
