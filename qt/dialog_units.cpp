#include "qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace ostrel::qt {

namespace {
int AverageLetterWidth(const QFontMetrics& metrics) {
    static const QString kLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int total = metrics.horizontalAdvance(kLetters);
    // The width of all 52 letters over 26, halved with rounding.
    return (total / 26 + 1) / 2;
}
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    baseWidth_ = AverageLetterWidth(metrics);
    baseHeight_ = metrics.height();
}

int DialogUnits::Scale(int units, int base, int divisor) {
    long long product = static_cast<long long>(units) * base;
    long long half = divisor / 2;
    long long rounded = product >= 0 ? (product + half) / divisor : -((-product + half) / divisor);
    return static_cast<int>(rounded);
}

}  // namespace ostrel::qt
