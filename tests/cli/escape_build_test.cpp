// escape-build as a user runs it: options, scenario files, errors and exit
// codes, and the tree it writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs escape-build with `arguments` in `directory`; `runtime`, when not
// empty, is handed over as MORVANTA_RUNTIME.
Outcome run(const fs::path& directory, const std::vector<std::string>& arguments,
            const std::string& runtime = "") {
    TempDir capture;
    const std::string outFile = (capture / "out").string();
    const std::string errFile = (capture / "err").string();
    std::vector<char*> argv;
    std::string program = ESCAPE_BUILD_PROGRAM;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(directory.c_str()) != 0) ::_exit(126);
        int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (runtime.empty()) {
            ::unsetenv("MORVANTA_RUNTIME");
        } else {
            ::setenv("MORVANTA_RUNTIME", runtime.c_str(), 1);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Outcome outcome;
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = readFile(outFile);
    outcome.err = readFile(errFile);
    return outcome;
}

std::string golden(const std::string& name) {
    return readFile(testsupport::sourcePath("tests/golden/" + name));
}

std::vector<std::string> scriptLines(const fs::path& root) {
    std::vector<std::string> out;
    std::istringstream in(readFile(root / "bProj/Vellico/startup.pc"));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// A floor in the KVX layout the floor reader knows, largest coordinate 35.
void writeSmallFloor(const fs::path& file) {
    writeFile(
        file,
        "KVX TEXT 2.1\r\nTW_Scene SCN-Small\r\n\tTW_Node NOD-World\r\n\t\tTW_Node NOD-Floor\r\n"
        "\t\t\tTW_Mesh MSH-Small\r\n\t\t\t\tMaterial MAT-A\r\n\t\t\t\tFlags OUTLINE\r\n"
        "\t\t\t\tBounds -35, 0, -20, 35, 0, 20\r\n\t\t\t\tTW_VertexList\r\n\t\t\t\t\t4\r\n"
        "\t\t\t\t\t; x, y, z\r\n\t\t\t\t\t-35.0, 0.0, -20.0\r\n\t\t\t\t\t35.0, 0.0, -20.0\r\n"
        "\t\t\t\t\t35.0, 0.0, 20.0\r\n\t\t\t\t\t-35.0, 0.0, 20.0\r\n");
}

class EscapeBuild : public ::testing::Test {
  protected:
    void SetUp() override { testsupport::copyTemplates(dir.path()); }
    TempDir dir;
    TempDir caller;  // the directory escape-build is started from
};

TEST_F(EscapeBuild, HelpNamesEveryOption) {
    const auto o = run(caller.path(), {"--help"});
    EXPECT_EQ(o.status, 0);
    for (const char* option : {"--dir", "--pairs", "--adults", "--children", "--record", "--exit",
                               "--cluster", "--view-exit", "--view-cluster", "--floor", "--scale",
                               "--scenario", "--launch", "--help", "--floor-from-dxf", "--layer",
                               "--unit"}) {
        EXPECT_NE(o.out.find(option), std::string::npos) << option;
    }
    EXPECT_FALSE(fs::exists(caller / "bProj"));
}

TEST_F(EscapeBuild, DefaultScenarioIntoDir) {
    const auto o = run(caller.path(), {"--dir", dir.path().string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_NE(o.out.find((dir / "bProj").string()), std::string::npos);
    EXPECT_NE(o.out.find("people: 20"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("clusters used: 0"), std::string::npos);
    EXPECT_NE(o.out.find("scattered people: 20"), std::string::npos);
    EXPECT_EQ(readFile(dir / "bProj/something.spj"), golden("something.spj"));
    EXPECT_EQ(readFile(dir / "bProj/Content/Actors/Floor/Floor.kvx"),
              readFile(dir / "unchanged/floor.kvx"));
    const auto l = scriptLines(dir.path());
    EXPECT_EQ(l.size(), 223u);
    EXPECT_EQ(l[6], "\tglobal var TotalPeople=20;");
    EXPECT_EQ(l[7], "\tglobal var dumpToKVX = 0;");
    EXPECT_FALSE(fs::exists(caller / "bProj"));
}

TEST_F(EscapeBuild, WorkedExampleFromOptions) {
    const auto o = run(dir.path(), {"--record", "kvx", "--cluster=10,20", "--cluster", "-15.5,4.75",
                                    "--cluster=1,1", "--exit=12.5,-30.25", "--scale=70.9"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(readFile(dir / "bProj/Vellico/startup.pc"), golden("startup_worked_example.pc"));
    EXPECT_NE(o.out.find("clusters used: 2 of 3"), std::string::npos) << o.out;
}

TEST_F(EscapeBuild, ScaleComesFromTheFloorFile) {
    writeSmallFloor(dir / "floors/small.kvx");
    const auto o = run(caller.path(), {"--dir", dir.path().string(), "--floor", "floors/small.kvx",
                                       "--view-exit=0.5,0.5", "--view-cluster=-1,-1"});
    ASSERT_EQ(o.status, 0) << o.err;
    const auto l = scriptLines(dir.path());
    // scale 35: the exit (0.5, 0.5) is at (15.05, 16.275), the cluster at (-25.2, -27.3).
    EXPECT_EQ(l[14], "\tglobal var va = new DrvVector(20.05,0,16.275);");
    EXPECT_EQ(l[15], "\tglobal var vb = new DrvVector(10.05,0,16.275);");
    EXPECT_EQ(l[65], "\tv0 = new DrvVector(-25.2,0,-27.3);");
    EXPECT_EQ(l[110], "\tT.position.x = -50;");  // floorScale 35
    EXPECT_EQ(readFile(dir / "bProj/Content/Actors/Floor/Floor.kvx"),
              readFile(dir / "floors/small.kvx"));
}

TEST_F(EscapeBuild, FloorWithoutMeshGivesWayToTheBasicFloorAsInTheDialog) {
    // The dialog's view falls back to the basic floor and the build copies the
    // floor the view shows; escape-build does the same and says so.
    writeFile(dir / "floors/notes.kvx", "no mesh in here\r\n");
    const auto o = run(caller.path(), {"--dir", dir.path().string(), "--floor", "floors/notes.kvx"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("floors/notes.kvx"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("basic floor"), std::string::npos) << o.err;
    EXPECT_EQ(readFile(dir / "bProj/Content/Actors/Floor/Floor.kvx"),
              readFile(dir / "unchanged/floor.kvx"));
    const auto l = scriptLines(dir.path());
    EXPECT_NE(std::find(l.begin(), l.end(), "\tT.position.x = -100;"), l.end());  // scale 70
}

TEST_F(EscapeBuild, ScenarioFileAndOverrides) {
    const auto example = testsupport::sourcePath("examples/two-exits.json").string();
    auto o = run(caller.path(), {"--dir", dir.path().string(), "--scenario", example});
    ASSERT_EQ(o.status, 0) << o.err;
    auto l = scriptLines(dir.path());
    EXPECT_EQ(l[6], "\tglobal var TotalPeople=32;");
    EXPECT_EQ(l[8], "\tglobal var dumpToAVI = 1;");
    EXPECT_EQ(l[14], "\tglobal var va = new DrvVector(-55,0,0);");
    EXPECT_EQ(l[17], "\tglobal var va2 = new DrvVector(65,0,0);");
    EXPECT_EQ(l[60], "\tfor (var i=0; i<2; i++) {");
    EXPECT_EQ(l[65], "\tv0 = new DrvVector(-30,0,-20);");
    EXPECT_EQ(l[69], "\tv0 = new DrvVector(0,0,27.3);");  // view (0, 0.5) at scale 70

    // Options on the command line win over the file; exits given there
    // replace the file's exits.
    o = run(caller.path(), {"--scenario", example, "--dir", dir.path().string(), "--pairs", "0",
                            "--record=none", "--exit=1,2"});
    ASSERT_EQ(o.status, 0) << o.err;
    l = scriptLines(dir.path());
    EXPECT_EQ(l[6], "\tglobal var TotalPeople=12;");
    EXPECT_EQ(l[8], "\tglobal var dumpToAVI = 0;");
    EXPECT_EQ(l[14], "\tglobal var va = new DrvVector(6,0,2);");
    EXPECT_EQ(l[17], "\tglobal var va2 = new DrvVector(5,0,-65);");
}

TEST_F(EscapeBuild, BadInputWritesNothingAndExitsTwo) {
    writeFile(caller / "broken.json", "{\"pairs\": 5,");
    writeFile(caller / "unknown.json", "{\"pairs\": 5, \"exists\": []}");
    writeFile(caller / "big.json", "{\"adults\": 120}");
    writeFile(caller / "list.json", "[1, 2]");
    writeFile(caller / "badpos.json", "{\"exits\": [[1, 2, 3]]}");
    const std::string d = dir.path().string();
    struct Case {
        std::vector<std::string> arguments;
        std::string named;  // the value the message must name
    } cases[] = {
        {{"--pairs", "100"}, "'100'"},
        {{"--pairs", "abc"}, "'abc'"},
        {{"--adults=-1"}, "'-1'"},
        {{"--children", "5x"}, "'5x'"},
        {{"--exit=1,1", "--exit=2,2", "--view-exit=0,0"}, "third exit"},
        {{"--exit=1"}, "'1'"},
        {{"--exit", "1,zwei"}, "'1,zwei'"},
        {{"--view-cluster=nan,0"}, "'nan,0'"},
        {{"--record", "mp4"}, "'mp4'"},
        {{"--scale", "-3"}, "'-3'"},
        {{"--frobnicate"}, "'--frobnicate'"},
        {{"stray"}, "'stray'"},
        {{"--pairs"}, "--pairs"},
        {{"--scenario", "missing.json"}, "'missing.json'"},
        {{"--scenario", "broken.json"}, "'broken.json'"},
        {{"--scenario", "unknown.json"}, "'exists'"},
        {{"--scenario", "big.json"}, "120"},
        {{"--scenario", "list.json"}, "'list.json'"},
        {{"--scenario", "."}, "directory"},
        {{"--scenario", "badpos.json"}, "[1,2,3]"},
        {{"--floor", "no/such/floor.kvx"}, "'no/such/floor.kvx'"},
    };
    for (auto c : cases) {
        c.arguments.insert(c.arguments.begin(), {"--dir", d});
        const auto o = run(caller.path(), c.arguments);
        EXPECT_EQ(o.status, 2) << c.named;
        EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_EQ(o.out, "");
    }
    std::vector<std::string> tooMany = {"--dir", d};
    for (int i = 0; i < 41; ++i) tooMany.push_back("--cluster=" + std::to_string(i) + ",0");
    const auto o = run(caller.path(), tooMany);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("41st cluster"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(dir / "bProj"));

    const auto noDir = run(caller.path(), {"--dir", (dir / "nowhere").string()});
    EXPECT_EQ(noDir.status, 2);
    EXPECT_NE(noDir.err.find("nowhere"), std::string::npos);
}

TEST_F(EscapeBuild, ProblemsAreNamedAndExitOne) {
    fs::remove(dir / "unchanged/crowd.pc");
    fs::create_directories(dir / "bProj/template.sws");  // cannot be written
    const auto o = run(caller.path(), {"--dir", dir.path().string()});
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find(".\\unchanged\\crowd.pc"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find(".\\bProj\\template.sws"), std::string::npos) << o.err;
    // Everything else is written.
    EXPECT_EQ(readFile(dir / "bProj/something.sws"), golden("something.sws"));
    EXPECT_EQ(fs::file_size(dir / "bProj/Vellico/crowd.pc"), 0u);
    EXPECT_TRUE(fs::exists(dir / "bProj/Content/Worlds/world.kvx"));
}

TEST_F(EscapeBuild, LaunchStartsTheRuntimeOrSaysWhyNot) {
    const std::string d = dir.path().string();
    auto o = run(caller.path(), {"--dir", d, "--launch"}, "/bin/true");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("started /bin/true"), std::string::npos) << o.out;

    o = run(caller.path(), {"--dir", d, "--launch"}, (dir / "no-runtime").string());
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find((dir / "no-runtime").string()), std::string::npos) << o.err;
    EXPECT_TRUE(fs::exists(dir / "bProj/Vellico/startup.pc"));  // the build came first
}

}  // namespace
