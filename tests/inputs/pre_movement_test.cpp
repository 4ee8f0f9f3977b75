// Pre-movement times: the distributions, their parameters, and how a
// scenario and the command line give them.
#include "platform/input_error.h"
#include "inputs/pre_movement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "inputs/mvnrt_options.h"
#include "inputs/project.h"
#include "inputs/scenario_file.h"

using runtime::parsePreMovement;
using runtime::PreMovement;

namespace {

struct Sample {
    double mean = 0.0, sd = 0.0, min = INFINITY;
};

Sample draws(const PreMovement& d, int n = 10000) {
    crowd::Rng rng(42);
    std::vector<double> v;
    for (int k = 0; k < n; ++k) v.push_back(d.draw(rng));
    Sample s;
    for (double x : v) s.mean += x, s.min = std::min(s.min, x);
    s.mean /= n;
    for (double x : v) s.sd += (x - s.mean) * (x - s.mean);
    s.sd = std::sqrt(s.sd / (n - 1));
    return s;
}

}  // namespace

TEST(PreMovementTimes, SampleMeanAndSpreadOf10000DrawsMatchTheParameters) {
    // Uniform 30-60: mean 45, sd 30 / sqrt(12) = 8.66. The standard error
    // of the mean is sd / 100; the tolerances are some four of them.
    Sample s = draws(parsePreMovement("uniform:30:60"));
    EXPECT_NEAR(s.mean, 45.0, 0.35);
    EXPECT_NEAR(s.sd, 30.0 / std::sqrt(12.0), 0.15);
    EXPECT_GE(s.min, 30.0);
    s = draws(parsePreMovement("normal:60:15"));
    EXPECT_NEAR(s.mean, 60.0, 0.6);
    EXPECT_NEAR(s.sd, 15.0, 0.4);
    s = draws(parsePreMovement("lognormal:60:20"));
    EXPECT_NEAR(s.mean, 60.0, 0.8);
    EXPECT_NEAR(s.sd, 20.0, 0.8);
    EXPECT_GT(s.min, 0.0);
    // Truncated at 0: a normal of mean 0 becomes the half-normal, mean
    // sd sqrt(2 / pi) = 7.98 for sd 10, sd 10 sqrt(1 - 2 / pi) = 6.03.
    s = draws(parsePreMovement("normal:0:10"));
    EXPECT_GE(s.min, 0.0);
    EXPECT_NEAR(s.mean, 10.0 * std::sqrt(2.0 / M_PI), 0.25);
    EXPECT_NEAR(s.sd, 10.0 * std::sqrt(1.0 - 2.0 / M_PI), 0.2);
    s = draws(parsePreMovement("12.5"), 10);
    EXPECT_EQ(s.mean, 12.5);
    EXPECT_EQ(s.sd, 0.0);
}

TEST(PreMovementTimes, BadParametersAreRefusedWithWhatIsWrong) {
    for (const char* bad : {"-1", "x", "uniform:60:30", "uniform:1", "normal:10:-1",
                            "lognormal:0:5", "gamma:1:2", "nan", "2e6"})
        EXPECT_THROW(parsePreMovement(bad), platform::InputError) << bad;
    EXPECT_THROW(runtime::parseOptions({"--pre-movement", "uniform:9:3"}), platform::InputError);
}

TEST(PreMovementTimes, AScenarioGivesThemPerPersonAndPerFillGroupFromItsSeed) {
    const std::string text = R"({
      "seed": 5, "walkable": [[[0, 0], [10, 0], [10, 10], [0, 10]]],
      "exits": [{"from": [10, 4], "to": [10, 6]}],
      "people": [{"x": 2, "z": 2, "preMovement": 12},
                 {"x": 4, "z": 2}],
      "fill": [{"area": [[1, 5], [9, 5], [9, 9], [1, 9]], "count": 30,
                "preMovement": {"distribution": "uniform", "min": 20, "max": 40}}]
    })";
    const runtime::ScenarioFile a = runtime::parseScenario(text);
    ASSERT_EQ(a.setup.people.size(), 32u);
    EXPECT_EQ(a.setup.people[0].preMovement, 12.0);
    EXPECT_EQ(a.setup.people[1].preMovement, 0.0);
    for (std::size_t i = 2; i < 32; ++i) {
        EXPECT_GE(a.setup.people[i].preMovement, 20.0);
        EXPECT_LT(a.setup.people[i].preMovement, 40.0);
    }
    // The same seed, the same times; the placement is not disturbed by them.
    const runtime::ScenarioFile b = runtime::parseScenario(text);
    const runtime::ScenarioFile other = runtime::parseScenario(text, 6);
    EXPECT_EQ(a.setup.people[7].preMovement, b.setup.people[7].preMovement);
    EXPECT_NE(a.setup.people[7].preMovement, other.setup.people[7].preMovement);
    nlohmann::json without = nlohmann::json::parse(text);
    without["fill"][0].erase("preMovement");
    const runtime::ScenarioFile c = runtime::parseScenario(without.dump());
    EXPECT_EQ(a.setup.people[20].start.x, c.setup.people[20].start.x);

    nlohmann::json bad = nlohmann::json::parse(text);
    bad["fill"][0]["preMovement"] = {{"distribution", "normal"}, {"mean", 30}, {"spread", 3}};
    try {
        runtime::parseScenario(bad.dump());
        FAIL() << "an unknown member was taken";
    } catch (const runtime::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("fill[0].preMovement.spread"), std::string::npos)
            << e.what();
    }
}
