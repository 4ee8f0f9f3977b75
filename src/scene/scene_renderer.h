#pragma once
// Draws one moment of a run with OpenGL 3.3 core: the floor filled (even-odd,
// so holes stay open), low walls, the exits (door gaps and target lines
// marked), and everyone inside as a simple figure coloured by role, all
// people in one instanced draw call.
//
// It draws into whatever framebuffer is bound in the OpenGL context that is
// current: a window's, or an offscreen one (OffscreenGl). Its calls go
// through libepoxy, which dispatches to the current context whoever made it
// (Qt in a window, EGL without a display). The framebuffer needs a depth and
// a stencil buffer. Create, use and destroy it with the same context current.

#include <memory>

#include "scene/camera.h"
#include "scene/scene.h"

namespace scene {

class SceneRenderer {
  public:
    // Compiles the shaders; throws std::runtime_error when the context cannot
    // (no OpenGL 3.3).
    SceneRenderer();
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;

    // The static part; called again when the scene changes.
    void setScene(const SceneDescription& scene);
    // Clears the bound framebuffer (width x height pixels) and draws `frame`.
    void render(const SceneFrame& frame, const Camera& camera, int width, int height);

    // With the cache on, the floor, grid, walls and exit marks are drawn once
    // into a framebuffer of the renderer's own (colour, depth and stencil) and
    // copied into the bound framebuffer each frame before the people, until
    // the scene, the camera or the size change: the same pixels for a
    // fraction of a software rasteriser's work. The bound framebuffer must
    // then be single-sampled with 8-bit RGBA and 24-bit depth, 8-bit stencil
    // (OffscreenGl's); off by default.
    void setBackgroundCache(bool on);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace scene
