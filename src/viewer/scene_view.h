#pragma once
// The OpenGL part of the run window: the scene drawn by scene::SceneRenderer,
// the overlay painted over it, and the mouse (drag turns the view, the wheel
// zooms).

#include <QOpenGLWidget>
#include <QPoint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scene/camera.h"
#include "scene/overlay.h"
#include "scene/scene.h"

namespace scene {
class SceneRenderer;
}

namespace viewer {

class SceneView : public QOpenGLWidget {
    Q_OBJECT
  public:
    explicit SceneView(QWidget* parent = nullptr);
    ~SceneView() override;

    // The scene and its cameras: the script camera first when there is one
    // (metres), then the top-down view.
    void setScene(const scene::SceneDescription& scene, std::optional<scene::Vec3> scriptCamera);
    void setFrame(scene::SceneFrame frame);
    void setOverlay(scene::OverlayInfo info);
    // What the overlay says now (the top-down frame is added when drawn).
    const scene::OverlayInfo& overlay() const { return overlay_; }
    void switchCamera();
    // Puts every camera back where it started (undoes turns and zooms).
    void resetCamera();
    std::string cameraName() const;
    const scene::Camera* camera() const;
    // Why the scene cannot be drawn (no OpenGL 3.3); empty when it can.
    const std::string& problem() const { return problem_; }

  protected:
    void initializeGL() override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void releaseRenderer();

    std::unique_ptr<scene::SceneRenderer> renderer_;
    scene::SceneDescription scene_;
    bool sceneChanged_ = false;
    std::vector<scene::Camera> cameras_, initialCameras_;
    std::vector<std::string> cameraNames_;
    std::size_t camera_ = 0;
    scene::SceneFrame frame_;
    scene::OverlayInfo overlay_;
    QPoint lastMouse_;
    std::string problem_;
};

// The OpenGL format the window needs (3.3 core, depth and stencil); set as
// the default before the application object is made.
void useSceneSurfaceFormat();

}  // namespace viewer
