// A person drawn at a known place appears where the documented camera puts
// it: the script camera (eye at CAMX, CAMY, CAMZ, yaw -0.42 rad, line of
// sight horizontal, vertical field of view 60 degrees, the identity looking
// along -z) and the top-down view fitted to the floor, at two picture sizes.
// The expected pixels are worked out here from that description, not with
// the renderer's camera code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "scene/camera.h"
#include "scene/offscreen_gl.h"
#include "scene/scene_renderer.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Pixels {
    int width, height;
    std::vector<std::uint8_t> rgba;
};

// The pixels that differ from the picture without the person.
struct Blob {
    int count = 0;
    double meanX = 0, meanY = 0;
    int top = 1 << 30, bottom = -1;
};

Blob difference(const Pixels& with, const Pixels& without) {
    Blob b;
    for (int y = 0; y < with.height; ++y)
        for (int x = 0; x < with.width; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * with.width + x) * 4;
            int diff = 0;
            for (int c = 0; c < 3; ++c) diff += std::abs(with.rgba[i + c] - without.rgba[i + c]);
            if (diff < 30) continue;
            ++b.count;
            b.meanX += x + 0.5;
            b.meanY += y + 0.5;
            b.top = std::min(b.top, y);
            b.bottom = std::max(b.bottom, y + 1);
        }
    if (b.count > 0) {
        b.meanX /= b.count;
        b.meanY /= b.count;
    }
    return b;
}

class Projection : public ::testing::Test {
  protected:
    // The basic floor of a project: 14 m square around the origin.
    scene::SceneDescription floor() {
        scene::SceneDescription s;
        s.floor = {{{-7, -7}, {7, -7}, {7, 7}, {-7, 7}}};
        s.walls = scene::wallsWithoutGaps(s.floor, {});
        s.people = {{crowd::Role::Adult, 0.1}};
        return s;
    }
    Pixels draw(scene::OffscreenGl& gl, scene::SceneRenderer& r, const scene::Camera& cam,
                bool withPerson, crowd::Vec2 at) {
        gl.bind();
        scene::SceneFrame f;
        if (withPerson) f = {0.0, {0}, {at}};
        r.render(f, cam, gl.width(), gl.height());
        return {gl.width(), gl.height(), gl.readRgba()};
    }
};

TEST_F(Projection, ScriptCameraPutsAPersonWhereTheConventionSays) {
    const scene::Vec3 eye{-10.0, 2.0, 10.0};  // floor scale 70: (-100, 20, 100) world units
    const crowd::Vec2 at{1.5, -2.0};
    const double height = scene::roleHeight(crowd::Role::Adult);
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1024, 576}}) {
        scene::OffscreenGl gl(w, h);
        scene::SceneRenderer renderer;
        renderer.setScene(floor());
        const scene::Camera cam = scene::Camera::script(eye, {0.0, 0.0});
        const Blob blob =
            difference(draw(gl, renderer, cam, true, at), draw(gl, renderer, cam, false, at));
        ASSERT_GT(blob.count, 20) << w << "x" << h;
        // Camera axes: forward (sin 0.42, 0, -cos 0.42), right (cos 0.42, 0, sin 0.42), up y.
        const double fx = std::sin(0.42), fz = -std::cos(0.42), rx = std::cos(0.42),
                     rz = std::sin(0.42);
        const double focal = 0.5 * h / std::tan(30.0 * kPi / 180.0);
        auto pixel = [&](double x, double y, double z) {
            const double dx = x - eye.x, dy = y - eye.y, dz = z - eye.z;
            const double depth = dx * fx + dz * fz;
            return std::pair{0.5 * w + focal * (dx * rx + dz * rz) / depth,
                             0.5 * h - focal * dy / depth};
        };
        const auto foot = pixel(at.x, 0.0, at.y);
        const auto crown = pixel(at.x, height, at.y);
        EXPECT_NEAR(blob.meanX, foot.first, 2.0) << w << "x" << h;
        EXPECT_NEAR(blob.bottom, foot.second, 2.0) << w << "x" << h;
        EXPECT_NEAR(blob.top, crown.second, 2.0) << w << "x" << h;
    }
}

TEST_F(Projection, TopDownViewFitsTheFloorWithZDownward) {
    const crowd::Vec2 at{3.0, 5.0};
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{480, 640}}) {
        scene::OffscreenGl gl(w, h);
        scene::SceneRenderer renderer;
        renderer.setScene(floor());
        scene::SceneDescription s = floor();
        const scene::Camera cam = scene::Camera::topDown(s.bounds());
        const Blob blob =
            difference(draw(gl, renderer, cam, true, at), draw(gl, renderer, cam, false, at));
        ASSERT_GT(blob.count, 10);
        // 14 m plus 4 % on each side across the shorter side of the picture.
        const double metres = 14.0 * 1.04;
        const double pxPerMetre = std::min(w, h) / metres;
        EXPECT_NEAR(blob.meanX, 0.5 * w + at.x * pxPerMetre, 2.0) << w << "x" << h;
        EXPECT_NEAR(blob.meanY, 0.5 * h + at.y * pxPerMetre, 2.0) << w << "x" << h;
    }
}

}  // namespace
