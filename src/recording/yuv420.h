#pragma once
// RGBA pictures to the planes of yuv420p, the movie's pixel format: ITU-R
// BT.601 in the limited range (Y 16..235, U and V 16..240), each U and V
// sample from the mean of its 2x2 pixels. Fixed point with 15 fractional
// bits, written so that the compiler vectorises the rows.

#include <cstdint>

namespace recording {

struct Yuv420Planes {
    std::uint8_t* y;
    std::uint8_t* u;
    std::uint8_t* v;
    int yStride, uStride, vStride;  // bytes from one row to the next
};

// `rgba`: width x height pixels, 8-bit R, G, B, A (alpha ignored), the top
// row first, `rgbaStride` bytes from one row to the next. Width and height
// even and positive.
void rgbaToYuv420(const std::uint8_t* rgba, int rgbaStride, int width, int height,
                  const Yuv420Planes& out);

}  // namespace recording
