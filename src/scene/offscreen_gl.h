#pragma once
// An OpenGL 3.3 core context without any display, and a framebuffer to draw
// into: Mesa's surfaceless EGL platform (no window system, no X server; with
// LIBGL_ALWAYS_SOFTWARE=1 it is llvmpipe). Qt 6.4 cannot make an OpenGL
// context without a display (its offscreen and minimalegl platforms fail
// here), so movies and headless frames are drawn in this context and the
// SceneRenderer reaches it through libepoxy.
//
// One context per object, current on the thread that created it (call
// makeCurrent() after using another context on that thread).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace scene {

class OffscreenGl {
  public:
    // Throws std::runtime_error saying what is missing when no context can be made.
    OffscreenGl(int width, int height);
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    void makeCurrent();
    // New size; the framebuffer's content is lost.
    void resize(int width, int height);
    int width() const;
    int height() const;
    // The framebuffer (colour, depth and stencil), bound for drawing and reading.
    void bind();
    // Waits until everything drawn so far is done.
    void finish();
    // What was drawn, RGBA bytes, the top row first.
    std::vector<std::uint8_t> readRgba();
    // The same into `pixels` (resized to 4 x width x height bytes; a buffer
    // of that size already is reused as it is).
    void readRgba(std::vector<std::uint8_t>& pixels);
    // "llvmpipe (LLVM 15.0.6, 256 bits) | 4.5 (Core Profile) Mesa 22.3.6"
    std::string rendererName();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace scene
