// Offscreen contexts share EGL's one display: letting one go must leave the
// others drawing.
#include "scene/offscreen_gl.h"

#include <gtest/gtest.h>

#include <memory>

#include "scene/scene_renderer.h"

namespace {

TEST(OffscreenGl, OneContextGoingLeavesTheOthersDrawing) {
    EXPECT_THROW(scene::OffscreenGl(0, 10), std::runtime_error);
    scene::OffscreenGl kept(64, 48);
    {
        scene::OffscreenGl other(32, 32);
        other.bind();
    }
    kept.makeCurrent();
    scene::SceneRenderer renderer;
    scene::SceneDescription s;
    s.floor = {{{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}};
    renderer.setScene(s);
    kept.bind();
    renderer.render({}, scene::Camera::topDown(s.bounds()), kept.width(), kept.height());
    const std::vector<std::uint8_t> px = kept.readRgba();
    ASSERT_EQ(px.size(), 64u * 48u * 4u);
    // The middle is floor (light), a corner is background (dark).
    const std::size_t mid = (24u * 64u + 32u) * 4u;
    EXPECT_GT(px[mid], 180);
    EXPECT_LT(px[0], 80);
}

}  // namespace
