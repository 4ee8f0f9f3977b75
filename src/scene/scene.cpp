#include "scene/scene.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "crowd/world.h"
#include "scene/palette.h"

namespace scene {

crowd::Box SceneDescription::bounds() const {
    const double inf = std::numeric_limits<double>::infinity();
    crowd::Box b{{inf, inf}, {-inf, -inf}};
    auto add = [&](crowd::Vec2 p) {
        b.min.x = std::min(b.min.x, p.x);
        b.min.y = std::min(b.min.y, p.y);
        b.max.x = std::max(b.max.x, p.x);
        b.max.y = std::max(b.max.y, p.y);
    };
    for (const crowd::Polygon& poly : floor)
        for (const crowd::Vec2& v : poly) add(v);
    if (floor.empty())
        for (const crowd::Segment& w : walls) {
            add(w.a);
            add(w.b);
        }
    if (!(b.min.x <= b.max.x)) return crowd::Box{{-1, -1}, {1, 1}};
    return b;
}

SceneDescription describeWorld(const crowd::World& world,
                               const std::vector<crowd::PersonSpec>& people,
                               const std::vector<std::string>& exitNames) {
    SceneDescription d;
    d.floor = world.area().polygons();
    d.walls = world.walls();
    for (std::size_t e = 0; e < world.exits().size(); ++e) {
        const crowd::ResolvedExit& x = world.exits()[e];
        d.exits.push_back({e < exitNames.size() ? exitNames[e] : x.name,
                           x.kind == crowd::ExitKind::Door, x.opening});
    }
    for (const crowd::PersonSpec& p : people) d.people.push_back({p.role, p.radius});
    return d;
}

std::vector<crowd::Segment> wallsWithoutGaps(const std::vector<crowd::Polygon>& floor,
                                             const std::vector<SceneExit>& exits) {
    constexpr double kOnLine = 1e-3;  // m
    std::vector<crowd::Segment> out;
    for (const crowd::Polygon& poly : floor)
        for (std::size_t i = 0; i < poly.size(); ++i) {
            const crowd::Vec2 a = poly[i], b = poly[(i + 1) % poly.size()];
            const crowd::Vec2 d = b - a;
            const double len = crowd::length(d);
            if (len <= 0.0) continue;
            // The parts of [0, len] along the edge that gaps cover.
            std::vector<std::pair<double, double>> cut;
            for (const SceneExit& e : exits) {
                if (!e.door) continue;
                auto offLine = [&](crowd::Vec2 p) {
                    return std::fabs(crowd::cross(d, p - a)) / len;
                };
                if (offLine(e.opening.a) > kOnLine || offLine(e.opening.b) > kOnLine) continue;
                double s0 = crowd::dot(e.opening.a - a, d) / len;
                double s1 = crowd::dot(e.opening.b - a, d) / len;
                if (s0 > s1) std::swap(s0, s1);
                s0 = std::max(s0, 0.0);
                s1 = std::min(s1, len);
                if (s1 > s0) cut.push_back({s0, s1});
            }
            std::sort(cut.begin(), cut.end());
            double from = 0.0;
            auto emit = [&](double s0, double s1) {
                if (s1 - s0 > 1e-9) out.push_back({a + (s0 / len) * d, a + (s1 / len) * d});
            };
            for (const auto& [s0, s1] : cut) {
                emit(from, s0);
                from = std::max(from, s1);
            }
            emit(from, len);
        }
    return out;
}

SceneFrame interpolate(const SceneFrame& a, const SceneFrame& b, double t) {
    const double span = b.time - a.time;
    const double alpha = span > 0.0 ? std::clamp((t - a.time) / span, 0.0, 1.0) : 1.0;
    SceneFrame out;
    out.time = t;
    out.people.reserve(a.people.size());
    out.positions.reserve(a.people.size());
    std::size_t j = 0;
    for (std::size_t i = 0; i < a.people.size(); ++i) {
        const int id = a.people[i];
        while (j < b.people.size() && b.people[j] < id) {
            // Only in b: somebody who came in (a periodic corridor's other end).
            if (alpha >= 0.5) {
                out.people.push_back(b.people[j]);
                out.positions.push_back(b.positions[j]);
            }
            ++j;
        }
        const crowd::Vec2 p = a.positions[i];
        if (j < b.people.size() && b.people[j] == id) {
            const crowd::Vec2 q = b.positions[j];
            const bool jump = std::fabs(q.x - p.x) > 1.0 || std::fabs(q.y - p.y) > 1.0;
            out.people.push_back(id);
            out.positions.push_back(jump ? (alpha < 0.5 ? p : q) : p + alpha * (q - p));
            ++j;
        } else if (alpha < 0.5) {
            out.people.push_back(id);
            out.positions.push_back(p);
        }
    }
    for (; j < b.people.size() && alpha >= 0.5; ++j) {
        out.people.push_back(b.people[j]);
        out.positions.push_back(b.positions[j]);
    }
    return out;
}

void FrameTrack::append(SceneFrame frame) { frames_.push_back(std::move(frame)); }

SceneFrame FrameTrack::at(double t) const {
    if (frames_.empty()) return {};
    if (t <= frames_.front().time) return frames_.front();
    if (t >= frames_.back().time) return frames_.back();
    const auto it = std::upper_bound(frames_.begin(), frames_.end(), t,
                                     [](double v, const SceneFrame& f) { return v < f.time; });
    const SceneFrame& b = *it;
    const SceneFrame& a = *(it - 1);
    if (t == a.time) return a;
    return interpolate(a, b, t);
}

void FrameTrack::dropBefore(double t) {
    auto it = std::upper_bound(frames_.begin(), frames_.end(), t,
                               [](double v, const SceneFrame& f) { return v < f.time; });
    if (it == frames_.begin()) return;
    frames_.erase(frames_.begin(), it - 1);
}

Colour roleColour(crowd::Role role) { return rolePaint(role).unit(); }

double roleHeight(crowd::Role role) {
    switch (role) {
        case crowd::Role::Child:
        case crowd::Role::JoggingChild:
            return 1.25;
        case crowd::Role::Parent:
        case crowd::Role::Adult:
        case crowd::Role::Person:
            break;
    }
    return 1.75;
}

}  // namespace scene
