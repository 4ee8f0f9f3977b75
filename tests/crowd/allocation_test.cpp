// A step allocates no memory: every buffer a step needs is sized when the
// simulation is built. Its own executable, as it counts every allocation of
// the process.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "crowd/simulation.h"
#include "crowd_test_helpers.h"

namespace {
std::atomic<long> gAllocations{0};
}  // namespace

void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace crowd;
using crowdtest::rect;

TEST(Allocation, AStepAllocatesNothing) {
    // A crowd pressing through a door (contacts, people leaving) on one
    // thread and shared out on two, from the very first step.
    for (const int threads : {1, 2}) {
        CrowdSetup s;
        s.area = WalkableArea({rect(0, 0, 30, 30)});
        s.exits.push_back({"east", {{30, 14}, {30, 16}}, {}, 0});
        s.exits.push_back({"west", {{0, 14}, {0, 16}}, {}, 0});
        crowdtest::fill(s, rect(0.5, 0.5, 29.5, 29.5), 1500, 3);
        s.threads = threads;
        Simulation sim(s);
        const long before = gAllocations.load();
        for (int k = 0; k < 300; ++k) sim.step();
        EXPECT_EQ(gAllocations.load() - before, 0) << threads << " threads";
        EXPECT_LT(sim.insideCount(), 1500u);
    }
}
