// A generic scenario whose walkable area and exits come from a DXF plan.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/input_error.h"
#include "inputs/scenario_file.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
const fs::path kPlans = ESCAPE_CAD_PLANS;

std::string scenarioWith(const std::string& walkable) {
    return R"({"walkable": )" + walkable +
           R"(, "fill": [{"area": [[1, 3], [4, 3], [4, 6], [1, 6]], "count": 10}]})";
}

// The message of loading `text` as FILE in `dir`, or "" when it loads.
std::string refusal(const fs::path& dir, const std::string& text) {
    testsupport::writeFile(dir / "s.json", text);
    try {
        runtime::loadScenario((dir / "s.json").string());
    } catch (const platform::InputError& e) {
        return e.what();
    }
    return {};
}

TEST(CadScenario, APlanBelowTheScenarioGivesItsAreaAndExits) {
    testsupport::TempDir dir;
    fs::create_directories(dir / "plans");
    fs::copy_file(kPlans / "doorway.dxf", dir / "plans" / "doorway.dxf");
    testsupport::writeFile(dir / "s.json", scenarioWith(R"({"dxf": "plans/doorway.dxf"})"));
    const runtime::ScenarioFile f = runtime::loadScenario((dir / "s.json").string());
    EXPECT_NEAR(f.setup.area.area(), 9.6 * 7.6 + 0.099, 0.005);
    ASSERT_EQ(f.setup.exits.size(), 2u);
    EXPECT_EQ(f.exitNames[0].rfind("EXITS ", 0), 0u) << f.exitNames[0];
    EXPECT_DOUBLE_EQ(f.setup.exits[0].segment.a.x, 9.9);
    EXPECT_EQ(f.setup.people.size(), 10u);

    // Typed exits come first, the plan's after them; a layer left out ("").
    testsupport::writeFile(
        dir / "t.json",
        R"({"walkable": {"dxf": "plans/doorway.dxf", "layers": {"exits": ""}, "unit": "m"},
            "exits": [{"name": "typed", "from": [0, 3], "to": [0, 4]}],
            "people": [{"x": 5, "z": 4}]})");
    // Without its exit line the doorway is open: nothing enclosed.
    try {
        runtime::loadScenario((dir / "t.json").string());
        ADD_FAILURE() << "read without its exits layer";
    } catch (const platform::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("walkable: plans/doorway.dxf: layer WALLS:"),
                  std::string::npos)
            << e.what();
    }
}

TEST(CadScenario, PathsStayBelowTheScenarioUnlessAbsolute) {
    testsupport::TempDir dir;
    fs::create_directories(dir / "in");
    fs::copy_file(kPlans / "doorway.dxf", dir / "outside.dxf");
    const std::string up = refusal(dir / "in", scenarioWith(R"({"dxf": "../outside.dxf"})"));
    EXPECT_NE(up.find("walkable.dxf: '../outside.dxf' leads out of the scenario's folder"),
              std::string::npos)
        << up;
    fs::create_symlink(dir / "outside.dxf", dir / "in" / "link.dxf");
    EXPECT_NE(refusal(dir / "in", scenarioWith(R"({"dxf": "link.dxf"})")).find("through a link"),
              std::string::npos);
    const std::string absolute = (dir / "outside.dxf").string();
    EXPECT_EQ(refusal(dir / "in", scenarioWith(R"({"dxf": ")" + absolute + R"("})")), "");
    // Down and back up again stays inside.
    fs::create_directories(dir / "in" / "sub");
    fs::copy_file(kPlans / "doorway.dxf", dir / "in" / "d.dxf");
    EXPECT_EQ(refusal(dir / "in", scenarioWith(R"({"dxf": "sub/../d.dxf"})")), "");
}

TEST(CadScenario, MistakesInThePlanMemberAreNamed) {
    testsupport::TempDir dir;
    fs::copy_file(kPlans / "doorway.dxf", dir / "d.dxf");
    const auto has = [&](const std::string& walkable, const std::string& part) {
        const std::string e = refusal(dir.path(), scenarioWith(walkable));
        EXPECT_NE(e.find(part), std::string::npos) << e;
    };
    has(R"({"dxf": "d.dxf", "unit": "yd"})", "walkable.unit: 'yd' is not a unit (in, ft, mm, cm or m)");
    has(R"({"dxf": "d.dxf", "layers": {"doors": "X"}})", "walkable.layers.doors: is not a known member");
    has(R"({"dxf": "d.dxf", "layers": {"obstacles": "PILLARS"}})", "layer PILLARS: the drawing has no such layer");
    has(R"({"dxf": "d.dxf", "scale": 2})", "walkable.scale: is not a known member");
    has(R"({"dxf": "missing.dxf"})", "missing.dxf");
    has(R"({"layers": {}})", "walkable.dxf: is missing");
    has(R"({})", "walkable.dxf: is missing");
}

}  // namespace

namespace {

// The office's ground floor, from its DXF plan and typed as polygons by the
// same script (examples/buildings/make_office_plans.py, run at test time):
// the same polygons, vertex for vertex, and so the same evacuation.
TEST(CadScenario, TheOfficeFromItsPlanIsTheOfficeTyped) {
    const fs::path office = fs::path(ESCAPE_CAD_PLANS) / "office";
    const runtime::ScenarioFile plan = runtime::loadScenario((office / "office-ground.json").string());
    const runtime::ScenarioFile typed =
        runtime::loadScenario((office / "office-ground-typed.json").string());
    EXPECT_NEAR(plan.setup.area.area(), typed.setup.area.area(), 1e-6);
    EXPECT_GT(plan.setup.area.area(), 500.0);
    const auto& a = plan.setup.area.polygons();
    const auto& b = typed.setup.area.polygons();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].size(), b[i].size()) << "polygon " << i;
        for (std::size_t k = 0; k < a[i].size(); ++k) {
            EXPECT_EQ(a[i][k].x, b[i][k].x) << "polygon " << i << " vertex " << k;
            EXPECT_EQ(a[i][k].y, b[i][k].y) << "polygon " << i << " vertex " << k;
        }
    }
    ASSERT_EQ(plan.exitNames, typed.exitNames);
    ASSERT_EQ(plan.setup.people.size(), 100u);
    for (std::size_t i = 0; i < plan.setup.people.size(); ++i) {
        EXPECT_EQ(plan.setup.people[i].start.x, typed.setup.people[i].start.x);
        EXPECT_EQ(plan.setup.people[i].start.y, typed.setup.people[i].start.y);
    }
}

}  // namespace
