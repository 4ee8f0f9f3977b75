#include "scene/overlay.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <QString>
#include <algorithm>
#include <cmath>

#include "scene/scene.h"

namespace scene {

namespace {

const QColor kPanel(18, 22, 28, 190);
const QColor kText(235, 238, 242);
const QColor kDim(170, 178, 190);

QString q(const std::string& s) { return QString::fromStdString(s); }

// A translucent box with lines of text, at `topLeft`; returns its height.
int panel(QPainter& p, QPoint topLeft, const std::vector<std::pair<QString, QColor>>& lines,
          int maxWidth) {
    const QFontMetrics fm(p.font(), p.device());
    const int pad = 8, lineH = fm.height();
    int w = 0;
    for (const auto& [text, colour] : lines) w = std::max(w, fm.horizontalAdvance(text));
    w = std::min(w, maxWidth);
    const QRect box(topLeft,
                    QSize(w + 2 * pad + 2, static_cast<int>(lines.size()) * lineH + 2 * pad));
    p.fillRect(box, kPanel);
    int y = box.top() + pad + fm.ascent();
    for (const auto& [text, colour] : lines) {
        p.setPen(colour);
        p.drawText(box.left() + pad, y, fm.elidedText(text, Qt::ElideRight, w + 2));
        y += lineH;
    }
    return box.height();
}

// A box of word-wrapped lines, `width` wide, at `topLeft`; returns its height.
int wrappedPanel(QPainter& p, QPoint topLeft, const std::vector<std::pair<QString, QColor>>& lines,
                 int width) {
    const QFontMetrics fm(p.font(), p.device());
    const int pad = 8, inner = std::max(10, width - 2 * pad);
    std::vector<QRect> rects;
    int h = 2 * pad;
    for (const auto& line : lines) {
        rects.push_back(fm.boundingRect(QRect(0, 0, inner, 10000), Qt::TextWordWrap, line.first));
        h += rects.back().height();
    }
    const QRect box(topLeft, QSize(width, h));
    p.fillRect(box, kPanel);
    int y = box.top() + pad;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        p.setPen(lines[k].second);
        p.drawText(QRect(box.left() + pad, y, inner, rects[k].height()),
                   Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, lines[k].first);
        y += rects[k].height();
    }
    return h;
}

// The overlay's column in a top-down picture, in pixels.
int columnWidth(QSize size) { return std::clamp(size.width() * 3 / 10, 230, 380); }

// The legend's rows inside `box`: a swatch of each role's colour and its name.
void paintLegendRows(QPainter& p, const QRect& box, const std::vector<crowd::Role>& roles, int pad) {
    const QFontMetrics fm(p.font(), p.device());
    const int lineH = fm.height(), swatch = lineH - 4;
    int ly = box.top() + pad;
    for (crowd::Role r : roles) {
        const Colour c = roleColour(r);
        p.fillRect(QRect(box.left() + pad, ly + 2, swatch, swatch), QColor::fromRgbF(c[0], c[1], c[2]));
        p.setPen(kText);
        p.drawText(box.left() + pad + swatch + 6, ly + fm.ascent(), crowd::roleName(r));
        ly += lineH;
    }
}
constexpr int kAxisRoom = 64;    // left of the floor: the z axis's labels
constexpr int kBelowRoom = 64;   // below: the x axis's labels and the scale bar
constexpr int kAboveRoom = 28;   // above: the z axis's name
constexpr int kRightRoom = 56;   // right: the x axis's name

const QColor kRecording(235, 60, 50);

// Axes in metres along the floor's bounds (x under it, z left of it, z
// growing downward) and a scale bar, in the light text colour.
void paintPlanAxes(QPainter& p, const PlanFrame& f, QSize size) {
    const QFontMetrics fm(p.font(), p.device());
    const double k = f.pixelsPerMetre;
    if (!(k > 0.0) || !std::isfinite(k)) return;
    auto px = [&](double x) { return f.originX + x * k; };
    auto py = [&](double z) { return f.originY + z * k; };
    auto step = [](double range, int ticks) {
        if (!(range > 0.0) || !std::isfinite(range)) return 1.0;
        const double raw = range / ticks;
        const double mag = std::pow(10.0, std::floor(std::log10(raw)));
        const double m = raw / mag;
        return (m <= 1.0 ? 1.0 : m <= 2.0 ? 2.0 : m <= 5.0 ? 5.0 : 10.0) * mag;
    };
    auto label = [](double v) { return QString::number(std::abs(v) < 1e-9 ? 0.0 : v, 'g', 6); };
    const crowd::Box& b = f.floor;
    p.setPen(QPen(kDim, 1));
    // x under the floor.
    const double xBase = std::min(py(b.max.y) + 8, size.height() - kBelowRoom + 8.0);
    const double xs = step(b.max.x - b.min.x, std::max(2, static_cast<int>((b.max.x - b.min.x) * k / 90)));
    p.drawLine(QPointF(px(b.min.x), xBase), QPointF(px(b.max.x), xBase));
    double labelsEnd = px(b.max.x);
    for (double x = std::ceil(b.min.x / xs - 1e-9) * xs; x <= b.max.x + 1e-9; x += xs) {
        p.drawLine(QPointF(px(x), xBase), QPointF(px(x), xBase + 5));
        const QString t = label(x);
        p.drawText(QPointF(px(x) - fm.horizontalAdvance(t) / 2.0, xBase + 6 + fm.ascent()), t);
        labelsEnd = std::max(labelsEnd, px(x) + fm.horizontalAdvance(t) / 2.0);
    }
    p.drawText(QPointF(labelsEnd + 8, xBase + 6 + fm.ascent()), QStringLiteral("x (m)"));
    // z left of the floor, growing downward.
    const double zBase = px(b.min.x) - 8;
    const double zs = step(b.max.y - b.min.y, std::max(2, static_cast<int>((b.max.y - b.min.y) * k / 60)));
    p.drawLine(QPointF(zBase, py(b.min.y)), QPointF(zBase, py(b.max.y)));
    for (double z = std::ceil(b.min.y / zs - 1e-9) * zs; z <= b.max.y + 1e-9; z += zs) {
        p.drawLine(QPointF(zBase - 5, py(z)), QPointF(zBase, py(z)));
        const QString t = label(z);
        p.drawText(QPointF(zBase - 8 - fm.horizontalAdvance(t), py(z) + fm.ascent() / 2.0 - 1), t);
    }
    p.drawText(QPointF(zBase - 8 - fm.horizontalAdvance(QStringLiteral("z (m)")), py(b.min.y) - 8),
               QStringLiteral("z (m)"));
    // The scale bar, about 120 pixels long, under the x axis.
    const double metres = step(120.0 / k, 1);
    const QPointF a(px(b.min.x), xBase + fm.height() + 18), e(px(b.min.x) + metres * k, a.y());
    p.setPen(QPen(kText, 2));
    p.drawLine(a, e);
    p.drawLine(a + QPointF(0, -4), a + QPointF(0, 4));
    p.drawLine(e + QPointF(0, -4), e + QPointF(0, 4));
    p.drawText(e + QPointF(6, fm.ascent() / 2.0 - 1), QString::number(metres, 'g', 3) + " m");
}

}  // namespace

Camera::Area planArea(QSize size) {
    const double w = std::max(size.width(), 1), h = std::max(size.height(), 1);
    return {(columnWidth(size) + kAxisRoom) / w, kAboveRoom / h, kRightRoom / w, kBelowRoom / h};
}

PlanFrame planFrame(const Camera& camera, const crowd::Box& floor, QSize size) {
    PlanFrame f;
    f.floor = floor;
    const auto o = camera.project({0.0, 0.0, 0.0}, size.width(), size.height());
    const auto e = camera.project({1.0, 0.0, 0.0}, size.width(), size.height());
    if (o && e) {
        f.originX = (*o)[0];
        f.originY = (*o)[1];
        f.pixelsPerMetre = (*e)[0] - (*o)[0];
    }
    return f;
}

std::string speedText(double factor) {
    const bool slower = factor < 1.0;
    const long n = std::lround(slower ? 1.0 / factor : factor);
    return QString::fromLatin1(slower ? "x1/%1" : "x%1").arg(n).toStdString();
}

void paintOverlay(QPainter& p, const OverlayInfo& info, QSize size) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    QFont font = p.font();
    font.setPixelSize(std::clamp(size.height() / 45, 11, 18));
    p.setFont(font);
    const int margin = 10;
    const int maxWidth = std::max(100, size.width() / 2);

    // Where the run is.
    std::vector<std::pair<QString, QColor>> lines;
    if (!info.title.empty()) lines.push_back({q(info.title), kDim});
    lines.push_back({QStringLiteral("Time %1 s").arg(info.time, 0, 'f', 1), kText});
    lines.push_back({QStringLiteral("Inside: %1 of %2").arg(info.inside).arg(info.total), kText});
    for (const auto& [name, out] : info.outByExit)
        lines.push_back({QStringLiteral("Out by %1: %2").arg(q(name)).arg(out), kText});
    std::vector<std::pair<QString, QColor>> status;
    if (!info.speed.empty())
        status.push_back({QStringLiteral("Speed %1").arg(q(info.speed)), kText});
    if (!info.camera.empty()) status.push_back({q(info.camera), kDim});
    std::vector<std::pair<QString, QColor>> recording;
    for (const std::string& r : info.recording)
        recording.push_back({QString::fromUtf8("\u25CF REC ") + q(r), kRecording});
    std::vector<std::pair<QString, QColor>> legend;
    for (crowd::Role r : info.roles) legend.push_back({QString::fromLatin1(crowd::roleName(r)), kText});

    QFont big = p.font();
    big.setPixelSize(std::clamp(size.height() / 24, 14, 32));
    big.setBold(true);
    int y = margin;

    if (info.plan) {
        // Top-down: everything in the column left of the floor.
        const int w = columnWidth(size) - margin;
        auto stack = [&](const std::vector<std::pair<QString, QColor>>& l) {
            if (l.empty()) return;
            y += wrappedPanel(p, {margin, y}, l, w) + 4;
        };
        stack(lines);
        stack(recording);
        stack(status);
        if (!info.banner.empty()) {
            p.setFont(big);
            std::vector<std::pair<QString, QColor>> b{{q(info.banner), kText}};
            const QFontMetrics fb(big, p.device());
            const int pad = 8;
            const QRect r = fb.boundingRect(QRect(0, 0, w - 2 * pad, 10000), Qt::TextWordWrap,
                                            q(info.banner));
            p.fillRect(QRect(margin, y, w, r.height() + 2 * pad), QColor(16, 70, 40, 220));
            p.setPen(kText);
            p.drawText(QRect(margin + pad, y + pad, w - 2 * pad, r.height()), Qt::TextWordWrap, q(info.banner));
            y += r.height() + 2 * pad;
            p.setFont(font);
            std::vector<std::pair<QString, QColor>> detail;
            if (!info.bannerDetail.empty()) detail.push_back({q(info.bannerDetail), kText});
            for (const std::string& r2 : info.bannerRecordings) detail.push_back({QStringLiteral("Recorded ") + q(r2), kText});
            if (!detail.empty()) y += wrappedPanel(p, {margin, y}, detail, w);
            y += 4;
        }
        for (const std::string& note : info.notes)
            stack({{QStringLiteral("Note: ") + q(note), QColor(255, 214, 120)}});
        if (!legend.empty()) {
            const QFontMetrics fm(p.font(), p.device());
            const int lineH = fm.height(), pad = 8;
            const QRect box(margin, y, w, static_cast<int>(legend.size()) * lineH + 2 * pad);
            p.fillRect(box, kPanel);
            paintLegendRows(p, box, info.roles, pad);
            y += box.height() + 4;
        }
        if (!info.keys.empty()) stack({{q(info.keys), kDim}});
        paintPlanAxes(p, *info.plan, size);
        p.restore();
        return;
    }

    // Top left: where the run is, what is recorded, the notes.
    y = margin + panel(p, {margin, margin}, lines, maxWidth);
    if (!recording.empty()) y += 4 + panel(p, {margin, y + 4}, recording, maxWidth);
    for (const std::string& note : info.notes) {
        y += 4;
        y += panel(p, {margin, y}, {{QStringLiteral("Note: ") + q(note), QColor(255, 214, 120)}},
                   size.width() - 2 * margin - 16);
    }

    // Top right: speed and camera.
    if (!status.empty()) {
        const QFontMetrics fm(p.font(), p.device());
        int w = 0;
        for (const auto& s : status) w = std::max(w, fm.horizontalAdvance(s.first));
        panel(p, {size.width() - margin - w - 16, margin}, status, w);
    }

    // Bottom left: the legend.
    if (!info.roles.empty()) {
        const QFontMetrics fm(p.font(), p.device());
        const int lineH = fm.height(), pad = 8, swatch = lineH - 4;
        int w = 0;
        for (crowd::Role r : info.roles) w = std::max(w, fm.horizontalAdvance(crowd::roleName(r)));
        const int h = static_cast<int>(info.roles.size()) * lineH + 2 * pad;
        const int keysH = info.keys.empty() ? 0 : lineH + 2 * pad + 4;
        const QRect box(margin, size.height() - margin - keysH - h, w + swatch + 6 + 2 * pad, h);
        p.fillRect(box, kPanel);
        paintLegendRows(p, box, info.roles, pad);
    }
    if (!info.keys.empty()) {
        const QFontMetrics fm(p.font(), p.device());
        panel(p, {margin, size.height() - margin - fm.height() - 16}, {{q(info.keys), kDim}},
              size.width() - 2 * margin - 16);
    }

    // The banner in the middle of the top, with the recordings under it.
    if (!info.banner.empty()) {
        std::vector<QString> detail;
        if (!info.bannerDetail.empty()) detail.push_back(q(info.bannerDetail));
        for (const std::string& r : info.bannerRecordings)
            detail.push_back(QStringLiteral("Recorded ") + q(r));
        const QFontMetrics fb(big, p.device()), fs(p.font(), p.device());
        int w = fb.horizontalAdvance(q(info.banner));
        for (const QString& d : detail) w = std::max(w, fs.horizontalAdvance(d));
        w = std::min(w + 40, size.width() - 2 * margin);
        const int h = fb.height() + static_cast<int>(detail.size()) * fs.height() + 24;
        const QRect box((size.width() - w) / 2, std::max(size.height() / 3 - h / 2, y + 10), w, h);
        p.fillRect(box, QColor(16, 70, 40, 220));
        p.setPen(kText);
        p.setFont(big);
        p.drawText(QRect(box.left(), box.top() + 12, w, fb.height()), Qt::AlignCenter,
                   fb.elidedText(q(info.banner), Qt::ElideRight, w - 8));
        p.setFont(font);
        int dy = box.top() + 12 + fb.height();
        for (const QString& d : detail) {
            p.drawText(QRect(box.left(), dy, w, fs.height()), Qt::AlignCenter,
                       fs.elidedText(d, Qt::ElideMiddle, w - 8));
            dy += fs.height();
        }
    }
    p.restore();
}

}  // namespace scene
