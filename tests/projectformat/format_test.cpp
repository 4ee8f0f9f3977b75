// The project format's table against itself: the named rows are the rows
// that carry numbers, the script's constants are the numbers its rows use,
// and the file list is a tree below bProj built from unchanged/.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "projectformat/project_files.h"
#include "projectformat/startup_script_format.h"
#include "support/test_support.h"

namespace pf = projectformat;

namespace {

std::string rowText(int number) {
    std::string out;
    pf::FieldValues values;
    for (std::size_t f = 0; f < pf::kFieldCount; ++f)
        values[f].append(1, '<').append(pf::nameOf(static_cast<pf::Field>(f))).append(1, '>');
    pf::appendRow(out, number, values);
    return out;
}

// How many rows contain `text`.
int rowsContaining(const std::string& text) {
    int n = 0;
    for (int r = 1; r <= pf::row::kCount; ++r) n += rowText(r).find(text) != std::string::npos;
    return n;
}

std::string whole(double value) { return std::to_string(static_cast<long long>(value)); }

TEST(ScriptTable, TheNamedRowsAreExactlyTheRowsThatCarryNumbers) {
    using F = pf::Field;
    namespace row = pf::row;
    const std::map<int, std::vector<F>> expected = {
        {row::kTotalPeople, {F::TotalPeople}},
        {row::kKvxFlag, {F::KvxFlag}},
        {row::kAviFlag, {F::AviFlag}},
        {row::kFirstExitA, {F::FirstExitAX, F::FirstExitZ}},
        {row::kFirstExitB, {F::FirstExitBX, F::FirstExitZ}},
        {row::kSecondExitA, {F::SecondExitAX, F::SecondExitZ}},
        {row::kSecondExitB, {F::SecondExitBX, F::SecondExitZ}},
        {row::kScattered, {F::Scattered}},
        {row::kClusterCentre, {F::ClusterX, F::ClusterZ}},
        {row::kCameraX, {F::CameraX}},
        {row::kCameraY, {F::CameraY}},
        {row::kCameraZ, {F::CameraZ}},
    };
    std::map<int, std::vector<F>> found;
    std::set<F> used;
    for (int r = 1; r <= row::kCount; ++r) {
        pf::forEachPiece(
            pf::scriptRow(r), [](std::string_view) {},
            [&](F f) {
                found[r].push_back(f);
                used.insert(f);
                // Every marker names a field of the table.
                EXPECT_EQ(pf::fieldByName(pf::nameOf(f)), f);
            });
    }
    EXPECT_EQ(found, expected);
    EXPECT_EQ(used.size(), pf::kFieldCount);
    // The cluster call follows its centre; the rows that frame the two exits.
    EXPECT_EQ(pf::row::kClusterCall, pf::row::kClusterCentre + 1);
    EXPECT_EQ(pf::describeRow(pf::row::kClusterCall), "\tMyCluster(v0, \"Archer\", \"Clustered\");");
    EXPECT_EQ(pf::describeRow(pf::row::kFirstExitA - 1), "\t// first exit");
    EXPECT_EQ(pf::describeRow(pf::row::kSecondExitA - 1), "\t// second exit");
    EXPECT_EQ(pf::describeRow(pf::row::kCount), "}");
    EXPECT_EQ(pf::describeRow(pf::row::kCount + 1), "");
}

TEST(ScriptTable, TheConstantsAreTheNumbersTheRowsUse) {
    namespace s = pf::script;
    // MyCluster's loop and circle.
    EXPECT_EQ(rowsContaining("for (var i=" + whole(s::kClusterFirstAngle) + ".0; i<" +
                             whole(-s::kClusterFirstAngle) + ".0; i+=" +
                             whole(s::kClusterAngleStep) + ") {"),
              1);
    EXPECT_EQ(-2 * s::kClusterFirstAngle / s::kClusterAngleStep, s::kPeoplePerCluster);
    EXPECT_EQ(rowsContaining("center.x+" + whole(s::kClusterRadius) + "*Math.Cos(i/180.0*PI)"), 1);
    EXPECT_EQ(rowsContaining("center.z+" + whole(s::kClusterRadius) + "*Math.Sin(i/180.0*PI)"), 1);
    // The scattered people's start.
    EXPECT_EQ(rowsContaining(std::to_string(s::kScatterOrigin) + " + Math.Rand()%" +
                             std::to_string(s::kScatterRange) + ";"),
              2);
    // The role loop.
    EXPECT_EQ(rowsContaining("if ((i%2 == 0) && (i < " + std::to_string(s::kPairedPeople) + "))"),
              1);
    EXPECT_EQ(rowsContaining("} else if (i < " + std::to_string(s::kPairedPeople) + ")"), 1);
    EXPECT_EQ(rowsContaining("} else if (count < " + std::to_string(s::kAdults) + ")"), 1);
    // Poll's exit distance.
    EXPECT_EQ(rowsContaining("if (DistToExit(actor,va, vb, va2, vb2) < " +
                             whole(s::kExitLeaveDistance) + ")"),
              1);
}

TEST(ScriptTable, FormatRealWritesWhatTheRowsExpect) {
    EXPECT_EQ(pf::formatReal(5.0f), "5");
    EXPECT_EQ(pf::formatReal(-0.0f), "0");
    EXPECT_EQ(pf::formatReal(1000000.0f), "1e+006");
    EXPECT_EQ(pf::formatReal(0.00001f), "1e-005");
}

TEST(ProjectFiles, TwentyFiveFilesBelowTheProjectFolder) {
    const auto files = pf::projectFiles();
    ASSERT_EQ(files.size(), pf::kProjectFileCount);
    std::set<std::string_view> paths;
    std::map<pf::Content, int> made;
    for (const pf::ProjectFile& f : files) {
        EXPECT_TRUE(paths.insert(f.path).second) << f.path;
        EXPECT_TRUE(f.path.starts_with(".\\bProj\\")) << f.path;
        ++made[f.content];
        if (f.content == pf::Content::Template) {
            // A template keeps its name; it comes from unchanged/.
            EXPECT_TRUE(f.templatePath.starts_with(".\\unchanged\\")) << f.path;
            const auto name = f.path.substr(f.path.rfind('\\') + 1);
            EXPECT_EQ(f.templatePath.substr(f.templatePath.rfind('\\') + 1), name);
            EXPECT_FALSE(f.generated());
        } else {
            EXPECT_TRUE(f.templatePath.empty()) << f.path;
        }
    }
    // The templates are the files of unchanged/ (but the basic floor, which
    // is the Floor's default source, and git's attributes), each copied once.
    std::multiset<std::string> copied;
    for (const pf::ProjectFile& f : files)
        if (f.content == pf::Content::Template)
            copied.insert(std::string(f.templatePath.substr(f.templatePath.rfind('\\') + 1)));
    std::multiset<std::string> shipped;
    for (const auto& entry : std::filesystem::directory_iterator(testsupport::sourcePath("unchanged"))) {
        const std::string name = entry.path().filename().string();
        if (name != "floor.kvx" && name != ".gitattributes") shipped.insert(name);
    }
    EXPECT_EQ(copied, shipped);
    for (pf::Content c : {pf::Content::ProjectDescriptor, pf::Content::Workspace,
                          pf::Content::TemplateWorkspace, pf::Content::EventTable,
                          pf::Content::StartupScript, pf::Content::HelperData,
                          pf::Content::DriveEvent, pf::Content::Floor}) {
        EXPECT_EQ(made[c], 1);
        EXPECT_EQ(pf::fileMadeFrom(c).content, c);
    }
    EXPECT_EQ(pf::fileMadeFrom(pf::Content::StartupScript).path, ".\\bProj\\Vellico\\startup.pc");
    EXPECT_EQ(pf::fileMadeFrom(pf::Content::Floor).path,
              ".\\bProj\\Content\\Actors\\Floor\\Floor.kvx");
    // Build order: folders are entered once, so files of one folder are adjacent.
    std::vector<std::string_view> folders;
    for (const pf::ProjectFile& f : files) {
        const auto folder = f.path.substr(0, f.path.rfind('\\'));
        if (folders.empty() || folders.back() != folder) {
            EXPECT_EQ(std::count(folders.begin(), folders.end(), folder), 0) << folder;
            folders.push_back(folder);
        }
    }
}

TEST(ProjectFiles, HostPathsBelowARoot) {
    EXPECT_EQ(pf::hostPath("/tmp/start", ".\\bProj\\Vellico\\startup.pc"),
              std::filesystem::path("/tmp/start/bProj/Vellico/startup.pc"));
    EXPECT_EQ(pf::hostPath("/tmp/start", "floors\\\\plan.kvx"),
              std::filesystem::path("/tmp/start/floors/plan.kvx"));
    EXPECT_EQ(pf::hostPath("/tmp/start", "/elsewhere/plan.kvx"),
              std::filesystem::path("/elsewhere/plan.kvx"));
}

}  // namespace
