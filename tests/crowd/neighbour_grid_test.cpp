// The neighbour grid against a brute-force search over all pairs: every pair
// within range is visited exactly once, in closed rooms and across the wrap
// of a periodic corridor.
#include "crowd/neighbour_grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "crowd/rng.h"

using namespace crowd;

namespace {

using Pair = std::pair<int, int>;

double squaredDistance(const NeighbourGrid& grid, const Body& a, const Body& b) {
    const double dx = grid.wrap(a.x - b.x), dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// The pairs within range as the grid finds them; fails on a pair seen twice.
std::set<Pair> gridPairs(NeighbourGrid& grid, const std::vector<Body>& bodies, double range) {
    std::vector<int> everyone(bodies.size()), order;
    for (std::size_t i = 0; i < bodies.size(); ++i) everyone[i] = static_cast<int>(i);
    grid.sort(everyone, bodies, order);
    EXPECT_EQ(order.size(), bodies.size());
    std::set<Pair> found;
    auto take = [&](int s, int t) {
        const int i = order[s], j = order[t];
        if (squaredDistance(grid, bodies[i], bodies[j]) >= range * range) return;
        EXPECT_TRUE(found.insert({std::min(i, j), std::max(i, j)}).second)
            << "pair " << i << ", " << j << " visited twice";
    };
    grid.forEachOccupiedCell(0, grid.rows(), [&](int begin, int end,
                                                 const NeighbourGrid::ForwardRanges& forward) {
        for (int s = begin; s < end; ++s) {
            for (int t = s + 1; t < end; ++t) take(s, t);
            for (int r = 0; r < forward.count; ++r)
                for (int t = forward.begin[r]; t < forward.end[r]; ++t) take(s, t);
        }
    });
    return found;
}

std::set<Pair> allPairs(const NeighbourGrid& grid, const std::vector<Body>& bodies, double range) {
    std::set<Pair> found;
    for (std::size_t i = 0; i < bodies.size(); ++i)
        for (std::size_t j = i + 1; j < bodies.size(); ++j)
            if (squaredDistance(grid, bodies[i], bodies[j]) < range * range)
                found.insert({static_cast<int>(i), static_cast<int>(j)});
    return found;
}

// n people at random in box, some on the box's edges and corners.
std::vector<Body> randomCrowd(Box box, int n, std::uint64_t seed, bool periodic) {
    Rng rng(seed);
    std::vector<Body> bodies(static_cast<std::size_t>(n));
    for (Body& b : bodies) {
        b.x = rng.uniform(box.min.x, box.max.x);
        b.y = rng.uniform(box.min.y, box.max.y);
        switch (rng.below(8)) {
            case 0:
                b.x = box.min.x;
                break;
            case 1:
                b.y = box.max.y;  // on the last row's far edge
                break;
            case 2:
                if (!periodic) b.x = box.max.x;
                break;
            default:
                break;
        }
    }
    return bodies;
}

}  // namespace

TEST(NeighbourGrid, FindsExactlyThePairsWithinRangeInClosedRooms) {
    const double range = 1.2;
    struct Room {
        Box box;
        int people;
    };
    const Room rooms[] = {{{{0, 0}, {10, 10}}, 400},
                          {{{-3.5, 2.0}, {4.1, 3.0}}, 60},  // one row of cells
                          {{{0, 0}, {1.0, 1.0}}, 12},       // a single cell
                          {{{0, 0}, {30, 6}}, 900}};        // denser than anyone stands
    std::uint64_t seed = 1;
    for (const Room& room : rooms) {
        NeighbourGrid grid(room.box, range, false);
        const auto bodies = randomCrowd(room.box, room.people, seed++, false);
        const auto expected = allPairs(grid, bodies, range);
        EXPECT_GT(expected.size(), 0u);
        EXPECT_EQ(gridPairs(grid, bodies, range), expected) << "room " << seed - 1;
    }
}

TEST(NeighbourGrid, FindsThePairsAcrossTheWrapOfAPeriodicCorridor) {
    const double range = 1.2;
    // Lengths with several cells, with exactly three (the fewest), and one
    // shorter than three ranges, where every column neighbours every other.
    for (const double length : {20.0, 3.7, 2.5}) {
        const Box box{{0, 0}, {length, 2.0}};
        NeighbourGrid grid(box, range, true);
        EXPECT_GE(grid.columns(), 3);
        EXPECT_DOUBLE_EQ(grid.period(), length);
        for (std::uint64_t seed = 1; seed <= 3; ++seed) {
            const auto bodies = randomCrowd(box, static_cast<int>(length * 6), seed, true);
            const auto expected = allPairs(grid, bodies, range);
            EXPECT_EQ(gridPairs(grid, bodies, range), expected) << length << " m, seed " << seed;
        }
        // Two people at the two ends are neighbours through the wrap.
        const std::vector<Body> ends{{0.05, 1.0, 0, 0}, {length - 0.05, 1.0, 0, 0}};
        EXPECT_EQ(gridPairs(grid, ends, range), (std::set<Pair>{{0, 1}}));
    }
}

TEST(NeighbourGrid, SortsStablyByCellAndSplitsRowsAtAGivenIndex) {
    NeighbourGrid grid({{0, 0}, {6, 6}}, 1.2, false);
    ASSERT_EQ(grid.columns(), 5);
    ASSERT_EQ(grid.rows(), 5);
    // Outside the box counts as the nearest cell.
    const std::vector<Body> bodies{{5.9, 5.9, 0, 0}, {0.1, 0.1, 0, 0}, {-3, 0.5, 0, 0},
                                   {0.5, 2.5, 0, 0}, {0.2, 0.3, 0, 0}, {9, 9, 0, 0}};
    const std::vector<int> people{0, 1, 2, 3, 4, 5};
    std::vector<int> order;
    grid.sort(people, bodies, order);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 4, 3, 0, 5}));
    EXPECT_EQ(grid.cellEnd(0) - grid.cellBegin(0), 3);
    EXPECT_EQ(grid.firstRowFrom(0), 0);
    EXPECT_EQ(grid.firstRowFrom(3), 1);  // row 1 is empty but begins at index 3
    EXPECT_EQ(grid.firstRowFrom(4), 3);
    EXPECT_EQ(grid.firstRowFrom(7), 5);
}
