#include "ui/busy.h"

namespace ostrel::ui {

std::optional<int> ProgressFigure(std::string_view activityText) {
    std::size_t i = 0;
    while (i < activityText.size() && activityText[i] == ' ')
        ++i;
    int figure = 0;
    std::size_t digits = 0;
    while (i < activityText.size() && activityText[i] >= '0' && activityText[i] <= '9') {
        // Three digits are enough for 100; a longer number is no percentage.
        if (++digits > 3)
            return std::nullopt;
        figure = figure * 10 + (activityText[i] - '0');
        ++i;
    }
    if (digits == 0 || i >= activityText.size() || activityText[i] != '%' || figure > 100)
        return std::nullopt;
    return figure;
}

}  // namespace ostrel::ui
