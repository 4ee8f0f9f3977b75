#include "platform/input_error.h"
#include "inputs/scenario_file.h"

#include <gtest/gtest.h>

#include "inputs/mvnrt_options.h"
#include "inputs/project.h"
#include "run/results.h"
#include "support/test_support.h"

using runtime::InputError;
using runtime::parseScenario;

namespace {

const char* kRoom = R"({
  "walkable": [[[0, 0], [10, 0], [10, 10], [0, 10]]],
  "exits": [{"name": "east", "from": [10, 4.5], "to": [10, 5.5]}],
  "people": [{"x": 2, "z": 3, "speed": 1.2, "radius": 0.3}],
  "fill": [{"area": [[1, 1], [4, 1], [4, 4], [1, 4]], "count": 5, "exit": "east"}]
})";

std::string errorOf(const std::string& text) {
    try {
        parseScenario(text);
    } catch (const InputError& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

}  // namespace

TEST(ScenarioFile, PeopleAndFilledAreasAreRead) {
    const runtime::ScenarioFile f = parseScenario(kRoom);
    ASSERT_EQ(f.setup.people.size(), 6u);
    EXPECT_DOUBLE_EQ(f.setup.people[0].start.x, 2.0);
    EXPECT_DOUBLE_EQ(f.setup.people[0].desiredSpeed, 1.2);
    EXPECT_EQ(f.setup.people[0].exit, -1);
    for (std::size_t i = 1; i < 6; ++i) {
        const auto& p = f.setup.people[i];
        EXPECT_EQ(p.exit, 0);
        EXPECT_GE(p.start.x, 1.0);
        EXPECT_LE(p.start.x, 4.0);
        EXPECT_GE(p.desiredSpeed, 1.08);
        EXPECT_LT(p.desiredSpeed, 1.60);
    }
    EXPECT_EQ(f.exitNames, std::vector<std::string>{"east"});
    EXPECT_EQ(f.seed, 1u);
}

TEST(ScenarioFile, TheSeedDecidesRadiiAndFilledSpots) {
    const auto a = parseScenario(kRoom), b = parseScenario(kRoom), c = parseScenario(kRoom, 99);
    EXPECT_EQ(a.setup.people[3].start.x, b.setup.people[3].start.x);
    EXPECT_NE(a.setup.people[3].start.x, c.setup.people[3].start.x);
    EXPECT_EQ(c.seed, 99u);
}

TEST(ScenarioFile, MistakesNameTheMember) {
    EXPECT_NE(errorOf("{").find("not valid JSON"), std::string::npos);
    EXPECT_NE(errorOf("[]").find("must be a JSON object"), std::string::npos);
    EXPECT_NE(errorOf(R"({"exits": []})").find("walkable"), std::string::npos);
    EXPECT_NE(errorOf(R"({"walkable": [[[0,0],[1,0]]], "exits": []})").find("walkable[0]"),
              std::string::npos);
    EXPECT_NE(
        errorOf(
            R"({"walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [], "people": [{"x":1,"z":1}]})")
            .find("at least one exit"),
        std::string::npos);
    const std::string room =
        R"("walkable": [[[0,0],[4,0],[4,4],[0,4]]], "exits": [{"from":[4,1],"to":[4,2]}])";
    EXPECT_NE(errorOf("{" + room + R"(, "people": [{"x":1,"z":1,"exit":"nowhere"}]})")
                  .find("people[0].exit"),
              std::string::npos);
    EXPECT_NE(errorOf("{" + room + R"(, "people": [{"x":1,"z":"a"}]})").find("people[0].z"),
              std::string::npos);
    EXPECT_NE(errorOf("{" + room + R"(, "colour": 1, "people": [{"x":1,"z":1}]})").find("colour"),
              std::string::npos);
    EXPECT_NE(errorOf("{" + room + R"(, "model": {"dt": "fast"}, "people": [{"x":1,"z":1}]})")
                  .find("model.dt"),
              std::string::npos);
    EXPECT_NE(errorOf("{" + room + "}").find("nobody"), std::string::npos);
    EXPECT_NE(
        errorOf("{" + room + R"(, "fill": [{"area": [[0,0],[1,0],[1,1],[0,1]], "count": 200}]})")
            .find("no room"),
        std::string::npos);
    EXPECT_NE(
        errorOf("{" + room + R"(, "periodic": {}, "people": [{"x":1,"z":1}]})").find("periodic"),
        std::string::npos);
}

TEST(ScenarioFile, TheExamplesAreUsable) {
    for (const char* name :
         {"room-with-one-door.json", "hall-two-exits-pillars.json", "corner-corridor.json",
          "room-with-pre-movement.json"}) {
        const auto f = runtime::loadScenario(
            testsupport::sourcePath(std::string("examples/runtime/") + name).string());
        EXPECT_FALSE(f.setup.people.empty()) << name;
        EXPECT_FALSE(f.name.empty()) << name;
    }
}

TEST(Options, TheCommandLineIsReadAndCheckedStrictly) {
    const runtime::Options o =
        runtime::parseOptions({"--scenario", "a.json", "--seed", "42", "--time-limit", "90.5",
                               "--out", "r", "--fps", "0", "--quiet"});
    EXPECT_EQ(*o.scenario, "a.json");
    EXPECT_EQ(*o.seed, 42u);
    EXPECT_DOUBLE_EQ(*o.timeLimit, 90.5);
    EXPECT_EQ(*o.out, "r");
    EXPECT_DOUBLE_EQ(o.fps, 0.0);
    EXPECT_TRUE(o.quiet);
    EXPECT_FALSE(runtime::parseOptions({}).scenario.has_value());
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--seed"},
                                                {"--seed", "-1"},
                                                {"--seed", "1x"},
                                                {"--time-limit", "0"},
                                                {"--time-limit", "nan"},
                                                {"--fps", "-2"},
                                                {"--bogus"},
                                                {"bProj"}})
        EXPECT_THROW(runtime::parseOptions(bad), platform::InputError) << bad[0];
    EXPECT_NE(runtime::usageText().find("--scenario"), std::string::npos);
}

TEST(Results, NumbersAreWrittenTheSameWhateverTheLocale) {
    EXPECT_EQ(runtime::fixed(1.5, 3), "1.500");
    EXPECT_EQ(runtime::fixed(-0.0001, 3), "0.000");
    EXPECT_EQ(runtime::fixed(-2.25, 1), "-2.2");
    EXPECT_EQ(runtime::fixed(123456.0, 0), "123456");
}
