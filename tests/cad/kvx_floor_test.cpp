// A DXF outline written as a KVX floor by escape-build --floor-from-dxf and
// read back by the floor reader the dialog and escape-build use.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "cad/kvx_floor.h"
#include "floorplan/floor_reader.h"
#include "floorplan/floor_units.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
const fs::path kPlans = ESCAPE_CAD_PLANS;

struct Collect : floorplan::OutlineSink {
    std::vector<cad::Point> points;
    void vertex(float x, float y, float z) override {
        EXPECT_EQ(y, 0.0f);
        points.push_back({x, z});
    }
};

// Runs escape-build with `args` (each quoted for the shell) and gives its
// exit status, its standard output and error.
int command(const std::vector<std::string>& args, std::string* out = nullptr,
            std::string* err = nullptr) {
    testsupport::TempDir capture;
    // Appends only: GCC 12 gives a false -Wrestrict alarm on chained +.
    auto quoted = [](const std::string& a) {
        std::string q = "'";
        for (char c : a) {
            if (c == '\'')
                q.append("'\\''");
            else
                q.push_back(c);
        }
        q.push_back('\'');
        return q;
    };
    std::string line = quoted(ESCAPE_BUILD_PROGRAM);
    for (const std::string& a : args) {
        line.push_back(' ');
        line.append(quoted(a));
    }
    line.append(" >");
    line.append(quoted((capture / "out").string()));
    line.append(" 2>");
    line.append(quoted((capture / "err").string()));
    line.append(" </dev/null");
    const int raw = std::system(line.c_str());
    if (out != nullptr) *out = testsupport::readFile(capture / "out");
    if (err != nullptr) *err = testsupport::readFile(capture / "err");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST(CadKvxFloor, TheWrittenFloorReadsBackAsTheOutlineInMetres) {
    testsupport::TempDir dir;
    const fs::path kvx = dir / "floor.kvx";
    std::string out, err;
    // Millimetres in the drawing: metres in the floor.
    ASSERT_EQ(command({"--floor-from-dxf", (kPlans / "blocks.dxf").string(), "--layer", "WALLS",
                       kvx.string()},
                      &out, &err),
              0)
        << err;
    EXPECT_NE(out.find("22.00 m x 12.00 m, 264.00 m²"), std::string::npos) << out;
    EXPECT_NE(out.find("unit mm, from its $INSUNITS"), std::string::npos) << out;
    // Each ring counts as the area it encloses: the inner face is no hole.
    EXPECT_EQ(err, "");

    floorplan::FloorMeshReader reader;
    Collect sink;
    const floorplan::LoadReport r = reader.setFloorPath(kvx.string(), sink);
    ASSERT_EQ(r.outcome, floorplan::LoadOutcome::Loaded) << r.reason;
    ASSERT_EQ(sink.points.size(), 4u);
    EXPECT_NEAR(std::fabs(cad::signedArea(sink.points)), 22.0 * 12.0, 1e-4);
    for (const cad::Point& p : sink.points) {
        EXPECT_TRUE(std::fabs(p.x + 1.0) < 1e-6 || std::fabs(p.x - 21.0) < 1e-6) << p.x;
        EXPECT_TRUE(std::fabs(p.y + 1.0) < 1e-6 || std::fabs(p.y - 11.0) < 1e-6) << p.y;
    }
    EXPECT_FLOAT_EQ(reader.scale, 21.0f);
    EXPECT_EQ(floorplan::statedMetresPerUnitOfFile(kvx), 1.0);
}

TEST(CadKvxFloor, ArcsReadBackWithTheirChords) {
    testsupport::TempDir dir;
    const fs::path kvx = dir / "apse.kvx";
    // The arcs drawing's WALLS union is the outer rectangle; OBSTACLES holds
    // two pieces (a circle and a stadium): the larger is the floor.
    std::string err;
    ASSERT_EQ(command({"--floor-from-dxf=" + (kPlans / "arcs.dxf").string(), "--layer=OBSTACLES",
                       "--unit", "m", kvx.string()},
                      nullptr, &err),
              0);
    EXPECT_NE(err.find("holds 2 separate areas"), std::string::npos) << err;
    floorplan::FloorMeshReader reader;
    Collect sink;
    ASSERT_EQ(reader.setFloorPath(kvx.string(), sink).outcome, floorplan::LoadOutcome::Loaded);
    EXPECT_GT(sink.points.size(), 10u);
    EXPECT_NEAR(std::fabs(cad::signedArea(sink.points)), 1.0 + M_PI * 0.25, 0.01);
}

TEST(CadKvxFloor, BadRequestsWriteNothing) {
    testsupport::TempDir dir;
    const fs::path kvx = dir / "x.kvx";
    const std::string plan = (kPlans / "open.dxf").string();
    std::string err;
    EXPECT_EQ(command({"--floor-from-dxf", plan, kvx.string()}, nullptr, &err), 2);
    EXPECT_NE(err.find("does not close"), std::string::npos) << err;
    EXPECT_EQ(command({"--floor-from-dxf", plan}, nullptr, &err), 2);
    EXPECT_NE(err.find("name the KVX floor to write"), std::string::npos) << err;
    EXPECT_EQ(command({"--floor-from-dxf", plan, "--unit", "yd", kvx.string()}, nullptr, &err), 2);
    EXPECT_NE(err.find("--unit 'yd' is not a unit (in, ft, mm, cm or m)"), std::string::npos) << err;
    EXPECT_EQ(command({"--floor-from-dxf", plan, "--pairs", "3", kvx.string()}, nullptr, &err), 2);
    EXPECT_NE(err.find("'--pairs' does not go with it"), std::string::npos) << err;
    EXPECT_EQ(command({"--floor-from-dxf", plan, "a.kvx", "b.kvx"}), 2);
    EXPECT_EQ(command({"--floor-from-dxf", plan, "--layer", "A", "--layer", "B", kvx.string()}), 2);
    EXPECT_EQ(command({"--floor-from-dxf", (kPlans / "empty.dxf").string(), kvx.string()}), 2);
    // The mode's options on the one command line: a slip of the fingers is
    // named with the option meant, and they do not go with a build.
    EXPECT_EQ(command({"--floor-from-dfx", plan, kvx.string()}, nullptr, &err), 2);
    EXPECT_NE(err.find("unknown option '--floor-from-dfx' (did you mean '--floor-from-dxf'?)"),
              std::string::npos)
        << err;
    EXPECT_EQ(command({"--floor-from-dxf", plan, "--laeyr", "W", kvx.string()}, nullptr, &err), 2);
    EXPECT_NE(err.find("(did you mean '--layer'?)"), std::string::npos) << err;
    EXPECT_EQ(command({"--layer", "WALLS", "--dir", dir.path().string()}, nullptr, &err), 2);
    EXPECT_NE(err.find("--layer goes only with --floor-from-dxf"), std::string::npos) << err;
    EXPECT_EQ(command({"--dir", dir.path().string(), kvx.string()}, nullptr, &err), 2);
    EXPECT_NE(err.find("unexpected argument"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(kvx));
    EXPECT_FALSE(fs::exists(dir / "bProj"));
    // An output that cannot be written: status 1.
    EXPECT_EQ(command({"--floor-from-dxf", (kPlans / "blocks.dxf").string(),
                       (dir / "no" / "such" / "x.kvx").string()},
                      nullptr, &err),
              1);
    EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
}

TEST(CadKvxFloor, HelpListsTheModeAndItsOptions) {
    std::string out;
    ASSERT_EQ(command({"--help"}, &out), 0);
    for (const char* option : {"--floor-from-dxf PLAN.dxf", "--layer NAME", "--unit U"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
    // --help wins in the mode too: nothing is read or written.
    ASSERT_EQ(command({"--floor-from-dxf", "no-such.dxf", "--help"}, &out), 0);
    EXPECT_NE(out.find("Usage: escape-build"), std::string::npos);
}

}  // namespace
