#pragma once
// Encodes a sequence of RGBA pictures into an AVI movie with FFmpeg's
// libraries (the pictures converted by rgbaToYuv420): MPEG-4 Part 2 video in yuv420p at a fixed frame rate, a format
// that common players open. The pictures are converted and encoded on a
// thread of their own, so that the caller can draw the next picture
// meanwhile. The movie is written to a temporary file beside the target and
// renamed over it by finish(): an interrupted run never leaves a truncated
// movie under the target's name.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace recording {

struct MovieFormat {
    int width = 1280;  // pixels, even
    int height = 720;  // pixels, even
    int fps = 24;      // frames per second of the movie
};

// The codec every movie is written with, as FFmpeg names it.
inline constexpr const char* kMovieCodecName = "mpeg4";

class MovieEncoder {
  public:
    // Opens the temporary file and the encoder. Nothing is thrown: when the
    // target cannot be written, problem() says why, frames are ignored and
    // finish() throws.
    MovieEncoder(std::filesystem::path target, const MovieFormat& format);
    ~MovieEncoder();  // discards the temporary file unless finish() succeeded
    MovieEncoder(const MovieEncoder&) = delete;
    MovieEncoder& operator=(const MovieEncoder&) = delete;

    // One picture of format.width x format.height pixels, 8-bit R, G, B, A
    // per pixel, top row first, `bytesPerLine` bytes from one row to the
    // next. The picture is copied; waits while the encoder is several
    // pictures behind.
    void addFrame(const std::uint8_t* rgba, int bytesPerLine);
    // The same for a tightly packed picture (4 * width bytes per row) that
    // the encoder takes over without a copy; throws std::invalid_argument
    // when it is not 4 * width * height bytes.
    void addFrame(std::vector<std::uint8_t>&& rgba);
    // A buffer of a picture the encoder is done with (empty when there is
    // none), to fill and hand back with addFrame: no allocation per picture.
    std::vector<std::uint8_t> spareBuffer();

    // Encodes what is queued, completes the file and renames it over the
    // target. Throws std::runtime_error naming the target when any of it
    // failed.
    void finish();

    const std::filesystem::path& target() const;
    const MovieFormat& format() const;
    // "", or "<target>: <why>" once something failed.
    std::string problem() const;
    // Pictures handed in so far (all of them are in the movie after finish()).
    int frames() const;
    // Seconds the encoder thread spent converting, encoding and writing.
    double encodingSeconds() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace recording
