// The scheduler runs every part of every job exactly once, whatever the
// number of threads, and returns only when all are done.
#include "crowd/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <stdexcept>
#include <vector>

using crowd::PartScheduler;

TEST(PartScheduler, RunsEveryPartOnceAndWaitsForAll) {
    for (const int threads : {1, 2, 4}) {
        PartScheduler scheduler(threads);
        EXPECT_EQ(scheduler.threads(), threads);
        std::vector<int> runs(3, 0);
        for (int round = 0; round < 2000; ++round) {
            const int parts = 1 + round % 3;
            std::vector<std::atomic<int>> seen(3);
            auto job = [&](int part) { seen[part].fetch_add(1); };
            scheduler.run(parts, job, round % 5 != 0);
            // Every part done once by the time run returns, none beyond.
            for (int p = 0; p < 3; ++p) ASSERT_EQ(seen[p].load(), p < parts ? 1 : 0) << round;
            for (int p = 0; p < parts; ++p) ++runs[p];
        }
        EXPECT_EQ(runs[0], 2000);
    }
}

TEST(PartScheduler, DefaultsToTheCoresUpToTwoAndRefusesNonsense) {
    // One thread per core, at most two, at least one (a system that cannot
    // say how many cores it has gets one).
    const unsigned cores = std::thread::hardware_concurrency();
    const int expected = cores >= 2 ? 2 : 1;
    PartScheduler byDefault(0);
    EXPECT_EQ(byDefault.threads(), expected) << cores << " cores";
    // And the default crew works like a chosen one: parts run once each,
    // on as many threads as it says it has, never more.
    std::mutex m;
    std::set<std::thread::id> workers;
    std::vector<std::atomic<int>> seen(64);
    auto job = [&](int part) {
        seen[part].fetch_add(1);
        std::lock_guard<std::mutex> lock(m);
        workers.insert(std::this_thread::get_id());
    };
    for (int round = 0; round < 200; ++round) byDefault.run(64, job);
    for (int p = 0; p < 64; ++p) EXPECT_EQ(seen[p].load(), 200) << p;
    EXPECT_GE(workers.size(), 1u);
    EXPECT_LE(workers.size(), static_cast<std::size_t>(expected));
    EXPECT_THROW(PartScheduler(-1), std::invalid_argument);
    EXPECT_THROW(PartScheduler(65), std::invalid_argument);
    EXPECT_EQ(PartScheduler(64).threads(), 64);
}
