#include "crowd/world.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>

namespace crowd {

namespace {

constexpr double kMinDoorWidth = 0.5;
// At most this many cells in the navigation grid: up to 100 m x 100 m the
// cells are ModelParams::navCell (0.1 m), beyond that they grow with the
// floor (0.32 m at 320 m x 320 m, still half a body), so that setting up a
// field takes about a quarter of a second per exit and core on any floor
// (the fast marching settles some 4 million cells a second) and the fields
// take 17 MB each.
constexpr double kMaxNavCells = 1.1e6;

// Which cell centres of `grid` lie in `area`, row by row (scanline): each
// edge is crossed with only the rows it spans, and a row's sorted crossings
// decide its cells in one pass, so the cost grows with cells plus the rows
// the edges span, not cells times vertices. Every decision is the one
// WalkableArea::contains makes (the same crossing arithmetic with the same
// edge ends, the same even-odd parity), bit for bit.
std::vector<std::uint8_t> insideCells(const WalkableArea& area, const NavGrid& grid) {
    const int nx = grid.nx(), ny = grid.ny();
    std::vector<std::vector<double>> rows(static_cast<std::size_t>(ny));
    const double y0 = grid.centre(0, 0).y, h = grid.cell();
    for (const Polygon& poly : area.polygons()) {
        const std::size_t n = poly.size();
        for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
            const Vec2 a = poly[i], b = poly[j];
            if (a.y == b.y) continue;  // crossed by no row (the test below never holds)
            const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
            // Rows whose centre may lie in [lo, hi), one more each side for
            // the rounding of the division; the exact test decides.
            const int first = std::max(0, static_cast<int>(std::floor((lo - y0) / h)) - 1);
            const int last = std::min(ny - 1, static_cast<int>(std::ceil((hi - y0) / h)) + 1);
            for (int r = first; r <= last; ++r) {
                const double y = grid.centre(0, r).y;
                if ((a.y > y) != (b.y > y))
                    rows[static_cast<std::size_t>(r)].push_back(a.x + (y - a.y) * (b.x - a.x) /
                                                                            (b.y - a.y));
            }
        }
    }
    std::vector<std::uint8_t> inside(grid.size(), 0);
    for (int r = 0; r < ny; ++r) {
        std::vector<double>& xs = rows[static_cast<std::size_t>(r)];
        if (xs.empty()) continue;
        std::sort(xs.begin(), xs.end());
        // Inside when an odd number of crossings lie right of the centre
        // (p.x < xCross in contains).
        std::size_t atOrLeft = 0;
        for (int i = 0; i < nx; ++i) {
            const double x = grid.centre(i, r).x;
            while (atOrLeft < xs.size() && xs[atOrLeft] <= x) ++atOrLeft;
            inside[static_cast<std::size_t>(grid.index(i, r))] = (xs.size() - atOrLeft) % 2 == 1;
        }
    }
    return inside;
}

// Subtracts the intervals `holes` (parameters in metres along an edge of
// length len) from [0, len] and returns what is left.
std::vector<std::pair<double, double>> subtract(double len,
                                                std::vector<std::pair<double, double>> holes) {
    std::sort(holes.begin(), holes.end());
    std::vector<std::pair<double, double>> out;
    double at = 0.0;
    for (const auto& [a, b] : holes) {
        if (a > at) out.push_back({at, std::min(a, len)});
        at = std::max(at, b);
    }
    if (at < len) out.push_back({at, len});
    out.erase(
        std::remove_if(out.begin(), out.end(), [](auto p) { return p.second - p.first < 1e-9; }),
        out.end());
    return out;
}

}  // namespace

std::vector<ResolvedExit> resolveExits(const WalkableArea& area,
                                       const std::vector<ExitSpec>& wanted, double doorSnap,
                                       std::vector<Segment>& wallsOut) {
    const std::vector<Segment> edges = area.edges();
    std::vector<std::vector<std::pair<double, double>>> holes(edges.size());
    std::vector<ResolvedExit> out;
    for (const ExitSpec& given : wanted) {
        ResolvedExit e;
        e.name = given.name;
        e.requested = given.segment;
        e.leavePoints = given.leavePoints;
        e.leavePointRadius = given.leavePointRadius;
        const Vec2 mid = 0.5 * (given.segment.a + given.segment.b);
        double width = std::max(kMinDoorWidth, distance(given.segment.a, given.segment.b));

        int nearest = -1;
        double best = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < edges.size(); ++i) {
            const double d = distanceToSegment(edges[i], mid);
            if (d < best) {
                best = d;
                nearest = static_cast<int>(i);
            }
        }
        bool door = false;
        if (nearest >= 0 && (best <= doorSnap || !area.contains(mid))) {
            const Segment& edge = edges[nearest];
            const double len = distance(edge.a, edge.b);
            if (len > 1e-9) {
                const Vec2 u = (1.0 / len) * (edge.b - edge.a);
                width = std::min(width, len);
                const double half = 0.5 * width;
                const double tc = std::clamp(dot(mid - edge.a, u), half, len - half);
                const Vec2 centre = edge.a + tc * u;
                Vec2 n{u.y, -u.x};
                const double probe = 0.05;
                bool ok = true;
                if (area.contains(centre + probe * n) && !area.contains(centre - probe * n)) {
                    n = -1.0 * n;
                } else if (!(area.contains(centre - probe * n) &&
                             !area.contains(centre + probe * n))) {
                    ok = false;  // both sides walkable or neither: no door here
                }
                if (ok) {
                    door = true;
                    e.kind = ExitKind::Door;
                    e.wallEdge = nearest;
                    e.along = u;
                    e.outward = n;
                    e.width = width;
                    e.opening = {centre - half * u, centre + half * u};
                    holes[nearest].push_back({tc - half, tc + half});
                }
            }
        }
        if (!door) {
            e.kind = ExitKind::Target;
            e.opening = given.segment;
            const double len = distance(given.segment.a, given.segment.b);
            e.width = len;
            e.along = len > 1e-12 ? (1.0 / len) * (given.segment.b - given.segment.a) : Vec2{1, 0};
            e.outward = {0, 0};
        }
        out.push_back(std::move(e));
    }
    wallsOut.clear();
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const Segment& edge = edges[i];
        const double len = distance(edge.a, edge.b);
        if (len < 1e-12) continue;
        if (holes[i].empty()) {
            wallsOut.push_back(edge);
            continue;
        }
        const Vec2 u = (1.0 / len) * (edge.b - edge.a);
        for (const auto& [a, b] : subtract(len, holes[i]))
            wallsOut.push_back({edge.a + a * u, edge.a + b * u});
    }
    return out;
}

World::World(const CrowdSetup& setup)
    : area_(setup.area), params_(setup.params), periodic_(setup.periodic) {
    if (area_.polygons().empty()) throw std::invalid_argument("the walkable area is empty");
    for (const Polygon& poly : area_.polygons()) {
        const std::string problem = polygonProblem(poly);
        if (!problem.empty())
            throw std::invalid_argument("a walkable polygon is unusable: " + problem);
    }
    // The model's parameters are within setup_limits' ranges: the
    // simulation checks them before it builds its world.
    const ModelParams& p = params_;

    const Box b = area_.bounds();
    if (periodic_.enabled) {
        const Polygon& poly = area_.polygons().front();
        if (area_.polygons().size() != 1 || poly.size() != 4 ||
            std::fabs(std::fabs(signedArea(poly)) - (b.max.x - b.min.x) * (b.max.y - b.min.y)) >
                1e-6)
            throw std::invalid_argument("a periodic corridor must be one axis-aligned rectangle");
        if (b.max.x - b.min.x < 3.0 * p.cutoff)
            throw std::invalid_argument("a periodic corridor must be at least three cutoffs long");
        const double len = length(periodic_.direction);
        if (!(len > 0.0)) throw std::invalid_argument("the periodic direction must not be zero");
        periodic_.direction = (1.0 / len) * periodic_.direction;
        const double ext = p.cutoff + 1.0;
        walls_.push_back({{b.min.x - ext, b.min.y}, {b.max.x + ext, b.min.y}});
        walls_.push_back({{b.min.x - ext, b.max.y}, {b.max.x + ext, b.max.y}});
        box_ = b;
        return;
    }

    exits_ = resolveExits(area_, setup.exits, p.doorSnap, walls_);
    const double margin = p.pocketDepth + 2.0 * p.navCell + 0.5;
    box_ = {{b.min.x - margin, b.min.y - margin}, {b.max.x + margin, b.max.y + margin}};
    for (const ResolvedExit& e : exits_)
        for (const Vec2& q : {e.requested.a, e.requested.b}) {
            box_.min.x = std::min(box_.min.x, q.x - 1.0);
            box_.min.y = std::min(box_.min.y, q.y - 1.0);
            box_.max.x = std::max(box_.max.x, q.x + 1.0);
            box_.max.y = std::max(box_.max.y, q.y + 1.0);
        }
    const double boxArea = (box_.max.x - box_.min.x) * (box_.max.y - box_.min.y);
    const double cell = std::max(p.navCell, std::sqrt(boxArea / kMaxNavCells));
    grid_ = NavGrid(box_, cell);

    // Walkable cells: inside the area, or in the pocket behind a door.
    std::vector<std::vector<int>> targets(exits_.size());
    const std::vector<std::uint8_t> inside = insideCells(area_, grid_);
    for (int j = 0; j < grid_.ny(); ++j)
        for (int i = 0; i < grid_.nx(); ++i) {
            const Vec2 c = grid_.centre(i, j);
            const int idx = grid_.index(i, j);
            if (inside[static_cast<std::size_t>(idx)]) {
                grid_.walkable[idx] = 1;
                continue;
            }
            for (std::size_t e = 0; e < exits_.size(); ++e)
                if (exits_[e].kind == ExitKind::Door &&
                    inPocket(exits_[e], c, 0.0, p.pocketDepth)) {
                    grid_.walkable[idx] = 1;
                    targets[e].push_back(idx);
                }
        }
    // Costlier near walls, so that paths keep clear of corners and posts.
    std::vector<float> wallDist(grid_.size(), std::numeric_limits<float>::infinity());
    const double reach = std::max(p.wallBand, cell);
    for (const Segment& w : walls_) {
        int i0, j0, i1, j1;
        grid_.cellOf({std::min(w.a.x, w.b.x) - reach, std::min(w.a.y, w.b.y) - reach}, i0, j0);
        grid_.cellOf({std::max(w.a.x, w.b.x) + reach, std::max(w.a.y, w.b.y) + reach}, i1, j1);
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) {
                const int idx = grid_.index(i, j);
                const float d = static_cast<float>(distanceToSegment(w, grid_.centre(i, j)));
                wallDist[idx] = std::min(wallDist[idx], d);
                // A cell link that crosses a wall is cut: the grid never
                // leaks through a wall thinner than a cell.
                if (i + 1 < grid_.nx() &&
                    segmentsIntersect(grid_.centre(i, j), grid_.centre(i + 1, j), w.a, w.b))
                    grid_.blockRight(i, j);
                if (j + 1 < grid_.ny() &&
                    segmentsIntersect(grid_.centre(i, j), grid_.centre(i, j + 1), w.a, w.b))
                    grid_.blockUp(i, j);
            }
    }
    if (p.wallBand > 0.0)
        for (std::size_t c = 0; c < grid_.size(); ++c) {
            const double d = wallDist[c];
            if (d < p.wallBand)
                grid_.slowness[c] =
                    static_cast<float>(1.0 + p.wallPenalty * (1.0 - d / p.wallBand));
        }
    // Target lines inside the area.
    for (std::size_t e = 0; e < exits_.size(); ++e) {
        if (exits_[e].kind != ExitKind::Target) continue;
        const double r = std::max(p.leaveDistance, 0.75 * cell);
        const Segment& s = exits_[e].opening;
        int i0, j0, i1, j1;
        grid_.cellOf({std::min(s.a.x, s.b.x) - r, std::min(s.a.y, s.b.y) - r}, i0, j0);
        grid_.cellOf({std::max(s.a.x, s.b.x) + r, std::max(s.a.y, s.b.y) + r}, i1, j1);
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i)
                if (grid_.walkable[grid_.index(i, j)] &&
                    distanceToSegment(s, grid_.centre(i, j)) <= r)
                    targets[e].push_back(grid_.index(i, j));
    }
    // One field per exit, each on its own: on as many cores as there are
    // (at most two, as the simulation uses), exits claimed in turn.
    fields_.resize(exits_.size());
    std::atomic<std::size_t> nextExit{0};
    auto computeFields = [&] {
        for (std::size_t e = nextExit++; e < exits_.size(); e = nextExit++) {
            fields_[e].compute(grid_, targets[e]);
            if (exits_[e].kind == ExitKind::Door)
                for (int idx : targets[e])
                    fields_[e].setDescent(idx, static_cast<float>(exits_[e].outward.x),
                                          static_cast<float>(exits_[e].outward.y));
        }
    };
    if (exits_.size() > 1 && std::thread::hardware_concurrency() > 1) {
        std::thread helper(computeFields);
        computeFields();
        helper.join();
    } else {
        computeFields();
    }
    // Where leaving by each exit is possible at all, for a quick no.
    for (const ResolvedExit& e : exits_) {
        Box bx{
            {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()},
            {-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}};
        auto add = [&bx](Vec2 q, double r) {
            bx.min = {std::min(bx.min.x, q.x - r), std::min(bx.min.y, q.y - r)};
            bx.max = {std::max(bx.max.x, q.x + r), std::max(bx.max.y, q.y + r)};
        };
        for (const Vec2& q : e.leavePoints) add(q, e.leavePointRadius);
        if (e.kind == ExitKind::Door) {
            // The pocket: 0.3 m of slack along the opening, pocketDepth + 0.5 out.
            const double depth = p.pocketDepth + 0.5;
            for (const Vec2 end : {e.opening.a - 0.3 * e.along, e.opening.b + 0.3 * e.along}) {
                add(end, 0.0);
                add(end + depth * e.outward, 0.0);
            }
        } else {
            add(e.opening.a, p.leaveDistance);
            add(e.opening.b, p.leaveDistance);
        }
        leaveBox_.push_back(bx);
    }
    const double boxWidth = box_.max.x - box_.min.x, boxHeight = box_.max.y - box_.min.y;
    nearExitPerMetre_ = 1.0 / std::max(1.0, std::sqrt(boxWidth * boxHeight / 4.0e6));
    nearExitColumns_ = std::max(1, static_cast<int>(std::ceil(boxWidth * nearExitPerMetre_)));
    nearExitRows_ = std::max(1, static_cast<int>(std::ceil(boxHeight * nearExitPerMetre_)));
    nearExit_.assign(static_cast<std::size_t>(nearExitColumns_) * nearExitRows_, 0);
    auto cellOf = [&](double u, double origin, int count) {
        const double c = std::floor((u - origin) * nearExitPerMetre_);
        return c < 0.0 ? 0 : c >= count - 1 ? count - 1 : static_cast<int>(c);
    };
    for (const Box& leave : leaveBox_) {
        if (!(leave.min.x <= leave.max.x && leave.min.y <= leave.max.y)) continue;  // nowhere
        const int i0 = cellOf(leave.min.x, box_.min.x, nearExitColumns_);
        const int i1 = cellOf(leave.max.x, box_.min.x, nearExitColumns_);
        const int j0 = cellOf(leave.min.y, box_.min.y, nearExitRows_);
        const int j1 = cellOf(leave.max.y, box_.min.y, nearExitRows_);
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i)
                nearExit_[static_cast<std::size_t>(j) * nearExitColumns_ + i] = 1;
    }
}

bool World::inPocket(const ResolvedExit& e, Vec2 p, double slack, double depth) const {
    const Vec2 rel = p - e.opening.a;
    const double s = dot(rel, e.along);
    const double d = dot(rel, e.outward);
    return s >= -slack && s <= e.width + slack && d > 0.0 && d <= depth;
}

int World::leavingExitNear(Vec2 p) const {
    for (std::size_t i = 0; i < exits_.size(); ++i) {
        const Box& b = leaveBox_[i];
        if (p.x < b.min.x || p.x > b.max.x || p.y < b.min.y || p.y > b.max.y) continue;
        const ResolvedExit& e = exits_[i];
        const double r2 = e.leavePointRadius * e.leavePointRadius;
        for (const Vec2& q : e.leavePoints) {
            const double dx = p.x - q.x, dy = p.y - q.y;
            if (dx * dx + dy * dy < r2) return static_cast<int>(i);
        }
        if (e.kind == ExitKind::Door) {
            if (inPocket(e, p, 0.3, params_.pocketDepth + 0.5) &&
                dot(p - e.opening.a, e.outward) >= params_.exitWalkOn && !area_.contains(p))
                return static_cast<int>(i);
        } else if (distanceToSegment(e.opening, p) <= params_.leaveDistance) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

Vec2 World::desiredDirection(int e, Vec2 p) const {
    if (periodic_.enabled || e < 0 || static_cast<std::size_t>(e) >= exits_.size())
        return periodic_.direction;
    Vec2 dir;
    if (fields_[e].direction(grid_, p, dir)) return dir;
    return straightToExit(e, p);
}

Vec2 World::desiredDirection(int e, Vec2 p, double& walkLeft) const {
    if (periodic_.enabled || e < 0 || static_cast<std::size_t>(e) >= exits_.size()) {
        walkLeft = roughWalkDistance(e, p);
        return desiredDirection(e, p);
    }
    Vec2 dir;
    if (fields_[e].directionAndDistance(grid_, p, dir, walkLeft)) return dir;
    return straightToExit(e, p);
}

// Cut off from the field: straight at the exit.
Vec2 World::straightToExit(int e, Vec2 p) const {
    const ResolvedExit& x = exits_[e];
    Vec2 target = closestPoint(x.opening, p);
    if (x.kind == ExitKind::Door) target = target + 0.5 * x.outward;
    const Vec2 d = target - p;
    const double len = length(d);
    return len > 1e-12 ? (1.0 / len) * d : Vec2{0, 0};
}

void World::prefetchNavigation(int e, Vec2 p) const {
    if (periodic_.enabled || e < 0 || static_cast<std::size_t>(e) >= fields_.size()) return;
    fields_[e].prefetch(grid_, p);
}

double World::roughWalkDistance(int e, Vec2 p) const {
    if (e < 0 || static_cast<std::size_t>(e) >= fields_.size())
        return std::numeric_limits<double>::infinity();
    return fields_[e].roughDistance(grid_, p);
}

double World::walkDistance(int e, Vec2 p) const {
    if (e < 0 || static_cast<std::size_t>(e) >= fields_.size())
        return std::numeric_limits<double>::infinity();
    return fields_[e].distanceAt(grid_, p);
}

}  // namespace crowd
