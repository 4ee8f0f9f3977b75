#include "crowd/integrator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace crowd {

void advance(const CellOrderedCrowd& crowd, const NeighbourGrid& grid, double dt,
             double speedCapFactor, std::vector<Body>& bodies, std::size_t from, std::size_t to) {
    const double period = grid.period();
    const double start = grid.origin().x;
    for (std::size_t s = from; s < to; ++s) {
        Body& b = bodies[crowd.person[s]];
        double vx = b.vx + crowd.ax[s] * dt;
        double vy = b.vy + crowd.ay[s] * dt;
        const double vmax = speedCapFactor * std::max(crowd.speed[s], kMinSpeedCap);
        const double sp2 = vx * vx + vy * vy;
        if (sp2 > vmax * vmax && sp2 <= std::numeric_limits<double>::max()) {
            const double f = vmax / std::sqrt(sp2);
            vx *= f;
            vy *= f;
        } else if (!(sp2 <= vmax * vmax)) {
            // Infinite or not a number: no direction to keep; nobody is
            // thrown out of the world (or into an undefined grid cell).
            vx = vy = 0.0;
        }
        b.vx = vx;
        b.vy = vy;
        b.x += vx * dt;
        b.y += vy * dt;
        if (period > 0.0) {
            if (b.x >= start + period)
                b.x -= period;
            else if (b.x < start)
                b.x += period;
        }
    }
}

}  // namespace crowd
