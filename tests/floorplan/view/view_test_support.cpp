#include "view_test_support.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace viewtest {

namespace {

std::string header(std::size_t count) {
    std::string s;
    s += "KVX TEXT 2.1\n";
    s += "TW_Scene SCN-Test\n";
    s += "\tTW_Node NOD-World\n";
    s += "\t\tTW_Node NOD-Floor\n";
    s += "\t\t\tTW_Mesh MSH-TestFloor\n";  // the mesh line: three tabs
    s += "\t\t\t\tMaterial MAT-Test\n";     // four lines skipped
    s += "\t\t\t\tFlags OUTLINE\n";
    s += "\t\t\t\tBounds 0, 0, 0, 0, 0, 0\n";
    s += "\t\t\t\tTW_VertexList\n";
    s += "\t\t\t\t\t" + std::to_string(count) + "\n";  // five tabs, the count
    s += "\t\t\t\t\t; x, y, z\n";                      // skipped
    return s;
}

std::string vertexLine(const Vertex& v) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "\t\t\t\t\t%f, %f, %f\n", static_cast<double>(v[0]),
                  static_cast<double>(v[1]), static_cast<double>(v[2]));
    return buf;
}

}  // namespace

std::string kvxFloor(const std::vector<Vertex>& vertices) {
    std::string s = header(vertices.size());
    for (const Vertex& v : vertices) s += vertexLine(v);
    s += "\t\t\t\tTW_PolygonList\n\t\t\t\t\t0\nEndScene\n";
    return s;
}

void writeCircleFloor(const std::filesystem::path& file, std::size_t count, float radius) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + file.string());
    out << header(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double a = 2.0 * M_PI * static_cast<double>(i) / static_cast<double>(count);
        out << vertexLine({static_cast<float>(radius * std::cos(a)), 0.0f,
                           static_cast<float>(radius * std::sin(a))});
    }
    out << "\t\t\t\tTW_PolygonList\n\t\t\t\t\t0\nEndScene\n";
}

std::vector<Vertex> rectangleFloor() {
    return {{-10.0f, 0.0f, -5.0f}, {10.0f, 0.0f, -5.0f}, {10.0f, 0.0f, 5.0f}, {-10.0f, 0.0f, 5.0f}};
}

void showAt(floorplan::FloorPlanView& view, int w, int h) {
    view.resize(w, h);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) throw std::runtime_error("view not exposed");
    QTest::qWait(20);
}

QImage grab(floorplan::FloorPlanView& view) {
    return view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

QColor colourAt(const QImage& frame, const floorplan::FloorPlanView& view, QPointF logical) {
    const qreal ratio = view.devicePixelRatioF();
    return frame.pixelColor(static_cast<int>(logical.x() * ratio),
                            static_cast<int>(logical.y() * ratio));
}

bool isRed(const QColor& c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }
bool isBlue(const QColor& c) { return c.red() < 60 && c.green() < 60 && c.blue() > 200; }
bool isCyan(const QColor& c) { return c.red() < 60 && c.green() > 200 && c.blue() > 200; }
bool isGreen(const QColor& c) { return c.red() < 60 && c.green() > 200 && c.blue() < 60; }
bool isBlack(const QColor& c) { return c.red() < 20 && c.green() < 20 && c.blue() < 20; }

void click(floorplan::FloorPlanView& view, QPointF pixel, Qt::MouseButton button) {
    // Sent directly: QTest's clicks take a null point for the widget's centre,
    // and pixel (0, 0) matters here.
    const QPointF global = view.mapToGlobal(pixel);
    QMouseEvent press(QEvent::MouseButtonPress, pixel, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pixel, global, button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&view, &release);
}

}  // namespace viewtest
