#include "scene/offscreen_gl.h"

#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace scene {

namespace {

std::string eglProblem(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04x", static_cast<unsigned>(eglGetError()));
    return std::string("offscreen OpenGL: ") + what + " (EGL error " + code + ")";
}

}  // namespace

struct OffscreenGl::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0, colour = 0, depthStencil = 0;
    int width = 0, height = 0;
    std::vector<std::uint8_t> readBack;  // bottom row first, as OpenGL reads
    bool packInvert = false;             // GL_MESA_pack_invert: read top row first

    void allocate(int w, int h) {
        if (w <= 0 || h <= 0 || w > 16384 || h > 16384)
            throw std::runtime_error("offscreen OpenGL: " + std::to_string(w) + " x " +
                                     std::to_string(h) + " is not a usable size");
        width = w;
        height = h;
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        glBindRenderbuffer(GL_RENDERBUFFER, depthStencil);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                  depthStencil);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            throw std::runtime_error("offscreen OpenGL: the framebuffer is incomplete");
    }
};

OffscreenGl::OffscreenGl(int width, int height) : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    if (!epoxy_has_egl_extension(EGL_NO_DISPLAY, "EGL_MESA_platform_surfaceless"))
        throw std::runtime_error(
            "offscreen OpenGL: EGL has no surfaceless platform (Mesa's libegl1 is needed)");
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr)
        throw std::runtime_error("offscreen OpenGL: EGL lacks eglGetPlatformDisplayEXT");
    d.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (d.display == EGL_NO_DISPLAY || !eglInitialize(d.display, &major, &minor))
        throw std::runtime_error(eglProblem("no surfaceless EGL display"));
    // The display is never terminated: EGL hands every caller the same one,
    // so terminating it would pull it from under other offscreen contexts
    // (a movie and a test picture, say); and its driver stays loaded.
    if (!eglBindAPI(EGL_OPENGL_API))
        throw std::runtime_error(eglProblem("EGL cannot bind desktop OpenGL"));
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 3,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    d.context = eglCreateContext(d.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (d.context == EGL_NO_CONTEXT)
        throw std::runtime_error(eglProblem("no OpenGL 3.3 core context"));
    makeCurrent();
    d.packInvert = epoxy_has_gl_extension("GL_MESA_pack_invert");
    glGenFramebuffers(1, &d.framebuffer);
    glGenRenderbuffers(1, &d.colour);
    glGenRenderbuffers(1, &d.depthStencil);
    try {
        d.allocate(width, height);
    } catch (...) {
        eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(d.display, d.context);
        throw;
    }
}

OffscreenGl::~OffscreenGl() {
    Impl& d = *impl_;
    if (eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, d.context)) {
        glDeleteFramebuffers(1, &d.framebuffer);
        const GLuint buffers[] = {d.colour, d.depthStencil};
        glDeleteRenderbuffers(2, buffers);
    }
    eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(d.display, d.context);
}

void OffscreenGl::makeCurrent() {
    if (!eglMakeCurrent(impl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, impl_->context))
        throw std::runtime_error(eglProblem("the context cannot be made current"));
}

void OffscreenGl::resize(int width, int height) {
    makeCurrent();
    impl_->allocate(width, height);
}

int OffscreenGl::width() const { return impl_->width; }
int OffscreenGl::height() const { return impl_->height; }

void OffscreenGl::bind() { glBindFramebuffer(GL_FRAMEBUFFER, impl_->framebuffer); }

void OffscreenGl::finish() { glFinish(); }

std::vector<std::uint8_t> OffscreenGl::readRgba() {
    std::vector<std::uint8_t> pixels;
    readRgba(pixels);
    return pixels;
}

void OffscreenGl::readRgba(std::vector<std::uint8_t>& pixels) {
    Impl& d = *impl_;
    const std::size_t row = static_cast<std::size_t>(d.width) * 4;
    const std::size_t bytes = row * static_cast<std::size_t>(d.height);
    if (pixels.size() != bytes) pixels.resize(bytes);
    glBindFramebuffer(GL_FRAMEBUFFER, d.framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // OpenGL's first row is the bottom one: Mesa turns the rows over while
    // reading, in the same copy; elsewhere they are turned over here.
    if (d.packInvert) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        glReadPixels(0, 0, d.width, d.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
        return;
    }
    if (d.readBack.size() != bytes) d.readBack.resize(bytes);
    glReadPixels(0, 0, d.width, d.height, GL_RGBA, GL_UNSIGNED_BYTE, d.readBack.data());
    for (int y = 0; y < d.height; ++y)
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * row,
                    d.readBack.data() + static_cast<std::size_t>(d.height - 1 - y) * row, row);
}

std::string OffscreenGl::rendererName() {
    auto text = [](GLenum what) {
        const GLubyte* s = glGetString(what);
        return s != nullptr ? std::string(reinterpret_cast<const char*>(s)) : std::string("?");
    };
    return text(GL_RENDERER) + " | " + text(GL_VERSION);
}

}  // namespace scene
