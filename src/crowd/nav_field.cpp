#include "crowd/nav_field.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <utility>

namespace crowd {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// The cell within two cells of p, nearest to p, for which usable(c) holds;
// -1 if there is none. Ties go to the first in row order.
template <class Usable>
int nearestCell(const NavGrid& grid, Vec2 p, Usable usable, double& dist) {
    int ci, cj;
    grid.cellOf(p, ci, cj);
    dist = kInf;
    int best = -1;
    for (int j = cj - 2; j <= cj + 2; ++j)
        for (int i = ci - 2; i <= ci + 2; ++i) {
            if (i < 0 || j < 0 || i >= grid.nx() || j >= grid.ny()) continue;
            const int c = grid.index(i, j);
            if (!usable(c)) continue;
            const double d = distance(grid.centre(i, j), p);
            if (d < dist) {
                dist = d;
                best = c;
            }
        }
    return best;
}
}  // namespace

NavGrid::NavGrid(Box box, double cell) : origin_(box.min), h_(cell) {
    nx_ = std::max(1, static_cast<int>(std::ceil((box.max.x - box.min.x) / cell)));
    ny_ = std::max(1, static_cast<int>(std::ceil((box.max.y - box.min.y) / cell)));
    walkable.assign(size(), 0);
    slowness.assign(size(), 1.0f);
    blocked.assign(size(), 0);
}

void NavGrid::cellOf(Vec2 p, int& i, int& j) const {
    const double u = std::floor((p.x - origin_.x) / h_);
    const double v = std::floor((p.y - origin_.y) / h_);
    // NaN (a position that is not a number) goes to the first cell; a cast
    // of it to int would be undefined.
    i = !(u >= 0.0) ? 0 : u < nx_ - 1 ? static_cast<int>(u) : nx_ - 1;
    j = !(v >= 0.0) ? 0 : v < ny_ - 1 ? static_cast<int>(v) : ny_ - 1;
}

void NavField::compute(const NavGrid& grid, const std::vector<int>& targets) {
    const int nx = grid.nx(), ny = grid.ny();
    const std::size_t n = grid.size();
    const double h = grid.cell();
    T.assign(n, kInf);
    std::vector<std::uint8_t> known(n, 0);
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<>> heap;
    for (int c : targets) {
        if (c < 0 || static_cast<std::size_t>(c) >= n || !grid.walkable[c]) continue;
        T[c] = 0.0;
        heap.push({0.0, c});
    }
    // T of the known neighbour (i + di, j + dj) of cell (i, j), if linked.
    auto knownT = [&](int i, int j, int di, int dj) -> double {
        const int a = i + di, b = j + dj;
        if (a < 0 || b < 0 || a >= nx || b >= ny || !grid.linked(i, j, di, dj)) return kInf;
        const int c = grid.index(a, b);
        return known[c] ? T[c] : kInf;
    };
    while (!heap.empty()) {
        const auto [t, c] = heap.top();
        heap.pop();
        if (known[c] || t > T[c]) continue;
        known[c] = 1;
        const int ci = c % nx, cj = c / nx;
        const int ni[4] = {ci - 1, ci + 1, ci, ci};
        const int nj[4] = {cj, cj, cj - 1, cj + 1};
        for (int k = 0; k < 4; ++k) {
            const int i = ni[k], j = nj[k];
            if (i < 0 || j < 0 || i >= nx || j >= ny) continue;
            const int nb = grid.index(i, j);
            if (known[nb] || !grid.walkable[nb]) continue;
            if (!grid.linked(ci, cj, i - ci, j - cj)) continue;
            const double a = std::min(knownT(i, j, -1, 0), knownT(i, j, 1, 0));
            const double b = std::min(knownT(i, j, 0, -1), knownT(i, j, 0, 1));
            const double f = grid.slowness[nb] * h;
            double value;
            if (std::fabs(a - b) >= f || !std::isfinite(a) || !std::isfinite(b)) {
                value = std::min(a, b) + f;
            } else {
                value = 0.5 * (a + b + std::sqrt(2.0 * f * f - (a - b) * (a - b)));
            }
            if (value < T[nb]) {
                T[nb] = value;
                heap.push({value, nb});
            }
        }
    }

    // Upwind descent direction: per axis, step toward the lower neighbour.
    dx.assign(n, 0.0f);
    dy.assign(n, 0.0f);
    auto valueAt = [&](int i, int j, int di, int dj) -> double {
        const int a = i + di, b = j + dj;
        if (a < 0 || b < 0 || a >= nx || b >= ny || !grid.linked(i, j, di, dj)) return kInf;
        return T[grid.index(a, b)];
    };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const int c = grid.index(i, j);
            const double t = T[c];
            if (!std::isfinite(t) || t == 0.0) continue;
            const double l = valueAt(i, j, -1, 0), r = valueAt(i, j, 1, 0);
            const double d = valueAt(i, j, 0, -1), u = valueAt(i, j, 0, 1);
            double gx = 0.0, gy = 0.0;
            if (l < t && l <= r)
                gx = -(t - l);
            else if (r < t)
                gx = t - r;
            if (d < t && d <= u)
                gy = -(t - d);
            else if (u < t)
                gy = t - u;
            const double len = std::sqrt(gx * gx + gy * gy);
            if (len > 0.0) {
                dx[c] = static_cast<float>(gx / len);
                dy[c] = static_cast<float>(gy / len);
            }
        }
}

bool NavField::direction(const NavGrid& grid, Vec2 p, Vec2& dir) const {
    const double h = grid.cell();
    const Vec2 o = grid.origin();
    const double u = (p.x - o.x) / h - 0.5;
    const double v = (p.y - o.y) / h - 0.5;
    const double fu = std::floor(u), fv = std::floor(v);
    const int i0 = !(fu >= -2.0) ? -2 : fu < grid.nx() ? static_cast<int>(fu) : grid.nx();
    const int j0 = !(fv >= -2.0) ? -2 : fv < grid.ny() ? static_cast<int>(fv) : grid.ny();
    const double ax = std::clamp(u - fu, 0.0, 1.0), ay = std::clamp(v - fv, 0.0, 1.0);
    double sx = 0.0, sy = 0.0, wsum = 0.0, bestW = -1.0;
    Vec2 best{};
    for (int k = 0; k < 4; ++k) {
        const int i = i0 + (k & 1), j = j0 + (k >> 1);
        if (i < 0 || j < 0 || i >= grid.nx() || j >= grid.ny()) continue;
        const int c = grid.index(i, j);
        if (dx[c] == 0.0f && dy[c] == 0.0f) continue;
        const double w = ((k & 1) ? ax : 1.0 - ax) * ((k >> 1) ? ay : 1.0 - ay);
        sx += w * dx[c];
        sy += w * dy[c];
        wsum += w;
        if (w > bestW) {
            bestW = w;
            best = {dx[c], dy[c]};
        }
    }
    if (wsum > 0.0) {
        const double len = std::sqrt(sx * sx + sy * sy);
        if (len > 1e-6 * wsum) {
            dir = {sx / len, sy / len};
            return true;
        }
        dir = best;
        return true;
    }
    // Nothing around p: the nearest cell with a direction within two cells.
    double d;
    const int c = nearestCell(
        grid, p, [this](int k) { return dx[k] != 0.0f || dy[k] != 0.0f; }, d);
    if (c < 0) return false;
    dir = {dx[c], dy[c]};
    return true;
}

double NavField::roughDistance(const NavGrid& grid, Vec2 p) const {
    const double h = grid.cell();
    const Vec2 o = grid.origin();
    const double u = (p.x - o.x) / h - 0.5;
    const double v = (p.y - o.y) / h - 0.5;
    if (u >= 0.0 && v >= 0.0 && u < grid.nx() - 1 && v < grid.ny() - 1) {
        const int i = static_cast<int>(u), j = static_cast<int>(v);
        const double fu = u - i, fv = v - j;
        const int c = grid.index(i, j);
        const double t00 = T[c], t10 = T[c + 1], t01 = T[c + grid.nx()], t11 = T[c + grid.nx() + 1];
        if (std::isfinite(t00) && std::isfinite(t10) && std::isfinite(t01) && std::isfinite(t11))
            return (1.0 - fv) * ((1.0 - fu) * t00 + fu * t10) + fv * ((1.0 - fu) * t01 + fu * t11);
    }
    return distanceAt(grid, p);
}

double NavField::distanceAt(const NavGrid& grid, Vec2 p) const {
    double d;
    const int c = nearestCell(
        grid, p, [this](int k) { return std::isfinite(T[k]); }, d);
    return c < 0 ? kInf : T[c] + d;
}

}  // namespace crowd
