// Dialog units measured on a Qt font: the base units come from the font's
// letters and line height, the scaling from ui/dialog_units.
#pragma once

#include <QFont>
#include <QRect>

#include "ui/dialog_units.h"

namespace ostrel::qt {

class DialogUnits : public ui::DialogUnits {
  public:
    // Base units of the font: the average width of the 52 Latin letters and
    // the line height.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseWidth, int baseHeight) : ui::DialogUnits(baseWidth, baseHeight) {}

    QRect Rect(int x, int y, int width, int height) const {
        ui::PixelRect r = Pixels(x, y, width, height);
        return QRect(r.x, r.y, r.width, r.height);
    }
};

}  // namespace ostrel::qt
