// The floor for the crowd step: a bare social-force step of our own, with
// nothing but what every such step must do. Each step sorts the people by
// cell into structure-of-arrays order (counting sort, cells as wide as the
// interaction range), sums the pair forces in packs of four doubles with
// AVX2 (exponential repulsion with a fast exponential, body compression and
// sliding friction on contact), and integrates semi-implicitly toward the
// nearest of four doors. No walls, navigation fields, headway, fluctuations
// or exits: what the model's step costs beyond this is the price of those.
// The constants are the model's (A 1000 N, B 0.03 m, k 1.2e5, kappa 2.4e5,
// 80 kg, tau 0.3 s, cutoff 1.2 m, 10 ms).
//   bare_kernel [--people N,N,...] [--seconds S] [--threads N] [--repeat N]
// prints, per size, ns per agent-update (the fastest of the repeats).
#include <immintrin.h>

#include <algorithm>
#include <barrier>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kA = 1000.0, kB = 0.03, kK = 1.2e5, kKappa = 2.4e5, kMass = 80.0;
constexpr double kTau = 0.3, kCutoff = 1.2, kDt = 0.01, kSpeedCap = 1.3;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// exp(x) for x <= 0 down to -700: x = n ln 2 + r, a degree-9 series for
// exp(r), 2^n put into the exponent bits.
inline __m256d fastExp(__m256d x) {
    x = _mm256_max_pd(x, _mm256_set1_pd(-700.0));
    const __m256d shift = _mm256_set1_pd(6755399441055744.0);  // 1.5 * 2^52
    const __m256d shifted = _mm256_fmadd_pd(x, _mm256_set1_pd(1.4426950408889634), shift);
    const __m256d n = _mm256_sub_pd(shifted, shift);
    __m256d r = _mm256_fnmadd_pd(n, _mm256_set1_pd(6.93147180369123816490e-01), x);
    r = _mm256_fnmadd_pd(n, _mm256_set1_pd(1.90821492927058770002e-10), r);
    __m256d p = _mm256_set1_pd(1.0 / 362880.0);
    const double c[] = {1.0 / 40320.0, 1.0 / 5040.0, 1.0 / 720.0, 1.0 / 120.0, 1.0 / 24.0,
                        1.0 / 6.0,     0.5,          1.0,         1.0};
    for (double k : c) p = _mm256_fmadd_pd(p, r, _mm256_set1_pd(k));
    const __m256i bits = _mm256_slli_epi64(
        _mm256_add_epi64(_mm256_castpd_si256(shifted), _mm256_set1_epi64x(1023)), 52);
    return _mm256_mul_pd(p, _mm256_castsi256_pd(bits));
}

inline double sum4(__m256d v) {
    const __m128d s = _mm_add_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
    return _mm_cvtsd_f64(_mm_add_sd(s, _mm_unpackhi_pd(s, s)));
}

struct Crowd {
    int n = 0;
    double side = 0.0;
    int cellsX = 0;
    // Structure of arrays in cell order; `next` is the sorted copy.
    std::vector<double> x, y, vx, vy, r, v0, fx, fy;
    std::vector<double> nx, ny, nvx, nvy, nr, nv0;
    std::vector<int> cell, count, start, sortedCell;

    // Everyone's forces for people [from, to).
    void forces(int from, int to) {
        const __m256d cut2 = _mm256_set1_pd(kCutoff * kCutoff), invB = _mm256_set1_pd(1.0 / kB);
        const __m256d a = _mm256_set1_pd(kA), k = _mm256_set1_pd(kK),
                      kappa = _mm256_set1_pd(kKappa), zero = _mm256_setzero_pd();
        const __m256d lane = _mm256_set_pd(3, 2, 1, 0);
        for (int i = from; i < to; ++i) {
            const int c = cell[i], cx = c % cellsX, cy = c / cellsX;
            const __m256d xi = _mm256_set1_pd(x[i]), yi = _mm256_set1_pd(y[i]),
                          ri = _mm256_set1_pd(r[i]), vxi = _mm256_set1_pd(vx[i]),
                          vyi = _mm256_set1_pd(vy[i]), self = _mm256_set1_pd(i);
            __m256d sx = zero, sy = zero;
            for (int row = std::max(0, cy - 1); row <= std::min(cellsX - 1, cy + 1); ++row) {
                const int lo = start[row * cellsX + std::max(0, cx - 1)];
                const int hi = start[row * cellsX + std::min(cellsX - 1, cx + 1) + 1];
                const __m256d end = _mm256_set1_pd(hi);
                for (int j = lo; j < hi; j += 4) {
                    // Past the end the loads read the padding (far away).
                    const __m256d jx = _mm256_loadu_pd(&x[j]), jy = _mm256_loadu_pd(&y[j]);
                    const __m256d dx = _mm256_sub_pd(xi, jx), dy = _mm256_sub_pd(yi, jy);
                    const __m256d d2 = _mm256_fmadd_pd(dx, dx, _mm256_mul_pd(dy, dy));
                    const __m256d index = _mm256_add_pd(_mm256_set1_pd(j), lane);
                    const __m256d use = _mm256_and_pd(
                        _mm256_and_pd(_mm256_cmp_pd(d2, cut2, _CMP_LT_OQ),
                                      _mm256_cmp_pd(index, self, _CMP_NEQ_OQ)),
                        _mm256_cmp_pd(index, end, _CMP_LT_OQ));
                    if (_mm256_movemask_pd(use) == 0) continue;
                    const __m256d d = _mm256_sqrt_pd(_mm256_max_pd(d2, _mm256_set1_pd(1e-12)));
                    const __m256d invD = _mm256_div_pd(_mm256_set1_pd(1.0), d);
                    const __m256d ux = _mm256_mul_pd(dx, invD), uy = _mm256_mul_pd(dy, invD);
                    const __m256d gap = _mm256_sub_pd(_mm256_add_pd(ri, _mm256_loadu_pd(&r[j])), d);
                    const __m256d touch = _mm256_max_pd(gap, zero);
                    const __m256d push =
                        _mm256_fmadd_pd(a, fastExp(_mm256_mul_pd(gap, invB)), _mm256_mul_pd(k, touch));
                    // Sliding friction along the tangent (-uy, ux).
                    const __m256d dvt = _mm256_fmadd_pd(
                        _mm256_sub_pd(_mm256_loadu_pd(&vy[j]), vyi), ux,
                        _mm256_mul_pd(_mm256_sub_pd(vxi, _mm256_loadu_pd(&vx[j])), uy));
                    const __m256d slide = _mm256_mul_pd(_mm256_mul_pd(kappa, touch), dvt);
                    const __m256d fxj = _mm256_fmsub_pd(push, ux, _mm256_mul_pd(slide, uy));
                    const __m256d fyj = _mm256_fmadd_pd(push, uy, _mm256_mul_pd(slide, ux));
                    sx = _mm256_add_pd(sx, _mm256_and_pd(use, fxj));
                    sy = _mm256_add_pd(sy, _mm256_and_pd(use, fyj));
                }
            }
            fx[i] = sum4(sx);
            fy[i] = sum4(sy);
        }
    }

    // The driving term toward the nearest door, the step, the speed cap.
    void integrate(int from, int to) {
        const double c = side / 2;
        for (int i = from; i < to; ++i) {
            const double tx[4] = {c, side, c, 0}, ty[4] = {0, c, side, c};
            int best = 0;
            double bestD = 1e300;
            for (int e = 0; e < 4; ++e) {
                const double d2 = (tx[e] - x[i]) * (tx[e] - x[i]) + (ty[e] - y[i]) * (ty[e] - y[i]);
                if (d2 < bestD) bestD = d2, best = e;
            }
            bestD = std::sqrt(bestD);
            const double ex = (tx[best] - x[i]) / std::max(bestD, 1e-9),
                         ey = (ty[best] - y[i]) / std::max(bestD, 1e-9);
            double ux = vx[i] + kDt * ((v0[i] * ex - vx[i]) / kTau + fx[i] / kMass);
            double uy = vy[i] + kDt * ((v0[i] * ey - vy[i]) / kTau + fy[i] / kMass);
            const double speed = std::sqrt(ux * ux + uy * uy), cap = kSpeedCap * v0[i];
            if (speed > cap) ux *= cap / speed, uy *= cap / speed;
            vx[i] = ux;
            vy[i] = uy;
            x[i] = std::clamp(x[i] + kDt * ux, 0.0, side - 1e-9);
            y[i] = std::clamp(y[i] + kDt * uy, 0.0, side - 1e-9);
        }
    }

    // Counting sort by cell into structure-of-arrays order.
    void bin() {
        const int cells = cellsX * cellsX;
        std::fill(count.begin(), count.end(), 0);
        for (int i = 0; i < n; ++i) {
            const int c = std::min(cellsX - 1, static_cast<int>(x[i] / kCutoff)) +
                          cellsX * std::min(cellsX - 1, static_cast<int>(y[i] / kCutoff));
            cell[i] = c;
            ++count[c];
        }
        start[0] = 0;
        for (int c = 0; c < cells; ++c) start[c + 1] = start[c] + count[c];
        std::vector<int>& at = count;  // reused: where the next of each cell goes
        for (int c = 0; c < cells; ++c) at[c] = start[c];
        sortedCell.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const int to = at[cell[i]]++;
            nx[to] = x[i], ny[to] = y[i], nvx[to] = vx[i], nvy[to] = vy[i], nr[to] = r[i],
            nv0[to] = v0[i];
            sortedCell[to] = cell[i];
        }
        std::swap(x, nx), std::swap(y, ny), std::swap(vx, nvx), std::swap(vy, nvy);
        std::swap(r, nr), std::swap(v0, nv0);
        std::copy(sortedCell.begin(), sortedCell.end(), cell.begin());
    }
};

// n people at 1 per m^2 on a jittered lattice in a square a metre wider
// than they need on each side.
Crowd makeCrowd(int n, std::uint64_t seed) {
    Crowd c;
    c.n = n;
    c.side = std::ceil(std::sqrt(static_cast<double>(n))) + 2.0;
    c.cellsX = static_cast<int>(std::ceil(c.side / kCutoff));
    const std::size_t padded = static_cast<std::size_t>(n) + 4;
    for (auto* v : {&c.x, &c.y, &c.vx, &c.vy, &c.r, &c.v0, &c.fx, &c.fy, &c.nx, &c.ny, &c.nvx,
                    &c.nvy, &c.nr, &c.nv0})
        v->assign(padded, 0.0);
    for (auto* v : {&c.x, &c.y, &c.nx, &c.ny}) std::fill(v->begin() + n, v->end(), 1e6);
    c.cell.assign(static_cast<std::size_t>(n), 0);
    c.count.assign(static_cast<std::size_t>(c.cellsX) * c.cellsX, 0);
    c.start.assign(static_cast<std::size_t>(c.cellsX) * c.cellsX + 1, 0);
    std::uint64_t s = seed;
    auto uniform = [&s](double lo, double hi) {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return lo + (hi - lo) * static_cast<double>(s >> 11) / 9007199254740992.0;
    };
    const int perRow = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(n))));
    for (int i = 0; i < n; ++i) {
        c.x[i] = 1.0 + (i % perRow + 0.5) + uniform(-0.1, 0.1);
        c.y[i] = 1.0 + (i / perRow + 0.5) + uniform(-0.1, 0.1);
        c.r[i] = uniform(0.2, 0.25);
        c.v0[i] = uniform(1.08, 1.60);
    }
    return c;
}

// Seconds of wall time for `steps` steps on `threads` threads.
double run(Crowd& c, int steps, int threads) {
    std::barrier sync(threads);
    auto work = [&](int t) {
        const int from = static_cast<int>(static_cast<long long>(c.n) * t / threads);
        const int to = static_cast<int>(static_cast<long long>(c.n) * (t + 1) / threads);
        for (int s = 0; s < steps; ++s) {
            if (t == 0) c.bin();
            sync.arrive_and_wait();
            c.forces(from, to);
            sync.arrive_and_wait();
            c.integrate(from, to);
            sync.arrive_and_wait();
        }
    };
    const double t0 = now();
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) helpers.emplace_back(work, t);
    work(0);
    for (std::thread& h : helpers) h.join();
    return now() - t0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes{10000, 100000};
    double seconds = 1.0;
    int threads = 1, repeat = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--people") {
            sizes.clear();
            std::stringstream ss(argv[i + 1]);
            for (std::string t; std::getline(ss, t, ',');) sizes.push_back(std::atoi(t.c_str()));
        } else if (a == "--seconds") {
            seconds = std::atof(argv[i + 1]);
        } else if (a == "--threads") {
            threads = std::max(1, std::atoi(argv[i + 1]));
        } else if (a == "--repeat") {
            repeat = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
        std::fprintf(stderr, "bare_kernel: this processor has no AVX2 and FMA\n");
        return 1;
    }
    const int steps = std::max(1, static_cast<int>(std::lround(seconds / kDt)));
    std::printf("%8s %8s %14s %14s\n", "people", "threads", "ns per update", "check (m/s)");
    for (int n : sizes) {
        double best = 0.0, check = 0.0;
        for (int k = 0; k < repeat; ++k) {
            Crowd c = makeCrowd(n, 1);
            const double wall = run(c, steps, threads);
            if (k == 0 || wall < best) best = wall;
            check = 0.0;  // the mean speed: the step does move people
            for (int i = 0; i < n; ++i) check += std::sqrt(c.vx[i] * c.vx[i] + c.vy[i] * c.vy[i]) / n;
        }
        std::printf("%8d %8d %14.1f %14.3f\n", n, threads,
                    1e9 * best / (static_cast<double>(n) * steps), check);
        std::fflush(stdout);
    }
    return 0;
}
