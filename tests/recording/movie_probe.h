#pragma once
// Reads a movie back the way a player would, with libavformat and
// libavcodec: the container's and the video stream's description, and a
// decoded picture.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace recordingtest {

struct MovieInfo {
    std::string container;  // "avi"
    std::string codec;      // "mpeg4"
    std::string pixelFormat;
    int width = 0, height = 0;
    double fps = 0.0;       // the stream's average frame rate
    std::int64_t frames = 0;  // counted by reading every packet
    double seconds = 0.0;   // the container's duration
};

// Throws std::runtime_error when the file cannot be opened as a movie.
MovieInfo probeMovie(const std::filesystem::path& file);

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // 3 bytes per pixel, top row first
    const std::uint8_t* at(int x, int y) const {
        return rgb.data() + 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                 static_cast<std::size_t>(x));
    }
};

// The decoded picture number `index` (0 first), as RGB.
Picture decodeFrame(const std::filesystem::path& file, int index);

// Writes a picture as a binary PPM (for looking at a frame).
void writePpm(const Picture& picture, const std::filesystem::path& file);

}  // namespace recordingtest
