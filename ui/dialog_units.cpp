#include "ui/dialog_units.h"

namespace ostrel::ui {

int DialogUnits::Scale(int units, int base, int divisor) {
    long long product = static_cast<long long>(units) * base;
    long long half = divisor / 2;
    long long rounded = product >= 0 ? (product + half) / divisor : -((-product + half) / divisor);
    return static_cast<int>(rounded);
}

}  // namespace ostrel::ui
