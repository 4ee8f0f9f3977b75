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

bool Placer::isFree(Vec2 p, double radius) const {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !area_.contains(p)) return false;
    const double clear = radius + margin_;
    for (const Segment& e : edges_) {
        if (p.x + clear < std::min(e.a.x, e.b.x) || p.x - clear > std::max(e.a.x, e.b.x) ||
            p.y + clear < std::min(e.a.y, e.b.y) || p.y - clear > std::max(e.a.y, e.b.y))
            continue;
        if (distanceToSegment(e, p) < clear) return false;
    }
    const int ci = static_cast<int>(std::floor(p.x / cell_));
    const int cj = static_cast<int>(std::floor(p.y / cell_));
    const int reach = static_cast<int>(std::ceil((radius + maxRadius_ + margin_) / cell_));
    for (int j = cj - reach; j <= cj + reach; ++j)
        for (int i = ci - reach; i <= ci + reach; ++i) {
            const auto it = buckets_.find(key(i, j));
            if (it == buckets_.end()) continue;
            for (int k : it->second)
                if (distance(p, placed_[k]) < clearance_ * (radius + radii_[k]) + margin_)
                    return false;
        }
    return true;
}

std::optional<Vec2> Placer::nearestFree(Vec2 wanted, double radius) const {
    if (std::isfinite(wanted.x) && std::isfinite(wanted.y)) {
        for (const auto& [dx, dy] : localOffsets()) {
            const Vec2 p{wanted.x + dx * kLattice, wanted.y + dy * kLattice};
            if (isFree(p, radius)) return p;
        }
    } else {
        wanted = area_.bounds().min;
    }
    // Far away: scan the whole area.
    const Box b = area_.bounds();
    const double step = 2.0 * kLattice;
    std::optional<Vec2> best;
    double bestD = std::numeric_limits<double>::infinity();
    for (double y = b.min.y + 0.5 * step; y < b.max.y; y += step)
        for (double x = b.min.x + 0.5 * step; x < b.max.x; x += step) {
            const Vec2 p{x, y};
            const double d = distance(p, wanted);
            if (d < bestD && isFree(p, radius)) {
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
