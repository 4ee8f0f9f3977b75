#pragma once
// Small builders for crowd scenarios used across the crowd tests.

#include <vector>

#include "crowd/model.h"
#include "crowd/placement.h"
#include "crowd/rng.h"
#include "crowd/simulation.h"

namespace crowdtest {

inline crowd::Polygon rect(double x0, double y0, double x1, double y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

inline crowd::PersonSpec person(double x, double y, double speed = 1.34, double radius = 0.3) {
    crowd::PersonSpec p;
    p.start = {x, y};
    p.desiredSpeed = speed;
    p.radius = radius;
    return p;
}

// Fills `region` with n people at random free spots (radii 0.25 to 0.35,
// speeds uniform in [vmin, vmax)). When the area is full, the rest start at
// a random spot of the region, overlapping others (a crush from the start).
inline void fill(crowd::CrowdSetup& setup, const crowd::Polygon& region, int n, std::uint64_t seed,
                 double vmin = 1.08, double vmax = 1.60) {
    crowd::Rng rng(seed);
    crowd::Placer placer(setup.area);
    for (const crowd::PersonSpec& p : setup.people) placer.add(p.start, p.radius);
    const crowd::WalkableArea reg({region});
    const crowd::Box b = reg.bounds();
    for (int i = 0; i < n; ++i) {
        const double r = rng.uniform(setup.params.radiusMin, setup.params.radiusMax);
        crowd::Vec2 p{};
        bool ok = false;
        for (int t = 0; t < 500 && !ok; ++t) {
            p = {rng.uniform(b.min.x, b.max.x), rng.uniform(b.min.y, b.max.y)};
            ok = reg.contains(p) && placer.isFree(p, r);
        }
        if (!ok) {
            if (const auto q = placer.nearestFree(p, r)) p = *q;
        }
        placer.add(p, r);
        setup.people.push_back(person(p.x, p.y, rng.uniform(vmin, vmax), r));
    }
}

}  // namespace crowdtest
