#include "analysis/html_page.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>

#include "platform/number_text.h"

namespace analysis {

namespace {

std::string num(double v, int decimals = 1) { return platform::fixedText(v, decimals); }

std::string tickLabel(double v, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return num(v, decimals);
}

}  // namespace

std::string htmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string base64(std::string_view bytes) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += abc[(v >> 6) & 63];
        out += abc[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += abc[(v >> 18) & 63];
        out += abc[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? abc[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string inlinePng(std::string_view png, std::string_view alt) {
    if (png.empty()) return "<p class=\"note\">(" + htmlEscaped(alt) + ": no picture)</p>";
    return "<img alt=\"" + htmlEscaped(alt) + "\" src=\"data:image/png;base64," + base64(png) +
           "\">";
}

std::string svgChart(const Chart& c) {
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (const Curve& cv : c.curves)
        for (const auto& [x, y] : cv.points) {
            x0 = std::min(x0, x), x1 = std::max(x1, x);
            y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    for (const auto& [span, h] : c.bars) {
        x0 = std::min(x0, span.first), x1 = std::max(x1, span.second);
        y0 = std::min(y0, h), y1 = std::max(y1, h);
    }
    if (!std::isfinite(x0)) x0 = 0.0, x1 = 1.0, y0 = 0.0, y1 = 1.0;
    if (c.yFromZero) y0 = std::min(0.0, y0);
    // Any finite numbers, up to +-1.8e308: a span that is no wider than the
    // spacing of doubles there gets a width, and spans are taken in halves
    // (x1 - x0 may overflow where x1 / 2 - x0 / 2 does not).
    if (!(x1 > x0)) x1 = x0 + std::max(1.0, std::fabs(x0) * 1e-6);
    if (!(y1 > y0)) y1 = y0 + std::max(1.0, std::fabs(y0) * 1e-6);
    auto stepOf = [](double lo, double hi, int ticks) {
        if (std::isfinite(hi - lo)) return platform::niceStep(hi - lo, ticks);
        return std::min(2.0 * platform::niceStep(hi / 2.0 - lo / 2.0, ticks), DBL_MAX);
    };
    const double xs = stepOf(x0, x1, 8), ys = stepOf(y0, y1, 5);
    x0 = std::floor(x0 / xs + 1e-9) * xs, x1 = std::ceil(x1 / xs - 1e-9) * xs;
    y0 = std::floor(y0 / ys + 1e-9) * ys, y1 = std::ceil(y1 / ys - 1e-9) * ys;
    const double L = 64, R = 16, T = 34, B = 48;
    const double W = c.width, H = c.height, pw = W - L - R, ph = H - T - B;
    auto X = [&](double x) { return L + pw * (x / 2.0 - x0 / 2.0) / (x1 / 2.0 - x0 / 2.0); };
    auto Y = [&](double y) { return T + ph * (1.0 - (y / 2.0 - y0 / 2.0) / (y1 / 2.0 - y0 / 2.0)); };
    // The grid lines: a bounded count whatever the numbers.
    constexpr int kMaxTicks = 40;

    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(W, 0) +
                    "\" height=\"" + num(H, 0) + "\" viewBox=\"0 0 " + num(W, 0) + " " + num(H, 0) +
                    "\" role=\"img\" aria-label=\"" + htmlEscaped(c.title) + "\">";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>";
    s += "<text x=\"" + num(L) + "\" y=\"20\" class=\"t\">" + htmlEscaped(c.title) + "</text>";
    for (int k = 0; k <= kMaxTicks; ++k) {
        const double x = x0 + k * xs;
        if (!(x <= x1 + 1e-9 * xs)) break;
        s += "<line x1=\"" + num(X(x)) + "\" y1=\"" + num(T) + "\" x2=\"" + num(X(x)) + "\" y2=\"" +
             num(T + ph) + "\" stroke=\"#e4e4e4\"/>";
        s += "<text x=\"" + num(X(x)) + "\" y=\"" + num(T + ph + 16) +
             "\" text-anchor=\"middle\">" + tickLabel(x, xs) + "</text>";
    }
    for (int k = 0; k <= kMaxTicks; ++k) {
        const double y = y0 + k * ys;
        if (!(y <= y1 + 1e-9 * ys)) break;
        s += "<line x1=\"" + num(L) + "\" y1=\"" + num(Y(y)) + "\" x2=\"" + num(L + pw) +
             "\" y2=\"" + num(Y(y)) + "\" stroke=\"#e4e4e4\"/>";
        s += "<text x=\"" + num(L - 6) + "\" y=\"" + num(Y(y) + 4) + "\" text-anchor=\"end\">" +
             tickLabel(y, ys) + "</text>";
    }
    for (const auto& [span, h] : c.bars)
        s += "<rect x=\"" + num(X(span.first)) + "\" y=\"" + num(Y(h)) + "\" width=\"" +
             num(std::max(0.5, X(span.second) - X(span.first) - 1.0)) + "\" height=\"" +
             num(Y(y0) - Y(h)) + "\" fill=\"#8fb3d9\"/>";
    for (const Curve& cv : c.curves) {
        if (cv.points.empty()) continue;
        std::string d;
        for (std::size_t k = 0; k < cv.points.size(); ++k) {
            const auto& [x, y] = cv.points[k];
            if (k > 0 && cv.steps)
                d += " L" + num(X(x), 2) + "," + num(Y(cv.points[k - 1].second), 2);
            d += (k ? " L" : "M") + num(X(x), 2) + "," + num(Y(y), 2);
        }
        s += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + htmlEscaped(cv.colour) +
             "\" stroke-width=\"2\"" + (cv.dashed ? " stroke-dasharray=\"6 4\"" : "") + "/>";
    }
    s += "<rect x=\"" + num(L) + "\" y=\"" + num(T) + "\" width=\"" + num(pw) + "\" height=\"" +
         num(ph) + "\" fill=\"none\" stroke=\"#333\"/>";
    s += "<text x=\"" + num(L + pw / 2) + "\" y=\"" + num(H - 8) + "\" text-anchor=\"middle\">" +
         htmlEscaped(c.xLabel) + "</text>";
    s += "<text transform=\"translate(14," + num(T + ph / 2) +
         ") rotate(-90)\" text-anchor=\"middle\">" + htmlEscaped(c.yLabel) + "</text>";
    // Legend, top right inside the plot.
    double ly = T + 16;
    for (const Curve& cv : c.curves) {
        if (cv.name.empty()) continue;
        s += "<line x1=\"" + num(L + pw - 190) + "\" y1=\"" + num(ly - 4) + "\" x2=\"" +
             num(L + pw - 166) + "\" y2=\"" + num(ly - 4) + "\" stroke=\"" +
             htmlEscaped(cv.colour) + "\" stroke-width=\"2\"" +
             (cv.dashed ? " stroke-dasharray=\"6 4\"" : "") + "/>";
        s += "<text x=\"" + num(L + pw - 160) + "\" y=\"" + num(ly) + "\">" + htmlEscaped(cv.name) +
             "</text>";
        ly += 18;
    }
    s += "</svg>";
    return s;
}

std::string htmlPage(std::string_view title, std::string_view body) {
    std::string s = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    s += "<title>" + htmlEscaped(title) + "</title>\n";
    s +=
        "<style>\n"
        "body{font-family:'DejaVu Sans',Arial,sans-serif;margin:24px;color:#222;max-width:1100px}\n"
        "h1{font-size:22px}h2{font-size:18px;margin-top:28px;border-bottom:1px solid #ccc}\n"
        "table{border-collapse:collapse;margin:8px 0}td,th{border:1px solid #ccc;padding:3px 8px;"
        "text-align:right}th{background:#f0f0f0}td.l,th.l{text-align:left}\n"
        "svg text{font-size:12px;font-family:'DejaVu Sans',Arial,sans-serif}svg "
        "text.t{font-size:14px;"
        "font-weight:bold}\n"
        "img{max-width:100%;border:1px solid #ddd}.note{color:#8a4b00}.ok{color:#1b6e1b}"
        ".bad{color:#b00020}\n"
        "</style>\n</head>\n<body>\n";
    s += "<h1>" + htmlEscaped(title) + "</h1>\n";
    s += body;
    s += "\n</body>\n</html>\n";
    return s;
}

std::string tableRow(const std::vector<std::string>& cells, bool header) {
    const char* tag = header ? "th" : "td";
    std::string s = "<tr>";
    for (std::size_t k = 0; k < cells.size(); ++k)
        s += std::string("<") + tag + (k == 0 ? " class=\"l\"" : "") + ">" + htmlEscaped(cells[k]) +
             "</" + tag + ">";
    return s + "</tr>\n";
}

}  // namespace analysis
