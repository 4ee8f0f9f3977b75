// The scheduler runs every part of every job exactly once, whatever the
// number of threads, and returns only when all are done.
#include "crowd/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
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
    EXPECT_GE(PartScheduler(0).threads(), 1);
    EXPECT_LE(PartScheduler(0).threads(), 2);
    EXPECT_THROW(PartScheduler(-1), std::invalid_argument);
    EXPECT_THROW(PartScheduler(65), std::invalid_argument);
}
