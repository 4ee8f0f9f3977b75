// The floor plan and the density map, drawn with QPainter on a QImage on the
// "offscreen" platform (no display needed).
#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>
#include <algorithm>
#include <cmath>
#include <memory>

#include "runtime/floor_maps.h"
#include "runtime/offscreen_gui.h"

namespace runtime {

namespace {

// Maps metres to pixels: x to the right, z upward, the floor fitted into
// the drawing area left of the legend.
struct View {
    crowd::Box box;
    double scale = 1.0;
    double left = 20, top = 50;
    QPointF operator()(crowd::Vec2 p) const {
        return {left + (p.x - box.min.x) * scale, top + (box.max.y - p.y) * scale};
    }
};

constexpr int kLegendWidth = 230;

View fit(const crowd::Box& box, int& width, int& height) {
    View v;
    v.box = box;
    const double w = std::max(box.max.x - box.min.x, 1.0), h = std::max(box.max.y - box.min.y, 1.0);
    v.scale = std::min(760.0 / w, 600.0 / h);
    width = static_cast<int>(std::ceil(w * v.scale + v.left + 20 + kLegendWidth));
    height = std::max(330, static_cast<int>(std::ceil(h * v.scale + v.top + 50)));
    return v;
}

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
        p.setPen(QPen(QColor(0, 140, 60), 6,
                      x.kind == crowd::ExitKind::Door ? Qt::SolidLine : Qt::DashLine, Qt::FlatCap));
        p.drawLine(v(x.opening.a), v(x.opening.b));
        const QPointF mid = (v(x.opening.a) + v(x.opening.b)) / 2.0;
        p.setPen(QColor(0, 100, 40));
        const QString label = QString::fromStdString(e < names.size() ? names[e] : x.name);
        QRectF r = p.fontMetrics().boundingRect(label);
        // A door's name stands inside the floor beside it; a target line's
        // above it.
        const QPointF inward = x.kind == crowd::ExitKind::Door ? QPointF(-x.outward.x, x.outward.y)
                                                               : QPointF(0.0, -1.0);
        r.moveCenter(mid + QPointF(inward.x() * (r.width() / 2 + 8), inward.y() * 16));
        p.fillRect(r.adjusted(-2, -1, 2, 1), QColor(255, 255, 255, 210));
        p.drawText(r, Qt::AlignCenter, label);
    }
}

void drawScaleBar(QPainter& p, const View& v, int height) {
    // 1, 2 or 5 times a power of ten, about 120 pixels long.
    const double raw = 120.0 / v.scale;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double metres = (raw / mag < 2.0 ? 1.0 : raw / mag < 5.0 ? 2.0 : 5.0) * mag;
    const double len = metres * v.scale;
    const QPointF a(v.left, height - 20), b(v.left + len, height - 20);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(a, b);
    p.drawLine(a + QPointF(0, -4), a + QPointF(0, 4));
    p.drawLine(b + QPointF(0, -4), b + QPointF(0, 4));
    p.drawText(b + QPointF(6, 5), QString::number(metres, 'g', 3) + " m");
}

// Walls, exits and the scale bar over what is drawn of the floor; returns
// where the legend starts (right of the floor), the pen set for its text.
QPointF drawFloorFrame(QPainter& p, const View& v, const crowd::World& world,
                       const std::vector<std::string>& names, int width, int height) {
    drawWallsAndExits(p, v, world, names);
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

QColor roleColour(crowd::Role r) {
    switch (r) {
        case crowd::Role::Child:
            return QColor(230, 120, 20);
        case crowd::Role::Parent:
            return QColor(120, 60, 160);
        case crowd::Role::Adult:
            return QColor(30, 90, 180);
        case crowd::Role::JoggingChild:
            return QColor(200, 30, 60);
        case crowd::Role::Person:
            break;
    }
    return QColor(0, 150, 160);
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
    for (crowd::Role r : {crowd::Role::Person, crowd::Role::Child, crowd::Role::Parent,
                          crowd::Role::Adult, crowd::Role::JoggingChild}) {
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
    p.setPen(QPen(QColor(0, 140, 60), 6));
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
            p.fillRect(
                QRectF(QPointF(a.x(), b.y()), QPointF(b.x(), a.y())).adjusted(0, 0, 0.6, 0.6),
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
