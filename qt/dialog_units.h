// Dialog units: the layouts of the windows are given in units of the dialog
// font, a quarter of its average character width across and an eighth of its
// height down, so the arrangement keeps its proportions with any font.
#pragma once

#include <QFont>
#include <QRect>

namespace ostrel::qt {

class DialogUnits {
  public:
    // Base units of the font: the average width of the 52 Latin letters
    // (rounded as the classic dialog manager rounds it) and the line height.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

    int X(int units) const { return Scale(units, baseWidth_, 4); }
    int Y(int units) const { return Scale(units, baseHeight_, 8); }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

  private:
    // units * base / divisor, rounded to the nearest pixel.
    static int Scale(int units, int base, int divisor);

    int baseWidth_;
    int baseHeight_;
};

}  // namespace ostrel::qt
