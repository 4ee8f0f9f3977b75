#include "inputs/startup_script_reader.h"

#include <gtest/gtest.h>

#include "support/runtime_test_helpers.h"

using runtime::parseStartupScript;
using runtime::ScriptError;
using runtimetest::join;
using runtimetest::lines;
using runtimetest::withLine;
using runtimetest::workedExample;

namespace {

// The error a damaged script gives: its line and message.
ScriptError errorOf(const std::string& text) {
    try {
        parseStartupScript(text);
    } catch (const ScriptError& e) {
        return e;
    }
    ADD_FAILURE() << "the script was accepted";
    return ScriptError(-1, "accepted");
}

}  // namespace

TEST(StartupScript, TheWorkedExampleReadsBackToItsScenario) {
    const runtime::StartupScript s = parseStartupScript(workedExample());
    EXPECT_EQ(s.totalPeople, 20);
    EXPECT_TRUE(s.recordKvx());
    EXPECT_FALSE(s.recordAvi());
    EXPECT_FLOAT_EQ(s.va.x, 17.5f);
    EXPECT_FLOAT_EQ(s.va.z, -30.25f);
    EXPECT_FLOAT_EQ(s.vb.x, 7.5f);
    EXPECT_FLOAT_EQ(s.vb.z, -30.25f);
    EXPECT_FLOAT_EQ(s.va2.x, 5.0f);  // the default second exit
    EXPECT_FLOAT_EQ(s.va2.z, -65.0f);
    EXPECT_FLOAT_EQ(s.vb2.x, -5.0f);
    EXPECT_FLOAT_EQ(s.vb2.z, -65.0f);
    EXPECT_EQ(s.scattered, 0);
    ASSERT_EQ(s.clusters.size(), 2u);  // the third placed cluster is not used
    EXPECT_FLOAT_EQ(s.clusters[0].x, 10.0f);
    EXPECT_FLOAT_EQ(s.clusters[0].z, 20.0f);
    EXPECT_FLOAT_EQ(s.clusters[1].x, -15.5f);
    EXPECT_FLOAT_EQ(s.clusters[1].z, 4.75f);
    EXPECT_FLOAT_EQ(s.cameraX, -100.0f);
    EXPECT_FLOAT_EQ(s.cameraY, 20.0f);
    EXPECT_FLOAT_EQ(s.cameraZ, 100.0f);
    EXPECT_EQ(s.lineCount, 227);
}

TEST(StartupScript, BareLineFeedsReadTheSame) {
    std::string text = workedExample();
    std::string lf;
    for (char c : text)
        if (c != '\r') lf += c;
    const auto a = parseStartupScript(text), b = parseStartupScript(lf);
    EXPECT_EQ(a.totalPeople, b.totalPeople);
    EXPECT_EQ(a.clusters.size(), b.clusters.size());
    EXPECT_EQ(a.lineCount, b.lineCount);
}

TEST(StartupScript, ScatteredPeopleWithoutClustersAndExponentNumbers) {
    auto ls = lines(workedExample());
    ls.erase(ls.begin() + 65, ls.begin() + 69);  // the two cluster groups (lines 66 to 69)
    ls[60] = "\tfor (var i=0; i<20; i++) {";
    ls[14] = "\tglobal var va = new DrvVector(1e+006,0,-1.5e-005);";
    const auto s = parseStartupScript(join(ls));
    EXPECT_EQ(s.scattered, 20);
    EXPECT_TRUE(s.clusters.empty());
    EXPECT_FLOAT_EQ(s.va.x, 1.0e6f);
    EXPECT_FLOAT_EQ(s.va.z, -1.5e-5f);
    EXPECT_EQ(s.lineCount, 223);
}

TEST(StartupScript, DamagedScriptsNameTheLineAndWhatWasExpected) {
    struct Case {
        std::string text;
        int line;
        std::string says;
    };
    auto ls = lines(workedExample());
    const std::vector<Case> cases = {
        {withLine(7, "\tglobal var TotalPeople=abc;"), 7, "number of people"},
        {withLine(7, "\tglobal var TotalPeople=21;"), 7, "creates 20 people"},
        {withLine(7, "\tglobal var TotalPeople=-3;"), 7, "outside 0 to"},
        {withLine(7, "\tglobal var TotalPeople=99999999999;"), 7, "out of range"},
        {withLine(8, "\tglobal var dumpToKVX = 1.5;"), 8, "KVX recording flag"},
        {withLine(3, "\tengine.RunScript(\"rtk\",nil);"), 3, "engine.RunScript(\"rtk\", nil);"},
        {withLine(15, "\tglobal var va = new DrvVector(17.5,1,-30.25);"), 15,
         "first exit vector va"},
        {withLine(16, "\tglobal var vb = new DrvVector(7.5,0,-30.25); // moved"), 16,
         "more text than expected"},
        {withLine(19, "\tglobal var vb2 = new DrvVector(-5,0,1e+999);"), 19, "out of range"},
        {withLine(61, "\tfor (var i=0; i<; i++) {"), 61, "scattered"},
        {withLine(67, "\tMyCluster(v0, \"Archer\", \"Other\");"), 67, "cluster call"},
        {withLine(113, "\tT.position.x = ;"), 113, "camera's x position"},
        {withLine(114, "\tT.position.y = 2O;"), 114, "camera's y position"},
        {withLine(1, "  use constants \"drive_constants\";"), 1, "expected"},
        {join(std::vector<std::string>(ls.begin(), ls.begin() + 100)), 101, "ends early"},
        {workedExample() + "extra\r\n", 228, "end of the script"},
        {std::string("\x01\x02\xff garbage"), 1, "\\x01\\x02\\xFF"},
    };
    for (const Case& c : cases) {
        const ScriptError e = errorOf(c.text);
        EXPECT_EQ(e.line(), c.line) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).rfind("line " + std::to_string(c.line) + ": ", 0), 0u)
            << e.what();
    }
}

TEST(StartupScript, ACentreWithoutItsClusterCallIsRefused) {
    auto ls = lines(workedExample());
    ls.erase(ls.begin() + 66);  // the first MyCluster call (line 67)
    const ScriptError e = errorOf(join(ls));
    EXPECT_EQ(e.line(), 67);
    EXPECT_NE(std::string(e.what()).find("MyCluster"), std::string::npos);
}

TEST(StartupScript, AnEmptyScriptIsRefused) {
    const ScriptError e = errorOf("");
    EXPECT_NE(std::string(e.what()).find("empty"), std::string::npos);
}

TEST(StartupScript, RowsAreDescribedWithPlaceholders) {
    EXPECT_EQ(runtime::describeRow(7), "\tglobal var TotalPeople=<int>;");
    EXPECT_EQ(runtime::describeRow(66), "\tv0 = new DrvVector(<real>,0,<real>);");
    EXPECT_EQ(runtime::describeRow(128), "\t\t\tSubmitActor(\"h:\\mocap.kvx\", actor); ");
    EXPECT_EQ(runtime::describeRow(0), "");
    EXPECT_EQ(runtime::describeRow(226), "");
}
