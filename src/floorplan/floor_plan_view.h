#pragma once
// The OpenGL view of the floor inside the dialog: draws the floor outline, the
// exits and the people clusters seen from above, and records a placement for
// every left click.

#include <QOpenGLWidget>
#include <functional>
#include <string>

#include "floorplan/floor_reader.h"
#include "floorplan/placement_store.h"

namespace floorplan {

class FloorPlanView : public QOpenGLWidget {
    Q_OBJECT

public:
    explicit FloorPlanView(QWidget* parent = nullptr);
    ~FloorPlanView() override;

    // Asked at each click: true when the dialog's "Place Exits" button is
    // checked. Without a query every click places a cluster.
    void setExitModeQuery(std::function<bool()> query);

    // Stores the path with every backslash doubled and reloads the outline.
    // Works before the GL context exists too: the scale is found at once and
    // the outline is compiled when the context is created.
    LoadReport setFloorPath(std::string_view path);

    float scale() const;
    void setScale(float value);  // the dialog sets 0 before each floor change
    const std::string& floorPath() const;
    const PlacementStore& placements() const;
    const LoadReport& lastLoad() const;

    // The view position that a click at `pixel` (client coordinates, logical
    // pixels) records. Uses the view's real size; at 242 x 200 it equals the
    // fixed constants exactly.
    ViewPoint mapClick(QPointF pixel) const;

    // Vertices in the compiled outline (0 when there is no outline).
    std::size_t outlineVertexCount() const;

signals:
    // Emitted after every load, with what it found.
    void floorLoaded(const floorplan::LoadReport& report);
    // Emitted after every recorded click.
    void placementsChanged();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace floorplan
