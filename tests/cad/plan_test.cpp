// The DXF plan reader on drawings made by make_test_plans.py (ezdxf) at test
// time: what it reads, what it refuses and how it names the fault.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "cad/plan.h"
#include "platform/input_error.h"

namespace {

const std::string kPlans = ESCAPE_CAD_PLANS;

nlohmann::json manifest() {
    std::ifstream in(kPlans + "/manifest.json");
    return nlohmann::json::parse(in);
}

cad::Plan read(const std::string& name, cad::PlanOptions o = {}) {
    return cad::readPlan(kPlans + "/" + name, name, o);
}

// The error read() throws, or "" when it reads.
std::string refusal(const std::string& name, cad::PlanOptions o = {}) {
    try {
        read(name, o);
    } catch (const platform::InputError& e) {
        return e.what();
    }
    return {};
}

bool insideRing(const cad::Ring& r, double x, double y) {
    bool in = false;
    for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
        if ((r[i].y > y) != (r[j].y > y) &&
            x < (r[j].x - r[i].x) * (y - r[i].y) / (r[j].y - r[i].y) + r[i].x)
            in = !in;
    }
    return in;
}

bool walkable(const cad::Plan& p, double x, double y) {
    for (const cad::Area& a : p.walkable) {
        if (!insideRing(a.outer, x, y)) continue;
        bool inHole = false;
        for (const cad::Ring& h : a.holes) inHole = inHole || insideRing(h, x, y);
        if (!inHole) return true;
    }
    return false;
}

cad::PlanOptions wallsOn(const std::string& layer) {
    cad::PlanOptions o;
    o.layers.walls.name = layer;
    return o;
}

TEST(CadPlan, OverlappingWallBodiesAreUnitedAndFacesNestAsHoles) {
    const auto m = manifest()["overlap"];
    const cad::Plan bodies = read("overlap.dxf", wallsOn("BODIES"));
    ASSERT_EQ(bodies.walkable.size(), 1u);
    EXPECT_TRUE(bodies.walkable[0].holes.empty());
    EXPECT_NEAR(bodies.area(), m["bodies"].get<double>(), 1e-9);
    EXPECT_FALSE(walkable(bodies, 4.5, 0.25));  // under the extra wall piece
    EXPECT_TRUE(walkable(bodies, 2.0, 0.25));
    const cad::Plan faces = read("overlap.dxf", wallsOn("FACES"));
    EXPECT_NEAR(faces.area(), m["faces"].get<double>(), 1e-9);
    EXPECT_GT(signedArea(faces.walkable[0].outer), 0.0);  // counter-clockwise
}

TEST(CadPlan, AnOpenOutlineIsRefusedNamingTheLooseEnd) {
    const auto m = manifest()["open"];
    const std::string e = refusal("open.dxf");
    EXPECT_NE(e.find("open.dxf: layer WALLS: "), std::string::npos) << e;
    EXPECT_NE(e.find("LINE " + m["handle"].get<std::string>() + " does not close"),
              std::string::npos)
        << e;
    EXPECT_NE(e.find("(9.750, 0.200) m"), std::string::npos) << e;
    EXPECT_NE(e.find("0.050 m away at (9.800, 0.200) m"), std::string::npos) << e;
    // Joined once the tolerance spans the gap.
    cad::PlanOptions wide;
    wide.joinTolerance = 0.06;
    EXPECT_NEAR(read("open.dxf", wide).area(), 9.6 * 7.6, 0.01);
}

TEST(CadPlan, ArcsCirclesAndBulgesBecomeChordsWithinTheStatedError) {
    const auto m = manifest()["arcs"];
    const cad::Plan p = read("arcs.dxf");
    const double exact = m["area"].get<double>();
    // Each chord strays at most kChordErrorMetres from its arc, so the area
    // differs by less than that times the arcs' length.
    EXPECT_NEAR(p.area(), exact, cad::kChordErrorMetres * m["arcLength"].get<double>());
    EXPECT_NEAR(p.area(), exact, 0.1);
    EXPECT_GT(std::fabs(p.area() - exact), 1e-6);  // chords, not the arc itself
    EXPECT_TRUE(walkable(p, 5.0, 10.9));   // under the apse's crown (radius 5 about (5, 6))
    EXPECT_FALSE(walkable(p, 5.0, 11.05));
    EXPECT_FALSE(walkable(p, 5.0, 3.0));   // the circle
    EXPECT_FALSE(walkable(p, 8.45, 1.5));  // the bulge to the east (radius 0.5 about (8, 1.5))
    EXPECT_FALSE(walkable(p, 6.55, 1.5));  // and to the west
    EXPECT_TRUE(walkable(p, 8.55, 1.5));
}

TEST(CadPlan, BlocksArePlacedWithScaleRotationAndNesting) {
    const auto m = manifest()["blocks"];
    const cad::Plan p = read("blocks.dxf");
    EXPECT_EQ(p.unit, cad::Unit::Millimetre);
    EXPECT_TRUE(p.unitFromHeader);
    EXPECT_NEAR(p.area(), m["area"].get<double>(), 1e-6);
    for (const auto& q : m["blocked"]) EXPECT_FALSE(walkable(p, q[0], q[1])) << q;
    for (const auto& q : m["free"]) EXPECT_TRUE(walkable(p, q[0], q[1])) << q;
}

TEST(CadPlan, UnitsComeFromTheHeaderOrTheCaller) {
    const double area = manifest()["inches"]["area"].get<double>();
    const cad::Plan inches = read("inches.dxf");
    EXPECT_EQ(inches.unit, cad::Unit::Inch);
    EXPECT_NEAR(inches.area(), area, 1e-9);
    // The caller's unit overrides the header: the same numbers in feet.
    cad::PlanOptions feet;
    feet.unit = cad::Unit::Foot;
    EXPECT_NEAR(read("inches.dxf", feet).area(), area * 144.0, 1e-6);
    EXPECT_NE(refusal("unitless.dxf").find("unitless.dxf: its header's unit $INSUNITS 0 (unitless)"),
              std::string::npos);
    EXPECT_NE(refusal("miles.dxf").find("$INSUNITS 3 is not one this reader takes"),
              std::string::npos);
    cad::PlanOptions given;
    given.unit = cad::Unit::Inch;
    EXPECT_NEAR(read("unitless.dxf", given).area(), area, 1e-9);
    EXPECT_EQ(cad::unitFromName("millimetres"), cad::Unit::Millimetre);
    EXPECT_EQ(cad::unitFromName("yards"), std::nullopt);
}

TEST(CadPlan, EmptyOrMissingLayersAndWallsThatLeaveNothingAreRefused) {
    EXPECT_NE(refusal("empty.dxf").find("empty.dxf: layer WALLS: the layer is empty"),
              std::string::npos);
    const std::string missing = refusal("overlap.dxf", wallsOn("NOPE"));
    EXPECT_NE(missing.find("layer NOPE: the drawing has no such layer (its layers: "),
              std::string::npos)
        << missing;
    EXPECT_NE(missing.find("BODIES"), std::string::npos);
    // A layer the caller asks for by name must be there; by default it may not.
    cad::PlanOptions obstacles = wallsOn("FACES");
    obstacles.layers.obstacles.required = true;
    EXPECT_NE(refusal("overlap.dxf", obstacles).find("layer OBSTACLES: the layer is empty"),
              std::string::npos);
    const std::string filled = refusal("filled.dxf");
    EXPECT_NE(filled.find("the walls and obstacles leave no walkable area"), std::string::npos)
        << filled;
    // A single body encloses nothing.
    EXPECT_NE(refusal("overlap.dxf", wallsOn("OTHER")).find("no such layer"), std::string::npos);
}

TEST(CadPlan, ExitLinesCloseDoorwaysAndLandingsAreKept) {
    const cad::Plan p = read("doorway.dxf");
    ASSERT_EQ(p.exits.size(), 2u);
    EXPECT_DOUBLE_EQ(p.exits[0].from.x, 9.9);
    EXPECT_DOUBLE_EQ(p.exits[1].to.y, 7.0);
    EXPECT_NEAR(p.area(), manifest()["doorway"]["area"].get<double>(), 0.005);
    EXPECT_TRUE(walkable(p, 9.85, 4.0));  // in the doorway, inside the exit line
    ASSERT_EQ(p.stairs.size(), 1u);
    EXPECT_NEAR(cad::signedArea(p.stairs[0].ring), 3.0, 1e-12);
    // Without its exit line the doorway leaves the room open to the outside.
    cad::PlanOptions noExits;
    noExits.layers.exits.name.clear();
    EXPECT_NE(refusal("doorway.dxf", noExits).find("enclose no area"), std::string::npos);
}

TEST(CadPlan, FiftyThousandEntitiesAreRead) {
    const auto m = manifest()["large"];
    const cad::Plan p = read("large.dxf");
    EXPECT_EQ(p.entities, m["entities"].get<std::size_t>());
    ASSERT_EQ(p.walkable.size(), 1u);
    EXPECT_EQ(p.walkable[0].holes.size(), 12499u);
    EXPECT_NEAR(p.area(), m["area"].get<double>(), 1e-6);
}

TEST(CadPlan, GarbageIsRefusedNotCrashedOn) {
    for (const std::string& bytes :
         {std::string(), std::string("0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n8\nWALLS\n90\n99999999\n"),
          std::string("not a drawing at all\n"), std::string("0\nEOF\n")}) {
        EXPECT_THROW(cad::readPlanBytes(bytes, "x.dxf"), platform::InputError);
    }
}

}  // namespace

namespace {

// Hand-written entities (no header but $INSUNITS): odd values dxflib hands
// over as they are.
std::string drawingWith(const std::string& entities) {
    return "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n6\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" +
           entities + "0\nENDSEC\n0\nEOF\n";
}

const std::string kRoom =
    "0\nLWPOLYLINE\n5\n10\n8\nWALLS\n90\n4\n70\n1\n10\n0\n20\n0\n10\n10\n20\n0\n10\n10\n20\n10\n10\n0\n20\n10\n"
    "0\nLWPOLYLINE\n5\n11\n8\nWALLS\n90\n4\n70\n1\n10\n1\n20\n1\n10\n9\n20\n1\n10\n9\n20\n9\n10\n1\n20\n9\n";

TEST(CadPlan, OddEntitiesAreReadOrRefusedWithoutHarm) {
    EXPECT_NEAR(cad::readPlanBytes(drawingWith(kRoom), "room.dxf").area(), 64.0, 1e-9);
    // An arc whose angles are far apart: its sweep is taken modulo a turn
    // (it once looped adding 360 to -1e300); it reads or is refused, at once.
    const std::string arc = "0\nARC\n5\n12\n8\nOBSTACLES\n10\n5\n20\n5\n40\n1\n50\n0\n51\n-1e300\n";
    try {
        const cad::Plan p = cad::readPlanBytes(drawingWith(kRoom + arc), "arc.dxf");
        EXPECT_LT(p.area(), 64.0);
    } catch (const platform::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("ARC 12"), std::string::npos) << e.what();
    }
    // An exit polyline without vertices draws nothing; one of a single vertex neither.
    const std::string empty = "0\nLWPOLYLINE\n5\n13\n8\nEXITS\n90\n0\n70\n0\n"
                              "0\nLWPOLYLINE\n5\n14\n8\nEXITS\n90\n1\n70\n0\n10\n5\n20\n0\n";
    EXPECT_TRUE(cad::readPlanBytes(drawingWith(kRoom + empty), "e.dxf").exits.empty());
    // A coordinate beyond 100 km is named.
    const std::string far = "0\nLINE\n5\n15\n8\nEXITS\n10\n0\n20\n0\n11\n1e9\n21\n0\n";
    try {
        cad::readPlanBytes(drawingWith(kRoom + far), "far.dxf");
        ADD_FAILURE() << "a line 1e9 m long was read";
    } catch (const platform::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("LINE 15 lies beyond 100 km"), std::string::npos) << e.what();
    }
    // A block that places itself stops at the depth bound.
    const std::string self =
        "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n6\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n"
        "0\nBLOCK\n8\n0\n2\nLOOP\n70\n0\n10\n0\n20\n0\n0\nINSERT\n5\n20\n8\n0\n2\nLOOP\n10\n1\n20\n0\n"
        "0\nENDBLK\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n" + kRoom +
        "0\nINSERT\n5\n21\n8\nWALLS\n2\nLOOP\n10\n0\n20\n0\n0\nENDSEC\n0\nEOF\n";
    try {
        cad::readPlanBytes(self, "self.dxf");
        ADD_FAILURE() << "a block that places itself was read";
    } catch (const platform::InputError& e) {
        EXPECT_NE(std::string(e.what()).find("blocks deep"), std::string::npos) << e.what();
    }
}

}  // namespace
