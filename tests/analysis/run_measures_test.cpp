// What a run measures: the density a uniform crowd reads back, the flow
// through exits, the route walked and the time spent waiting.
#include "analysis/run_measures.h"

#include <gtest/gtest.h>

#include <cmath>

using analysis::RunMeasures;
using crowd::Vec2;

namespace {

crowd::WalkableArea room(double w, double h) {
    return crowd::WalkableArea({{{0, 0}, {w, 0}, {w, h}, {0, h}}});
}

// People on a square lattice of the given density, `columns` x `rows` of
// them, filling [0, columns a] x [0, rows a].
void lattice(int columns, int rows, double a, std::vector<int>& ids, std::vector<Vec2>& pos) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            ids.push_back(static_cast<int>(ids.size()));
            pos.push_back({(c + 0.5) * a, (r + 0.5) * a});
        }
}

}  // namespace

TEST(RunMeasures, AUniformCrowdReadsBackItsDensityAlsoAlongTheWalls) {
    for (double density : {1.0, 2.5, 4.5}) {
        std::vector<int> ids;
        std::vector<Vec2> pos;
        const double a = 1.0 / std::sqrt(density);
        const int columns = static_cast<int>(12.0 / a), rows = static_cast<int>(8.0 / a);
        const double w = columns * a, h = rows * a;
        lattice(columns, rows, a, ids, pos);
        RunMeasures m(room(w, h), std::vector<double>(ids.size(), 0.0));
        for (int f = 0; f <= 15; ++f) m.frame(f * 0.2, ids, pos);
        m.finish(std::vector<int>(ids.size(), -1), std::vector<double>(ids.size(), NAN), pos, 0,
                 3.0);
        const analysis::DensityGrid& g = m.density();
        int cells = 0;
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.columns; ++c) {
                if (!g.walkable[static_cast<std::size_t>(r * g.columns + c)]) continue;
                const crowd::Vec2 p = g.centre(c, r);
                // Within a lattice spacing of the walls the lattice itself
                // thins out (its outer people stand half a spacing from the
                // wall); from there on the estimate holds up to the wall.
                if (p.x < a || p.y < a || p.x > w - a || p.y > h - a) continue;
                EXPECT_NEAR(g.at(g.peak, c, r), density, 0.1 * density) << c << "," << r;
                // 16 frames 0.2 s apart: 3.2 s above 2 (and 4) where the crowd is denser.
                EXPECT_NEAR(g.at(g.secondsAbove2, c, r), density > 2.0 ? 3.2 : 0.0, 1e-9);
                EXPECT_NEAR(g.at(g.secondsAbove4, c, r), density > 4.0 ? 3.2 : 0.0, 1e-9);
                ++cells;
            }
        EXPECT_GT(cells, 900);
    }
}

TEST(RunMeasures, ExitFlowsAddUpToThePeopleWhoLeftAndAverageOverTenSeconds) {
    // Eight people, two exits: exit 0 one a second from 1 s to 5 s, exit 1
    // at 2.5 s, 2.5 s and 30 s; nobody is left.
    const std::vector<int> used = {0, 0, 0, 0, 0, 1, 1, 1};
    const std::vector<double> when = {1, 2, 3, 4, 5, 2.5, 2.5, 30};
    RunMeasures m(room(10, 10), std::vector<double>(8, 0.0));
    m.finish(used, when, std::vector<Vec2>(8, Vec2{1, 1}), 2, 31.0);
    ASSERT_EQ(m.flows().size(), 2u);
    const analysis::ExitFlow& f0 = m.flows()[0];
    EXPECT_EQ(f0.cumulative.back(), 5);
    EXPECT_EQ(m.flows()[1].cumulative.back(), 3);
    EXPECT_DOUBLE_EQ(f0.time.back(), 31.0);
    // At 6 s the last 10 s hold all five: 0.5 per s; at 13.5 s those after 3.5 s: two.
    EXPECT_DOUBLE_EQ(f0.flow[12], 0.5);
    EXPECT_DOUBLE_EQ(f0.time[27], 13.5);
    EXPECT_DOUBLE_EQ(f0.flow[27], 0.2);
    EXPECT_EQ(f0.cumulative[5], 2);  // at 2.5 s: those of 1 and 2 s
    EXPECT_EQ(m.flows()[1].cumulative[5], 2);
}

TEST(RunMeasures, RouteLengthAndWaitingTimeAfterPreMovement) {
    // Person 0 waits 2 s (its pre-movement), walks 3 m east in 3 s, stands
    // 1 s, walks 1 m and leaves at 7 s at (4, 1). Person 1 stands for 2 s
    // with no pre-movement and leaves at 2 s where it stood.
    RunMeasures m(room(10, 10), {2.0, 0.0});
    for (int f = 0; f <= 35; ++f) {
        const double t = f * 0.2;
        double x = 0.0;
        if (t > 2.0) x = std::min(3.0, t - 2.0);
        if (t > 6.0) x = 3.0 + (t - 6.0);
        std::vector<int> ids = {0};
        std::vector<Vec2> pos = {{1.0 + x, 1.0}};
        if (t <= 2.0 + 1e-9) {
            ids.push_back(1);
            pos.push_back({5.0, 5.0});
        }
        m.frame(t, ids, pos);
    }
    m.finish({0, 0}, {7.0, 2.0}, {{5.0, 1.0}, {5.0, 5.0}}, 1, 7.0);
    EXPECT_NEAR(m.persons()[0].routeLength, 4.0, 1e-9);
    EXPECT_NEAR(m.persons()[0].waitingTime, 1.0, 1e-9);  // the 2 s before walking do not count
    EXPECT_NEAR(m.persons()[1].routeLength, 0.0, 1e-12);
    EXPECT_NEAR(m.persons()[1].waitingTime, 2.0, 1e-9);
}

TEST(RunMeasures, FruinLevelsOfService) {
    EXPECT_EQ(analysis::serviceLevelOf(0.0), 'A');
    EXPECT_EQ(analysis::serviceLevelOf(0.4), 'B');
    EXPECT_EQ(analysis::serviceLevelOf(1.0), 'D');
    EXPECT_EQ(analysis::serviceLevelOf(2.0), 'E');
    EXPECT_EQ(analysis::serviceLevelOf(2.2), 'F');
}
