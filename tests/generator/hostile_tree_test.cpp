// Builds into trees that someone tampered with or that cannot be written:
// links at files and folders of the tree, FIFOs and devices as templates,
// floors and outputs, a full disk. Victims outside the tree stay untouched;
// a failed write keeps the previous file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "generator/project_builder.h"
#include "platform/platform.h"
#include "projectformat/project_files.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

class HostileTree : public ::testing::Test {
  protected:
    void SetUp() override {
        testsupport::copyTemplates(dir.path());
        writeFile(outside / "victim.txt", "precious");
    }
    scenario::ScenarioSettings scenario(const fs::path& root) const {
        scenario::ScenarioSettings s;
        s.floorPath = "unchanged\\floor.kvx";
        s.startDirectory = root.string();
        return s;
    }
    generator::BuildReport build(const fs::path& root) {
        return generator::buildProject(scenario(root), root);
    }
    generator::BuildReport build() { return build(dir.path()); }
    std::string failuresText(const generator::BuildReport& r) {
        std::string out;
        for (const auto& f : r.failures) out += f.path + ": " + f.reason() + "\n";
        return out;
    }
    void expectNoTemporaryFiles(const fs::path& root) {
        for (const auto& e : fs::recursive_directory_iterator(root))
            EXPECT_FALSE(has(e.path().filename().string(), ".tmp-")) << e.path();
    }

    TempDir dir;
    TempDir outside;
};

}  // namespace

TEST_F(HostileTree, LinksAtTheFilesOfTheTreeAreReplacedNeverFollowed) {
    ASSERT_TRUE(build().complete());
    const fs::path victim = outside / "victim.txt";
    fs::create_directory(outside / "victimdir");
    // Generated files, copies and the floor, through every kind of link.
    fs::remove(dir / "bProj/Vellico/startup.pc");
    fs::create_symlink(victim, dir / "bProj/Vellico/startup.pc");
    fs::remove(dir / "bProj/something.spj");
    fs::create_symlink(outside / "not-there-yet.txt", dir / "bProj/something.spj");
    fs::remove(dir / "bProj/Content/Actors/Floor/Floor.kvx");
    fs::create_symlink(victim, dir / "bProj/Content/Actors/Floor/Floor.kvx");
    fs::remove(dir / "bProj/Content/Worlds/world.kvx");
    fs::create_directory_symlink(outside / "victimdir", dir / "bProj/Content/Worlds/world.kvx");
    const auto report = build();
    EXPECT_TRUE(report.complete()) << failuresText(report);
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_FALSE(fs::exists(outside / "not-there-yet.txt"));
    EXPECT_TRUE(fs::is_empty(outside / "victimdir"));
    for (const auto& file : projectformat::projectFiles()) {
        const fs::path path = projectformat::hostPath(dir.path(), file.path);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << file.path;
    }
    EXPECT_EQ(readFile(dir / "bProj/Content/Actors/Floor/Floor.kvx"),
              readFile(dir / "unchanged/floor.kvx"));
    expectNoTemporaryFiles(dir / "bProj");
}

TEST_F(HostileTree, ALinkOrAFileWhereAFolderOfTheTreeMustBeIsRefusedByName) {
    fs::create_directories(dir / "bProj");
    fs::create_directory_symlink(outside.path(), dir / "bProj/Vellico");
    writeFile(dir / "bProj/StateMachines", "a file in the way");
    const auto report = build();
    const std::string text = failuresText(report);
    EXPECT_TRUE(has(text, "bProj\\Vellico: could not use the directory: it is a symbolic link"))
        << text;
    EXPECT_TRUE(has(text, "bProj\\StateMachines: could not use the directory: it is a file"))
        << text;
    EXPECT_TRUE(has(text, ".\\bProj\\Vellico\\startup.pc: could not open for writing: its "
                          "directory bProj\\Vellico cannot be used"))
        << text;
    // Nothing went through the link; the rest of the tree is there.
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(readFile(dir / "bProj/StateMachines"), "a file in the way");
    EXPECT_TRUE(fs::is_regular_file(dir / "bProj/Content/Worlds/world.kvx"));

    // The whole tree behind a link: nothing at all is written there.
    TempDir root;
    testsupport::copyTemplates(root.path());
    fs::create_directory_symlink(outside.path(), root / "bProj");
    const auto whole = build(root.path());
    EXPECT_TRUE(has(failuresText(whole), "bProj: could not use the directory: it is a symbolic link"));
    EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), fs::directory_iterator()), 1);
}

TEST_F(HostileTree, FifosAndDevicesAsTemplatesFloorsAndOutputsNeverBlock) {
    ASSERT_TRUE(build().complete());
    fs::remove(dir / "unchanged/Wall.kvx");
    ASSERT_EQ(::mkfifo((dir / "unchanged/Wall.kvx").c_str(), 0644), 0);
    fs::remove(dir / "bProj/template.sws");
    ASSERT_EQ(::mkfifo((dir / "bProj/template.sws").c_str(), 0644), 0);
    auto s = scenario(dir.path());
    s.floorPath = "/dev/zero";
    const auto start = std::chrono::steady_clock::now();
    const auto report = generator::buildProject(s, dir.path());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const std::string text = failuresText(report);
    EXPECT_TRUE(has(text, ".\\unchanged\\Wall.kvx: template unreadable: is a FIFO")) << text;
    EXPECT_TRUE(has(text, "/dev/zero: floor file unreadable: is a device")) << text;
    EXPECT_EQ(report.failures.size(), 2u) << text;
    // The copies are written empty, as for any unreadable source; the FIFO
    // at an output path is replaced by the file.
    EXPECT_EQ(fs::file_size(dir / "bProj/Content/Actors/Wall/Wall.kvx"), 0u);
    EXPECT_EQ(fs::file_size(dir / "bProj/Content/Actors/Floor/Floor.kvx"), 0u);
    EXPECT_TRUE(fs::is_regular_file(dir / "bProj/template.sws"));
}

// A full disk: the tree on a small tmpfs, when the test may mount one.
TEST_F(HostileTree, AFullDiskKeepsThePreviousGoodFiles) {
    const fs::path small = dir / "small";
    fs::create_directory(small);
    const testsupport::SmallDisk disk(small, "size=256k");
    if (!disk.mounted()) GTEST_SKIP() << disk.why() << "; the full-disk case is not tested";
    testsupport::copyTemplates(small);
    ASSERT_TRUE(build(small).complete());
    const std::string goodFloor = readFile(small / "bProj/Content/Actors/Floor/Floor.kvx");
    const std::string goodScript = readFile(small / "bProj/Vellico/startup.pc");
    // A floor larger than the space left: its copy fails, the old one stays.
    writeFile(dir / "big-floor.kvx", std::string(400 * 1024, 'f'));
    auto s = scenario(small);
    s.floorPath = (dir / "big-floor.kvx").string();
    s.pairCount = 7;
    const auto report = generator::buildProject(s, small);
    const std::string text = failuresText(report);
    EXPECT_TRUE(has(text, "Floor.kvx: write failed: No space left on device")) << text;
    EXPECT_EQ(readFile(small / "bProj/Content/Actors/Floor/Floor.kvx"), goodFloor);
    expectNoTemporaryFiles(small / "bProj");
    const std::string script = readFile(small / "bProj/Vellico/startup.pc");
    EXPECT_NE(script, goodScript);  // the other files of that build were written
    // The disk full to the last block: every file keeps its previous text.
    {
        std::FILE* filler = std::fopen((small / "filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
        }
        std::fclose(filler);
    }
    s.floorPath = "unchanged\\floor.kvx";
    s.pairCount = 9;
    const auto full = generator::buildProject(s, small);
    EXPECT_FALSE(full.complete());
    EXPECT_EQ(readFile(small / "bProj/Vellico/startup.pc"), script);
    EXPECT_EQ(readFile(small / "bProj/Content/Actors/Floor/Floor.kvx"), goodFloor);
    expectNoTemporaryFiles(small / "bProj");
}

// A rebuild leaves files that hold their bytes already alone (no rename, so
// no forced write-out) and replaces those that changed.
TEST_F(HostileTree, ARebuildReplacesOnlyWhatChanged) {
    ASSERT_TRUE(build().complete());
    const auto inode = [&](const char* name) {
        struct stat info {};
        ::lstat((dir / name).c_str(), &info);
        return info.st_ino;
    };
    const auto spj = inode("bProj/something.spj"), wall = inode("bProj/Content/Actors/Wall/Wall.kvx"),
               script = inode("bProj/Vellico/startup.pc");
    auto s = scenario(dir.path());
    s.pairCount = 3;
    ASSERT_TRUE(generator::buildProject(s, dir.path()).complete());
    EXPECT_EQ(inode("bProj/something.spj"), spj);
    EXPECT_EQ(inode("bProj/Content/Actors/Wall/Wall.kvx"), wall);
    EXPECT_NE(inode("bProj/Vellico/startup.pc"), script);
    // A changed template is copied anew.
    writeFile(dir / "unchanged/Wall.kvx", "another wall");
    ASSERT_TRUE(generator::buildProject(s, dir.path()).complete());
    EXPECT_EQ(readFile(dir / "bProj/Content/Actors/Wall/Wall.kvx"), "another wall");
}
