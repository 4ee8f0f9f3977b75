// The texts of the generated files against golden files transcribed by hand
// from the runtime's formats, and the rules of the startup script.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "generator/generated_texts.h"
#include "support/scenarios.h"
#include "support/test_support.h"

namespace {

std::string golden(const std::string& name) {
    return testsupport::readFile(testsupport::sourcePath("tests/golden/" + name));
}

// What the text-mode stream stores for a text.
std::string withCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // golden files hold CR LF
        out.push_back(line);
    }
    return out;
}

TEST(FixedTexts, MatchTheGoldenFilesAndLineCounts) {
    struct Case {
        const char* golden;
        std::string text;
        std::size_t lineCount;
    } cases[] = {
        {"something.spj", generator::projectDescriptorText(), 141},
        {"events.evt", generator::eventTableText(), 51},
        {"something.sws", generator::workspaceText(), 48},
        {"template.sws", generator::templateWorkspaceText(), 26},
        {"drive_event.pti", generator::driveEventText(), 9},
        {"helperdata.pcs", generator::helperDataText(), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        const std::string expected = golden(c.golden);
        EXPECT_EQ(withCrLf(c.text), expected);
        EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'),
                  static_cast<long>(c.lineCount));
        EXPECT_EQ(lines(c.text).size(), c.lineCount);
        EXPECT_EQ(c.text.back(), '\n');
    }
    EXPECT_EQ(golden("helperdata.pcs").size(), 22u);
}

TEST(FixedTexts, DmPingAgreesBetweenEventTableAndConstantSet) {
    EXPECT_NE(generator::eventTableText().find("<event name=\"DM_PING\" value=\"123\"/>"),
              std::string::npos);
    EXPECT_EQ(generator::helperDataText(), "const DM_PING = 123;\n");
}

// Decodes every binary value of a workspace text: key -> bytes, checking the
// line layout (19 bytes and a comma on every line but the last).
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> binaryValues(
    const std::string& text) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> out;
    const auto all = lines(text);
    const std::string marker = " (all) =(binary) ";
    for (std::size_t i = 0; i < all.size(); ++i) {
        auto at = all[i].find(marker);
        if (at == std::string::npos) continue;
        std::string key = all[i].substr(1, at - 2);
        std::vector<std::string> hexLines = {all[i].substr(at + marker.size())};
        while (!hexLines.back().empty() && hexLines.back().back() == ',') {
            hexLines.push_back(all[++i]);
        }
        std::vector<std::uint8_t> bytes;
        for (std::size_t n = 0; n < hexLines.size(); ++n) {
            std::string line = hexLines[n];
            const bool last = n + 1 == hexLines.size();
            EXPECT_EQ(line.back() == ',', !last) << key << " line " << n;
            std::size_t count = 0;
            std::istringstream items(line);
            std::string item;
            while (std::getline(items, item, ',')) {
                EXPECT_EQ(item.size(), 3u);
                EXPECT_EQ(item[0], 'x');
                EXPECT_EQ(item.find_first_not_of("0123456789abcdef", 1), std::string::npos);
                bytes.push_back(static_cast<std::uint8_t>(std::stoi(item.substr(1), nullptr, 16)));
                ++count;
            }
            if (!last) {
                EXPECT_EQ(count, 19u) << key << " line " << n;
            } else {
                EXPECT_TRUE(count >= 1 && count <= 19) << key;
            }
        }
        out.emplace_back(key, bytes);
    }
    return out;
}

struct Reader {
    const std::vector<std::uint8_t>& bytes;
    std::size_t at = 0;
    std::int32_t integer() {
        EXPECT_LE(at + 4, bytes.size());
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[at + static_cast<std::size_t>(i)];
        at += 4;
        return static_cast<std::int32_t>(v);
    }
    std::string string() {
        const std::int32_t length = integer();
        EXPECT_GE(length, 0);
        EXPECT_LE(at + static_cast<std::size_t>(length), bytes.size());
        std::string s(bytes.begin() + static_cast<long>(at),
                      bytes.begin() + static_cast<long>(at) + length);
        at += static_cast<std::size_t>(length);
        return s;
    }
};

struct DecodedEditor {
    std::string name, assetType, folder, path;
    std::int32_t ints[9];
};

DecodedEditor decodeEditor(const std::vector<std::uint8_t>& bytes) {
    Reader r{bytes};
    DecodedEditor e;
    e.name = r.string();
    r.at += 4;  // marker
    for (auto& v : e.ints) v = r.integer();
    e.assetType = r.string();
    e.folder = r.string();
    e.path = r.string();
    EXPECT_EQ(r.at, bytes.size()) << "record has bytes left over";
    return e;
}

TEST(Workspaces, BinaryRecordsDecodeToTheirStatedLengths) {
    const auto project = binaryValues(golden("something.sws"));
    ASSERT_EQ(project.size(), 5u);
    EXPECT_EQ(project[0].first, "Position");
    EXPECT_EQ(project[0].second.size(), 20u);
    EXPECT_EQ(project[1].second.size(), 122u);
    EXPECT_EQ(project[2].second.size(), 128u);
    EXPECT_EQ(project[3].second.size(), 56u);
    EXPECT_EQ(project[4].first, "ScriptPos0");
    EXPECT_EQ(project[4].second.size(), 20u);
    const auto templ = binaryValues(golden("template.sws"));
    ASSERT_EQ(templ.size(), 1u);
    EXPECT_EQ(templ[0].second.size(), 147u);

    // The generated text carries the same records.
    const auto generated = binaryValues(generator::workspaceText());
    ASSERT_EQ(generated.size(), project.size());
    for (std::size_t i = 0; i < project.size(); ++i) EXPECT_EQ(generated[i], project[i]);
    EXPECT_EQ(binaryValues(generator::templateWorkspaceText()), templ);
}

TEST(Workspaces, EditorRecordsHoldWhatTheyName) {
    const auto project = binaryValues(golden("something.sws"));
    const auto e0 = decodeEditor(project[1].second);
    EXPECT_EQ(e0.name, "startup.pc");
    EXPECT_EQ(e0.assetType, "Vellico");
    EXPECT_EQ(e0.folder, "/Vellico");
    EXPECT_EQ(e0.path, "H:\\morvantum\\Ex1_Hello\\Vellico\\startup.pc");
    const std::int32_t e0Ints[9] = {2, 0, 670, -1, -1, 0, 0, 640, 480};
    EXPECT_TRUE(std::equal(std::begin(e0Ints), std::end(e0Ints), e0.ints));

    const auto e1 = decodeEditor(project[2].second);
    EXPECT_EQ(e1.name, "key.hfsm");
    EXPECT_EQ(e1.path.size(), 45u);
    const std::int32_t e1Ints[9] = {1, -1, -1, -1, -1, 0, -1, 640, 479};
    EXPECT_TRUE(std::equal(std::begin(e1Ints), std::end(e1Ints), e1.ints));

    const auto e2 = decodeEditor(project[3].second);
    EXPECT_EQ(e2.name, "");
    EXPECT_EQ(
        std::vector<std::uint8_t>(project[3].second.begin() + 4, project[3].second.begin() + 8),
        (std::vector<std::uint8_t>{0x6f, 0x6c, 0x6f, 0x20}));
    EXPECT_EQ(e2.path, "");

    const auto t0 = decodeEditor(binaryValues(golden("template.sws"))[0].second);
    EXPECT_EQ(t0.name, "crowd.pc");
    EXPECT_EQ(t0.path.size(), 68u);
    EXPECT_EQ(t0.ints[7], 705);
    EXPECT_EQ(t0.ints[8], 694);

    Reader rect{project[0].second};
    EXPECT_EQ(rect.integer(), 1);
    EXPECT_EQ(rect.integer(), 69);
    EXPECT_EQ(rect.integer(), 69);
    EXPECT_EQ(rect.integer(), 709);
    EXPECT_EQ(rect.integer(), 549);
}

TEST(Workspaces, HexLinesBreakAfterEveryNineteenthByte) {
    std::string run;
    for (int i = 0; i < 18; ++i) run += "xab,";
    EXPECT_EQ(generator::binaryValueText(std::vector<std::uint8_t>(38, 0xab)),
              run + "xab,\n" + run + "xab");
    EXPECT_EQ(generator::binaryValueText(std::vector<std::uint8_t>(20, 0xab)), run + "xab,\nxab");
    EXPECT_EQ(generator::binaryValueText({0x00}), "x00");
    EXPECT_EQ(generator::binaryValueText({}), "");
}

// --- the startup script -------------------------------------------------

scenario::ScenarioSettings workedExample() { return testsupport::workedExampleScenario(); }

TEST(StartupScript, WorkedExampleMatchesGolden) {
    const std::string text = generator::startupScriptText(workedExample());
    EXPECT_EQ(withCrLf(text), golden("startup_worked_example.pc"));
    EXPECT_EQ(lines(text).size(), 227u);
}

TEST(StartupScript, PeopleLayoutTable) {
    struct Case {
        int pairs, adults, children, clusters;
        long long total, used, scattered;
    } cases[] = {
        {0, 0, 0, 5, 0, 0, 0},      // nobody: no cluster rows
        {10, 5, 0, 3, 25, 2, 5},    // TOTAL 25 with 3 clusters
        {10, 10, 5, 2, 35, 2, 15},  // TOTAL 35 with 2 clusters
        {2, 5, 0, 1, 9, 0, 9},      // fewer than ten people: the cluster stays empty
        {5, 10, 10, 3, 30, 3, 0},   // exactly ten per cluster
        {5, 5, 5, 0, 20, 0, 20},    // no clusters: everybody scattered
        {99, 99, 99, 40, 396, 39, 6},
        {5, 5, 5, -3, 20, 0, 20},  // counts outside 0 to 40 are taken as the bound
        {50, 0, 0, 45, 100, 10, 0},
        {99, 99, 99, 45, 396, 39, 6},
    };
    for (const auto& c : cases) {
        const auto l = generator::layoutPeople(c.pairs, c.adults, c.children, c.clusters);
        EXPECT_EQ(l.total, c.total);
        EXPECT_EQ(l.used, c.used) << "total " << c.total << ", clusters " << c.clusters;
        EXPECT_EQ(l.scattered, c.scattered) << "total " << c.total;
    }
}

std::vector<std::string> scriptLines(const scenario::ScenarioSettings& s) {
    return lines(generator::startupScriptText(s));
}

TEST(StartupScript, ClusterRowsAndScatteredCount) {
    scenario::ScenarioSettings s;
    s.pairCount = 10;
    s.adultCount = 5;  // TOTAL 25
    s.clusterCount = 3;
    s.clusters[0] = {1.5f, -2.0f};
    s.clusters[1] = {1000000.0f, 0.00001f};
    s.clusters[2] = {7.0f, 7.0f};
    const auto l = scriptLines(s);
    ASSERT_EQ(l.size(), 227u);
    EXPECT_EQ(l[6], "\tglobal var TotalPeople=25;");
    EXPECT_EQ(l[60], "\tfor (var i=0; i<5; i++) {");
    EXPECT_EQ(l[65], "\tv0 = new DrvVector(1.5,0,-2);");
    EXPECT_EQ(l[66], "\tMyCluster(v0, \"Archer\", \"Clustered\");");
    EXPECT_EQ(l[67], "\tv0 = new DrvVector(1e+006,0,1e-005);");
    EXPECT_EQ(l[69], "\tglobal var nonClusteredList = ExtractCluster(\"NonClustered\");");

    s.pairCount = s.adultCount = s.childCount = 0;
    const auto none = scriptLines(s);
    ASSERT_EQ(none.size(), 223u);  // rows 66 and 67 are not written
    EXPECT_EQ(none[6], "\tglobal var TotalPeople=0;");
    EXPECT_EQ(none[60], "\tfor (var i=0; i<0; i++) {");
    EXPECT_EQ(none[65], "\tglobal var nonClusteredList = ExtractCluster(\"NonClustered\");");
}

TEST(StartupScript, ExitRule) {
    scenario::ScenarioSettings s;
    s.exits[0] = {-5.0f, 12.0f};
    s.exits[1] = {5.0f, -7.25f};
    const std::string defaultFirst[] = {"\tglobal var va = new DrvVector(5,0,65);",
                                        "\tglobal var vb = new DrvVector(-5,0,65);"};
    const std::string defaultSecond[] = {"\tglobal var va2 = new DrvVector(5,0,-65);",
                                         "\tglobal var vb2 = new DrvVector(-5,0,-65);"};
    for (int count : {0, 3, -1}) {
        s.exitCount = count;
        const auto l = scriptLines(s);
        EXPECT_EQ(l[13], "\t// first exit");
        EXPECT_EQ(l[14], defaultFirst[0]);
        EXPECT_EQ(l[15], defaultFirst[1]);
        EXPECT_EQ(l[16], "\t// second exit");
        EXPECT_EQ(l[17], defaultSecond[0]);
        EXPECT_EQ(l[18], defaultSecond[1]);
    }
    s.exitCount = 1;
    auto l = scriptLines(s);
    EXPECT_EQ(l[14], "\tglobal var va = new DrvVector(0,0,12);");  // -5 + 5 is written "0"
    EXPECT_EQ(l[15], "\tglobal var vb = new DrvVector(-10,0,12);");
    EXPECT_EQ(l[17], defaultSecond[0]);
    EXPECT_EQ(l[18], defaultSecond[1]);
    s.exitCount = 2;
    l = scriptLines(s);
    EXPECT_EQ(l[14], "\tglobal var va = new DrvVector(0,0,12);");
    EXPECT_EQ(l[17], "\tglobal var va2 = new DrvVector(10,0,-7.25);");
    EXPECT_EQ(l[18], "\tglobal var vb2 = new DrvVector(0,0,-7.25);");  // 5 - 5
}

TEST(StartupScript, CameraFollowsFloorScale) {
    struct Case {
        int floorScale;
        const char *x, *y, *z;
    } cases[] = {{0, "0", "0", "0"},
                 {7, "-10", "2", "10"},
                 {70, "-100", "20", "100"},
                 {100, "-142.857", "28.5714", "142.857"},
                 {1000000, "-1.42857e+006", "285714", "1.42857e+006"}};
    for (const auto& c : cases) {
        scenario::ScenarioSettings s;
        s.floorScale = c.floorScale;
        const auto l = scriptLines(s);
        // No cluster rows: row n of the script is line n - 2.
        EXPECT_EQ(l[108], std::string("\tT.position.x = ") + c.x + ";") << c.floorScale;
        EXPECT_EQ(l[109], std::string("\tT.position.y = ") + c.y + ";") << c.floorScale;
        EXPECT_EQ(l[110], std::string("\tT.position.z = ") + c.z + ";") << c.floorScale;
    }
}

TEST(StartupScript, RecordingFlags) {
    scenario::ScenarioSettings s;
    for (auto command : {scenario::BuildCommand::RunMorvanta, scenario::BuildCommand::CreateKvx,
                         scenario::BuildCommand::CreateAvi}) {
        scenario::applyCommandFlags(s, command);
        const auto l = scriptLines(s);
        EXPECT_EQ(l[7], std::string("\tglobal var dumpToKVX = ") + (s.recordKvx ? "1" : "0") + ";");
        EXPECT_EQ(l[8], std::string("\tglobal var dumpToAVI = ") + (s.recordAvi ? "1" : "0") + ";");
        EXPECT_EQ(l[116], "\tif (dumpToAVI==1) {");  // both blocks always written
        EXPECT_EQ(l[121], "\tif (dumpToKVX==1) {");
    }
}

}  // namespace
