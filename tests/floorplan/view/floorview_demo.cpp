// floorview-demo: shows the floor plan view at 242 x 200 with the basic
// floor, places two exits and a few people clusters by clicks, and saves the
// frame read back from the view's framebuffer as a PNG.
//
//   floorview-demo OUTPUT.png [FLOOR.kvx]
//
// Run it from the folder that holds unchanged/ (the repository root), under
// a display (xvfb-run works).
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <cstdio>

#include "floorplan/floor_plan_view.h"

namespace {

void leftClick(floorplan::FloorPlanView& view, QPoint pixel) {
    QMouseEvent press(QEvent::MouseButtonPress, pixel, view.mapToGlobal(QPointF(pixel)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: floorview-demo OUTPUT.png [FLOOR.kvx]\n");
        return 2;
    }
    floorplan::FloorPlanView view;
    bool exitMode = false;
    view.setExitModeQuery([&exitMode] { return exitMode; });
    if (argc > 2) {
        view.setScale(0.0f);
        view.setFloorPath(argv[2]);
    }
    view.resize(242, 200);
    view.setWindowTitle("Floor plan view");
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        std::fprintf(stderr, "floorview-demo: the view was not shown\n");
        return 1;
    }

    exitMode = true;
    leftClick(view, QPoint(121, 22));   // in the alcove of the north wall
    leftClick(view, QPoint(228, 110));  // at the east wall
    exitMode = false;
    for (const QPoint p : {QPoint(50, 80), QPoint(80, 125), QPoint(121, 95), QPoint(165, 70),
                           QPoint(190, 135), QPoint(40, 140)}) {
        leftClick(view, p);
    }
    QTest::qWait(50);

    const QImage frame = view.grabFramebuffer();
    if (frame.isNull() || !frame.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "floorview-demo: cannot save %s\n", argv[1]);
        return 1;
    }
    std::printf("floorview-demo: %s (%dx%d), floor %s, %zu outline vertices, scale %g\n", argv[1],
                frame.width(), frame.height(), view.floorPath().c_str(),
                view.outlineVertexCount(), static_cast<double>(view.scale()));
    return view.outlineVertexCount() > 0 ? 0 : 1;
}
