// Each bound of a crowd setup is stated once, in setup_limits: the
// simulation refuses a setup past any of them with setup_limits' own words,
// and takes one just inside.
#include "crowd/setup_limits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "crowd/simulation.h"
#include "crowd_test_helpers.h"

namespace {

crowd::CrowdSetup room() {
    crowd::CrowdSetup s;
    s.area = crowd::WalkableArea({crowdtest::rect(0, 0, 10, 10)});
    s.exits.push_back({"east", {{10, 4}, {10, 6}}, {}, 0});
    s.people.push_back(crowdtest::person(5, 5));
    s.timeLimit = 1.0;
    return s;
}

// The message the simulation refuses `s` with; "" when it takes it.
std::string refusal(const crowd::CrowdSetup& s) {
    try {
        crowd::Simulation sim(s);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "";
}

TEST(SetupLimits, EachParameterBoundIsEnforcedOnceAndReportedInSetupLimitsWords) {
    for (const crowd::ParamRange& range : crowd::paramRanges()) {
        // Just outside each end, and just inside (where the end is open).
        const double span = range.max - range.min;
        for (const double outside : {range.min - 0.01 * span - 1e-6, range.max + 0.01 * span + 1e-6}) {
            crowd::CrowdSetup s = room();
            s.params.*range.member = outside;
            // radiusMax below radiusMin is its own refusal, with its own words.
            if (std::string(range.name) == "radiusMin") s.params.radiusMax = std::max(outside, 0.3);
            const auto problem = crowd::paramsProblem(s.params);
            ASSERT_TRUE(problem.has_value()) << range.name << " = " << outside;
            EXPECT_EQ(refusal(s), problem->member + ": " + problem->message) << range.name;
        }
        crowd::CrowdSetup inside = room();
        const double value = range.minExcluded ? range.min + 0.5 * span : range.min;
        inside.params.*range.member = value;
        if (std::string(range.name) == "radiusMax") inside.params.radiusMin = std::min(value, 0.2);
        if (std::string(range.name) == "radiusMin") inside.params.radiusMax = std::max(value, 0.3);
        if (crowd::paramsProblem(inside.params)) continue;  // bounded by another member too
        const std::string why = refusal(inside);
        // Taken, or refused for a reason of the world that is not a bound
        // (a cutoff too long for this room's grid, say) - never with other
        // numbers than setup_limits'.
        EXPECT_EQ(why.find("must be in"), std::string::npos) << range.name << ": " << why;
    }
}

TEST(SetupLimits, ThePeopleBoundIsSetupLimitsOne) {
    crowd::CrowdSetup s = room();
    s.people.assign(crowd::kMaxPeople + 1, crowdtest::person(5, 5));
    const std::string why = refusal(s);
    EXPECT_NE(why.find(std::to_string(crowd::kMaxPeople)), std::string::npos) << why;
    // The whole check says the same bound for the same setup.
    const auto problem = crowd::setupProblem(s);
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->member, "people");
    EXPECT_NE(problem->message.find(std::to_string(crowd::kMaxPeople)), std::string::npos);
}

}  // namespace
