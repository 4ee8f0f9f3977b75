#pragma once
// Dialog units: the layout measure of the dialog template. A horizontal unit
// is a quarter of the dialog font's average character width, a vertical unit
// an eighth of its height, so the layout keeps its proportions with any font.

#include <QFont>
#include <QRect>

namespace app {

class DialogUnits {
  public:
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    // The base units of `font`, measured the way the platform does: the
    // average character width is the width of the 52 letters A-Z a-z divided
    // by 52, rounded; the height is the font's line height.
    static DialogUnits forFont(const QFont& font);

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    // One coordinate in dialog units to pixels (rounded like MulDiv).
    int toPixelsX(int units) const;
    int toPixelsY(int units) const;

    // A rectangle x, y, width, height in dialog units to pixels. The corners
    // are converted, so neighbouring controls stay neighbours.
    QRect toPixels(int x, int y, int width, int height) const;

  private:
    int baseX_;
    int baseY_;
};

}  // namespace app
