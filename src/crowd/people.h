#pragma once
// The state of the people as one step of the simulation sees it: per person
// (by index into CrowdSetup::people) what moves and what the person wants,
// and everyone inside copied into the order of the neighbour grid's cells,
// where the forces are added up.

#include <cstddef>
#include <vector>

namespace crowd {

// What moves, m and m/s.
struct Body {
    double x = 0.0, y = 0.0, vx = 0.0, vy = 0.0;
};

// What a person wants and where they stand with it, kept together so that a
// step touches one or two cache lines per person.
struct Intent {
    double navX = 0.0, navY = 0.0;      // desired direction from the navigation field
    double fluctX = 0.0, fluctY = 0.0;  // fluctuation force, N
    double desiredSpeed = 0.0;          // m/s, as set up
    double speedNow = 0.0;  // desired speed of the current step (followers catch up), m/s
    double heldSpeed = 0.0;  // desired speed after the headway rule, last step, m/s
    double steerX = 0.0, steerY = 0.0;  // turn away from those ahead, last step
    double walkLeft = 0.0;   // walk left to the exit, m (0 without exits)
    double startsAt = 0.0;   // s: before it (pre-movement) no walking and no fluctuation
    int leader = -1;         // the person followed, -1: nobody
    int follower = -1;       // the person following this one (a child's parent), -1: nobody
    int target = -1;         // the exit walked to, -1: none
    int exitUsed = -1;       // the exit left by, -1 while inside
};

// Everyone inside, in the order of the cells (rebuilt every step), so that
// neighbours lie close together in memory. Index s here is "sorted index".
struct CellOrderedCrowd {
    std::vector<int> person;  // index into the per-person arrays
    std::vector<double> x, y, vx, vy, radius;
    std::vector<double> dirX, dirY;   // desired direction of this step
    std::vector<double> speed;        // desired speed of this step, m/s
    std::vector<double> walkLeft;     // walk left to the exit, m
    std::vector<double> ax, ay;       // force (N), then acceleration (m/s^2)
    std::vector<double> heldSpeed;    // desired speed after the headway rule, m/s

    std::size_t size() const { return person.size(); }
    void resize(std::size_t n) {
        for (auto* v : {&x, &y, &vx, &vy, &radius, &dirX, &dirY, &speed, &walkLeft, &ax, &ay,
                        &heldSpeed})
            v->resize(n);
        person.resize(n);
    }
    // Copies the bodies of `order` (person indices, in cell order) in.
    void gather(const std::vector<int>& order, const std::vector<Body>& bodies,
                const std::vector<double>& radii) {
        resize(order.size());
        gather(order, bodies, radii, 0, order.size());
    }
    // The same for the sorted indices [from, to), the crowd already sized.
    void gather(const std::vector<int>& order, const std::vector<Body>& bodies,
                const std::vector<double>& radii, std::size_t from, std::size_t to) {
        for (std::size_t s = from; s < to; ++s) {
            const int i = order[s];
            person[s] = i;
            x[s] = bodies[i].x;
            y[s] = bodies[i].y;
            vx[s] = bodies[i].vx;
            vy[s] = bodies[i].vy;
            radius[s] = radii[i];
        }
    }
};

}  // namespace crowd
