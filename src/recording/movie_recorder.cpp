#include "recording/movie_recorder.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "platform/safe_output.h"
#include "recording/recorders.h"
#include "run/offscreen_gui.h"
#include "scene/offscreen_gl.h"
#include "scene/overlay.h"
#include "scene/palette.h"
#include "scene/scene.h"
#include "scene/scene_renderer.h"

namespace recording {

namespace {

// The movie runs at the script's rate: 24 frames per simulated second, so
// that it plays at real time.
constexpr int kMovieFrameRate = 24;

}  // namespace

struct MovieRecorder::Impl {
    MovieSetup setup;
    // The overlay's text needs a QGuiApplication; mvnrt without a window has
    // none, so one is made for the run (the evacuation plot uses it too).
    std::unique_ptr<QGuiApplication> gui;
    const crowd::Simulation* sim = nullptr;
    std::unique_ptr<scene::OffscreenGl> gl;
    std::unique_ptr<scene::SceneRenderer> renderer;
    std::unique_ptr<MovieEncoder> encoder;
    std::optional<scene::Camera> camera;
    scene::OverlayInfo overlay;
    scene::SceneFrame frame;
    std::string problem;  // before the encoder exists: no OpenGL, say
    double renderingSeconds = 0.0;
    double waitingSeconds = 0.0;  // for the encoder to take a picture
    runtime::Recording done;
    bool finished = false;
};

MovieRecorder::MovieRecorder(MovieSetup setup) : impl_(std::make_unique<Impl>()) {
    impl_->setup = std::move(setup);
}

namespace {

// The renderer's OpenGL objects go with their context current, on the thread
// that drew (the run's: with the window open, not the window's thread, where
// EGL refuses a context current elsewhere).
void releaseDrawing(std::unique_ptr<scene::SceneRenderer>& renderer,
                    std::unique_ptr<scene::OffscreenGl>& gl) noexcept {
    try {
        if (gl && renderer) gl->makeCurrent();
        renderer.reset();
    } catch (const std::exception&) {
        renderer.release();  // its context is gone or elsewhere: leaked, never touched again
    }
    gl.reset();
}

}  // namespace

MovieRecorder::~MovieRecorder() { releaseDrawing(impl_->renderer, impl_->gl); }

double MovieRecorder::frameRate() const { return kMovieFrameRate; }

void MovieRecorder::begin(const crowd::Simulation& sim) {
    Impl& m = *impl_;
    m.sim = &sim;
    MovieFormat format = m.setup.format;
    format.fps = kMovieFrameRate;
    m.encoder = std::make_unique<MovieEncoder>(m.setup.target, format);
    if (!m.encoder->problem().empty()) return;
    const scene::SceneDescription description =
        scene::describeWorld(sim.world(), sim.setup().people, m.setup.exitNames);
    try {
        m.gl = std::make_unique<scene::OffscreenGl>(format.width, format.height);
        m.gl->makeCurrent();
        m.renderer = std::make_unique<scene::SceneRenderer>();
        m.renderer->setScene(description);
        m.renderer->setBackgroundCache(true);
    } catch (const std::exception& e) {
        m.problem = platform::capped(m.setup.target.string()) + ": no movie: " + e.what();
        m.renderer.reset();
        m.gl.reset();
        return;
    }
    const crowd::Box b = description.bounds();
    if (m.setup.scriptCamera)
        m.camera = scene::Camera::script(*m.setup.scriptCamera,
                                         {0.5 * (b.min.x + b.max.x), 0.5 * (b.min.y + b.max.y)});
    else
        m.camera = scene::Camera::topDown(b);
    m.gui = runtime::offscreenGuiIfNeeded();
    if (m.camera->kind() == scene::Camera::Kind::TopDown) {
        // As the window's top-down view: the floor right of the overlay's column.
        const QSize size(format.width, format.height);
        m.camera->setPlanArea(scene::planArea(size));
        m.overlay.plan = scene::planFrame(*m.camera, b, size);
    }
    m.overlay.title = m.setup.title;
    m.overlay.total = static_cast<int>(description.people.size());
    m.overlay.notes = m.setup.notes;
    for (crowd::Role role : scene::kLegendOrder)
        for (const scene::ScenePerson& p : description.people)
            if (p.role == role) {
                m.overlay.roles.push_back(role);
                break;
            }
    for (const scene::SceneExit& e : description.exits) m.overlay.outByExit.push_back({e.name, 0});
}

void MovieRecorder::frame(const crowd::FrameView& f) {
    Impl& m = *impl_;
    if (!m.renderer || !m.encoder->problem().empty()) return;
    const auto started = std::chrono::steady_clock::now();
    const MovieFormat& format = m.encoder->format();
    m.frame.time = f.time;
    m.frame.people = f.people;
    m.frame.positions = f.positions;
    m.gl->makeCurrent();
    m.gl->bind();
    m.renderer->render(m.frame, *m.camera, format.width, format.height);
    std::vector<std::uint8_t> rgba = m.encoder->spareBuffer();
    m.gl->readRgba(rgba);

    // Who is out by each exit at this frame's time.
    for (auto& [name, out] : m.overlay.outByExit) out = 0;
    const int people = static_cast<int>(m.sim->peopleCount());
    for (int i = 0; i < people; ++i) {
        const int e = m.sim->exitUsed(i);
        if (e >= 0 && e < static_cast<int>(m.overlay.outByExit.size()) &&
            m.sim->exitTime(i) <= f.time + 1e-9)
            ++m.overlay.outByExit[static_cast<std::size_t>(e)].second;
    }
    m.overlay.time = f.time;
    m.overlay.inside = static_cast<int>(f.people.size());
    {
        QImage picture(rgba.data(), format.width, format.height, 4 * format.width,
                       QImage::Format_RGBA8888);
        QPainter painter(&picture);
        scene::paintOverlay(painter, m.overlay, QSize(format.width, format.height));
    }
    const auto drawn = std::chrono::steady_clock::now();
    m.renderingSeconds += std::chrono::duration<double>(drawn - started).count();
    m.encoder->addFrame(std::move(rgba));
    m.waitingSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - drawn).count();
}

void MovieRecorder::finish(const crowd::Simulation& /*sim*/, const runtime::RunSummary& /*summary*/) {
    Impl& m = *impl_;
    if (!m.encoder || m.finished) return;
    releaseDrawing(m.renderer, m.gl);
    if (!m.problem.empty()) throw std::runtime_error(m.problem);
    m.encoder->finish();  // throws naming the file
    m.finished = true;
    m.done.kind = "movie";
    m.done.file = m.setup.target.string();
    m.done.frames = m.encoder->frames();
    m.done.seconds = static_cast<double>(m.done.frames) / kMovieFrameRate;
}

std::vector<std::string> MovieRecorder::written() const {
    if (!impl_->finished) return {};
    const MovieFormat& f = impl_->encoder->format();
    return {runtime::recordingLine(impl_->done) + ", " + std::to_string(f.width) + "x" +
            std::to_string(f.height) + " MPEG-4 video at 24 frames per second; drawn in " + runtime::fixed(impl_->renderingSeconds, 1) + " s, encoded in " +
                runtime::fixed(encodingSeconds(), 1) + " s beside it (waited " +
                runtime::fixed(impl_->waitingSeconds, 1) + " s for the encoder)"};
}

std::vector<runtime::Recording> MovieRecorder::recordings() const {
    if (!impl_->finished) return {};
    return {impl_->done};
}

std::string MovieRecorder::recordingTarget() const {
    return "movie " + impl_->setup.target.string();
}

double MovieRecorder::renderingSeconds() const { return impl_->renderingSeconds; }
double MovieRecorder::encodingSeconds() const {
    return impl_->encoder ? impl_->encoder->encodingSeconds() : 0.0;
}

// The movie recorder of the plan, or none.
std::unique_ptr<runtime::FrameSink> makeMovieRecorder(const RecordingPlan& plan,
                                                      const runtime::PreparedRun& prepared,
                                                      const runtime::Options& options) {
    if (!plan.movie) return nullptr;
    MovieSetup s;
    s.target = *plan.movie;
    s.format.width = options.movieWidth;
    s.format.height = options.movieHeight;
    s.title = prepared.meta.mode == "project" ? std::filesystem::current_path().string()
                                              : prepared.meta.name;
    s.exitNames = prepared.meta.exitNames;
    s.notes = prepared.meta.notes;
    if (prepared.camera && !options.movieFromAbove) {
        const double u = prepared.meta.unitsPerMetre;
        s.scriptCamera = scene::Vec3{prepared.camera->x / u, prepared.camera->y / u,
                                     prepared.camera->z / u};
    }
    return std::make_unique<MovieRecorder>(std::move(s));
}

}  // namespace recording
