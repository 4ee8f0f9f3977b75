#pragma once
// The text over the scene: what the run is at (time, people inside, people
// out by each exit), the playback speed, the run's notes, the legend of the
// figures' colours, and the closing banner. Painted with QPainter, so that it
// goes onto the live window after the OpenGL scene and onto a QImage read
// back from an offscreen framebuffer (a movie frame) alike.

#include <QSize>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "crowd/geometry.h"
#include "crowd/model.h"
#include "scene/camera.h"

class QPainter;

namespace scene {

// Where the floor stands in a top-down picture: the pixel of the floor
// point (0, 0) and pixels per metre (x to the right, z downward), and the
// floor's bounds (metres), for the axes and the scale bar.
struct PlanFrame {
    double originX = 0.0, originY = 0.0;
    double pixelsPerMetre = 1.0;
    crowd::Box floor{};
};

struct OverlayInfo {
    std::string title;  // the project's folder or the scenario's name
    double time = 0.0;  // simulated seconds
    int inside = 0;
    int total = 0;
    std::vector<std::pair<std::string, int>> outByExit;  // exit name, people out by it so far
    std::string speed;                                   // "x1", "paused"; empty: not shown
    std::string camera;                                  // "script camera"; empty: not shown
    std::vector<std::string> notes;
    std::vector<crowd::Role> roles;  // the legend: the roles present, in this order
    std::string banner;              // "Everyone is out after 41.3 s"; empty: none
    std::string bannerDetail;        // "Results in bProj/results"
    std::string keys;                // the key help line; empty: none
    // What is being recorded ("movie test.avi"), shown with a red dot while
    // the run goes on; and, in the closing banner, each recording finished
    // ("movie test.avi: 198 frames, 8.2 s").
    std::vector<std::string> recording;
    std::vector<std::string> bannerRecordings;
    // Set for the top-down view: the panels stand in a column left of the
    // floor (never over it), and the floor gets axes in metres and a scale bar.
    std::optional<PlanFrame> plan;
};

// The part of a top-down picture of `size` left to the floor: right of the
// overlay's column, with room for the axes' labels.
Camera::Area planArea(QSize size);

// The frame of the top-down camera's picture of `floor` at `size` pixels.
PlanFrame planFrame(const Camera& camera, const crowd::Box& floor, QSize size);

// Paints `info` over a picture of `size` pixels.
void paintOverlay(QPainter& painter, const OverlayInfo& info, QSize size);

// "x1/4", "x1", "x64": the playback speed as the overlay shows it.
std::string speedText(double factor);

}  // namespace scene
