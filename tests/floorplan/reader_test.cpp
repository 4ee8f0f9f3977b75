// The floor mesh reader: what it finds in a floor scene file, the outline it
// hands to the sink, the scale it folds, and the fallback to the basic floor.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "floorplan/floor_reader.h"
#include "stream_reference.h"
#include "support/test_support.h"

namespace {

using floorplan::FloorMeshReader;
using floorplan::LoadOutcome;
using floorplan::LoadReport;
using floorplan::MemoryByteSource;
using floorplan::MeshStatus;
using Vertex = std::array<float, 3>;

// Records what a load hands to the sink, in order.
struct RecordingSink : floorplan::OutlineSink {
    std::string calls;  // one letter per call: D(iscard) B(egin) V(ertex) E(nd)
    std::vector<Vertex> vertices;
    void discardOutline() override { calls += 'D'; }
    void beginOutline() override {
        calls += 'B';
        vertices.clear();
    }
    void vertex(float x, float y, float z) override {
        calls += 'V';
        vertices.push_back({x, y, z});
    }
    void endOutline() override { calls += 'E'; }
};

// A floor scene in our KVX layout: the mesh line at three tabs, four property
// lines, the count line (five tabs of prefix), a column comment, then the
// given vertex lines (each prefixed by five tabs) and a polygon block.
std::string floorText(const std::string& count, const std::vector<std::string>& vertexLines,
                      const std::string& eol = "\n", const std::string& meshIndent = "\t\t\t") {
    std::string s = "KVX TEXT 2.1" + eol + "TW_Scene SCN-Test" + eol + "\tTW_Node NOD-World" + eol +
                    "\t\tTW_Node NOD-Floor" + eol + meshIndent + "TW_Mesh MSH-Test" + eol +
                    "\t\t\t\tMaterial MAT-Concrete" + eol + "\t\t\t\tFlags OUTLINE" + eol +
                    "\t\t\t\tBounds 0, 0, 0, 0, 0, 0" + eol + "\t\t\t\tTW_VertexList" + eol + "\t\t\t\t\t" +
                    count + eol + "\t\t\t\t\t; x, y, z" + eol;
    for (const auto& v : vertexLines) s += "\t\t\t\t\t" + v + eol;
    s += "\t\t\t\tTW_PolygonList" + eol + "\t\t\t\t\t1" + eol + "\t\t\t\t\t4: 0 1 2 3" + eol + "EndScene" + eol;
    return s;
}

const std::vector<std::string> kSquare = {"-10.5, 0, -20", "10.5, 0, -20", "10.5, 0, 20", "-10.5, 0, 20"};

floorplan::MeshRead readText(const std::string& text, RecordingSink& sink, float& scale) {
    MemoryByteSource in(text);
    return floorplan::readFloorMesh(in, sink, scale);
}

// A temporary start directory with its own basic floor, made current.
class FloorDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(dir_ / "unchanged");
        testsupport::writeFile(dir_ / "unchanged" / "floor.kvx",
                               floorText("3", {"25, 0, -5", "-5, 0, 10", "0, 0, 12"}, "\r\n"));
    }
    void write(const std::string& name, const std::string& bytes) { testsupport::writeFile(dir_ / name, bytes); }

    testsupport::TempDir dir_;
    testsupport::ScopedCurrentDirectory cwd_{dir_.path()};
    RecordingSink sink_;
    FloorMeshReader reader_;
};

const std::vector<Vertex> kBasicVertices = {{25, 0, -5}, {-5, 0, 10}, {0, 0, 12}};

TEST(FloorMeshRead, FourVertexLoopInFileOrderExactlyAsRead) {
    RecordingSink sink;
    float scale = 0;
    const auto r = readText(floorText("4", kSquare), sink, scale);
    EXPECT_EQ(r.status, MeshStatus::Outline);
    EXPECT_EQ(r.emitted, 4u);
    EXPECT_EQ(sink.calls, "BVVVVE");  // one closed loop: four segments, the last back to the first
    EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{-10.5f, 0, -20}, {10.5f, 0, -20}, {10.5f, 0, 20}, {-10.5f, 0, 20}}));
    EXPECT_EQ(scale, 20.0f);
}

TEST(FloorMeshRead, SingleVertexStillGivesAnOutlineAndScale) {
    RecordingSink sink;
    float scale = 0;
    const auto r = readText(floorText("1", {"3, -44.25, 7"}), sink, scale);
    EXPECT_EQ(r.status, MeshStatus::Outline);
    EXPECT_EQ(sink.calls, "BVE");
    EXPECT_EQ(scale, 44.25f);  // the height counts like x and z
}

TEST(FloorMeshRead, CountDecidesHowManyLinesAreRead) {
    {  // fewer than present: the rest is not read
        RecordingSink sink;
        float scale = 0;
        readText(floorText("2", {"1, 0, 2", "3, 0, 4", "99, 0, 99"}), sink, scale);
        EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 0, 2}, {3, 0, 4}}));
        EXPECT_EQ(scale, 4.0f);
    }
    {  // more than present: the next line "\t\t\t\tTW_PolygonList" has no number after its
       // five characters, so the fifth vertex repeats the fourth and the loop closes there
        RecordingSink sink;
        float scale = 0;
        const auto r = readText(floorText("6", kSquare), sink, scale);
        EXPECT_EQ(r.count, 6);
        EXPECT_EQ(r.emitted, 5u);
        ASSERT_EQ(sink.vertices.size(), 5u);
        EXPECT_EQ(sink.vertices[4], sink.vertices[3]);
        EXPECT_EQ(scale, 20.0f);
    }
    {  // more than present, and the lines after them happen to hold numbers
        RecordingSink sink;
        float scale = 0;
        std::string text = floorText("3", {"1, 0, 2"});
        text = text.substr(0, text.find("\t\t\t\tTW_PolygonList")) + "\t\t\t\t\t5, 6\n\t\t\t\t\t,7\n";
        readText(text, sink, scale);
        EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 0, 2}, {5, 6, 7}, {5, 6, 7}}));
    }
}

TEST(FloorMeshRead, MeshLineMustStartWithExactlyThreeTabs) {
    for (const char* indent : {"\t\t", "\t\t\t\t", "  \t\t\t", "\t\t\t "}) {
        RecordingSink sink;
        float scale = 0;
        const auto r = readText(floorText("4", kSquare, "\n", indent), sink, scale);
        EXPECT_EQ(r.status, MeshStatus::NoMeshLine) << "indent of " << std::string(indent).size();
        EXPECT_EQ(sink.calls, "");
        EXPECT_EQ(scale, 0.0f);
    }
    // the prefix alone is a mesh line; a shorter line or one cut by the end is not
    for (const char* text : {"\t\t\tTW_Mesh MSH\n", "\t\t\tTW_Mesh MSH-", "\t\t\ttw_mesh msh-x\n"}) {
        RecordingSink sink;
        float scale = 0;
        EXPECT_EQ(readText(text, sink, scale).status, MeshStatus::NoMeshLine);
    }
}

TEST(FloorMeshRead, OnlyTheFirstMeshCounts) {
    std::string text = floorText("2", {"1, 0, 1", "2, 0, 2"}) + floorText("2", {"50, 0, 50", "60, 0, 60"});
    RecordingSink sink;
    float scale = 0;
    readText(text, sink, scale);
    EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 0, 1}, {2, 0, 2}}));
    EXPECT_EQ(scale, 2.0f);
}

TEST(FloorMeshRead, ShortPrefixesEatTheStartOfTheNumber) {
    // four tabs and "12": the fifth character is the '1', the count is 2
    std::string text = floorText("X", kSquare);
    text.replace(text.find("\t\t\t\t\tX"), 6, "\t\t\t\t12");
    RecordingSink sink;
    float scale = 0;
    const auto r = readText(text, sink, scale);
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(sink.vertices.size(), 2u);

    // a vertex line with three tabs before "-7.5": the five characters take the
    // sign and the 7, x reads ".5"
    text = floorText("1", {});
    text.insert(text.find("\t\t\t\tTW_PolygonList"), "\t\t\t-7.5, 2, 3\n");
    RecordingSink sink2;
    float scale2 = 0;
    readText(text, sink2, scale2);
    EXPECT_EQ(sink2.vertices, (std::vector<Vertex>{{0.5f, 2, 3}}));
}

TEST(FloorMeshRead, CountThatIsNotPositiveStillFoldsTheFirstVertex) {
    for (const char* count : {"0", "-3", "abc", "", "2147483648", "-2147483649"}) {
        RecordingSink sink;
        float scale = 0;
        const auto r = readText(floorText(count, {"30, 0, -40", "1, 1, 1"}), sink, scale);
        EXPECT_EQ(r.status, MeshStatus::CountNotPositive) << count;
        EXPECT_EQ(sink.calls, "") << count;
        const bool readable = std::string(count) == "0" || std::string(count) == "-3";
        EXPECT_EQ(r.countRead, readable) << count;
        // an unreadable count fails the stream: the first vertex then reads as zeros
        EXPECT_EQ(scale, readable ? 40.0f : 0.0f) << count;
    }
}

TEST(FloorMeshRead, CrLfReadsLikeLf) {
    for (const auto& count : {std::string("4"), std::string("9")}) {
        RecordingSink lf, crlf;
        float s1 = 0, s2 = 0;
        const auto a = readText(floorText(count, kSquare, "\n"), lf, s1);
        const auto b = readText(floorText(count, kSquare, "\r\n"), crlf, s2);
        EXPECT_EQ(lf.vertices, crlf.vertices);
        EXPECT_EQ(a.emitted, b.emitted);
        EXPECT_EQ(s1, s2);
    }
}

TEST(FloorMeshRead, FailedReadRepeatsTheLastCoordinatesAndClosesTheLoop) {
    RecordingSink sink;
    float scale = 0;
    // the second vertex has a y that cannot be read: its x is new, y and z repeat
    const auto r = readText(floorText("4", {"1, 2, 3", "4, x, 6", "7, 8, 9", "10, 11, 12"}), sink, scale);
    EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 2, 3}, {4, 2, 3}}));
    EXPECT_EQ(r.emitted, 2u);
    EXPECT_EQ(scale, 4.0f);

    // a first vertex that cannot be read at all is (0, 0, 0)
    RecordingSink sink2;
    float scale2 = 0;
    readText(floorText("2", {"nan, inf, 1", "5, 5, 5"}), sink2, scale2);
    EXPECT_EQ(sink2.vertices, (std::vector<Vertex>{{0, 0, 0}}));
    EXPECT_EQ(scale2, 0.0f);

    // a value beyond the float range fails the read (and is not folded)
    RecordingSink sink3;
    float scale3 = 0;
    readText(floorText("2", {"1, 2, 1e39", "5, 5, 5"}), sink3, scale3);
    EXPECT_EQ(sink3.vertices, (std::vector<Vertex>{{1, 2, 0}}));
    EXPECT_EQ(scale3, 2.0f);
}

TEST(FloorMeshRead, VertexSkipsTakeAtMost255Characters) {
    const std::string fill255(255, ' ');  // after x: 255 characters before the comma
    {
        RecordingSink sink;
        float scale = 0;
        readText(floorText("2", {"1" + fill255 + ", 2, 3", "4, 5, 6"}), sink, scale);
        EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 2, 3}, {4, 5, 6}}));
    }
    {  // one more character: that skip fails, y and z keep their zeros, the loop closes
        RecordingSink sink;
        float scale = 0;
        readText(floorText("2", {"1" + fill255 + " , 2, 3", "4, 5, 6"}), sink, scale);
        EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 0, 0}}));
    }
    {  // the rest of a vertex line counts too
        RecordingSink sink;
        float scale = 0;
        readText(floorText("2", {"1, 2, 3" + fill255, "4, 5, 6"}), sink, scale);
        EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 2, 3}, {4, 5, 6}}));
        RecordingSink sink2;
        readText(floorText("2", {"1, 2, 3 " + fill255, "4, 5, 6"}), sink2, scale);
        EXPECT_EQ(sink2.vertices, (std::vector<Vertex>{{1, 2, 3}}));
    }
}

TEST(FloorMeshRead, LongLinesOutsideVertexLinesAreReadWhole) {
    // a 10,000-character line before the mesh, and long lines among the skipped ones
    std::string text = "KVX TEXT 2.1\n; " + std::string(10000, 'x') + "\n" + floorText("4", kSquare);
    text.replace(text.find("Material MAT-Concrete"), 8, "Material" + std::string(5000, '.'));
    RecordingSink sink;
    float scale = 0;
    const auto r = readText(text, sink, scale);
    EXPECT_EQ(r.status, MeshStatus::Outline);
    EXPECT_EQ(sink.vertices.size(), 4u);
    // the rest of the count line and the line after it, long as well
    RecordingSink sink3;
    float scale3 = 0;
    std::string longCount = floorText("4" + std::string(3000, ' ') + "vertices", kSquare);
    longCount.replace(longCount.find("; x, y, z"), 9, std::string(4000, ';'));
    EXPECT_EQ(readText(longCount, sink3, scale3).emitted, 4u);
    // a long line is compared by its start
    RecordingSink sink2;
    float scale2 = 0;
    std::string longMesh = floorText("4", kSquare);
    longMesh.insert(longMesh.find("MSH-Test") + 8, std::string(20000, 'N'));
    EXPECT_EQ(readText(longMesh, sink2, scale2).emitted, 4u);
}

TEST(FloorMeshRead, HugeCountReturnsPromptlyWithTheLinesPresent) {
    RecordingSink sink;
    float scale = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto r = readText(floorText("2147483647", kSquare), sink, scale);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(r.count, 2147483647);
    EXPECT_EQ(r.emitted, 5u);  // four vertices and the failed fifth (a repeat of the fourth)
    EXPECT_EQ(scale, 20.0f);
}

TEST(FloorMeshRead, FileWithoutFinalLineFeed) {
    std::string text = floorText("3", {"1, 2, 3", "4, 5, 6", "7, 8, 9"});
    text = text.substr(0, text.find("\n\t\t\t\tTW_PolygonList"));  // ends right after "9"
    RecordingSink sink;
    float scale = 0;
    const auto r = readText(text, sink, scale);
    EXPECT_EQ(sink.vertices, (std::vector<Vertex>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
    EXPECT_EQ(r.emitted, 3u);
    EXPECT_EQ(scale, 9.0f);
}

TEST(FloorMeshRead, ChunkBoundariesDoNotMatter) {
    std::string text = "; " + std::string(300, 'x') + "\n" + floorText("5", {"1.25e1, -0.5, 3", "4, 5 , 6"});
    RecordingSink whole;
    float s0 = 0;
    const auto a = readText(text, whole, s0);
    for (std::size_t chunk : {1u, 2u, 3u, 7u, 16u, 255u}) {
        RecordingSink part;
        float s1 = 0;
        MemoryByteSource in(text, chunk);
        const auto b = floorplan::readFloorMesh(in, part, s1);
        EXPECT_EQ(part.vertices, whole.vertices) << chunk;
        EXPECT_EQ(b.emitted, a.emitted) << chunk;
        EXPECT_EQ(s1, s0) << chunk;
    }
}

// Random floors assembled from fragments that hit the reading rules, compared
// with the plain istringstream reader.
TEST(FloorMeshRead, AgreesWithThePlainStreamReaderOnRandomFloors) {
    const std::vector<std::string> fragments = {
        "\t\t\tTW_Mesh MSH-A", "\t\t\t\t", "\t\t\t\t\t", "\t", "\n", "\r\n", ",", ", ", "1", "-2.5", "+3e1",
        "1e", ".", "-", "7.", ".25", "1e39", "-1e-50", "x", " ", "\v", "2147483647", "4", "0", "12,34",
        std::string(250, ' '), std::string(40, '9'), "1.5, 2.5, 3.5", "; comment"};
    std::mt19937 rng(1234);
    for (int iteration = 0; iteration < 20000; ++iteration) {
        std::string text;
        if (rng() % 2) text = "\t\t\tTW_Mesh MSH-A\n";
        const int pieces = static_cast<int>(rng() % 40);
        for (int i = 0; i < pieces; ++i) text += fragments[rng() % fragments.size()];
        const float start = (rng() % 4 == 0) ? 5.0f : 0.0f;

        RecordingSink sink;
        float scale = start;
        MemoryByteSource in(text, 1 + rng() % 64);
        const auto got = floorplan::readFloorMesh(in, sink, scale);
        const auto want = streamref::read(text, start);

        ASSERT_EQ(got.status != MeshStatus::NoMeshLine, want.found) << text;
        ASSERT_EQ(got.count, want.count) << text;
        ASSERT_EQ(got.status == MeshStatus::Outline, want.outline) << text;
        ASSERT_EQ(sink.vertices, want.vertices) << text;
        ASSERT_EQ(scale, want.scale) << text;
    }
}

// ---- loadFloor / setFloorPath on files ------------------------------------------------

TEST_F(FloorDirectory, LoadsTheNamedFile) {
    write("room.kvx", floorText("4", kSquare, "\r\n"));
    const LoadReport r = reader_.setFloorPath("room.kvx", sink_);
    EXPECT_EQ(r.outcome, LoadOutcome::Loaded);
    EXPECT_EQ(r.requestedPath, "room.kvx");
    EXPECT_EQ(r.loadedPath, "room.kvx");
    EXPECT_EQ(r.vertexCount, 4u);
    EXPECT_TRUE(r.reason.empty());
    EXPECT_EQ(sink_.calls, "DBVVVVE");
    EXPECT_EQ(reader_.scale, 20.0f);
}

TEST_F(FloorDirectory, FallsBackToTheBasicFloorWithAReason) {
    write("deep.kvx", floorText("4", kSquare, "\n", "\t\t\t\t"));
    write("zero.kvx", floorText("0", {"30, 0, -40", "1, 1, 1"}));
    write("words.kvx", floorText("many", kSquare));
    struct Case {
        std::string path;
        std::string reason;
        float scale;
    };
    for (const Case& c : {Case{"missing.kvx", "cannot open missing.kvx", 25.0f},
                          Case{"deep.kvx", "no mesh line (three tabs, TW_Mesh MSH-) in deep.kvx", 25.0f},
                          Case{"zero.kvx", "vertex count 0 in zero.kvx", 40.0f},
                          Case{"words.kvx", "no readable vertex count in words.kvx", 25.0f}}) {
        RecordingSink sink;
        FloorMeshReader reader;
        const LoadReport r = reader.setFloorPath(c.path, sink);
        EXPECT_EQ(r.outcome, LoadOutcome::FellBack) << c.path;
        EXPECT_EQ(r.reason, c.reason);
        EXPECT_EQ(r.loadedPath, floorplan::kBasicFloorPath);
        EXPECT_EQ(reader.floorPath, "unchanged\\floor.kvx");
        EXPECT_EQ(r.vertexCount, 3u);
        EXPECT_EQ(sink.calls, "DDBVVVE") << c.path;  // step 1 again for the basic floor
        EXPECT_EQ(sink.vertices, kBasicVertices);
        // the first vertex of a file with count 0 stays folded in: max(40, 25)
        EXPECT_EQ(reader.scale, c.scale) << c.path;
    }
}

TEST_F(FloorDirectory, MissingOrEmptyBasicFloorEndsWithoutOutlineAndDoesNotLoop) {
    for (const char* basic : std::initializer_list<const char*>{"", "KVX TEXT 2.1\n\t\tTW_Mesh MSH-Deep\n", nullptr}) {
        if (basic) {
            write("unchanged/floor.kvx", basic);
        } else {
            std::filesystem::remove(dir_ / "unchanged" / "floor.kvx");
        }
        RecordingSink sink;
        FloorMeshReader reader;
        const LoadReport r = reader.setFloorPath("nothing.kvx", sink);
        EXPECT_EQ(r.outcome, LoadOutcome::NoFloor);
        EXPECT_EQ(sink.calls, "DD");
        EXPECT_EQ(r.vertexCount, 0u);
        EXPECT_EQ(r.loadedPath, "unchanged\\floor.kvx");
        EXPECT_NE(r.reason.find("cannot open nothing.kvx; basic floor: "), std::string::npos) << r.reason;

        // the basic floor itself as the request: tried, tried once more, then given up
        RecordingSink sink2;
        FloorMeshReader fresh;
        EXPECT_EQ(fresh.loadFloor(sink2).outcome, LoadOutcome::NoFloor);
        EXPECT_EQ(sink2.calls, "DD");
        EXPECT_EQ(fresh.scale, 0.0f);
    }
}

TEST_F(FloorDirectory, ScaleIsNeverLoweredByALoad) {
    write("room.kvx", floorText("4", kSquare));
    write("small.kvx", floorText("2", {"1, 0, 1", "2, 0, -3"}));
    reader_.setFloorPath("room.kvx", sink_);
    EXPECT_EQ(reader_.scale, 20.0f);
    reader_.loadFloor(sink_);  // the same file again without a reset
    EXPECT_EQ(reader_.scale, 20.0f);
    reader_.setFloorPath("small.kvx", sink_);  // a smaller floor without a reset
    EXPECT_EQ(reader_.scale, 20.0f);
    EXPECT_EQ(sink_.vertices.size(), 2u);
    reader_.scale = 0;  // what the dialog does before a change of floor
    reader_.setFloorPath("small.kvx", sink_);
    EXPECT_EQ(reader_.scale, 3.0f);
}

TEST_F(FloorDirectory, BackslashesAreDoubledAndStillOpenTheSameFile) {
    std::filesystem::create_directories(dir_ / "floors" / "old");
    write("floors/old/room.kvx", floorText("4", kSquare));

    EXPECT_EQ(floorplan::doubleBackslashes("unchanged\\floor.kvx"), "unchanged\\\\floor.kvx");
    EXPECT_EQ(floorplan::doubleBackslashes("unchanged\\floor.kvx").size(), 20u);
    EXPECT_EQ(floorplan::doubleBackslashes("C:\\a\\b\\c.kvx"), "C:\\\\a\\\\b\\\\c.kvx");
    EXPECT_EQ(floorplan::doubleBackslashes("room.kvx"), "room.kvx");
    EXPECT_EQ(floorplan::doubleBackslashes("end\\"), "end\\\\");
    EXPECT_EQ(floorplan::doubleBackslashes(""), "");

    const LoadReport r = reader_.setFloorPath("floors\\old\\room.kvx", sink_);
    EXPECT_EQ(reader_.floorPath, "floors\\\\old\\\\room.kvx");
    EXPECT_EQ(r.outcome, LoadOutcome::Loaded);
    // again on the stored text: doubled once more, four in a row, same file
    const std::string stored = reader_.floorPath;
    const LoadReport again = reader_.setFloorPath(stored, sink_);
    EXPECT_EQ(reader_.floorPath, "floors\\\\\\\\old\\\\\\\\room.kvx");
    EXPECT_EQ(again.outcome, LoadOutcome::Loaded);

    // the basic floor through its doubled path
    EXPECT_EQ(reader_.setFloorPath(floorplan::kBasicFloorPath, sink_).outcome, LoadOutcome::Loaded);
    EXPECT_EQ(reader_.floorPath, "unchanged\\\\floor.kvx");
}

TEST_F(FloorDirectory, ADirectoryIsNotAFloor) {
    std::filesystem::create_directory(dir_ / "adir.kvx");
    const LoadReport r = reader_.setFloorPath("adir.kvx", sink_);
    EXPECT_EQ(r.outcome, LoadOutcome::FellBack);
    EXPECT_EQ(r.reason.rfind("cannot open adir.kvx: it is a directory", 0), 0u) << r.reason;
}

// A FIFO would block the open, a device would never end: both are refused at
// once, say what they are, and the view falls back to the basic floor.
TEST_F(FloorDirectory, FifosAndDevicesAreRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo((dir_ / "pipe.kvx").c_str(), 0644), 0);
    std::filesystem::create_symlink("/dev/zero", dir_ / "zero.kvx");
    for (const char* name : {"pipe.kvx", "zero.kvx", "/dev/zero"}) {
        const LoadReport r = reader_.setFloorPath(name, sink_);
        EXPECT_EQ(r.outcome, LoadOutcome::FellBack) << name;
        EXPECT_NE(r.reason.find(std::string("cannot open ") + name + ": it is a "),
                  std::string::npos)
            << r.reason;
    }
}

TEST(BasicFloor, ShippedFloorIsAClosedRoomOfScale70) {
    const std::filesystem::path basic = testsupport::sourcePath("unchanged/floor.kvx");
    const std::string bytes = testsupport::readFile(basic);
    EXPECT_NE(bytes.find("\r\n"), std::string::npos);
    EXPECT_EQ(floorplan::scaleOfFloor(basic.string()), 70.0f);

    RecordingSink sink;
    float scale = 0;
    const auto r = readText(bytes, sink, scale);
    EXPECT_EQ(r.status, MeshStatus::Outline);
    EXPECT_GE(r.emitted, 4u);
    EXPECT_EQ(r.emitted, static_cast<std::size_t>(r.count));
    for (const auto& v : sink.vertices) EXPECT_EQ(v[1], 0.0f);  // flat, in the x-z plane

    // from its own start directory, by the system path
    testsupport::TempDir dir;
    testsupport::copyTemplates(dir.path());
    testsupport::ScopedCurrentDirectory cwd(dir.path());
    EXPECT_EQ(floorplan::scaleOfFloor(floorplan::kBasicFloorPath), 70.0f);
    EXPECT_EQ(floorplan::scaleOfFloor("no such floor.kvx"), 70.0f);
    // count 0 after (30, 0, -40): the basic floor's 70 is the larger
    testsupport::writeFile(dir.path() / "zero.kvx", floorText("0", {"30, 0, -40"}));
    FloorMeshReader reader;
    RecordingSink fallback;
    EXPECT_EQ(reader.setFloorPath("zero.kvx", fallback).outcome, LoadOutcome::FellBack);
    EXPECT_EQ(reader.scale, 70.0f);
    EXPECT_EQ(fallback.vertices, sink.vertices);
}

}  // namespace
