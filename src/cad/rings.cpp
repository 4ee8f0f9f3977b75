#include "cad/rings.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include "platform/input_error.h"
#include "platform/number_text.h"

namespace cad {

namespace {

double distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The ends of the open pieces in a grid of cells one tolerance wide: an end
// within the tolerance of a point lies in the point's cell or a neighbour.
class EndGrid {
  public:
    EndGrid(const std::vector<Piece>& pieces, const std::vector<std::size_t>& open, double cell)
        : pieces_(pieces), open_(open), cell_(cell) {
        for (std::size_t k = 0; k < open.size(); ++k)
            for (int side = 0; side < 2; ++side) cells_[key(end(k, side))].push_back(2 * k + side);
    }

    Point end(std::size_t k, int side) const {
        const auto& pts = pieces_[open_[k]].points;
        return side == 0 ? pts.front() : pts.back();
    }

    // An end of an unused piece within `tolerance` of p (the nearest), or -1.
    long long find(Point p, double tolerance, const std::vector<char>& used) const {
        const std::int64_t cx = coord(p.x), cy = coord(p.y);
        long long best = -1;
        double bestDistance = tolerance;
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy) {
                const auto it = cells_.find(pack(cx + dx, cy + dy));
                if (it == cells_.end()) continue;
                for (std::size_t e : it->second) {
                    if (used[e / 2]) continue;
                    const double d = distance(p, end(e / 2, static_cast<int>(e % 2)));
                    if (d <= bestDistance) {
                        bestDistance = d;
                        best = static_cast<long long>(e);
                    }
                }
            }
        return best;
    }

  private:
    std::int64_t coord(double v) const { return static_cast<std::int64_t>(std::floor(v / cell_)); }
    static std::uint64_t pack(std::int64_t x, std::int64_t y) {
        return (static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull) ^ static_cast<std::uint64_t>(y);
    }
    std::uint64_t key(Point p) const { return pack(coord(p.x), coord(p.y)); }

    const std::vector<Piece>& pieces_;
    const std::vector<std::size_t>& open_;
    double cell_;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> cells_;
};

}  // namespace

std::string positionText(Point p) {
    std::string text = "(";
    text += platform::fixedText(p.x, 3);
    text += ", ";
    text += platform::fixedText(p.y, 3);
    text += ") m";
    return text;
}

std::vector<HandledRing> closeRings(const std::vector<Piece>& pieces, double tolerance,
                                    const std::string& label, const std::string& layer) {
    std::vector<HandledRing> rings;
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        if (p.points.size() < 2) continue;
        const bool meets = distance(p.points.front(), p.points.back()) <= tolerance;
        if (p.closed || (meets && p.points.size() > 2)) {
            HandledRing r{p.points, p.handle, p.type, 1};
            if (!p.closed || meets) {
                if (r.points.size() > 1 && distance(r.points.front(), r.points.back()) <= tolerance)
                    r.points.pop_back();
            }
            rings.push_back(std::move(r));
        } else {
            open.push_back(i);
        }
    }
    if (open.empty()) return rings;

    const EndGrid grid(pieces, open, std::max(tolerance, 1e-9));
    std::vector<char> used(open.size(), 0);
    for (std::size_t k = 0; k < open.size(); ++k) {
        if (used[k]) continue;
        used[k] = 1;
        const Piece& first = pieces[open[k]];
        HandledRing ring{first.points, first.handle, first.type, 1};
        const Point start = ring.points.front();
        std::size_t lastPiece = k;
        for (;;) {
            const Point tail = ring.points.back();
            if (ring.pieces > 1 && distance(tail, start) <= tolerance) {
                if (distance(tail, start) == 0.0) ring.points.pop_back();
                break;
            }
            const long long e = grid.find(tail, tolerance, used);
            if (e < 0) {
                // The loose end, and the nearest end of any other piece.
                const Piece& loose = pieces[open[lastPiece]];
                std::string nearest;
                double best = std::numeric_limits<double>::infinity();
                for (std::size_t m = 0; m < open.size(); ++m) {
                    if (m == lastPiece) continue;
                    for (int side = 0; side < 2; ++side) {
                        const Point q = grid.end(m, side);
                        const double d = distance(tail, q);
                        if (d < best) {
                            best = d;
                            nearest = pieces[open[m]].type + " " + pieces[open[m]].handle +
                                      " ends " + platform::fixedText(d, 3) + " m away at " +
                                      positionText(q);
                        }
                    }
                }
                throw platform::InputError(
                    label + ": layer " + layer + ": the outline through " + loose.type + " " +
                    loose.handle + " does not close: it ends at " + positionText(tail) +
                    ", where no other line, arc or polyline of the layer begins" +
                    (nearest.empty() ? std::string(" (it is the layer's only open piece)")
                                     : " (the nearest, " + nearest + ")") +
                    "; ends join within " + platform::fixedText(tolerance * 1000.0, 1) + " mm");
            }
            const std::size_t m = static_cast<std::size_t>(e) / 2;
            const bool atStart = e % 2 == 0;
            used[m] = 1;
            lastPiece = m;
            const auto& pts = pieces[open[m]].points;
            // A gap within the tolerance is bridged by a straight edge; ends
            // that coincide are kept once.
            const bool same = distance(tail, atStart ? pts.front() : pts.back()) == 0.0;
            if (atStart) {
                ring.points.insert(ring.points.end(), pts.begin() + (same ? 1 : 0), pts.end());
            } else {
                ring.points.insert(ring.points.end(), pts.rbegin() + (same ? 1 : 0), pts.rend());
            }
            ++ring.pieces;
        }
        rings.push_back(std::move(ring));
    }
    return rings;
}

}  // namespace cad
