// Frame time of the scene renderer: 396 people on the basic 14 m floor and
// 10,000 on a 72 m square hall, at 1280 x 720, with both cameras, drawn
// offscreen (EGL, Mesa's llvmpipe with LIBGL_ALWAYS_SOFTWARE=1) and waited
// for with glFinish. Each frame moves everyone a
// little, so the instance data is uploaded every time as in the window.
// CPU time is given beside the wall time because the machine is shared: on
// an idle machine a frame takes between CPU / cores and CPU of wall time.
// With a file name, also saves the last frame of each case with the overlay.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <sys/resource.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "scene/offscreen_gl.h"
#include "scene/overlay.h"
#include "scene/scene_renderer.h"

namespace {

// CPU seconds of the whole process (llvmpipe draws on threads of its own).
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

struct Case {
    const char* name;
    int people;
    double half;  // half the floor's side, m
};

scene::SceneDescription hall(const Case& c) {
    scene::SceneDescription s;
    const double h = c.half;
    s.floor = {{{-h, -h}, {h, -h}, {h, h}, {-h, h}}};
    s.exits = {{"exit 1", true, {{h, -0.5}, {h, 0.5}}}, {"exit 2", true, {{-0.5, -h}, {0.5, -h}}}};
    s.walls = scene::wallsWithoutGaps(s.floor, s.exits);
    const crowd::Role roles[] = {crowd::Role::Child, crowd::Role::Parent, crowd::Role::Adult,
                                 crowd::Role::JoggingChild};
    for (int i = 0; i < c.people; ++i)
        s.people.push_back({roles[(i / 2) % 4], 0.25 + 0.1 * ((i * 7919) % 100) / 100.0});
    return s;
}

scene::SceneFrame crowdAt(const Case& c, int k) {
    scene::SceneFrame f;
    const int side = static_cast<int>(std::ceil(std::sqrt(c.people)));
    const double step = 2.0 * (c.half - 0.5) / side;
    for (int i = 0; i < c.people; ++i) {
        f.people.push_back(i);
        const double wobble = 0.05 * std::sin(0.1 * k + i);
        f.positions.push_back({-c.half + 0.5 + step * (i % side + 0.5) + wobble,
                               -c.half + 0.5 + step * (i / side + 0.5)});
    }
    f.time = k / 24.0;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string pngPrefix = argc > 1 ? argv[1] : "";
    const int width = 1280, height = 720;
    try {
        scene::OffscreenGl gl(width, height);
        std::printf("scene renderer, %d x %d, %s\n", width, height, gl.rendererName().c_str());
        scene::SceneRenderer renderer;
        for (const Case& c : {Case{"396 people, 14 m floor", 396, 7.0},
                              Case{"10,000 people, 72 m hall", 10000, 36.0}}) {
            const scene::SceneDescription s = hall(c);
            renderer.setScene(s);
            const double camDist = c.half / 7.0;
            for (const bool script : {true, false}) {
                const scene::Camera cam =
                    script ? scene::Camera::script({-10.0 * camDist, 2.0 * camDist, 10.0 * camDist},
                                                   {0.0, 0.0})
                           : scene::Camera::topDown(s.bounds());
                gl.bind();
                renderer.render(crowdAt(c, 0), cam, width, height);  // warm up
                gl.finish();
                int frames = 0;
                const auto start = std::chrono::steady_clock::now();
                const double cpuStart = cpuSeconds();
                double elapsed = 0.0;
                while (elapsed < 2.0 || frames < 5) {
                    renderer.render(crowdAt(c, frames), cam, width, height);
                    gl.finish();
                    ++frames;
                    elapsed =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count();
                }
                const double cpu = (cpuSeconds() - cpuStart) / frames;
                std::printf("  %-26s %-14s %7.2f ms per frame (%5.1f per second), CPU %7.2f ms per frame\n",
                            c.name, script ? "script camera" : "top-down", 1000.0 * elapsed / frames,
                            frames / elapsed, 1000.0 * cpu);
                if (!pngPrefix.empty()) {
                    std::vector<std::uint8_t> px = gl.readRgba();
                    QImage img(px.data(), width, height, QImage::Format_RGBA8888);
                    QImage out = img.convertToFormat(QImage::Format_RGB32);
                    QPainter p(&out);
                    scene::OverlayInfo info;
                    info.title = c.name;
                    info.time = 12.5;
                    info.inside = c.people;
                    info.total = c.people;
                    info.outByExit = {{"exit 1", 0}, {"exit 2", 0}};
                    info.speed = scene::speedText(1.0);
                    info.camera = script ? "script camera" : "top-down view";
                    info.roles = {crowd::Role::Child, crowd::Role::Parent, crowd::Role::Adult,
                                  crowd::Role::JoggingChild};
                    info.keys = "Space pause  +/- speed  C camera  drag orbit  wheel zoom";
                    scene::paintOverlay(p, info, out.size());
                    p.end();
                    out.save(QString::fromStdString(pngPrefix + "-" + std::to_string(c.people) +
                                                    (script ? "-script" : "-top") + ".png"));
                }
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "scene_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
