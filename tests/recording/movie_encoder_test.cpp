// The movie encoder: what a player reads back from its files, and how it
// fails.
#include "recording/movie_encoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "movie_probe.h"
#include "support/test_support.h"

using recording::MovieEncoder;
using recording::MovieFormat;
using testsupport::TempDir;

namespace {

// Left half red, right half blue, a white 40x40 square whose left edge
// moves 8 pixels per frame.
std::vector<std::uint8_t> testPicture(int width, int height, int frame) {
    std::vector<std::uint8_t> rgba(4 * static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgba[4 * (static_cast<std::size_t>(y) * width + x)];
            const bool square = x >= 8 * frame && x < 8 * frame + 40 && y >= 100 && y < 140;
            p[0] = square || x < width / 2 ? 255 : 0;
            p[1] = square ? 255 : 0;
            p[2] = square || x >= width / 2 ? 255 : 0;
            p[3] = 255;
        }
    return rgba;
}

bool near(const std::uint8_t* rgb, int r, int g, int b, int tolerance = 40) {
    return std::abs(rgb[0] - r) <= tolerance && std::abs(rgb[1] - g) <= tolerance &&
           std::abs(rgb[2] - b) <= tolerance;
}

}  // namespace

TEST(MovieEncoder, WritesAnAviThatPlayersReadAtTheAskedSizeRateAndLength) {
    TempDir dir;
    const auto file = dir / "clip.avi";
    MovieFormat format;
    format.width = 320;
    format.height = 240;
    {
        MovieEncoder movie(file, format);
        ASSERT_EQ(movie.problem(), "");
        for (int k = 0; k < 36; ++k) {
            const auto picture = testPicture(320, 240, k);
            movie.addFrame(picture.data(), 4 * 320);
        }
        // Nothing under the target's name until the movie is complete.
        EXPECT_FALSE(std::filesystem::exists(file));
        movie.finish();
        EXPECT_EQ(movie.frames(), 36);
    }
    const auto info = recordingtest::probeMovie(file);
    EXPECT_EQ(info.container, "avi");
    EXPECT_EQ(info.codec, "mpeg4");
    EXPECT_EQ(info.pixelFormat, "yuv420p");
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_DOUBLE_EQ(info.fps, 24.0);
    EXPECT_EQ(info.frames, 36);
    EXPECT_NEAR(info.seconds, 1.5, 1.0 / 24);
    // The folder holds the movie and nothing else (no temporary file).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    // Frame 20 shows its own picture: the square at x 160..199, the halves.
    const auto frame = recordingtest::decodeFrame(file, 20);
    ASSERT_EQ(frame.width, 320);
    EXPECT_TRUE(near(frame.at(180, 120), 255, 255, 255));
    EXPECT_TRUE(near(frame.at(60, 120), 255, 0, 0));
    EXPECT_TRUE(near(frame.at(260, 200), 0, 0, 255));
    EXPECT_TRUE(near(frame.at(140, 120), 255, 0, 0));  // where the square was at frame 17
}

TEST(MovieEncoder, PadsOfRowsAreSkippedAndAnOddSizeIsRefused) {
    TempDir dir;
    MovieFormat format;
    format.width = 64;
    format.height = 48;
    {
        // Rows 300 bytes apart: only the first 256 of each belong to the picture.
        std::vector<std::uint8_t> padded(300 * 48, 0);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                padded[300 * y + 4 * x + 1] = 255;  // green
                padded[300 * y + 4 * x + 3] = 255;
            }
        MovieEncoder movie(dir / "padded.avi", format);
        movie.addFrame(padded.data(), 300);
        movie.finish();
        const auto frame = recordingtest::decodeFrame(dir / "padded.avi", 0);
        EXPECT_TRUE(near(frame.at(32, 24), 0, 255, 0));
        EXPECT_TRUE(near(frame.at(63, 47), 0, 255, 0));
    }
    format.width = 65;
    MovieEncoder odd(dir / "odd.avi", format);
    EXPECT_NE(odd.problem().find("even"), std::string::npos) << odd.problem();
    EXPECT_THROW(odd.finish(), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(dir / "odd.avi"));
}

TEST(MovieEncoder, AnUnwritableTargetIsNamedAndLeavesNothing) {
    TempDir dir;
    const auto file = dir / "missing-folder" / "clip.avi";
    MovieFormat format;
    format.width = 64;
    format.height = 48;
    MovieEncoder movie(file, format);
    EXPECT_NE(movie.problem().find(file.string()), std::string::npos) << movie.problem();
    const auto picture = testPicture(64, 48, 0);
    movie.addFrame(picture.data(), 4 * 64);  // ignored
    try {
        movie.finish();
        FAIL() << "finish() should throw";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(MovieEncoder, AMovieNotFinishedLeavesNoFile) {
    TempDir dir;
    MovieFormat format;
    format.width = 64;
    format.height = 48;
    {
        MovieEncoder movie(dir / "clip.avi", format);
        const auto picture = testPicture(64, 48, 0);
        for (int k = 0; k < 10; ++k) movie.addFrame(picture.data(), 4 * 64);
    }  // an interrupted run: destroyed without finish()
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(MovieEncoder, APictureHandedOverWholeIsEncodedAndOneOfTheWrongSizeRefused) {
    TempDir dir;
    MovieFormat format;
    format.width = 64;
    format.height = 48;
    MovieEncoder movie(dir / "clip.avi", format);
    for (int k = 0; k < 5; ++k) movie.addFrame(testPicture(64, 48, k));
    EXPECT_THROW(movie.addFrame(std::vector<std::uint8_t>(100)), std::invalid_argument);
    movie.finish();
    EXPECT_EQ(recordingtest::probeMovie(dir / "clip.avi").frames, 5);
    EXPECT_TRUE(near(recordingtest::decodeFrame(dir / "clip.avi", 4).at(60, 10), 0, 0, 255));
}
