#pragma once
// The text over the scene: what the run is at (time, people inside, people
// out by each exit), the playback speed, the run's notes, the legend of the
// figures' colours, and the closing banner. Painted with QPainter, so that it
// goes onto the live window after the OpenGL scene and onto a QImage read
// back from an offscreen framebuffer (a movie frame) alike.

#include <QSize>
#include <string>
#include <utility>
#include <vector>

#include "crowd/model.h"

class QPainter;

namespace scene {

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
};

// Paints `info` over a picture of `size` pixels.
void paintOverlay(QPainter& painter, const OverlayInfo& info, QSize size);

// "x1/4", "x1", "x64": the playback speed as the overlay shows it.
std::string speedText(double factor);

}  // namespace scene
