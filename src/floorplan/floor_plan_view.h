#pragma once
// The OpenGL view of the floor inside the dialog: draws the floor outline, the
// exits and the people clusters seen from above, and records a placement for
// every left click.
//
// How the view works:
//  - the shared pixel format descriptor is the process-wide QSurfaceFormat
//    request of gl_pixel_format.h (double-buffered RGBA, display colour
//    depth, 16-bit depth buffer, no stencil), applied in the constructor;
//  - WM_CREATE is initializeGL (fixed GL state, then the floor is loaded),
//    WM_SIZE is resizeGL, WM_PAINT is paintGL (Qt swaps the buffers),
//    WM_LBUTTONDOWN is mousePressEvent (left button only);
//  - instead of repainting continuously, every change (a click, a new floor,
//    a new scale) asks for one new frame with update(), so an idle view
//    costs no processor time;
//  - clicks are mapped with the view's real size (see mapClick).

#include <QOpenGLWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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
    // the outline is compiled when the context is created (initializeGL loads
    // the floor named by floorPath() again, with the display-list sink).
    LoadReport setFloorPath(std::string_view path);

    float scale() const;
    void setScale(float value);  // the dialog sets 0 before each floor change
    const std::string& floorPath() const;
    const PlacementStore& placements() const;
    // The report of the latest load (a default report, NoFloor, before any).
    const LoadReport& lastLoad() const;

    // Corrections of the placements. Each is one step that undoPlacement()
    // takes back, like a click: the last click, clearing the exits or the
    // clusters, or a whole new set of placements (an opened scenario).
    // Each emits placementsChanged().
    bool canUndo() const;
    void undoPlacement();
    void clearExits();
    void clearClusters();
    void replacePlacements(const PlacementStore& store);

    // Clusters drawn hollow instead of as a filled point (those that will
    // not receive people, or lie outside the floor). Index = cluster slot.
    void setHollowClusters(const std::vector<bool>& hollow);
    const std::vector<bool>& hollowClusters() const;

    // The outline of the floor on show: (x, z) of each vertex in file order,
    // in the floor's own units.
    const std::vector<std::array<float, 2>>& outline() const;

    // The view position that a click at `pixel` (client coordinates, logical
    // pixels) records: x = (px - w/2) * (1/(w/2)), y = (py - h/2) * (1/(h/2))
    // in single precision, with w, h the view's logical size. A click thus
    // lands where its mark is drawn at every size; at the dialog's 242 x 200
    // it is exactly (px - 121) * 0.0082644625f, (py - 100) * 0.01f.
    ViewPoint mapClick(QPointF pixel) const;

    // Vertices in the compiled outline display list (0 when there is no
    // outline, and before the GL context exists).
    std::size_t outlineVertexCount() const;

    // Frames drawn so far (paintGL calls).
    std::uint64_t frameCount() const;

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
    LoadReport load(bool viaSetFloorPath, std::string_view path);
    void changePlacements(const PlacementStore& next);
    void releaseGl();

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace floorplan
