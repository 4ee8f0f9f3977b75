#include "scene/overlay.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
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

}  // namespace

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

    // Top left: where the run is.
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
    int y = margin + panel(p, {margin, margin}, lines, maxWidth);
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
        int ly = box.top() + pad;
        for (crowd::Role r : info.roles) {
            const Colour c = roleColour(r);
            p.fillRect(QRect(box.left() + pad, ly + 2, swatch, swatch),
                       QColor::fromRgbF(c[0], c[1], c[2]));
            p.setPen(kText);
            p.drawText(box.left() + pad + swatch + 6, ly + fm.ascent(), crowd::roleName(r));
            ly += lineH;
        }
    }
    if (!info.keys.empty()) {
        const QFontMetrics fm(p.font(), p.device());
        panel(p, {margin, size.height() - margin - fm.height() - 16}, {{q(info.keys), kDim}},
              size.width() - 2 * margin - 16);
    }

    // The banner in the middle of the top.
    if (!info.banner.empty()) {
        QFont big = p.font();
        big.setPixelSize(std::clamp(size.height() / 24, 14, 32));
        big.setBold(true);
        const QFontMetrics fb(big, p.device()), fs(p.font(), p.device());
        const int w = std::max(fb.horizontalAdvance(q(info.banner)),
                               fs.horizontalAdvance(q(info.bannerDetail))) +
                      40;
        const int h = fb.height() + (info.bannerDetail.empty() ? 0 : fs.height()) + 24;
        const QRect box((size.width() - w) / 2, std::max(size.height() / 3 - h / 2, y + 10), w, h);
        p.fillRect(box, QColor(16, 70, 40, 220));
        p.setPen(kText);
        p.setFont(big);
        p.drawText(QRect(box.left(), box.top() + 12, w, fb.height()), Qt::AlignCenter,
                   q(info.banner));
        if (!info.bannerDetail.empty()) {
            p.setFont(font);
            p.drawText(QRect(box.left(), box.top() + 12 + fb.height(), w, fs.height()),
                       Qt::AlignCenter, q(info.bannerDetail));
        }
    }
    p.restore();
}

}  // namespace scene
