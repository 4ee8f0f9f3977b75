#include "crowd/placement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace crowd {

namespace {

constexpr double kLattice = 0.05;  // m
constexpr int kLocalSteps = 60;    // search up to 3 m around the wanted spot

// Lattice offsets within kLocalSteps, nearest first (ties in a fixed order).
const std::vector<std::pair<int, int>>& localOffsets() {
    static const std::vector<std::pair<int, int>> offsets = [] {
        std::vector<std::tuple<int, int, int>> v;
        for (int dy = -kLocalSteps; dy <= kLocalSteps; ++dy)
            for (int dx = -kLocalSteps; dx <= kLocalSteps; ++dx)
                if (dx * dx + dy * dy <= kLocalSteps * kLocalSteps)
                    v.emplace_back(dx * dx + dy * dy, dy, dx);
        std::sort(v.begin(), v.end());
        std::vector<std::pair<int, int>> out;
        out.reserve(v.size());
        for (const auto& [d, dy, dx] : v) out.emplace_back(dx, dy);
        return out;
    }();
    return offsets;
}

}  // namespace

Placer::Placer(const WalkableArea& area, double margin)
    : area_(area), edges_(area.edges()), margin_(margin) {}

bool Placer::clearOfWalls(Vec2 p, double radius) const {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !area_.contains(p)) return false;
    const double clear = radius + margin_;
    for (const Segment& e : edges_) {
        if (p.x + clear < std::min(e.a.x, e.b.x) || p.x - clear > std::max(e.a.x, e.b.x) ||
            p.y + clear < std::min(e.a.y, e.b.y) || p.y - clear > std::max(e.a.y, e.b.y))
            continue;
        if (distanceToSegment(e, p) < clear) return false;
    }
    return true;
}

void Placer::gather(Vec2 p, double reach, std::vector<int>& out) const {
    out.clear();
    const int i0 = static_cast<int>(std::floor((p.x - reach) / cell_));
    const int i1 = static_cast<int>(std::floor((p.x + reach) / cell_));
    const int j0 = static_cast<int>(std::floor((p.y - reach) / cell_));
    const int j1 = static_cast<int>(std::floor((p.y + reach) / cell_));
    for (int j = j0; j <= j1; ++j)
        for (int i = i0; i <= i1; ++i) {
            const auto it = buckets_.find(key(i, j));
            if (it != buckets_.end()) out.insert(out.end(), it->second.begin(), it->second.end());
        }
}

bool Placer::clearOfPeople(Vec2 p, double radius, const std::vector<int>& near) const {
    for (int k : near) {
        const double dx = p.x - placed_[k].x, dy = p.y - placed_[k].y;
        const double need = clearance_ * (radius + radii_[k]) + margin_;
        if (dx * dx + dy * dy < need * need) return false;
    }
    return true;
}

bool Placer::isFree(Vec2 p, double radius) const {
    if (!clearOfWalls(p, radius)) return false;
    std::vector<int> near;
    gather(p, radius + maxRadius_ + margin_, near);
    return clearOfPeople(p, radius, near);
}

void Placer::markPeople(const std::vector<double>& xs, const std::vector<double>& ys, double radius,
                        const std::vector<int>& who, std::vector<std::uint8_t>& blocked) const {
    const std::size_t nx = xs.size();
    blocked.assign(nx * ys.size(), 0);
    for (int k : who) {
        const Vec2 q = placed_[k];
        const double need = clearance_ * (radius + radii_[k]) + margin_;
        // The lattice points in the square around q (coordinates ascend),
        // then the same test as clearOfPeople.
        const auto x0 = std::lower_bound(xs.begin(), xs.end(), q.x - need) - xs.begin();
        const auto x1 = std::upper_bound(xs.begin(), xs.end(), q.x + need) - xs.begin();
        const auto y0 = std::lower_bound(ys.begin(), ys.end(), q.y - need) - ys.begin();
        const auto y1 = std::upper_bound(ys.begin(), ys.end(), q.y + need) - ys.begin();
        for (auto j = y0; j < y1; ++j)
            for (auto i = x0; i < x1; ++i) {
                const double dx = xs[static_cast<std::size_t>(i)] - q.x,
                             dy = ys[static_cast<std::size_t>(j)] - q.y;
                if (dx * dx + dy * dy < need * need)
                    blocked[static_cast<std::size_t>(j) * nx + static_cast<std::size_t>(i)] = 1;
            }
    }
}

std::optional<Vec2> Placer::nearestFree(Vec2 wanted, double radius) const {
    // Who is in the way is marked on the lattice once (each placed person
    // blots out its disc), instead of testing everyone near at every point;
    // people first, as in a full floor they are what is in the way, and the
    // walls only where nobody is.
    // Most people of a sparse crowd get where they want to be: the lattice
    // search below starts there, with the same test.
    if (isFree(wanted, radius)) return wanted;
    std::vector<std::uint8_t> blocked;
    if (std::isfinite(wanted.x) && std::isfinite(wanted.y)) {
        const int side = 2 * kLocalSteps + 1;
        std::vector<double> xs(side), ys(side);
        for (int k = 0; k < side; ++k) {
            xs[static_cast<std::size_t>(k)] = wanted.x + (k - kLocalSteps) * kLattice;
            ys[static_cast<std::size_t>(k)] = wanted.y + (k - kLocalSteps) * kLattice;
        }
        std::vector<int> near;
        gather(wanted, kLocalSteps * kLattice + radius + maxRadius_ + margin_, near);
        markPeople(xs, ys, radius, near, blocked);
        for (const auto& [dx, dy] : localOffsets()) {
            if (blocked[static_cast<std::size_t>((dy + kLocalSteps) * side + dx + kLocalSteps)])
                continue;
            const Vec2 p{wanted.x + dx * kLattice, wanted.y + dy * kLattice};
            if (clearOfWalls(p, radius)) return p;
        }
    } else {
        wanted = area_.bounds().min;
    }
    // Far away: scan the whole area.
    const Box b = area_.bounds();
    const double step = 2.0 * kLattice;
    std::vector<double> xs, ys;
    for (double y = b.min.y + 0.5 * step; y < b.max.y; y += step) ys.push_back(y);
    for (double x = b.min.x + 0.5 * step; x < b.max.x; x += step) xs.push_back(x);
    std::vector<int> everyone(placed_.size());
    for (std::size_t k = 0; k < everyone.size(); ++k) everyone[k] = static_cast<int>(k);
    markPeople(xs, ys, radius, everyone, blocked);
    std::optional<Vec2> best;
    double bestD = std::numeric_limits<double>::infinity();
    for (std::size_t j = 0; j < ys.size(); ++j)
        for (std::size_t i = 0; i < xs.size(); ++i) {
            const Vec2 p{xs[i], ys[j]};
            const double d = distance(p, wanted);
            if (d < bestD && !blocked[j * xs.size() + i] && clearOfWalls(p, radius)) {
                bestD = d;
                best = p;
            }
        }
    return best;
}

void Placer::add(Vec2 p, double radius) {
    maxRadius_ = std::max(maxRadius_, radius);
    placed_.push_back(p);
    radii_.push_back(radius);
    buckets_[key(static_cast<int>(std::floor(p.x / cell_)),
                 static_cast<int>(std::floor(p.y / cell_)))]
        .push_back(static_cast<int>(placed_.size() - 1));
}

}  // namespace crowd
