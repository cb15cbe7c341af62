#include "qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace ostrel::qt {

namespace {
ui::DialogUnits Measure(const QFont& font) {
    QFontMetrics metrics(font);
    int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return ui::DialogUnits(ui::DialogUnits::BaseWidthOfLetters(letters), metrics.height());
}
}  // namespace

DialogUnits::DialogUnits(const QFont& font) : ui::DialogUnits(Measure(font)) {}

}  // namespace ostrel::qt
