// Figures over many runs: the distribution of evacuation times, the
// confidence interval of the mean and the settled criterion, and the
// aggregate read back from run folders.
#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "analysis/sweep_results.h"
#include "support/test_support.h"

using namespace analysis;

TEST(Statistics, DescribesAHandComputedSetOfEvacuationTimes) {
    // Given in an order other than sorted: the median and percentile sort.
    const Distribution d = describe({90, 62, 71, 60, 80, 65, 75, 70});
    EXPECT_EQ(d.count, 8u);
    EXPECT_DOUBLE_EQ(d.min, 60.0);
    EXPECT_DOUBLE_EQ(d.max, 90.0);
    EXPECT_DOUBLE_EQ(d.mean, 71.625);
    EXPECT_NEAR(d.sd, std::sqrt(693.875 / 7.0), 1e-12);  // 9.9562
    EXPECT_DOUBLE_EQ(d.median, 70.5);
    EXPECT_NEAR(d.p95, 86.5, 1e-12);  // x[6.65] = 80 + 0.65 * 10
    // t(0.975, 7) = 2.3646; half width 2.3646 * 9.9562 / sqrt(8) = 8.3235.
    EXPECT_NEAR(d.ciLow, 63.3015, 1e-3);
    EXPECT_NEAR(d.ciHigh, 79.9485, 1e-3);

    const Distribution one = describe({42.0});
    EXPECT_EQ(one.sd, 0.0);
    EXPECT_EQ(one.ciLow, 42.0);
    EXPECT_EQ(one.ciHigh, 42.0);
    EXPECT_EQ(describe({}).count, 0u);
}

TEST(Statistics, StudentQuantilesFromTheTableAndBeyond) {
    EXPECT_NEAR(studentT975(1), 12.7062, 1e-4);
    EXPECT_NEAR(studentT975(30), 2.0423, 1e-4);
    // Published values for 40, 60, 120 and 1000 degrees of freedom.
    EXPECT_NEAR(studentT975(40), 2.0211, 1e-4);
    EXPECT_NEAR(studentT975(60), 2.0003, 1e-4);
    EXPECT_NEAR(studentT975(120), 1.9799, 1e-4);
    EXPECT_NEAR(studentT975(1000), 1.9623, 1e-4);
}

TEST(Statistics, SettledCriterionOnConstructedSeries) {
    // Constant: settled at once, once there are ten runs.
    EXPECT_TRUE(convergence(std::vector<double>(20, 100.0)).settled);
    EXPECT_FALSE(convergence(std::vector<double>(9, 100.0)).settled);
    EXPECT_FALSE(convergence(std::vector<double>(9, 100.0)).judged);
    EXPECT_TRUE(convergence(std::vector<double>(10, 100.0)).judged);

    // Steady only over the last two of 20 runs: a look at the last tenth
    // (two runs) would call it settled; the last ten runs do not.
    std::vector<double> jump(18, 100.0);
    jump.push_back(140.0);
    jump.push_back(1940.0 / 19.0);
    const Convergence j = convergence(jump);
    EXPECT_EQ(j.window, 10u);
    EXPECT_FALSE(j.settled);
    EXPECT_GT(j.largestDeviation, 0.02);

    // A late outlier moves the final mean by 1.5 %: not settled.
    std::vector<double> late(19, 100.0);
    late.push_back(130.0);
    const Convergence c = convergence(late);
    EXPECT_EQ(c.window, 10u);
    EXPECT_FALSE(c.settled);
    EXPECT_NEAR(c.largestDeviation, 1.5 / 101.5, 1e-12);

    // The same outlier early on has been averaged out by run 100: the
    // running means of runs 91 to 100 lie within 0.3 % of the final one.
    std::vector<double> early(100, 100.0);
    early[1] = 130.0;
    const Convergence e = convergence(early);
    EXPECT_EQ(e.window, 10u);
    EXPECT_TRUE(e.settled);
    EXPECT_LT(e.largestDeviation, 0.004);

    // An alternating series that keeps swinging by 20 %: its running mean
    // at runs 10..20 still swings by more than 1 %.
    std::vector<double> swing;
    for (int k = 0; k < 20; ++k) swing.push_back(k % 2 ? 120.0 : 80.0);
    EXPECT_FALSE(convergence(swing).settled);
}

TEST(SweepResults, AggregatesFinishedFailedAndMissingRunsFromTheirFolders) {
    testsupport::TempDir root;
    auto summary = [&](std::uint64_t seed, double t, bool out, int a, int b) {
        nlohmann::json j;
        j["people"] = a + b + (out ? 0 : 1);
        j["everyoneOut"] = out;
        j["evacuationTime"] = t;
        j["exits"] = {{{"name", "exit 1"}, {"peopleOut", a}},
                      {{"name", "exit 2"}, {"peopleOut", b}}};
        j["stillInside"] = out ? nlohmann::json::array() : nlohmann::json::array({7});
        j["persons"] = {{{"exitTime", t}, {"preMovement", 10.0}},
                        {{"exitTime", t - 20.0}, {"preMovement", 0.0}}};
        testsupport::writeFile(root / runFolderName(seed) / "summary.json", j.dump());
    };
    summary(1, 100.0, true, 6, 4);
    summary(2, 120.0, true, 5, 5);
    // Exit flows of runs 1 and 2 (run 2's series is the longer one).
    auto flows = [&](std::uint64_t seed, std::vector<double> a, std::vector<double> b) {
        std::vector<double> t;
        for (std::size_t k = 0; k < std::max(a.size(), b.size()); ++k)
            t.push_back(0.5 * static_cast<double>(k));
        const nlohmann::json j = {
            {"exits",
             {{{"time", t}, {"personsPerSecond", a}}, {{"time", t}, {"personsPerSecond", b}}}}};
        testsupport::writeFile(root / runFolderName(seed) / "measures.json", j.dump());
    };
    flows(1, {0.0, 0.4, 0.2}, {0.0, 0.1, 0.1});
    flows(2, {0.0, 0.6, 0.8, 0.2}, {0.0, 0.3, 0.1, 0.0});
    summary(3, 600.0, false, 3, 6);  // people left at the time limit
    ASSERT_EQ(writeFailureRecord(root.path(), 4, RunStatus::TimedOut, "killed after 60 s"), "");
    testsupport::writeFile(root / runFolderName(5) / "summary.json", "{ not json");
    // Seed 6 never ran.

    SweepStatistics s;
    const auto runs = collectAndWrite(root.path(), {1, 2, 3, 4, 5, 6}, &s);
    ASSERT_EQ(runs.size(), 6u);
    EXPECT_EQ(runs[3].status, RunStatus::TimedOut);
    EXPECT_EQ(runs[3].detail, "killed after 60 s");
    EXPECT_EQ(runs[4].status, RunStatus::Failed);
    EXPECT_EQ(runs[5].status, RunStatus::Missing);
    EXPECT_EQ(s.finished, 3u);
    EXPECT_EQ(s.failed, 1u);
    EXPECT_EQ(s.timedOut, 1u);
    EXPECT_EQ(s.missing, 1u);
    EXPECT_EQ(s.notEvacuated, std::vector<std::uint64_t>{3});
    EXPECT_EQ(s.evacuationTimes, (std::vector<double>{100.0, 120.0}));
    ASSERT_EQ(s.exits.size(), 2u);
    EXPECT_EQ(s.exits[0].name, "exit 1");
    EXPECT_DOUBLE_EQ(s.exits[0].people.mean, 14.0 / 3.0);
    // Peak flows 0.4 and 0.8; the mean flow over the two runs that have
    // measures, run 1 adding nothing after its end.
    EXPECT_EQ(s.exits[0].peakFlow.count, 2u);
    EXPECT_DOUBLE_EQ(s.exits[0].peakFlow.mean, 0.6);
    EXPECT_DOUBLE_EQ(s.flowStep, 0.5);
    ASSERT_EQ(s.exits[0].meanFlow.size(), 4u);
    EXPECT_DOUBLE_EQ(s.exits[0].meanFlow[2], 0.5);
    EXPECT_DOUBLE_EQ(s.exits[0].meanFlow[3], 0.1);
    // Per run: pre-movement 5 s on average; travel time (t - 10 + t - 20) / 2.
    EXPECT_DOUBLE_EQ(runs[0].meanPreMovement, 5.0);
    EXPECT_DOUBLE_EQ(runs[0].meanTravelTime, 85.0);

    const auto stats = nlohmann::json::parse(testsupport::readFile(root / "statistics.json"));
    EXPECT_EQ(stats["evacuationTime"]["mean"], 110.0);
    EXPECT_EQ(stats["timedOut"], 1);
    const auto list = nlohmann::json::parse(testsupport::readFile(root / "runs.json"))["runs"];
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[2]["peopleLeft"], 1);
    EXPECT_EQ(list[2]["outByExit"]["exit 2"], 6);
    EXPECT_EQ(list[3]["status"], "timed out");
    EXPECT_EQ(list[5]["status"], "missing");
}
