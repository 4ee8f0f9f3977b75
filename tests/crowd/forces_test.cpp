// The forces of one step, as the grid and the two parts add them up, against
// a straightforward evaluation over all pairs and all walls.
#include "crowd/forces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "crowd/fast_exp.h"
#include "crowd/pair_kernel.h"
#include "crowd/rng.h"

using namespace crowd;

namespace {

struct Person {
    double x, y, vx, vy, r;
    double dirX, dirY, speed, walkLeft;
    double pushX, pushY;  // the force a step starts with (the fluctuation), N
};

struct Scene {
    Box box;
    bool periodic = false;
    std::vector<Segment> walls;
    std::vector<Person> people;
    ModelParams params;
};

// Accelerations of everyone (m/s^2) and the desired speed after the
// headway rule, evaluated over all pairs and all walls.
struct Reference {
    std::vector<double> ax, ay, held;
    std::vector<double> steerX, steerY;  // the turn away from those ahead
};

Reference allPairs(const Scene& scene) {
    const ModelParams& p = scene.params;
    auto expOf = [](double x) { return std::exp(x); };
    const double period = scene.box.max.x - scene.box.min.x;
    const std::size_t n = scene.people.size();
    const double budget = 0.5 * p.mass / p.dt;
    auto offset = [&](const Person& a, const Person& b, double& dx, double& dy) {
        dx = a.x - b.x;
        dy = a.y - b.y;
        if (scene.periodic) dx -= period * std::round(dx / period);
        return dx * dx + dy * dy < p.cutoff * p.cutoff;
    };
    // Damper strengths of every person's contacts, walls and people.
    std::vector<double> damping(n, 0.0);
    auto wallContact = [&](const Person& a, const Segment& w, Vec2& normal, double& d) {
        const Vec2 foot = closestPoint(w, {a.x, a.y});
        const double dx = a.x - foot.x, dy = a.y - foot.y, d2 = dx * dx + dy * dy;
        if (d2 >= p.cutoff * p.cutoff || d2 < 1e-18) return false;
        d = std::sqrt(d2);
        normal = {dx / d, dy / d};
        return true;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const Person& a = scene.people[i];
        for (const Segment& w : scene.walls) {
            Vec2 nrm;
            double d;
            if (wallContact(a, w, nrm, d) && a.r > d) damping[i] += p.kappa * (a.r - d);
        }
        for (std::size_t j = 0; j < n; ++j) {
            double dx, dy;
            if (j == i || !offset(a, scene.people[j], dx, dy)) continue;
            const double overlap = a.r + scene.people[j].r - std::sqrt(dx * dx + dy * dy);
            if (overlap > 0.0) damping[i] += p.kappa * overlap;
        }
    }
    Reference out{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n),
                  std::vector<double>(n), std::vector<double>(n)};
    for (std::size_t i = 0; i < n; ++i) {
        const Person& a = scene.people[i];
        double fx = a.pushX, fy = a.pushY;
        double ahead = std::numeric_limits<double>::infinity();
        for (const Segment& w : scene.walls) {
            Vec2 nrm;
            double d;
            if (!wallContact(a, w, nrm, d)) continue;
            const double overlap = a.r - d;
            double f = p.A * expOf(overlap / p.B);
            if (overlap > 0.0) {
                f += p.k * overlap;
                const double c = p.kappa * overlap * std::min(1.0, budget / damping[i]);
                const double tx = -nrm.y, ty = nrm.x;
                fx -= c * (a.vx * tx + a.vy * ty) * tx;
                fy -= c * (a.vx * tx + a.vy * ty) * ty;
            }
            fx += f * nrm.x;
            fy += f * nrm.y;
        }
        for (std::size_t j = 0; j < n; ++j) {
            const Person& b = scene.people[j];
            double dx, dy;
            if (j == i || !offset(a, b, dx, dy)) continue;
            double d = std::sqrt(dx * dx + dy * dy);
            double nx = 1.0, ny = 0.0;  // from b to a; along x when on top of each other
            if (d > 1e-9) {
                nx = dx / d;
                ny = dy / d;
            } else {
                d = 0.0;
                if (j < i) nx = -1.0;  // the pair parts: the first one along +x
            }
            // Does b walk a's way, stand in a's path (its disc meets the
            // body-wide strip along a's walking line), and is it no farther
            // from its exit? Then a can walk on until the bodies touch.
            const double l = a.r + b.r;
            const double along = -(dx * a.dirX + dy * a.dirY);
            const double side2 = dx * dx + dy * dy - along * along;
            const bool sameWay = a.dirX * b.dirX + a.dirY * b.dirY > 0.0;
            const double strip = p.headwayWidth * l;
            if (p.headwayTime > 0.0 && sameWay && along > 0.0 && side2 < strip * strip &&
                b.walkLeft <= a.walkLeft)
                ahead = std::min(ahead, along - std::sqrt(l * l - side2));
            const double overlap = a.r + b.r - d;
            // b ahead of a and within the steering's reach: a turns away,
            // by the part of n across a's way.
            const double reach = 1.0 + overlap / p.steerRange;
            const double toward = nx * a.dirX + ny * a.dirY;
            if (p.steerStrength > 0.0 && reach > 0.0 && toward < 0.0) {
                const double w = p.steerStrength * reach * reach;
                out.steerX[i] += w * (nx - toward * a.dirX);
                out.steerY[i] += w * (ny - toward * a.dirY);
            }
            const double cosBehind = a.dirX * nx + a.dirY * ny;  // b behind a: 1
            double f = p.A * expOf(overlap / p.B) *
                       (p.lambda + 0.5 * (1.0 - p.lambda) * (1.0 - cosBehind));
            if (overlap > 0.0) {
                f += p.k * overlap;
                const double c =
                    p.kappa * overlap * std::min(1.0, budget / std::max(damping[i], damping[j]));
                const double tx = -ny, ty = nx;
                const double slide = (b.vx - a.vx) * tx + (b.vy - a.vy) * ty;
                fx += c * slide * tx;
                fy += c * slide * ty;
            }
            fx += f * nx;
            fy += f * ny;
        }
        double v0 = a.speed;
        if (p.headwayTime > 0.0) v0 = std::min(v0, std::max(0.0, ahead / p.headwayTime));
        out.held[i] = v0;
        out.ax[i] = fx / p.mass + (v0 * a.dirX - a.vx) / p.tau;
        out.ay[i] = fy / p.mass + (v0 * a.dirY - a.vy) / p.tau;
    }
    return out;
}

// The same step through the grid, in the two parts, the pairs split at the
// given row (the people at half of them).
// The forces through the grid as a step finds them; steering, when given,
// gets each sorted person's turn away from those ahead.
void throughTheGrid(const Scene& scene, int rowSplit, CellOrderedCrowd& crowd,
                    Isa isa = bestIsa(), std::vector<Vec2>* steering = nullptr) {
    NeighbourGrid grid(scene.box, scene.params.cutoff, scene.periodic);
    const WallGrid walls(scene.walls, grid, scene.params.cutoff);
    std::vector<Body> bodies;
    std::vector<double> radii;
    std::vector<int> everyone, order;
    for (const Person& a : scene.people) {
        everyone.push_back(static_cast<int>(bodies.size()));
        bodies.push_back({a.x, a.y, a.vx, a.vy});
        radii.push_back(a.r);
    }
    grid.sort(everyone, bodies, order);
    crowd.gather(order, bodies, radii);
    for (std::size_t s = 0; s < crowd.size(); ++s) {
        const Person& a = scene.people[crowd.person[s]];
        crowd.dirX[s] = a.dirX;
        crowd.dirY[s] = a.dirY;
        crowd.speed[s] = a.speed;
        crowd.walkLeft[s] = a.walkLeft;
        crowd.ax[s] = a.pushX;
        crowd.ay[s] = a.pushY;
    }
    Forces forces(scene.params, isa);
    forces.begin(crowd.size());
    const std::size_t half = crowd.size() / 2;
    forces.addWalls(0, crowd, grid, walls, 0, half);
    forces.addWalls(1, crowd, grid, walls, half, crowd.size());
    rowSplit = std::min(rowSplit, grid.rows());
    forces.addPairs(1, crowd, grid, rowSplit, grid.rows());
    forces.addPairs(0, crowd, grid, 0, rowSplit);
    forces.finish(crowd);
    if (steering) {
        steering->clear();
        for (std::size_t s = 0; s < crowd.size(); ++s) steering->push_back(forces.steering(s));
    }
}

// A crowd at random in the box, dense enough for many contacts, with a few
// people on top of each other, some at exactly the range, and some pressed
// into the walls.
Scene randomScene(Box box, bool periodic, int n, std::uint64_t seed, double lambda) {
    Scene s;
    s.box = box;
    s.periodic = periodic;
    s.params.lambda = lambda;
    const Vec2 a = box.min, c = box.max, b{c.x, a.y}, d{a.x, c.y};
    s.walls = {{a, b}, {c, d}};
    if (!periodic) s.walls.insert(s.walls.end(), {{b, c}, {d, a}});
    const Vec2 mid{(a.x + c.x) / 2, (a.y + c.y) / 2};
    s.walls.push_back({{mid.x - 0.4, mid.y}, {mid.x + 0.4, mid.y + 0.3}});  // a pillar's face
    Rng rng(seed);
    for (int i = 0; i < n; ++i) {
        Person p{};
        p.x = rng.uniform(a.x, c.x);
        p.y = rng.uniform(a.y + 0.1, c.y - 0.1);
        p.r = rng.uniform(0.25, 0.35);
        p.vx = rng.uniform(-1.5, 1.5);
        p.vy = rng.uniform(-1.5, 1.5);
        const double angle = rng.uniform(0, 6.283185307179586);
        p.dirX = std::cos(angle);
        p.dirY = std::sin(angle);
        p.speed = rng.uniform(0.0, 2.0);
        p.walkLeft = static_cast<double>(rng.below(5));  // ties as well
        p.pushX = rng.uniform(-50, 50);
        p.pushY = rng.uniform(-50, 50);
        s.people.push_back(p);
    }
    Person twin = s.people[0];  // on top of someone
    twin.vx = -twin.vx;
    s.people.push_back(twin);
    Person atRange = s.people[1];
    atRange.x += s.params.cutoff;
    if (atRange.x >= c.x) atRange.x = periodic ? atRange.x - (c.x - a.x) : c.x;
    s.people.push_back(atRange);
    return s;
}

void expectAgreement(const Scene& scene, int rowSplit) {
    const Reference ref = allPairs(scene);
    CellOrderedCrowd crowd;
    std::vector<Vec2> steering;
    throughTheGrid(scene, rowSplit, crowd, bestIsa(), &steering);
    ASSERT_EQ(crowd.size(), scene.people.size());
    for (std::size_t s = 0; s < crowd.size(); ++s) {
        const int i = crowd.person[s];
        const double tol = 1e-9 * (1.0 + std::fabs(ref.ax[i]) + std::fabs(ref.ay[i]));
        EXPECT_NEAR(crowd.ax[s], ref.ax[i], tol) << "person " << i;
        EXPECT_NEAR(crowd.ay[s], ref.ay[i], tol) << "person " << i;
        EXPECT_NEAR(crowd.heldSpeed[s], ref.held[i], 1e-12) << "person " << i;
        EXPECT_NEAR(steering[s].x, ref.steerX[i], 1e-9) << "person " << i;
        EXPECT_NEAR(steering[s].y, ref.steerY[i], 1e-9) << "person " << i;
    }
}

}  // namespace

TEST(Forces, OneStepAgreesWithAllPairsInAClosedRoom) {
    for (std::uint64_t seed = 1; seed <= 3; ++seed)
        for (const double lambda : {1.0, 0.3})
            for (const int rowSplit : {0, 3, 100})  // part 0 with none, some or all rows
                expectAgreement(randomScene({{0, 0}, {8, 6}}, false, 90, seed, lambda), rowSplit);
}

TEST(Forces, OneStepAgreesWithAllPairsAcrossThePeriodicWrap) {
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        expectAgreement(randomScene({{0, 0}, {12, 2}}, true, 50, seed, 1.0), 1);
        expectAgreement(randomScene({{-1, 0}, {2.6, 2}}, true, 14, seed, 0.5), 1);  // three cells
    }
}

// The two builds of the pair kernel do the same operations in the same
// order on every lane: the same bits, not merely close. Dense crowds with
// bodies pressed together and on top of each other, people exactly at the
// range, the periodic wrap, both kinds of repulsion, the headway rule on
// and off.
TEST(Forces, TheVectorisedAndThePortableKernelGiveTheSameBits) {
    if (!isaAvailable(Isa::Avx2)) GTEST_SKIP() << "this processor has no AVX2";
    int scenes = 0;
    for (std::uint64_t seed = 1; seed <= 4; ++seed)
        for (const double headway : {0.6, 0.0}) {
            Scene closed = randomScene({{0, 0}, {8, 6}}, false, 160, seed, 0.3);
            Scene wrap = randomScene({{-1, 0}, {11, 2}}, true, 60, seed, 1.0);
            Scene narrow = randomScene({{-1, 0}, {2.6, 2}}, true, 14, seed, 0.5);  // three cells
            for (Scene* scene : {&closed, &wrap, &narrow}) {
                scene->params.headwayTime = headway;
                CellOrderedCrowd portable, vectorised;
                std::vector<Vec2> portableSteer, vectorisedSteer;
                throughTheGrid(*scene, 2, portable, Isa::Portable, &portableSteer);
                throughTheGrid(*scene, 2, vectorised, Isa::Avx2, &vectorisedSteer);
                ASSERT_EQ(portable.size(), vectorised.size());
                for (std::size_t s = 0; s < portable.size(); ++s) {
                    ASSERT_EQ(portable.person[s], vectorised.person[s]);
                    EXPECT_EQ(portable.ax[s], vectorised.ax[s]) << "sorted person " << s;
                    EXPECT_EQ(portable.ay[s], vectorised.ay[s]) << "sorted person " << s;
                    EXPECT_EQ(portable.heldSpeed[s], vectorised.heldSpeed[s]);
                    EXPECT_EQ(portableSteer[s].x, vectorisedSteer[s].x);
                    EXPECT_EQ(portableSteer[s].y, vectorisedSteer[s].y);
                }
                ++scenes;
            }
        }
    EXPECT_EQ(scenes, 24);
}

TEST(Forces, ThePortableKernelAgreesWithAllPairs) {
    for (std::uint64_t seed = 1; seed <= 2; ++seed) {
        const Scene closed = randomScene({{0, 0}, {8, 6}}, false, 90, seed, 0.3);
        const Scene wrap = randomScene({{0, 0}, {12, 2}}, true, 50, seed, 1.0);
        for (const Scene* scene : {&closed, &wrap}) {
            const Reference ref = allPairs(*scene);
            CellOrderedCrowd crowd;
            throughTheGrid(*scene, 2, crowd, Isa::Portable);
            for (std::size_t s = 0; s < crowd.size(); ++s) {
                const int i = crowd.person[s];
                const double tol = 1e-9 * (1.0 + std::fabs(ref.ax[i]) + std::fabs(ref.ay[i]));
                EXPECT_NEAR(crowd.ax[s], ref.ax[i], tol) << "person " << i;
                EXPECT_NEAR(crowd.ay[s], ref.ay[i], tol) << "person " << i;
            }
        }
    }
}

TEST(Forces, TheFastExponentialFollowsExp) {
    double worst = 0.0;
    for (double x = -700.0; x <= 600.0; x += 0.0917)
        worst = std::max(worst, std::fabs(fastExp(x) / std::exp(x) - 1.0));
    for (double x = -45.0; x <= 12.0; x += 0.00131)  // where the repulsion lives
        worst = std::max(worst, std::fabs(fastExp(x) / std::exp(x) - 1.0));
    EXPECT_LT(worst, 1e-11);
    EXPECT_EQ(fastExp(0.0), 1.0);
    // Held at the ends: finite above (a force times it stays finite), tiny below.
    EXPECT_EQ(fastExp(1e6), fastExp(kExpHighest));
    EXPECT_TRUE(std::isfinite(1e6 * fastExp(1e300)));
    EXPECT_LT(fastExp(-1e6), 1e-300);
    EXPECT_GE(fastExp(-1e6), 0.0);
}
