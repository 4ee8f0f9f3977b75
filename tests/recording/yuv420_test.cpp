// The movie's colour conversion: BT.601 limited range, chroma from the mean
// of each 2x2 block, every row and plane where its stride says.
#include "recording/yuv420.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

struct Picture {
    int width, height, stride;  // stride in bytes, with padding
    std::vector<std::uint8_t> rgba;
    void set(int x, int y, int r, int g, int b) {
        std::uint8_t* p = &rgba[static_cast<std::size_t>(y) * stride + 4 * x];
        p[0] = static_cast<std::uint8_t>(r);
        p[1] = static_cast<std::uint8_t>(g);
        p[2] = static_cast<std::uint8_t>(b);
        p[3] = 7;  // alpha plays no part
    }
};

struct Planes {
    int yStride, cStride;
    std::vector<std::uint8_t> y, u, v;
    Planes(int width, int height, int pad)
        : yStride(width + pad),
          cStride(width / 2 + pad),
          y(static_cast<std::size_t>(yStride) * height, 0xAA),
          u(static_cast<std::size_t>(cStride) * (height / 2), 0xAA),
          v(static_cast<std::size_t>(cStride) * (height / 2), 0xAA) {}
    recording::Yuv420Planes view() {
        return {y.data(), u.data(), v.data(), yStride, cStride, cStride};
    }
};

// The BT.601 limited-range formulas in double precision.
double lumaOf(double r, double g, double b) {
    return 16.0 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0;
}
double blueOf(double r, double g, double b) {
    return 128.0 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0;
}
double redOf(double r, double g, double b) {
    return 128.0 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0;
}

TEST(Yuv420, KnownColoursGiveTheirStudioRangeValues) {
    struct Case {
        int r, g, b, y, u, v;
    };
    const Case cases[] = {{0, 0, 0, 16, 128, 128},     {255, 255, 255, 235, 128, 128},
                          {128, 128, 128, 126, 128, 128}, {255, 0, 0, 81, 90, 240},
                          {0, 255, 0, 145, 54, 34},     {0, 0, 255, 41, 240, 110}};
    for (const Case& c : cases) {
        Picture pic{2, 2, 8, std::vector<std::uint8_t>(16)};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) pic.set(x, y, c.r, c.g, c.b);
        Planes out(2, 2, 0);
        recording::rgbaToYuv420(pic.rgba.data(), pic.stride, 2, 2, out.view());
        for (std::uint8_t luma : out.y) EXPECT_EQ(luma, c.y) << c.r << " " << c.g << " " << c.b;
        EXPECT_EQ(out.u[0], c.u) << c.r << " " << c.g << " " << c.b;
        EXPECT_EQ(out.v[0], c.v) << c.r << " " << c.g << " " << c.b;
    }
}

TEST(Yuv420, RandomPicturesWithPaddedRowsMatchTheFormulasWithinRounding) {
    const int width = 38, height = 14, pad = 5;
    Picture pic{width, height, 4 * width + 12,
                std::vector<std::uint8_t>(static_cast<std::size_t>(4 * width + 12) * height, 0x55)};
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pic.set(x, y, byte(rng), byte(rng), byte(rng));
    Planes out(width, height, pad);
    recording::rgbaToYuv420(pic.rgba.data(), pic.stride, width, height, out.view());
    auto at = [&](int x, int y, int c) {
        return static_cast<double>(pic.rgba[static_cast<std::size_t>(y) * pic.stride + 4 * x + c]);
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_NEAR(out.y[static_cast<std::size_t>(y) * out.yStride + x],
                        lumaOf(at(x, y, 0), at(x, y, 1), at(x, y, 2)), 0.51)
                << x << ", " << y;
    for (int cy = 0; cy < height / 2; ++cy)
        for (int cx = 0; cx < width / 2; ++cx) {
            double m[3] = {};
            for (int c = 0; c < 3; ++c)
                m[c] = (at(2 * cx, 2 * cy, c) + at(2 * cx + 1, 2 * cy, c) +
                        at(2 * cx, 2 * cy + 1, c) + at(2 * cx + 1, 2 * cy + 1, c)) /
                       4.0;
            const std::size_t i = static_cast<std::size_t>(cy) * out.cStride + cx;
            ASSERT_NEAR(out.u[i], blueOf(m[0], m[1], m[2]), 0.51) << cx << ", " << cy;
            ASSERT_NEAR(out.v[i], redOf(m[0], m[1], m[2]), 0.51) << cx << ", " << cy;
        }
    // The padding of the planes is left alone.
    for (int y = 0; y < height; ++y)
        for (int x = width; x < out.yStride; ++x)
            ASSERT_EQ(out.y[static_cast<std::size_t>(y) * out.yStride + x], 0xAA);
    for (int cy = 0; cy < height / 2; ++cy)
        for (int cx = width / 2; cx < out.cStride; ++cx) {
            ASSERT_EQ(out.u[static_cast<std::size_t>(cy) * out.cStride + cx], 0xAA);
            ASSERT_EQ(out.v[static_cast<std::size_t>(cy) * out.cStride + cx], 0xAA);
        }
}

}  // namespace
