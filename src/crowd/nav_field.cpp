#include "crowd/nav_field.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace crowd {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();

// Asks the system for large pages (2 MiB) under the field's cells, before
// they are first written: the lookups of a large floor jump between rows
// megabytes apart, and with small pages nearly every one of them misses
// the address cache as well. Only a hint; without it all works the same.
void adviseLargePages(const void* begin, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = std::uintptr_t{1} << 21;
    const auto from = (reinterpret_cast<std::uintptr_t>(begin) + kLarge - 1) & ~(kLarge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(begin) + bytes) & ~(kLarge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)bytes;
#endif
}

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
// The cells waiting to be settled, cheapest first, each at most once: a
// binary heap of cell indices ordered on (cost, index), with every cell's
// place in it, so that a cell whose cost falls moves up in place. Cells of
// equal cost settle in index order.
class CellHeap {
  public:
    CellHeap(const std::vector<double>& cost, std::size_t cells)
        : cost_(cost.data()), place_(cells, -1) {}
    bool empty() const { return cells_.empty(); }
    // Adds cell c, or moves it up after its cost fell.
    void pushOrRaise(int c) {
        int at = place_[c];
        if (at < 0) {
            at = static_cast<int>(cells_.size());
            cells_.push_back(c);
        }
        while (at > 0) {
            const int up = (at - 1) / 2;
            if (!before(c, cells_[up])) break;
            put(cells_[up], at);
            at = up;
        }
        put(c, at);
    }
    int pop() {
        const int top = cells_.front();
        place_[top] = -1;
        const int last = cells_.back();
        cells_.pop_back();
        const int n = static_cast<int>(cells_.size());
        if (n == 0) return top;
        int at = 0;
        for (;;) {
            int child = 2 * at + 1;
            if (child >= n) break;
            if (child + 1 < n && before(cells_[child + 1], cells_[child])) ++child;
            if (!before(cells_[child], last)) break;
            put(cells_[child], at);
            at = child;
        }
        put(last, at);
        return top;
    }

  private:
    bool before(int a, int b) const {
        return cost_[a] < cost_[b] || (cost_[a] == cost_[b] && a < b);
    }
    void put(int c, int at) {
        cells_[at] = c;
        place_[c] = at;
    }
    const double* cost_;
    std::vector<int> cells_;
    std::vector<int> place_;  // per cell: where it is in cells_, -1 if not there
};

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
    std::vector<double> T(n, kInf);
    std::vector<std::uint8_t> known(n, 0);
    // Each cell waits in the heap once, its key lowered in place as its
    // cost falls (cheaper than a heap of every cost ever proposed).
    CellHeap heap(T, n);
    for (int c : targets) {
        if (c < 0 || static_cast<std::size_t>(c) >= n || !grid.walkable[c]) continue;
        T[c] = 0.0;
        heap.pushOrRaise(c);
    }
    // Per cell, the neighbours it is linked to (inside the grid, no wall
    // between): left, right, down, up as bits 0 to 3.
    std::vector<std::uint8_t> links(n, 0);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            links[grid.index(i, j)] = static_cast<std::uint8_t>(
                (i > 0 && grid.linked(i, j, -1, 0) ? 1u : 0u) |
                (i + 1 < nx && grid.linked(i, j, 1, 0) ? 2u : 0u) |
                (j > 0 && grid.linked(i, j, 0, -1) ? 4u : 0u) |
                (j + 1 < ny && grid.linked(i, j, 0, 1) ? 8u : 0u));
    const int step[4] = {-1, 1, -nx, nx};
    double* const cost = T.data();
    // The cost of the neighbour of c in direction k if settled and linked.
    auto settled = [&](int c, int k) -> double {
        if (!(links[c] & (1u << k))) return kInf;
        const int o = c + step[k];
        return known[o] ? cost[o] : kInf;
    };
    while (!heap.empty()) {
        const int c = heap.pop();
        known[c] = 1;
        for (int k = 0; k < 4; ++k) {
            if (!(links[c] & (1u << k))) continue;
            const int nb = c + step[k];
            if (known[nb] || !grid.walkable[nb]) continue;
            const double a = std::min(settled(nb, 0), settled(nb, 1));
            const double b = std::min(settled(nb, 2), settled(nb, 3));
            const double f = grid.slowness[nb] * h;
            double value;
            if (std::fabs(a - b) >= f || !std::isfinite(a) || !std::isfinite(b)) {
                value = std::min(a, b) + f;
            } else {
                value = 0.5 * (a + b + std::sqrt(2.0 * f * f - (a - b) * (a - b)));
            }
            if (value < cost[nb]) {
                cost[nb] = value;
                heap.pushOrRaise(nb);
            }
        }
    }

    // Upwind descent direction: per axis, step toward the lower neighbour.
    cells_.clear();
    cells_.shrink_to_fit();
    cells_.reserve(n);
    adviseLargePages(cells_.data(), n * sizeof(Cell));
    cells_.resize(n);
    for (std::size_t c = 0; c < n; ++c) cells_[c].cost = T[c];
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
                cells_[c].descentX = static_cast<float>(gx / len);
                cells_[c].descentY = static_cast<float>(gy / len);
            }
        }
}

bool NavField::blend(const Cell* const around[4], double ax, double ay, Vec2& dir) {
    double sx = 0.0, sy = 0.0, wsum = 0.0, bestW = -1.0;
    Vec2 best{};
    for (int k = 0; k < 4; ++k) {
        const Cell* cell = around[k];
        if (cell == nullptr || !cell->leads()) continue;
        const double w = ((k & 1) ? ax : 1.0 - ax) * ((k >> 1) ? ay : 1.0 - ay);
        sx += w * cell->descentX;
        sy += w * cell->descentY;
        wsum += w;
        if (w > bestW) {
            bestW = w;
            best = {cell->descentX, cell->descentY};
        }
    }
    if (!(wsum > 0.0)) return false;
    const double len = std::sqrt(sx * sx + sy * sy);
    dir = len > 1e-6 * wsum ? Vec2{sx / len, sy / len} : best;
    return true;
}

bool NavField::direction(const NavGrid& grid, Vec2 p, Vec2& dir) const {
    const double px = p.x, py = p.y;
    const double h = grid.cell();
    const double u = (px - grid.origin().x) / h - 0.5;
    const double v = (py - grid.origin().y) / h - 0.5;
    const double fu = std::floor(u), fv = std::floor(v);
    const int nx = grid.nx(), ny = grid.ny();
    const int i0 = !(fu >= -2.0) ? -2 : fu < nx ? static_cast<int>(fu) : nx;
    const int j0 = !(fv >= -2.0) ? -2 : fv < ny ? static_cast<int>(fv) : ny;
    const double ax = std::clamp(u - fu, 0.0, 1.0), ay = std::clamp(v - fv, 0.0, 1.0);
    // The four cells around p, lower left first, weighted bilinearly; those
    // outside the grid or leading nowhere left out.
    const Cell* around[4] = {nullptr, nullptr, nullptr, nullptr};
    for (int k = 0; k < 4; ++k) {
        const int i = i0 + (k & 1), j = j0 + (k >> 1);
        if (i >= 0 && j >= 0 && i < nx && j < ny)
            around[k] = &cells_[static_cast<std::size_t>(grid.index(i, j))];
    }
    if (blend(around, ax, ay, dir)) return true;
    return nearestDirection(grid, {px, py}, dir);
}

bool NavField::directionAndDistance(const NavGrid& grid, Vec2 p, Vec2& dir,
                                    double& distance) const {
    const double px = p.x, py = p.y;
    const double h = grid.cell();
    const double u = (px - grid.origin().x) / h - 0.5;
    const double v = (py - grid.origin().y) / h - 0.5;
    const int nx = grid.nx(), ny = grid.ny();
    if (!(u >= 0.0 && v >= 0.0 && u < nx - 1 && v < ny - 1)) {  // at the grid's edge
        distance = roughDistance(grid, p);
        return direction(grid, p, dir);
    }
    // Inside, where most people are: the lower left cell is (floor(u),
    // floor(v)) and the four cells lie next to each other in two rows.
    const int i = static_cast<int>(u), j = static_cast<int>(v);
    const double fu = u - i, fv = v - j;
    const Cell* lowerLeft = &cells_[static_cast<std::size_t>(grid.index(i, j))];
    const Cell* const around[4] = {lowerLeft, lowerLeft + 1, lowerLeft + nx, lowerLeft + nx + 1};
    const double t00 = around[0]->cost, t10 = around[1]->cost;
    const double t01 = around[2]->cost, t11 = around[3]->cost;
    if (std::isfinite(t00) && std::isfinite(t10) && std::isfinite(t01) && std::isfinite(t11))
        distance = (1.0 - fv) * ((1.0 - fu) * t00 + fu * t10) + fv * ((1.0 - fu) * t01 + fu * t11);
    else
        distance = distanceAt(grid, p);
    if (blend(around, fu, fv, dir)) return true;
    return nearestDirection(grid, {px, py}, dir);
}

bool NavField::nearestDirection(const NavGrid& grid, Vec2 p, Vec2& dir) const {
    // Nothing around p: the nearest cell with a direction within two cells.
    double d;
    const int c = nearestCell(grid, p, [this](int k) { return cells_[k].leads(); }, d);
    if (c < 0) return false;
    dir = {cells_[c].descentX, cells_[c].descentY};
    return true;
}

void NavField::prefetch(const NavGrid& grid, Vec2 p) const {
#if defined(__GNUC__) || defined(__clang__)
    // The lower left of the four cells around p and the one above it: the
    // cells to their right share the cache line (or the next one, which the
    // processor fetches along).
    const double u = (p.x - grid.origin().x) / grid.cell() - 0.5;
    const double v = (p.y - grid.origin().y) / grid.cell() - 0.5;
    if (!(u >= 0.0 && v >= 0.0 && u < grid.nx() - 1 && v < grid.ny() - 1)) return;
    const std::size_t c = static_cast<std::size_t>(grid.index(static_cast<int>(u), static_cast<int>(v)));
    const std::size_t above = c + static_cast<std::size_t>(grid.nx());
    __builtin_prefetch(&cells_[c]);
    __builtin_prefetch(&cells_[above]);
#else
    (void)grid;
    (void)p;
#endif
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
        const double t00 = cells_[c].cost, t10 = cells_[c + 1].cost;
        const double t01 = cells_[c + grid.nx()].cost, t11 = cells_[c + grid.nx() + 1].cost;
        if (std::isfinite(t00) && std::isfinite(t10) && std::isfinite(t01) && std::isfinite(t11))
            return (1.0 - fv) * ((1.0 - fu) * t00 + fu * t10) + fv * ((1.0 - fu) * t01 + fu * t11);
    }
    return distanceAt(grid, p);
}

double NavField::distanceAt(const NavGrid& grid, Vec2 p) const {
    double d;
    const int c = nearestCell(
        grid, p, [this](int k) { return std::isfinite(cells_[k].cost); }, d);
    return c < 0 ? kInf : cells_[c].cost + d;
}

}  // namespace crowd
