#include "recording/yuv420.h"

#include <cstddef>

namespace recording {

namespace {

// BT.601 limited-range weights times 2^15 (219/255 of the full range for
// luma, 224/255 for chroma); each chroma row sums to zero, so grey has no
// colour.
constexpr std::int32_t kYr = 8414, kYg = 16519, kYb = 3208;
constexpr std::int32_t kUr = -4857, kUg = -9535, kUb = 14392;
constexpr std::int32_t kVr = 14392, kVg = -12051, kVb = -2341;
constexpr int kShift = 15;

// One row of luma: `width` pixels.
void lumaRow(const std::uint8_t* __restrict rgba, std::uint8_t* __restrict y, int width) {
    for (int x = 0; x < width; ++x) {
        const std::int32_t r = rgba[4 * x], g = rgba[4 * x + 1], b = rgba[4 * x + 2];
        y[x] = static_cast<std::uint8_t>(
            (kYr * r + kYg * g + kYb * b + (16 << kShift) + (1 << (kShift - 1))) >> kShift);
    }
}

// One row of chroma from two rows of pixels: `width / 2` samples.
void chromaRow(const std::uint8_t* __restrict top, const std::uint8_t* __restrict bottom,
               std::uint8_t* __restrict u, std::uint8_t* __restrict v, int width) {
    for (int x = 0; x < width / 2; ++x) {
        const int i = 8 * x;
        // Sums of four pixels: 0..1020, so the weights take two more bits.
        const std::int32_t r = top[i] + top[i + 4] + bottom[i] + bottom[i + 4];
        const std::int32_t g = top[i + 1] + top[i + 5] + bottom[i + 1] + bottom[i + 5];
        const std::int32_t b = top[i + 2] + top[i + 6] + bottom[i + 2] + bottom[i + 6];
        constexpr int shift = kShift + 2;
        constexpr std::int32_t offset = (128 << shift) + (1 << (shift - 1));
        u[x] = static_cast<std::uint8_t>((kUr * r + kUg * g + kUb * b + offset) >> shift);
        v[x] = static_cast<std::uint8_t>((kVr * r + kVg * g + kVb * b + offset) >> shift);
    }
}

}  // namespace

void rgbaToYuv420(const std::uint8_t* rgba, int rgbaStride, int width, int height,
                  const Yuv420Planes& out) {
    for (int row = 0; row + 1 < height; row += 2) {
        const std::uint8_t* top = rgba + static_cast<std::ptrdiff_t>(rgbaStride) * row;
        const std::uint8_t* bottom = top + rgbaStride;
        lumaRow(top, out.y + static_cast<std::ptrdiff_t>(out.yStride) * row, width);
        lumaRow(bottom, out.y + static_cast<std::ptrdiff_t>(out.yStride) * (row + 1), width);
        const int c = row / 2;
        chromaRow(top, bottom, out.u + static_cast<std::ptrdiff_t>(out.uStride) * c,
                  out.v + static_cast<std::ptrdiff_t>(out.vStride) * c, width);
    }
}

}  // namespace recording
