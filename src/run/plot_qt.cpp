// The evacuation plot, drawn with QPainter on a QImage. Text needs a font
// database, which needs a QGuiApplication: one is made on the "offscreen"
// platform when none exists, so no display is needed.
#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>
#include <cmath>
#include <memory>

#include "platform/number_text.h"
#include "platform/safe_output.h"
#include "run/offscreen_gui.h"
#include "run/plot.h"

namespace runtime {

bool drawsPlots() { return true; }

namespace {

QString label(double v, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step)));
    return QString::number(v, 'f', decimals);
}

}  // namespace

std::string drawEvacuationPlot(const PlotData& data, const std::filesystem::path& png) {
    const auto app = offscreenGuiIfNeeded();

    const int W = 1000, H = 620;
    const int left = 80, right = 30, top = 60, bottom = 70;
    QImage img(W, H, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        QFont font("DejaVu Sans");
        font.setPixelSize(14);
        p.setFont(font);

        const double tMax = std::max(1.0, data.endTime);
        const double xStep = platform::niceStep(tMax, 8);
        const double xMax = std::ceil(tMax / xStep - 1e-9) * xStep;
        const double yStep = platform::niceStep(std::max(1, data.total), 6);
        const double yMax =
            std::max(yStep, std::ceil(std::max(1, data.total) / yStep - 1e-9) * yStep);
        const QRectF plot(left, top, W - left - right, H - top - bottom);
        auto X = [&](double t) { return plot.left() + plot.width() * t / xMax; };
        auto Y = [&](double c) { return plot.bottom() - plot.height() * c / yMax; };

        // Grid, ticks and labels.
        p.setPen(QPen(QColor(225, 225, 225), 1));
        for (double t = 0.0; t <= xMax + 1e-9; t += xStep)
            p.drawLine(QPointF(X(t), plot.top()), QPointF(X(t), plot.bottom()));
        for (double c = 0.0; c <= yMax + 1e-9; c += yStep)
            p.drawLine(QPointF(plot.left(), Y(c)), QPointF(plot.right(), Y(c)));
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(plot);
        for (double t = 0.0; t <= xMax + 1e-9; t += xStep)
            p.drawText(QRectF(X(t) - 40, plot.bottom() + 6, 80, 20),
                       Qt::AlignHCenter | Qt::AlignTop, label(t, xStep));
        for (double c = 0.0; c <= yMax + 1e-9; c += yStep)
            p.drawText(QRectF(0, Y(c) - 10, left - 8, 20), Qt::AlignRight | Qt::AlignVCenter,
                       label(c, yStep));
        p.drawText(QRectF(plot.left(), H - 32, plot.width(), 24), Qt::AlignHCenter,
                   "simulated time (s)");
        p.save();
        p.translate(18, plot.center().y());
        p.rotate(-90);
        p.drawText(QRectF(-150, -10, 300, 24), Qt::AlignHCenter, "people still inside");
        p.restore();
        QFont titleFont = font;
        titleFont.setPixelSize(18);
        titleFont.setBold(true);
        p.setFont(titleFont);
        p.drawText(QRectF(0, 14, W, 30), Qt::AlignHCenter, QString::fromStdString(data.title));
        p.setFont(font);

        // Curves: steps down at each person's exit time.
        static const QColor colours[] = {QColor(20, 20, 20),   QColor(31, 119, 180),
                                         QColor(255, 127, 14), QColor(44, 160, 44),
                                         QColor(214, 39, 40),  QColor(148, 103, 189)};
        p.setClipRect(plot.adjusted(-2, -2, 2, 2));
        // The exits first, then the total on top (dashed, so that with one
        // exit both stay visible).
        for (std::size_t n = 0; n < data.series.size(); ++n) {
            const std::size_t s = (n + 1) % data.series.size();
            const auto& pts = data.series[s].points;
            if (pts.empty()) continue;
            QPainterPath path(QPointF(X(pts[0].first), Y(pts[0].second)));
            for (std::size_t k = 1; k < pts.size(); ++k) {
                path.lineTo(X(pts[k].first), Y(pts[k - 1].second));
                path.lineTo(X(pts[k].first), Y(pts[k].second));
            }
            path.lineTo(X(data.endTime), Y(pts.back().second));
            p.setPen(
                QPen(colours[s % 6], s == 0 ? 2.0 : 2.5, s == 0 ? Qt::DashLine : Qt::SolidLine));
            p.drawPath(path);
        }
        p.setClipping(false);

        // Legend, top right inside the plot.
        const int rowH = 22;
        const int legendW = 380;
        const QRectF box(plot.right() - legendW - 10, plot.top() + 10, legendW,
                         rowH * static_cast<int>(data.series.size()) + 10);
        p.setPen(QPen(QColor(160, 160, 160), 1));
        p.setBrush(QColor(255, 255, 255, 230));
        p.drawRect(box);
        p.setBrush(Qt::NoBrush);
        for (std::size_t s = 0; s < data.series.size(); ++s) {
            const double y = box.top() + 5 + rowH * static_cast<double>(s) + rowH / 2.0;
            p.setPen(
                QPen(colours[s % 6], s == 0 ? 2.0 : 2.5, s == 0 ? Qt::DashLine : Qt::SolidLine));
            p.drawLine(QPointF(box.left() + 10, y), QPointF(box.left() + 40, y));
            p.setPen(Qt::black);
            p.drawText(QRectF(box.left() + 48, y - 10, legendW - 56, 20),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromStdString(data.series[s].legend));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "PNG")) return platform::capped(png.string()) + ": cannot be drawn";
    return platform::writeFileAtomically(
        png, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), platform::Durability::WhenReplacing,
                                   platform::Replacing::RegularFileOnly);
}

}  // namespace runtime
