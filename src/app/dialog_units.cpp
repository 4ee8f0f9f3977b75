#include "app/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace app {

namespace {

// a * b / c rounded half away from zero, like the platform's MulDiv.
int mulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    const long long q = product >= 0 ? (product + half) / c : (product - half) / c;
    return static_cast<int>(q);
}

}  // namespace

DialogUnits DialogUnits::forFont(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // (width / 26 + 1) / 2 is width / 52 rounded, as the platform computes it.
    int baseX = (width / 26 + 1) / 2;
    int baseY = metrics.height();
    if (baseX < 1) baseX = 1;
    if (baseY < 1) baseY = 1;
    return DialogUnits(baseX, baseY);
}

int DialogUnits::toPixelsX(int units) const { return mulDiv(units, baseX_, 4); }

int DialogUnits::toPixelsY(int units) const { return mulDiv(units, baseY_, 8); }

QRect DialogUnits::toPixels(int x, int y, int width, int height) const {
    const int left = toPixelsX(x);
    const int top = toPixelsY(y);
    const int right = toPixelsX(x + width);
    const int bottom = toPixelsY(y + height);
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace app
