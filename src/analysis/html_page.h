#pragma once
// Pieces of the self-contained HTML reports: escaping, images inlined as data
// URLs, and charts drawn as inline SVG (no script, no file beside the page).

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace analysis {

std::string htmlEscaped(std::string_view text);
std::string base64(std::string_view bytes);
// <img> of PNG bytes inlined as a data URL; empty bytes give a note instead.
std::string inlinePng(std::string_view pngBytes, std::string_view alt);

struct Curve {
    std::string name;
    std::string colour;                             // CSS colour
    std::vector<std::pair<double, double>> points;  // (x, y), x ascending
    bool steps = false;                             // hold each y until the next x
    bool dashed = false;
};

struct Chart {
    std::string title;
    std::string xLabel, yLabel;
    std::vector<Curve> curves;
    // Bars (from x, to x, height) drawn under the curves: a histogram.
    std::vector<std::pair<std::pair<double, double>, double>> bars;
    bool yFromZero = true;
    int width = 760, height = 340;
};

std::string svgChart(const Chart& chart);

// A page: <head> with the styles, the title as <h1>, then `body`.
std::string htmlPage(std::string_view title, std::string_view body);

// A table row of cells (escaped) in <td>, or <th> when `header`.
std::string tableRow(const std::vector<std::string>& cells, bool header = false);

}  // namespace analysis
