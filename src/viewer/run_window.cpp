#include "viewer/run_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>

#include "run/results.h"
#include "scene/palette.h"
#include "viewer/scene_view.h"

namespace viewer {

namespace {

constexpr int kTickMs = 15;
constexpr int kSliderSteps = 10000;
const char* kKeys =
    "Space pause   + - speed   C camera   R reset view   drag turn   wheel zoom   Esc close";

std::vector<crowd::Role> rolesPresent(const scene::SceneDescription& s) {
    std::vector<crowd::Role> roles;
    for (crowd::Role r : scene::kLegendOrder)
        if (std::any_of(s.people.begin(), s.people.end(),
                        [r](const scene::ScenePerson& p) { return p.role == r; }))
            roles.push_back(r);
    return roles;
}

}  // namespace

RunWindow::RunWindow(LiveFeed& feed, LiveSetup setup) : feed_(&feed), setup_(std::move(setup)) {
    clock_.setSpeed(setup_.speed);
    build();
}

RunWindow::RunWindow(RecordedRun run) : replay_(std::move(run)) {
    setup_.title = replay_->title + " (replay)";
    setup_.notes = replay_->notes;
    setup_.scriptCamera = replay_->scriptCamera;
    scene_ = replay_->scene;
    frames_.assign(replay_->frames.begin(), replay_->frames.end());
    replay_->frames.clear();
    build();
    if (!frames_.empty()) clock_.setTime(frames_.front().frame.time);
}

RunWindow::~RunWindow() = default;

void RunWindow::build() {
    setWindowTitle(QString::fromStdString(setup_.title) + QStringLiteral(" - mvnrt"));
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new SceneView(this);
    layout->addWidget(view_, 1);
    if (replay_) {
        slider_ = new QSlider(Qt::Horizontal, this);
        slider_->setRange(0, kSliderSteps);
        slider_->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(slider_);
        connect(slider_, &QSlider::valueChanged, this, &RunWindow::sliderMoved);
        view_->setScene(scene_, setup_.scriptCamera);
        roles_ = rolesPresent(scene_);
        sceneSet_ = true;
    }
    resize(1024, 640);
    connect(&timer_, &QTimer::timeout, this, &RunWindow::tick);
    timer_.start(kTickMs);
    wall_.start();
    showAt(clock_.time());
}

void RunWindow::runEnded(const RunEnd& end) { end_ = end; }

void RunWindow::tick() {
    const double dt = static_cast<double>(wall_.nsecsElapsed()) * 1e-9;
    wall_.restart();
    if (feed_ && !sceneSet_ && feed_->scene(scene_)) {
        view_->setScene(scene_, setup_.scriptCamera);
        roles_ = rolesPresent(scene_);
        sceneSet_ = true;
    }
    double newest = frames_.empty() ? 0.0 : frames_.back().frame.time;
    if (feed_) newest = std::max(newest, feed_->newestWaiting());
    clock_.advance(dt, newest);
    if (feed_) {
        for (LiveFrame& f : feed_->takeUntil(clock_.time())) frames_.push_back(std::move(f));
        // Keep the frame at or before the clock and what follows.
        while (frames_.size() > 1 && frames_[1].frame.time <= clock_.time()) frames_.pop_front();
    }
    if (slider_ && !frames_.empty()) {
        const double t0 = frames_.front().frame.time, t1 = frames_.back().frame.time;
        const QSignalBlocker block(slider_);
        slider_->setValue(t1 > t0
                              ? static_cast<int>((clock_.time() - t0) / (t1 - t0) * kSliderSteps)
                              : kSliderSteps);
    }
    showAt(clock_.time());
}

void RunWindow::sliderMoved(int value) {
    if (frames_.empty()) return;
    const double t0 = frames_.front().frame.time, t1 = frames_.back().frame.time;
    clock_.setTime(t0 + (t1 - t0) * value / kSliderSteps);
    banner_.clear();
    showAt(clock_.time());
}

void RunWindow::showAt(double t) {
    scene::OverlayInfo info;
    info.title = setup_.title;
    info.time = t;
    info.total = static_cast<int>(scene_.people.size());
    info.notes = setup_.notes;
    info.roles = roles_;
    info.speed = clock_.label();
    info.camera = view_->cameraName();
    info.keys = kKeys;
    // While the run goes on, what it records.
    if (feed_ && banner_.empty()) info.recording = setup_.recording;
    std::vector<int> out(scene_.exits.size(), 0);
    if (!frames_.empty()) {
        // The frame at or before t, and the next.
        auto it = std::upper_bound(frames_.begin(), frames_.end(), t,
                                   [](double v, const LiveFrame& f) { return v < f.frame.time; });
        if (it == frames_.begin()) {
            shown_ = it->frame;
            out = it->outByExit;
        } else {
            const LiveFrame& a = *(it - 1);
            shown_ = it == frames_.end() ? a.frame : scene::interpolate(a.frame, it->frame, t);
            out = a.outByExit;
        }
    }
    info.inside = static_cast<int>(shown_.people.size());
    for (std::size_t e = 0; e < scene_.exits.size(); ++e)
        info.outByExit.push_back({scene_.exits[e].name, e < out.size() ? out[e] : 0});

    // The end: the run is over and its last frame is shown.
    const bool lastShown = !frames_.empty() && t >= frames_.back().frame.time - 1e-9;
    if (banner_.empty() && lastShown) {
        if (replay_) {
            banner_ =
                replay_->everyoneOut
                    ? "Everyone is out after " + runtime::fixed(replay_->evacuationTime, 1) + " s"
                    : "The run ended after " + runtime::fixed(replay_->evacuationTime, 1) +
                          " s with people inside";
            bannerDetail_ = "End of the replay";
        } else if (end_ && feed_->newestWaiting() < 0.0) {
            if (!end_->problem.empty())
                banner_ = "The run stopped: " + end_->problem;
            else if (end_->everyoneOut)
                banner_ = "Everyone is out after " + runtime::fixed(end_->endTime, 1) + " s";
            else
                banner_ = "Time is up after " + runtime::fixed(end_->endTime, 1) +
                          " s: " + std::to_string(end_->stillInside) + " people are still inside";
            bannerDetail_ =
                end_->resultsFolder.empty() ? std::string() : "Results in " + end_->resultsFolder;
            bannerRecordings_ = end_->recordings;
            if (setup_.exitAtEnd) QTimer::singleShot(0, this, &QWidget::close);
        }
    }
    info.banner = banner_;
    info.bannerDetail = bannerDetail_;
    info.bannerRecordings = bannerRecordings_;
    view_->setFrame(shown_);
    view_->setOverlay(std::move(info));
}

void RunWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
            clock_.togglePause();
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            clock_.faster();
            break;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            clock_.slower();
            break;
        case Qt::Key_C:
            view_->switchCamera();
            break;
        case Qt::Key_R:
            view_->resetCamera();
            break;
        case Qt::Key_Escape:
            close();
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    showAt(clock_.time());
}

void RunWindow::closeEvent(QCloseEvent* event) {
    timer_.stop();
    if (feed_) feed_->close(clock_.time());
    event->accept();
}

}  // namespace viewer
