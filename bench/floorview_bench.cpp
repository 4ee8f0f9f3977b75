// Frame time of the floor plan view with a large floor outline: one display
// list call per frame, whatever the vertex count.
//
//   floorview_bench [VERTICES]    (default 1,000,000)
//
// Prints the load time (read + display list compile) and the time of one
// frame: paintGL alone (finished with glFinish) and a whole frame read back
// with grabFramebuffer, each the median of several runs.
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "floorplan/floor_plan_view.h"

namespace {

class BenchView : public floorplan::FloorPlanView {
public:
    using FloorPlanView::paintGL;
};

// A circle of `count` vertices, radius 60, in the KVX layout the reader takes.
void writeFloor(const std::string& file, long count) {
    std::ofstream out(file, std::ios::binary);
    out << "KVX TEXT 2.1\nTW_Scene SCN-Bench\n\tTW_Node NOD-World\n\t\tTW_Node NOD-Floor\n"
           "\t\t\tTW_Mesh MSH-Bench\n\t\t\t\tMaterial MAT-Bench\n\t\t\t\tFlags OUTLINE\n"
           "\t\t\t\tBounds -60, 0, -60, 60, 0, 60\n\t\t\t\tTW_VertexList\n"
        << "\t\t\t\t\t" << count << "\n\t\t\t\t\t; x, y, z\n";
    char line[96];
    for (long i = 0; i < count; ++i) {
        const double a = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(count);
        std::snprintf(line, sizeof line, "\t\t\t\t\t%f, 0.000000, %f\n", 60.0 * std::cos(a),
                      60.0 * std::sin(a));
        out << line;
    }
    out << "EndScene\n";
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct FrameTimes {
    double paintMs;
    double grabMs;
};

FrameTimes measure(BenchView& view, int runs) {
    std::vector<double> paint, grab;
    QElapsedTimer t;
    view.makeCurrent();
    for (int i = 0; i < runs + 2; ++i) {
        t.start();
        view.paintGL();
        glFinish();
        if (i >= 2) paint.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    view.doneCurrent();
    for (int i = 0; i < runs + 1; ++i) {
        t.start();
        const QImage frame = view.grabFramebuffer();
        if (i >= 1) grab.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        if (frame.isNull()) std::fprintf(stderr, "floorview_bench: empty frame\n");
    }
    return {median(paint), median(grab)};
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long vertices = argc > 1 ? std::atol(argv[1]) : 1000000;
    QTemporaryDir dir;
    const std::string file = dir.filePath("bench.kvx").toStdString();
    writeFloor(file, vertices);

    BenchView view;
    view.resize(242, 200);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) return 1;
    // A full set of marks: two exits and forty clusters.
    int clicks = 0;
    view.setExitModeQuery([&clicks] { return clicks < 2; });
    for (; clicks < 42; ++clicks) {
        const QPointF p(5 + clicks * 5, 10 + clicks * 4);
        QMouseEvent press(QEvent::MouseButtonPress, p, view.mapToGlobal(p), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &press);
    }

    const FrameTimes empty = measure(view, 20);

    QElapsedTimer t;
    t.start();
    view.setScale(0.0f);
    const auto report = view.setFloorPath(file);
    const double loadMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    if (report.outcome != floorplan::LoadOutcome::Loaded) {
        std::fprintf(stderr, "floorview_bench: the floor did not load (%s)\n", report.reason.c_str());
        return 1;
    }
    const FrameTimes full = measure(view, 20);

    view.makeCurrent();
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    view.doneCurrent();
    std::printf("floorview_bench: %zu-vertex outline, view 242x200, %s\n", view.outlineVertexCount(),
                renderer.c_str());
    std::printf("  load (read + compile):   %8.1f ms\n", loadMs);
    std::printf("  frame, no floor:         %8.2f ms paintGL, %8.2f ms with read-back\n",
                empty.paintMs, empty.grabMs);
    std::printf("  frame, %7ld vertices: %8.2f ms paintGL, %8.2f ms with read-back (%.0f fps)\n",
                vertices, full.paintMs, full.grabMs, 1000.0 / full.grabMs);
    return 0;
}
