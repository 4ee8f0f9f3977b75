#pragma once
// Helpers of the floor plan view tests: KVX test floors and frame probes.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "floorplan/floor_plan_view.h"

namespace viewtest {

using Vertex = std::array<float, 3>;

// The text of a KVX floor whose first mesh block holds `vertices`, in the
// layout the reader consumes: the mesh line (three tabs, "TW_Mesh MSH-"),
// four lines, the count line (five characters, then the count), one line,
// then one vertex line each (five characters, then "x, y, z").
std::string kvxFloor(const std::vector<Vertex>& vertices);

// Writes a KVX floor with `count` vertices on a circle of radius `radius`
// in the x-z plane, streamed (for the million-vertex floor).
void writeCircleFloor(const std::filesystem::path& file, std::size_t count, float radius);

// The rectangle floor of the render tests: x from -10 to 10, z from -5 to 5
// (scale 10), drawn at 1/11 of its size.
std::vector<Vertex> rectangleFloor();

// Shows `view` at `w` x `h` logical pixels and waits until it is exposed.
void showAt(floorplan::FloorPlanView& view, int w, int h);

// A frame of the view, read back from its framebuffer.
QImage grab(floorplan::FloorPlanView& view);

// The colour of the frame at a logical pixel (scaled to device pixels).
QColor colourAt(const QImage& frame, const floorplan::FloorPlanView& view, QPointF logical);

// Pixel classes of the drawing.
bool isRed(const QColor& c);
bool isBlue(const QColor& c);
bool isCyan(const QColor& c);
bool isGreen(const QColor& c);
bool isBlack(const QColor& c);

// How many pixels of `frame` satisfy `pred`.
template <typename Pred>
int countPixels(const QImage& frame, Pred pred) {
    int n = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if (pred(frame.pixelColor(x, y))) ++n;
    return n;
}

// Whether any pixel within `radius` device pixels of `logical` satisfies `pred`.
template <typename Pred>
bool near(const QImage& frame, const floorplan::FloorPlanView& view, QPointF logical, int radius,
          Pred pred) {
    const qreal ratio = view.devicePixelRatioF();
    const int cx = static_cast<int>(logical.x() * ratio);
    const int cy = static_cast<int>(logical.y() * ratio);
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x)
            if (frame.valid(x, y) && pred(frame.pixelColor(x, y))) return true;
    return false;
}

// A left click at a logical pixel.
void click(floorplan::FloorPlanView& view, QPointF pixel, Qt::MouseButton button = Qt::LeftButton);

}  // namespace viewtest
