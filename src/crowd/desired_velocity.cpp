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
// A leader (a child) holds back once its follower is farther than
// kFollowNear, standing at twice that, and turns toward it once farther than
// kLeaderWaitNear (fully at kFollowSpan farther): a child waits for its parent.
constexpr double kLeaderWaitNear = 2.0;
// Holding hands: a pull of kHoldStiffness per metre beyond a gap of kHoldGap
// between the two bodies, at most kHoldMax. With less (200 N) the crush at
// a door parted families by up to 40 s.
constexpr double kHoldGap = 0.3;          // m
constexpr double kHoldStiffness = 800.0;  // N/m
constexpr double kHoldMax = 800.0;        // N
// How many people ahead the navigation cells are asked for: enough to cover
// a memory access (~100 ns) with the work of the people in between.
constexpr std::size_t kLookAhead = 8;

// The unit vector of (ex, ey) turned toward (dx, dy) / d by the weight w.
void turnToward(double& ex, double& ey, double dx, double dy, double d, double w) {
    const double bx = (1.0 - w) * ex + w * dx / d, by = (1.0 - w) * ey + w * dy / d;
    const double bl = std::sqrt(bx * bx + by * by);
    if (bl > 1e-12) {
        ex = bx / bl;
        ey = by / bl;
    }
}
}  // namespace

void setDesiredVelocities(const World& world, bool refreshDirections, double now,
                          const std::vector<Body>& bodies, const std::vector<double>& radii,
                          std::vector<Intent>& intents,
                          CellOrderedCrowd& crowd, std::size_t from, std::size_t to) {
    const bool periodic = world.periodic();
    const Box box = world.box();
    const double period = box.max.x - box.min.x;
    for (std::size_t s = from; s < to; ++s) {
        // The navigation fields of a large floor do not fit in any cache:
        // their cells for the person a few ahead are asked for now.
        if (refreshDirections && s + kLookAhead < to) {
            const std::size_t a = s + kLookAhead;
            world.prefetchNavigation(intents[crowd.person[a]].target, {crowd.x[a], crowd.y[a]});
        }
        const int i = crowd.person[s];
        Intent& me = intents[i];
        const double xi = crowd.x[s], yi = crowd.y[s];
        // Toward the exit (or along the one followed) at the desired speed.
        const int lead = me.leader;
        const bool following = lead >= 0 && intents[lead].exitUsed < 0;
        // A follower whose leader is out goes the same way (a parent after
        // its child), not to an exit of its own across the room.
        if (lead >= 0 && !following) me.target = intents[lead].exitUsed;
        if (refreshDirections) {
            const int goal = following ? intents[lead].target : me.target;
            if (goal >= 0 && !periodic) {
                double left;
                const Vec2 e = world.desiredDirection(goal, {xi, yi}, left);
                me.navX = e.x;
                me.navY = e.y;
                me.walkLeft = std::isfinite(left) ? left : 0.0;
            } else {
                const Vec2 e = world.desiredDirection(goal, {xi, yi});
                me.navX = e.x;
                me.navY = e.y;
            }
        }
        crowd.walkLeft[s] = me.walkLeft;
        double v0 = me.desiredSpeed;
        double ex = me.navX, ey = me.navY;
        // Turned away from those ahead (found by the last step's pairs).
        if (me.steerX != 0.0 || me.steerY != 0.0) {
            const double sx = ex + me.steerX, sy = ey + me.steerY;
            const double sl = std::sqrt(sx * sx + sy * sy);
            if (sl > 1e-12) {
                ex = sx / sl;
                ey = sy / sl;
            }
        }
        double fx = me.fluctX, fy = me.fluctY;
        // The other member of the family, while both are inside.
        const int other = following ? lead : me.follower;
        if (other >= 0 && intents[other].exitUsed < 0) {
            double dx = bodies[other].x - xi;
            const double dy = bodies[other].y - yi;
            if (periodic) dx -= period * std::round(dx / period);
            const double d = std::sqrt(dx * dx + dy * dy);
            if (following) {
                const double w = std::clamp((d - kFollowNear) / kFollowSpan, 0.0, 1.0);
                if (w > 0.0) {
                    turnToward(ex, ey, dx, dy, d, w);
                    v0 *= 1.0 + kFollowCatchUp * w;
                }
            } else {
                v0 *= std::clamp(1.0 - (d - kFollowNear) / kFollowNear, 0.0, 1.0);
                const double w = std::clamp((d - kLeaderWaitNear) / kFollowSpan, 0.0, 1.0);
                if (w > 0.0) turnToward(ex, ey, dx, dy, d, w);
            }
            const double stretch = d - crowd.radius[s] - radii[other] - kHoldGap;
            if (stretch > 0.0) {
                const double pull = std::min(kHoldStiffness * stretch, kHoldMax);
                fx += pull * dx / d;
                fy += pull * dy / d;
            }
        }
        const bool waiting = now < me.startsAt;
        if (waiting) v0 = 0.0;
        me.speedNow = v0;  // for the speed cap of this step
        crowd.speed[s] = v0;
        crowd.dirX[s] = ex;
        crowd.dirY[s] = ey;
        // Holding hands is a force of one's own too.
        crowd.ax[s] = waiting ? 0.0 : fx;
        crowd.ay[s] = waiting ? 0.0 : fy;
    }
}

}  // namespace crowd
