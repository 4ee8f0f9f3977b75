#include "crowd/desired_velocity.h"

#include <algorithm>
#include <cmath>

namespace crowd {

namespace {
// A follower drifts toward the one followed once farther than this (m),
// fully at kFollowSpan farther.
constexpr double kFollowNear = 1.0;
constexpr double kFollowSpan = 2.0;
constexpr double kFollowCatchUp = 0.3;  // extra desired speed when far behind, share of one's own
}  // namespace

void setDesiredVelocities(const World& world, bool refreshDirections, double now,
                          const std::vector<Body>& bodies, std::vector<Intent>& intents,
                          CellOrderedCrowd& crowd, std::size_t from, std::size_t to) {
    const bool periodic = world.periodic();
    const Box box = world.box();
    const double period = box.max.x - box.min.x;
    for (std::size_t s = from; s < to; ++s) {
        const int i = crowd.person[s];
        Intent& me = intents[i];
        const double xi = crowd.x[s], yi = crowd.y[s];
        // Toward the exit (or along the one followed) at the desired speed.
        const int lead = me.leader;
        const bool following = lead >= 0 && intents[lead].exitUsed < 0;
        if (refreshDirections) {
            const int goal = following ? intents[lead].target : me.target;
            const Vec2 e = world.desiredDirection(goal, {xi, yi});
            me.navX = e.x;
            me.navY = e.y;
            if (goal >= 0 && !periodic) {
                const double left = world.roughWalkDistance(goal, {xi, yi});
                me.walkLeft = std::isfinite(left) ? left : 0.0;
            }
        }
        crowd.walkLeft[s] = me.walkLeft;
        double v0 = me.desiredSpeed;
        double ex = me.navX, ey = me.navY;
        if (following) {
            double dx = bodies[lead].x - xi;
            const double dy = bodies[lead].y - yi;
            if (periodic) dx -= period * std::round(dx / period);
            const double d = std::sqrt(dx * dx + dy * dy);
            const double w = std::clamp((d - kFollowNear) / kFollowSpan, 0.0, 1.0);
            if (w > 0.0) {
                const double bx = (1.0 - w) * ex + w * dx / d, by = (1.0 - w) * ey + w * dy / d;
                const double bl = std::sqrt(bx * bx + by * by);
                if (bl > 1e-12) {
                    ex = bx / bl;
                    ey = by / bl;
                }
                v0 *= 1.0 + kFollowCatchUp * w;
            }
        }
        const bool waiting = now < me.startsAt;
        if (waiting) v0 = 0.0;
        me.speedNow = v0;  // for the speed cap of this step
        crowd.speed[s] = v0;
        crowd.dirX[s] = ex;
        crowd.dirY[s] = ey;
        crowd.ax[s] = waiting ? 0.0 : me.fluctX;
        crowd.ay[s] = waiting ? 0.0 : me.fluctY;
    }
}

}  // namespace crowd
