// The floor plan and the density map, drawn with QPainter on a QImage on the
// "offscreen" platform (no display needed).
#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>
#include <algorithm>
#include <cmath>
#include <memory>

#include "run/floor_maps.h"
#include "analysis/html_page.h"
#include "platform/number_text.h"
#include "run/offscreen_gui.h"
#include "scene/palette.h"

namespace runtime {

namespace {

// Maps metres to pixels as the dialog's floor plan view shows the floor:
// x to the right, z downward, the floor fitted into the drawing area left of
// the legend, with room for the axes' labels left of it and below it.
struct View {
    crowd::Box box;
    double scale = 1.0;
    double left = 70, top = 50;
    QPointF operator()(crowd::Vec2 p) const {
        return {left + (p.x - box.min.x) * scale, top + (p.y - box.min.y) * scale};
    }
};

constexpr int kLegendWidth = 230;
constexpr int kBelowFloor = 80;  // the x axis's labels and the scale bar

View fit(const crowd::Box& box, int& width, int& height) {
    View v;
    v.box = box;
    const double w = std::max(box.max.x - box.min.x, 1.0), h = std::max(box.max.y - box.min.y, 1.0);
    v.scale = std::min(720.0 / w, 600.0 / h);
    width = static_cast<int>(std::ceil(w * v.scale + v.left + 20 + kLegendWidth));
    height = std::max(330, static_cast<int>(std::ceil(h * v.scale + v.top + kBelowFloor)));
    return v;
}

QColor paint(scene::Rgb c) { return QColor(c.r, c.g, c.b); }
QColor roleColour(crowd::Role r) { return paint(scene::rolePaint(r)); }
QColor exitColour() { return paint(scene::kExitPaint); }

void drawTitle(QPainter& p, const QString& title) {
    QFont f("DejaVu Sans");
    f.setPixelSize(16);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QPointF(20, 30), title);
    f.setPixelSize(13);
    f.setBold(false);
    p.setFont(f);
}

void drawFloorOutline(QPainter& p, const View& v, const crowd::World& world, QColor fill) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const crowd::Polygon& poly : world.area().polygons()) {
        if (poly.empty()) continue;
        path.moveTo(v(poly[0]));
        for (std::size_t k = 1; k < poly.size(); ++k) path.lineTo(v(poly[k]));
        path.closeSubpath();
    }
    p.fillPath(path, fill);
}

void drawWallsAndExits(QPainter& p, const View& v, const crowd::World& world,
                       const std::vector<std::string>& names) {
    p.setPen(QPen(Qt::black, 2.5, Qt::SolidLine, Qt::RoundCap));
    for (const crowd::Segment& s : world.walls()) p.drawLine(v(s.a), v(s.b));
    for (std::size_t e = 0; e < world.exits().size(); ++e) {
        const crowd::ResolvedExit& x = world.exits()[e];
        // A white casing keeps the exit apart from the density map's green levels.
        p.setPen(QPen(Qt::white, 10, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(v(x.opening.a), v(x.opening.b));
        p.setPen(QPen(exitColour(), 6,
                      x.kind == crowd::ExitKind::Door ? Qt::SolidLine : Qt::DashLine, Qt::FlatCap));
        p.drawLine(v(x.opening.a), v(x.opening.b));
        const QPointF mid = (v(x.opening.a) + v(x.opening.b)) / 2.0;
        p.setPen(exitColour().darker(150));
        const QString label = QString::fromStdString(e < names.size() ? names[e] : x.name);
        QRectF r = p.fontMetrics().boundingRect(label);
        // A door's name stands inside the floor beside it; a target line's
        // above it.
        const QPointF inward = x.kind == crowd::ExitKind::Door
                                   ? QPointF(-x.outward.x, -x.outward.y)
                                   : QPointF(0.0, -1.0);
        r.moveCenter(mid + QPointF(inward.x() * (r.width() / 2 + 8), inward.y() * 16));
        p.fillRect(r.adjusted(-2, -1, 2, 1), QColor(255, 255, 255, 210));
        p.drawText(r, Qt::AlignCenter, label);
    }
}

void drawScaleBar(QPainter& p, const View& v, int height) {
    // 1, 2 or 5 times a power of ten, about 120 pixels long.
    const double metres = platform::niceStep(120.0 / v.scale, 1);
    const double len = metres * v.scale;
    const QPointF a(v.left, height - 16), b(v.left + len, height - 16);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(a, b);
    p.drawLine(a + QPointF(0, -4), a + QPointF(0, 4));
    p.drawLine(b + QPointF(0, -4), b + QPointF(0, 4));
    p.drawText(b + QPointF(6, 5), QString::number(metres, 'g', 3) + " m");
}

// Ticks in metres along the floor's top-left corner's two edges of its
// bounds: x under the floor, growing to the right; z left of it, growing
// downward (as the dialog shows the floor).
void drawAxes(QPainter& p, const View& v) {
    const crowd::Box& b = v.box;
    const QPointF corner = v({b.min.x, b.max.y});
    const double right = v({b.max.x, b.max.y}).x(), topY = v({b.min.x, b.min.y}).y();
    p.setPen(QPen(QColor(90, 90, 90), 1));
    const QFontMetricsF fm(p.font());
    const double xStep = platform::niceStep(b.max.x - b.min.x, 8);
    const double xBase = corner.y() + 8;
    p.drawLine(QPointF(corner.x(), xBase), QPointF(right, xBase));
    for (double x = std::ceil(b.min.x / xStep - 1e-9) * xStep; x <= b.max.x + 1e-9; x += xStep) {
        const double px = v({x, b.max.y}).x();
        p.drawLine(QPointF(px, xBase), QPointF(px, xBase + 5));
        const QString t = QString::number(std::abs(x) < 1e-9 ? 0.0 : x, 'g', 6);
        p.drawText(QPointF(px - fm.horizontalAdvance(t) / 2, xBase + 6 + fm.ascent()), t);
    }
    // The axis's name under its labels (the legend stands right of the floor).
    p.drawText(QPointF(0.5 * (corner.x() + right) - fm.horizontalAdvance("x (m)") / 2,
                       xBase + 8 + fm.ascent() + fm.height()),
               "x (m)");
    const double zStep = platform::niceStep(b.max.y - b.min.y, 8);
    const double zBase = corner.x() - 8;
    p.drawLine(QPointF(zBase, topY), QPointF(zBase, corner.y()));
    for (double z = std::ceil(b.min.y / zStep - 1e-9) * zStep; z <= b.max.y + 1e-9; z += zStep) {
        const double py = v({b.min.x, z}).y();
        p.drawLine(QPointF(zBase - 5, py), QPointF(zBase, py));
        const QString t = QString::number(std::abs(z) < 1e-9 ? 0.0 : z, 'g', 6);
        p.drawText(QPointF(zBase - 8 - fm.horizontalAdvance(t), py + fm.ascent() / 2 - 1), t);
    }
    p.drawText(QPointF(zBase - 8 - fm.horizontalAdvance("z (m)"), topY - 8), "z (m)");
}

// Walls, exits and the scale bar over what is drawn of the floor; returns
// where the legend starts (right of the floor), the pen set for its text.
QPointF drawFloorFrame(QPainter& p, const View& v, const crowd::World& world,
                       const std::vector<std::string>& names, int width, int height) {
    drawWallsAndExits(p, v, world, names);
    drawAxes(p, v);
    drawScaleBar(p, v, height);
    p.setPen(Qt::black);
    return {width - kLegendWidth + 10.0, v.top + 10};
}

std::string png(const QImage& img) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "PNG")) return {};
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QImage floorPlan(const crowd::Simulation& sim, const std::vector<std::string>& names,
                 const QString& title) {
    int W = 0, H = 0;
    const View v = fit(sim.world().area().bounds(), W, H);
    QImage img(W, H, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    drawTitle(p, title);
    drawFloorOutline(p, v, sim.world(), QColor(236, 236, 236));
    // Everyone where they start, as the bodies they are.
    std::vector<int> count(5, 0);
    p.setPen(Qt::NoPen);
    for (const crowd::PersonSpec& ps : sim.setup().people) {
        p.setBrush(roleColour(ps.role));
        const double r = std::max(1.5, ps.radius * v.scale);
        p.drawEllipse(v(ps.start), r, r);
        ++count[static_cast<std::size_t>(ps.role)];
    }
    const QPointF legend = drawFloorFrame(p, v, sim.world(), names, W, H);
    // Legend: who starts where.
    double y = legend.y();
    const double x = legend.x();
    p.drawText(QPointF(x, y), "Start positions");
    y += 22;
    for (crowd::Role r : scene::kLegendOrder) {
        const int n = count[static_cast<std::size_t>(r)];
        if (n == 0) continue;
        p.setPen(Qt::NoPen);
        p.setBrush(roleColour(r));
        p.drawEllipse(QPointF(x + 6, y - 4), 5, 5);
        p.setPen(Qt::black);
        p.drawText(QPointF(x + 18, y), QString("%1 (%2)").arg(crowd::roleName(r)).arg(n));
        y += 20;
    }
    y += 10;
    p.setPen(QPen(exitColour(), 6));
    p.drawLine(QPointF(x, y - 4), QPointF(x + 24, y - 4));
    p.setPen(Qt::black);
    p.drawText(QPointF(x + 32, y), "door (dashed: target line)");
    return img;
}

QImage densityMap(const crowd::Simulation& sim, const std::vector<std::string>& names,
                  const analysis::DensityGrid& g, const QString& title) {
    int W = 0, H = 0;
    const View v = fit(sim.world().area().bounds(), W, H);
    QImage img(W, H, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    drawTitle(p, title);
    drawFloorOutline(p, v, sim.world(), QColor(236, 236, 236));
    const auto& levels = analysis::serviceLevels();
    std::vector<int> cellsAt(levels.size(), 0);
    int walkable = 0;
    for (int r = 0; r < g.rows; ++r)
        for (int c = 0; c < g.columns; ++c) {
            const std::size_t i = static_cast<std::size_t>(r * g.columns + c);
            if (!g.walkable[i]) continue;
            ++walkable;
            std::size_t level = 0;
            while (level + 1 < levels.size() && g.peak[i] > levels[level].upTo) ++level;
            ++cellsAt[level];
            const crowd::Vec2 lo{g.origin.x + c * g.cell, g.origin.y + r * g.cell};
            const QPointF a = v(lo), b = v({lo.x + g.cell, lo.y + g.cell});
            p.fillRect(QRectF(a, b).normalized().adjusted(0, 0, 0.6, 0.6),
                       QColor(levels[level].colour));
        }
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF legend = drawFloorFrame(p, v, sim.world(), names, W, H);
    // Legend: the levels with their densities and the share of the floor.
    double y = legend.y();
    const double x = legend.x();
    p.drawText(QPointF(x, y), "Level of service (Fruin),");
    y += 17;
    p.drawText(QPointF(x, y), "highest 1 s mean density:");
    y += 24;
    double lower = 0.0;
    for (std::size_t k = 0; k < levels.size(); ++k) {
        p.fillRect(QRectF(x, y - 12, 18, 16), QColor(levels[k].colour));
        p.setPen(QColor(120, 120, 120));
        p.drawRect(QRectF(x, y - 12, 18, 16));
        p.setPen(Qt::black);
        const QString range =
            std::isfinite(levels[k].upTo)
                ? QString("%1-%2").arg(lower, 0, 'f', 2).arg(levels[k].upTo, 0, 'f', 2)
                : QString("above %1").arg(lower, 0, 'f', 2);
        const double share = walkable > 0 ? 100.0 * cellsAt[k] / walkable : 0.0;
        p.drawText(QPointF(x + 26, y + 1), QString("%1  %2 /m²  %3 %")
                                               .arg(QChar(levels[k].name))
                                               .arg(range)
                                               .arg(share, 0, 'f', 1));
        lower = levels[k].upTo;
        y += 22;
    }
    y += 8;
    double peak = 0.0;
    for (std::size_t i = 0; i < g.peak.size(); ++i)
        if (g.walkable[i]) peak = std::max(peak, g.peak[i]);
    p.drawText(QPointF(x, y), QString("highest: %1 /m²").arg(peak, 0, 'f', 2));
    y += 18;
    p.drawText(QPointF(x, y), "(share: of the floor's cells)");
    return img;
}

}  // namespace

FloorMaps drawFloorMaps(const crowd::Simulation& sim, const std::vector<std::string>& exitNames,
                        const analysis::DensityGrid& density, const std::string& title) {
    const auto app = offscreenGuiIfNeeded();
    FloorMaps m;
    const QString t = QString::fromStdString(title);
    m.floorPlan = png(floorPlan(sim, exitNames, "Floor plan: " + t));
    m.density = png(densityMap(sim, exitNames, density, "Density: " + t));
    if (m.floorPlan.empty() || m.density.empty()) m.problem = "the floor maps cannot be drawn";
    return m;
}

}  // namespace runtime
