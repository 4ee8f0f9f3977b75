#include "viewer/scene_view.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QPainter>
#include <QSurfaceFormat>
#include <QWheelEvent>
#include <cmath>

#include "scene/scene_renderer.h"

namespace viewer {

void useSceneSurfaceFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setVersion(3, 3);
    f.setProfile(QSurfaceFormat::CoreProfile);
    f.setDepthBufferSize(24);
    f.setStencilBufferSize(8);
    QSurfaceFormat::setDefaultFormat(f);
}

SceneView::SceneView(QWidget* parent) : QOpenGLWidget(parent) {
    setMinimumSize(320, 240);
    setFocusPolicy(Qt::NoFocus);
}

SceneView::~SceneView() {
    // QOpenGLWidget's own destructor destroys the context, which would call
    // the handler connected in initializeGL on an object that is no longer a
    // SceneView: release here, and take the handler off first.
    if (QOpenGLContext* c = context()) disconnect(c, nullptr, this, nullptr);
    releaseRenderer();
}

void SceneView::releaseRenderer() {
    if (!renderer_) return;
    makeCurrent();
    renderer_.reset();
    doneCurrent();
}

void SceneView::setScene(const scene::SceneDescription& scene,
                         std::optional<scene::Vec3> scriptCamera) {
    scene_ = scene;
    sceneChanged_ = true;
    cameras_.clear();
    cameraNames_.clear();
    const crowd::Box b = scene.bounds();
    if (scriptCamera) {
        cameras_.push_back(scene::Camera::script(
            *scriptCamera, {0.5 * (b.min.x + b.max.x), 0.5 * (b.min.y + b.max.y)}));
        cameraNames_.push_back("script camera");
    }
    cameras_.push_back(scene::Camera::topDown(b));
    cameraNames_.push_back("top-down view");
    initialCameras_ = cameras_;
    camera_ = 0;
    update();
}

void SceneView::setFrame(scene::SceneFrame frame) {
    frame_ = std::move(frame);
    update();
}

void SceneView::setOverlay(scene::OverlayInfo info) {
    overlay_ = std::move(info);
    update();
}

void SceneView::switchCamera() {
    if (cameras_.empty()) return;
    camera_ = (camera_ + 1) % cameras_.size();
    update();
}

void SceneView::resetCamera() {
    cameras_ = initialCameras_;
    update();
}

std::string SceneView::cameraName() const {
    return camera_ < cameraNames_.size() ? cameraNames_[camera_] : std::string();
}

const scene::Camera* SceneView::camera() const {
    return camera_ < cameras_.size() ? &cameras_[camera_] : nullptr;
}

void SceneView::initializeGL() {
    // The context can be made anew (the widget moved to another window).
    renderer_.reset();
    try {
        renderer_ = std::make_unique<scene::SceneRenderer>();
        sceneChanged_ = true;
        problem_.clear();
    } catch (const std::exception& e) {
        problem_ = e.what();
    }
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { releaseRenderer(); });
}

void SceneView::paintGL() {
    const qreal ratio = devicePixelRatioF();
    const int w = static_cast<int>(std::lround(width() * ratio));
    const int h = static_cast<int>(std::lround(height() * ratio));
    scene::OverlayInfo overlay = overlay_;
    if (!cameras_.empty() && cameras_[camera_].kind() == scene::Camera::Kind::TopDown) {
        // The floor right of the overlay's column, never under it.
        scene::Camera& c = cameras_[camera_];
        c.setPlanArea(scene::planArea(size()));
        overlay.plan = scene::planFrame(c, scene_.bounds(), size());
    }
    if (renderer_ && !cameras_.empty()) {
        if (sceneChanged_) {
            renderer_->setScene(scene_);
            sceneChanged_ = false;
        }
        renderer_->render(frame_, cameras_[camera_], w, h);
    }
    QPainter painter(this);
    if (!problem_.empty()) {
        painter.fillRect(rect(), Qt::black);
        painter.setPen(Qt::white);
        painter.drawText(
            rect(), Qt::AlignCenter | Qt::TextWordWrap,
            QStringLiteral("The scene cannot be drawn: %1").arg(QString::fromStdString(problem_)));
    }
    scene::paintOverlay(painter, overlay, size());
}

void SceneView::mousePressEvent(QMouseEvent* event) { lastMouse_ = event->position().toPoint(); }

void SceneView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & (Qt::LeftButton | Qt::RightButton)) || cameras_.empty()) return;
    const QPoint p = event->position().toPoint();
    cameras_[camera_].orbit(p.x() - lastMouse_.x(), p.y() - lastMouse_.y());
    lastMouse_ = p;
    update();
}

void SceneView::wheelEvent(QWheelEvent* event) {
    if (cameras_.empty()) return;
    cameras_[camera_].zoom(event->angleDelta().y() / 120.0);
    update();
}

}  // namespace viewer
