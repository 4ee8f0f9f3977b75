#include "crowd/geometry.h"

#include <algorithm>
#include <cmath>

namespace crowd {

double length(Vec2 a) { return std::sqrt(a.x * a.x + a.y * a.y); }
double distance(Vec2 a, Vec2 b) { return length(a - b); }

Vec2 closestPoint(const Segment& s, Vec2 p, double* tOut) {
    const Vec2 d = s.b - s.a;
    const double len2 = dot(d, d);
    double t = 0.0;
    if (len2 > 0.0) t = std::clamp(dot(p - s.a, d) / len2, 0.0, 1.0);
    if (tOut) *tOut = t;
    return s.a + t * d;
}

double distanceToSegment(const Segment& s, Vec2 p) { return distance(p, closestPoint(s, p)); }

namespace {
int orientation(Vec2 a, Vec2 b, Vec2 c) {
    const double v = cross(b - a, c - a);
    return (v > 0.0) - (v < 0.0);
}
bool onSegment(Vec2 a, Vec2 b, Vec2 p) {
    return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
           p.y <= std::max(a.y, b.y);
}
}  // namespace

bool segmentsIntersect(Vec2 p1, Vec2 p2, Vec2 q1, Vec2 q2) {
    const int o1 = orientation(p1, p2, q1);
    const int o2 = orientation(p1, p2, q2);
    const int o3 = orientation(q1, q2, p1);
    const int o4 = orientation(q1, q2, p2);
    if (o1 != o2 && o3 != o4) return true;
    if (o1 == 0 && onSegment(p1, p2, q1)) return true;
    if (o2 == 0 && onSegment(p1, p2, q2)) return true;
    if (o3 == 0 && onSegment(q1, q2, p1)) return true;
    if (o4 == 0 && onSegment(q1, q2, p2)) return true;
    return false;
}

double signedArea(const Polygon& poly) {
    double a = 0.0;
    for (std::size_t i = 0, n = poly.size(); i < n; ++i) a += cross(poly[i], poly[(i + 1) % n]);
    return 0.5 * a;
}

bool isSelfIntersecting(const Polygon& poly) {
    const std::size_t n = poly.size();
    if (n < 4) return false;
    for (std::size_t i = 0; i < n; ++i) {
        const Vec2 a = poly[i], b = poly[(i + 1) % n];
        for (std::size_t j = i + 1; j < n; ++j) {
            // Neighbouring edges share a vertex; skip them.
            if (j == i + 1 || (i == 0 && j == n - 1)) continue;
            if (segmentsIntersect(a, b, poly[j], poly[(j + 1) % n])) return true;
        }
    }
    return false;
}

Polygon convexHull(std::vector<Vec2> pts) {
    std::sort(pts.begin(), pts.end(),
              [](Vec2 a, Vec2 b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    pts.erase(std::unique(pts.begin(), pts.end(),
                          [](Vec2 a, Vec2 b) { return a.x == b.x && a.y == b.y; }),
              pts.end());
    if (pts.size() < 3) return pts;
    Polygon hull(2 * pts.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(hull[k - 1] - hull[k - 2], pts[i] - hull[k - 2]) <= 0.0) --k;
        hull[k++] = pts[i];
    }
    for (std::size_t i = pts.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(hull[k - 1] - hull[k - 2], pts[i - 1] - hull[k - 2]) <= 0.0) --k;
        hull[k++] = pts[i - 1];
    }
    hull.resize(k - 1);
    return hull;
}

Polygon withoutRepeatedVertices(const Polygon& poly) {
    Polygon out;
    for (const Vec2& p : poly)
        if (out.empty() || out.back().x != p.x || out.back().y != p.y) out.push_back(p);
    while (out.size() > 1 && out.back().x == out.front().x && out.back().y == out.front().y)
        out.pop_back();
    return out;
}

std::string polygonProblem(const Polygon& poly) {
    const Polygon p = withoutRepeatedVertices(poly);
    if (p.size() < 3) return "it has fewer than three distinct vertices";
    for (const Vec2& v : p)
        if (!std::isfinite(v.x) || !std::isfinite(v.y))
            return "it has a vertex that is not a finite number";
    if (std::fabs(signedArea(p)) < 1e-6) return "it encloses no area";
    return {};
}

WalkableArea::WalkableArea(std::vector<Polygon> polygons) : polygons_(std::move(polygons)) {
    bool first = true;
    for (const Polygon& poly : polygons_)
        for (const Vec2& v : poly) {
            if (first) {
                bounds_ = {v, v};
                first = false;
            }
            bounds_.min.x = std::min(bounds_.min.x, v.x);
            bounds_.min.y = std::min(bounds_.min.y, v.y);
            bounds_.max.x = std::max(bounds_.max.x, v.x);
            bounds_.max.y = std::max(bounds_.max.y, v.y);
        }
}

bool WalkableArea::contains(Vec2 p) const {
    bool inside = false;
    for (const Polygon& poly : polygons_) {
        const std::size_t n = poly.size();
        for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
            const Vec2 a = poly[i], b = poly[j];
            if ((a.y > p.y) != (b.y > p.y)) {
                const double xCross = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
                if (p.x < xCross) inside = !inside;
            }
        }
    }
    return inside;
}

std::vector<std::uint8_t> WalkableArea::containsEach(const std::vector<Vec2>& points) const {
    // The points sorted by y: each edge meets only the points in its y span,
    // found by binary search, so a floor of many short edges costs little
    // per point. Each decision is the one contains() makes, bit for bit.
    std::vector<std::size_t> order(points.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::sort(order.begin(), order.end(),
              [&](std::size_t l, std::size_t r) { return points[l].y < points[r].y; });
    std::vector<double> ys(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) ys[k] = points[order[k]].y;
    std::vector<std::uint8_t> inside(points.size(), 0);
    for (const Polygon& poly : polygons_) {
        const std::size_t n = poly.size();
        for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
            const Vec2 a = poly[i], b = poly[j];
            // Crossed at p.y when exactly one end lies above it: min <= p.y < max.
            const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
            auto k = std::lower_bound(ys.begin(), ys.end(), lo);
            const auto end = std::lower_bound(k, ys.end(), hi);
            for (; k != end; ++k) {
                const Vec2 p = points[order[static_cast<std::size_t>(k - ys.begin())]];
                if ((a.y > p.y) == (b.y > p.y)) continue;
                const double xCross = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
                if (p.x < xCross) inside[order[static_cast<std::size_t>(k - ys.begin())]] ^= 1;
            }
        }
    }
    return inside;
}

std::vector<Segment> WalkableArea::edges() const {
    std::vector<Segment> out;
    for (const Polygon& poly : polygons_)
        for (std::size_t i = 0, n = poly.size(); i < n; ++i)
            out.push_back({poly[i], poly[(i + 1) % n]});
    return out;
}

double WalkableArea::area() const {
    // Even-odd: outermost polygons count positive, holes negative. With
    // nesting only (no overlaps) the depth of a polygon decides its sign.
    double total = 0.0;
    for (std::size_t i = 0; i < polygons_.size(); ++i) {
        int depth = 0;
        for (std::size_t j = 0; j < polygons_.size(); ++j) {
            if (i == j || polygons_[i].empty()) continue;
            WalkableArea other({polygons_[j]});
            if (other.contains(polygons_[i][0])) ++depth;
        }
        const double a = std::fabs(signedArea(polygons_[i]));
        total += (depth % 2 == 0) ? a : -a;
    }
    return total;
}

}  // namespace crowd
