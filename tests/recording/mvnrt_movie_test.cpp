// mvnrt films a run: the movie as FFmpeg reads it back, a decoded frame
// showing the people where the camera projects their positions from
// trajectories.csv, a project's "Create AVI" script, an unwritable target.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "movie_probe.h"
#include "mvnrt_run.h"
#include "scene/camera.h"
#include "scene/overlay.h"

using recordingtest::corridor;
using recordingtest::has;
using recordingtest::runMvnrt;
using recordingtest::summaryOf;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

// Frames from 0 to the evacuation time at 24 per second.
double expectedFrames(const nlohmann::json& summary) {
    return std::floor(summary["evacuationTime"].get<double>() * 24.0 + 1e-6) + 1;
}

// trajectories.csv rows of one frame: person -> (x, z).
std::map<int, std::pair<double, double>> positionsAt(const std::filesystem::path& csv,
                                                     const std::string& time) {
    std::istringstream in(readFile(csv));
    std::string line;
    std::map<int, std::pair<double, double>> at;
    while (std::getline(in, line)) {
        if (line.rfind(time + ",", 0) != 0) continue;
        std::istringstream l(line.substr(time.size() + 1));
        std::string person, x, z;
        std::getline(l, person, ',');
        std::getline(l, x, ',');
        std::getline(l, z, ',');
        at[std::stoi(person)] = {std::stod(x), std::stod(z)};
    }
    return at;
}

int colourDistance(const std::uint8_t* a, const std::uint8_t* b) {
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

}  // namespace

TEST(MvnrtMovie, AScenarioFilmedFromAboveReadsBackAsAMovieOfTheRun) {
    TempDir dir;
    const auto o = runMvnrt(dir.path(), "--scenario " + corridor() +
                                            " --out r --movie run.avi --movie-size 640x480");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto s = summaryOf(dir / "r");
    const auto info = recordingtest::probeMovie(dir / "run.avi");
    EXPECT_EQ(info.container, "avi");
    EXPECT_EQ(info.codec, "mpeg4");
    EXPECT_EQ(info.pixelFormat, "yuv420p");
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_DOUBLE_EQ(info.fps, 24.0);
    EXPECT_NEAR(static_cast<double>(info.frames), expectedFrames(s), 1.0);
    EXPECT_NEAR(info.seconds, s["evacuationTime"].get<double>(), 2.0 / 24);
    EXPECT_TRUE(has(o.out, "Recorded movie run.avi: " + std::to_string(info.frames) + " frames"))
        << o.out;
    ASSERT_EQ(s["recordings"].size(), 1u);
    EXPECT_EQ(s["recordings"][0]["kind"], "movie");
    EXPECT_EQ(s["recordings"][0]["frames"], info.frames);

    // Filming changed nothing: the same run without the movie.
    ASSERT_EQ(runMvnrt(dir.path(), "--scenario " + corridor() + " --out plain --quiet").status, 0);
    EXPECT_EQ(readFile(dir / "plain" / "trajectories.csv"), readFile(dir / "r" / "trajectories.csv"));
    auto filmed = s, plain = summaryOf(dir / "plain");
    for (auto* j : {&filmed, &plain}) {
        j->erase("timing");
        j->erase("recordings");
    }
    EXPECT_EQ(filmed.dump(), plain.dump());

    // Frame 288 (12 s): the people appear where the top-down camera puts
    // their positions of trajectories.csv; those in the corridor's northern
    // leg by then are checked. The walkable L spans 0..12 m both ways.
    const auto frame = recordingtest::decodeFrame(dir / "run.avi", 288);
    const auto people = positionsAt(dir / "r" / "trajectories.csv", "12.0000");
    // From above, as the window's top-down view: right of the overlay's column.
    scene::Camera camera = scene::Camera::topDown({{0, 0}, {12, 12}});
    camera.setPlanArea(scene::planArea(QSize(640, 480)));
    auto pixelOf = [&](double x, double z) {
        const auto p = camera.project({x, 0.0, z}, 640, 480);
        EXPECT_TRUE(p.has_value());
        return std::pair<int, int>(static_cast<int>((*p)[0]), static_cast<int>((*p)[1]));
    };
    // The floor's own colour: at a spot of the northern leg more than 1 m
    // from everyone, half a metre from the floor's grid lines and clear of
    // the door's band at z = 12.
    std::pair<double, double> empty{-1.0, -1.0};
    for (double z = 10.5; z >= 4.5 && empty.first < 0.0; z -= 1.0)
        for (double x : {10.5, 11.5}) {
            bool clear = true;
            for (const auto& [id, at] : people)
                clear = clear && std::hypot(at.first - x, at.second - z) > 1.0;
            if (clear) {
                empty = {x, z};
                break;
            }
        }
    ASSERT_GE(empty.first, 0.0) << "no empty spot in the northern leg";
    const auto [floorX, floorY] = pixelOf(empty.first, empty.second);
    const std::uint8_t* floorColour = frame.at(floorX, floorY);
    // Of the 7 x 7 pixels around a point, those not of the floor's colour.
    auto notFloor = [&](std::pair<int, int> centre) {
        int n = 0;
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx)
                n += colourDistance(frame.at(centre.first + dx, centre.second + dy), floorColour) > 60;
        return n;
    };
    // A person's body is about 11 pixels across here: most of the 49 show it.
    int checked = 0;
    for (const auto& [id, at] : people) {
        if (at.first < 10.0 || at.second < 4.0) continue;  // clear of the overlay's panels
        EXPECT_GE(notFloor(pixelOf(at.first, at.second)), 25)
            << "person " << id << " at " << at.first << ", " << at.second;
        ++checked;
    }
    EXPECT_EQ(notFloor({floorX, floorY}), 0);
    EXPECT_GE(checked, 5);
    recordingtest::writePpm(frame, dir.path() / "frame.ppm");
}

TEST(MvnrtMovie, AProjectWithBothFlagsWritesTheMovieAndTheMotionFile) {
    TempDir dir;
    runtimetest::writeProject(dir.path(),
                              runtimetest::withLine(9, "\tglobal var dumpToAVI = 1;"),
                              runtimetest::basicFloor());
    const auto o = runMvnrt(dir.path(), "--movie-size 320x240");
    ASSERT_EQ(o.status, 0) << o.err;
    // The run's own folder below bProj/results, which `latest` names.
    const auto s = summaryOf(dir / "bProj" / "results" / "latest");
    const auto info = recordingtest::probeMovie(dir / "test.avi");
    EXPECT_EQ(info.width, 320);
    EXPECT_NEAR(static_cast<double>(info.frames), expectedFrames(s), 1.0);
    EXPECT_TRUE(std::filesystem::exists(dir / "bProj" / "results" / "latest" / "mocap.kvx"));
    EXPECT_TRUE(has(o.out, "Recorded movie test.avi: ")) << o.out;
    EXPECT_TRUE(has(o.out, "Recorded motion bProj/results/" +
                               std::filesystem::read_symlink(dir / "bProj/results/latest").string() +
                               "/mocap.kvx: "))
        << o.out;
    ASSERT_EQ(s["recordings"].size(), 2u);
}

TEST(MvnrtMovie, AnUnwritableMovieFailsWithItsNameAndTheResultsAreWrittenAllTheSame) {
    TempDir dir;
    const auto o = runMvnrt(dir.path(), "--scenario " + corridor() +
                                            " --out r --movie no-folder/run.avi --motion m.kvx");
    EXPECT_EQ(o.status, 1);
    EXPECT_TRUE(has(o.err, "no-folder/run.avi")) << o.err;
    const auto s = summaryOf(dir / "r");
    EXPECT_EQ(s["everyoneOut"], true);
    ASSERT_EQ(s["recordings"].size(), 1u);  // the motion file
    EXPECT_TRUE(std::filesystem::exists(dir / "m.kvx"));
    EXPECT_TRUE(std::filesystem::exists(dir / "r" / "trajectories.csv"));
    EXPECT_TRUE(std::filesystem::exists(dir / "r" / "evacuation.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "no-folder"));
}

// With a display mvnrt plays the run in its window while it films it: the
// movie is drawn on the run's thread, the window on its own.
TEST(MvnrtMovie, TheWindowAndTheMovieTogether) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    TempDir dir;
    runtimetest::writeProject(dir.path(),
                              runtimetest::withLine(9, "\tglobal var dumpToAVI = 1;"),
                              runtimetest::basicFloor());
    const auto o = runMvnrt(dir.path(), "--exit-at-end --speed max");
    ASSERT_EQ(o.status, 0) << o.err;
    const auto info = recordingtest::probeMovie(dir / "test.avi");
    EXPECT_NEAR(static_cast<double>(info.frames),
                expectedFrames(summaryOf(dir / "bProj" / "results" / "latest")), 1.0);
}
