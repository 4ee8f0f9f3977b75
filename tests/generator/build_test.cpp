// Whole builds: the tree, its bytes, repeated builds and the failures a build
// passes over and reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <type_traits>

#include "generator/project_builder.h"
#include "platform/platform.h"
#include "projectformat/project_files.h"
#include "support/scenarios.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

static_assert(std::is_base_of_v<std::iostream, generator::ProjectBuilder>);

std::string golden(const std::string& name) {
    return readFile(testsupport::sourcePath("tests/golden/" + name));
}

using projectformat::hostPath;

std::vector<generator::BuildFailure> buildProject(const scenario::ScenarioSettings& s) {
    return generator::buildProject(s, platform::nativePath(s.startDirectory)).failures;
}

const char* const kGoldenFiles[][2] = {
    {"bProj/something.spj", "something.spj"},
    {"bProj/something.sws", "something.sws"},
    {"bProj/template.sws", "template.sws"},
    {"bProj/StateMachines/events.evt", "events.evt"},
    {"bProj/Vellico/helperdata.pcs", "helperdata.pcs"},
    {"bProj/Vellico/drive_event.pti", "drive_event.pti"},
};


class BuildTest : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::copyTemplates(dir.path()); }

    scenario::ScenarioSettings emptyScenario() const {
        scenario::ScenarioSettings s;
        s.floorPath = "unchanged\\floor.kvx";
        s.startDirectory = dir.path().string();
        return s;
    }

    // Every file of the list is there: generated ones as their golden files,
    // copies byte for byte as their source.
    void expectCompleteTree(const fs::path& root) {
        for (const auto& file : projectformat::projectFiles()) {
            const fs::path path = hostPath(root, file.path);
            EXPECT_TRUE(fs::is_regular_file(path)) << file.path;
            if (file.content == projectformat::Content::Template) {
                EXPECT_EQ(readFile(path), readFile(hostPath(root, file.templatePath)))
                    << file.path;
            } else if (file.content == projectformat::Content::Floor) {
                EXPECT_EQ(readFile(path), readFile(root / "unchanged/floor.kvx"));
            }
        }
        for (const auto& g : kGoldenFiles) {
            EXPECT_EQ(readFile(root / g[0]), golden(g[1])) << g[0];
        }
    }

    TempDir dir;
    testsupport::ScopedCurrentDirectory restore{fs::current_path()};
};

TEST_F(BuildTest, EmptyScenarioYieldsAllTwentyFiveFiles) {
    ASSERT_EQ(projectformat::projectFiles().size(), projectformat::kProjectFileCount);
    TempDir elsewhere;
    fs::current_path(elsewhere.path());
    const auto failures = buildProject(emptyScenario());
    EXPECT_TRUE(failures.empty()) << failures.front().path << ": " << failures.front().reason();
    expectCompleteTree(dir.path());
    const std::string script = readFile(dir / "bProj/Vellico/startup.pc");
    EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 223);  // no cluster rows
    // The build neither uses nor moves the current directory.
    EXPECT_TRUE(fs::equivalent(fs::current_path(), elsewhere.path()));
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

TEST_F(BuildTest, GeneratedFilesHaveCrLfOnEveryLine) {
    buildProject(emptyScenario());
    for (const char* file : {"bProj/something.spj", "bProj/something.sws", "bProj/template.sws",
                             "bProj/StateMachines/events.evt", "bProj/Vellico/startup.pc",
                             "bProj/Vellico/helperdata.pcs", "bProj/Vellico/drive_event.pti"}) {
        const std::string bytes = readFile(dir / file);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << file;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n') {
                EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << file << " @" << i;
            } else if (bytes[i] == '\r') {
                EXPECT_TRUE(i + 1 < bytes.size() && bytes[i + 1] == '\n') << file << " @" << i;
            }
        }
    }
}

TEST_F(BuildTest, WorkedExampleFromAnotherCurrentDirectory) {
    auto s = testsupport::workedExampleScenario();
    s.floorPath = "unchanged\\floor.kvx";
    s.startDirectory = dir.path().string();
    TempDir elsewhere;
    fs::current_path(elsewhere.path());  // the tree still goes below the start directory
    generator::ProjectBuilder builder(s);
    EXPECT_TRUE(builder.report().complete());
    EXPECT_FALSE(builder.is_open());
    EXPECT_EQ(readFile(dir / "bProj/Vellico/startup.pc"), golden("startup_worked_example.pc"));
    EXPECT_FALSE(fs::exists(elsewhere / "bProj"));
}

TEST_F(BuildTest, SecondBuildOverwritesAndKeepsForeignFiles) {
    auto s = emptyScenario();
    s.pairCount = 40;
    s.clusterCount = 2;
    buildProject(s);
    writeFile(dir / "bProj/notes.txt", "mine");
    writeFile(dir / "bProj/Vellico/extra.pc", "mine too");
    writeFile(dir / "bProj/something.spj", std::string(100000, 'z'));  // longer than the text
    writeFile(dir / "bProj/Content/Actors/Wall/Wall.kvx", std::string(100000, 'z'));

    s.pairCount = 0;  // a shorter startup script
    EXPECT_TRUE(buildProject(s).empty());
    expectCompleteTree(dir.path());
    EXPECT_EQ(readFile(dir / "bProj/notes.txt"), "mine");
    EXPECT_EQ(readFile(dir / "bProj/Vellico/extra.pc"), "mine too");
    const std::string script = readFile(dir / "bProj/Vellico/startup.pc");
    EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 223);  // no cluster rows
}

TEST_F(BuildTest, UnopenableDescriptorIsReportedAndTheRestIsWritten) {
    fs::create_directories(dir / "bProj/something.spj");  // a directory in its place
    writeFile(dir / "bProj/something.spj/kept", "kept");
    const auto failures = buildProject(emptyScenario());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, ".\\bProj\\something.spj");
    EXPECT_EQ(failures[0].step, generator::BuildStep::OpenForWriting);
    EXPECT_EQ(failures[0].reason(), "could not open for writing: " + failures[0].cause);
    EXPECT_FALSE(failures[0].cause.empty());
    EXPECT_EQ(readFile(dir / "bProj/something.spj/kept"), "kept");
    // Every later generated file is written in full.
    for (std::size_t i = 1; i < std::size(kGoldenFiles); ++i) {
        EXPECT_EQ(readFile(dir / kGoldenFiles[i][0]), golden(kGoldenFiles[i][1]));
    }
}

TEST_F(BuildTest, MissingTemplateGivesAnEmptyCopyAndTheBuildGoesOn) {
    fs::remove(dir / "unchanged/Wall.kvx");
    const auto failures = buildProject(emptyScenario());
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, ".\\unchanged\\Wall.kvx");
    EXPECT_EQ(failures[0].step, generator::BuildStep::ReadTemplate);
    EXPECT_EQ(failures[0].writtenEmpty, ".\\bProj\\Content\\Actors\\Wall\\Wall.kvx");
    EXPECT_EQ(failures[0].reason(),
              "template missing; .\\bProj\\Content\\Actors\\Wall\\Wall.kvx was written empty");
    EXPECT_EQ(fs::file_size(dir / "bProj/Content/Actors/Wall/Wall.kvx"), 0u);
    EXPECT_EQ(readFile(dir / "bProj/Content/Worlds/world.kvx"),
              readFile(dir / "unchanged/world.kvx"));
}

TEST_F(BuildTest, MissingFloorFileGivesAnEmptyFloor) {
    auto s = emptyScenario();
    s.floorPath = "floors\\\\nowhere.kvx";
    const auto failures = buildProject(s);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, "floors\\\\nowhere.kvx");
    EXPECT_EQ(failures[0].step, generator::BuildStep::ReadFloor);
    EXPECT_NE(failures[0].reason().find("floor file missing"), std::string::npos);
    EXPECT_EQ(fs::file_size(dir / "bProj/Content/Actors/Floor/Floor.kvx"), 0u);
}

TEST_F(BuildTest, FloorChosenFromAnEarlierBuildIsKept) {
    auto s = emptyScenario();
    buildProject(s);
    const std::string floor = readFile(dir / "unchanged/floor.kvx");
    for (std::string path : {std::string("bProj\\\\Content\\\\Actors\\\\Floor\\\\Floor.kvx"),
                             (dir / "bProj/Content/Actors/Floor/Floor.kvx").string()}) {
        s.floorPath = path;
        EXPECT_TRUE(buildProject(s).empty()) << path;
        EXPECT_EQ(readFile(dir / "bProj/Content/Actors/Floor/Floor.kvx"), floor) << path;
    }
}

TEST_F(BuildTest, LongStartDirectory) {
    fs::path deep = dir.path();
    while (deep.string().size() <= 300) deep /= std::string(40, 'd');
    fs::create_directories(deep);
    testsupport::copyTemplates(deep);
    auto s = emptyScenario();
    s.startDirectory = deep.string();
    ASSERT_GT(s.startDirectory.size(), 256u);
    EXPECT_TRUE(buildProject(s).empty());
    expectCompleteTree(deep);
    EXPECT_FALSE(fs::exists(dir / "bProj"));
}

TEST_F(BuildTest, MissingStartDirectoryIsReportedAndNothingIsWritten) {
    auto s = emptyScenario();
    s.startDirectory = (dir / "missing").string();
    fs::current_path(dir.path());
    const auto failures = buildProject(s);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].path, s.startDirectory);
    EXPECT_EQ(failures[0].step, generator::BuildStep::FindStartDirectory);
    EXPECT_NE(failures[0].reason().find("nothing was written"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_FALSE(fs::exists(dir / "bProj"));  // not below the current directory either
}

TEST_F(BuildTest, ProjectFolderBlockedByAFile) {
    writeFile(dir / "bProj", "not a folder");
    const auto failures = buildProject(emptyScenario());
    // The folder and every file below it fail; nothing crashes.
    EXPECT_EQ(failures.front().path, "bProj");
    EXPECT_GE(failures.size(), projectformat::kProjectFileCount);  // every file of the tree
    EXPECT_EQ(readFile(dir / "bProj"), "not a folder");
}

TEST(StandInTemplates, AllPresentWithCrLfLineEnds) {
    // Guards the checkout too: the templates must reach the tree byte for byte.
    for (const auto& file : projectformat::projectFiles()) {
        if (file.content != projectformat::Content::Template) continue;
        const std::string bytes = readFile(hostPath(testsupport::sourcePath(""), file.templatePath));
        ASSERT_FALSE(bytes.empty()) << file.templatePath;
        EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << file.templatePath;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n') {
                ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << file.templatePath << " @" << i;
            }
        }
    }
}

TEST(ProjectBuilderStream, OpenAndCloseFollowTheFileStreamRules) {
    TempDir dir;
    testsupport::ScopedCurrentDirectory cd(dir.path());
    scenario::ScenarioSettings s;
    s.startDirectory = dir.path().string();
    generator::ProjectBuilder builder(s);
    builder.clear();
    builder.open(".\\plain.txt", std::ios::out | std::ios::trunc);
    ASSERT_TRUE(builder.is_open());
    builder << "a\nb" << 12 << '\n';
    builder.close();
    EXPECT_TRUE(builder.good());
    EXPECT_EQ(readFile(dir / "plain.txt"), "a\r\nb12\r\n");

    builder.open(".\\raw.bin", std::ios::out | std::ios::binary);
    builder << "a\nb";
    builder.close();
    EXPECT_EQ(readFile(dir / "raw.bin"), "a\nb");

    builder.open(".\\plain.txt", std::ios::in);
    std::string first, second;
    std::getline(builder, first);
    std::getline(builder, second);
    EXPECT_EQ(first, "a");  // CR LF reads back as a line feed
    EXPECT_EQ(second, "b12");
    builder.close();

    builder.clear();
    builder.open(".\\no\\such\\folder.txt", std::ios::out);
    EXPECT_TRUE(builder.fail());
    builder.clear();
    builder.close();  // closing with nothing open fails
    EXPECT_TRUE(builder.fail());
}

}  // namespace
