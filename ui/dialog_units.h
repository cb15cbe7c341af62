// Dialog units: the layouts of the windows are given in units of the dialog
// font, a quarter of its average character width across and an eighth of its
// height down, so the arrangement keeps its proportions with any font. Each
// renderer measures its font; the scaling and its rounding are the same for all.
#pragma once

namespace ostrel::ui {

// A rectangle in pixels.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PixelRect&) const = default;
};

class DialogUnits {
  public:
    DialogUnits(int baseWidth, int baseHeight) : baseWidth_(baseWidth), baseHeight_(baseHeight) {}

    // The base width from the width in pixels of the 52 Latin letters
    // "A".."Z" "a".."z" written in one line: their average, rounded as the
    // classic dialog manager rounds it.
    static int BaseWidthOfLetters(int widthOf52Letters) { return (widthOf52Letters / 26 + 1) / 2; }

    int X(int units) const { return Scale(units, baseWidth_, 4); }
    int Y(int units) const { return Scale(units, baseHeight_, 8); }
    PixelRect Pixels(int x, int y, int width, int height) const {
        return PixelRect{X(x), Y(y), X(width), Y(height)};
    }

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

  private:
    // units * base / divisor, rounded to the nearest pixel (halves away from zero).
    static int Scale(int units, int base, int divisor);

    int baseWidth_;
    int baseHeight_;
};

}  // namespace ostrel::ui
