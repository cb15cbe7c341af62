#include "ui/busy.h"

#include "ui/control_table.h"
#include "ui/menu.h"

namespace ostrel::ui {

bool BusyPlan::MenuItemEnabled(int command) const {
    return !busy || MenuCommandWhileBusy(command);
}

BusyPlan PlanBusy(bool busy) {
    BusyPlan plan;
    plan.busy = busy;
    for (const ControlEntry& entry : MainWindowControls()) {
        BusyControl control{entry.id, std::nullopt, std::nullopt};
        if ((entry.start & kStartsCommand) != 0)
            control.enabled = !busy;
        if ((entry.start & kWhileBusy) != 0)
            control.shown = busy;
        if (control.enabled || control.shown)
            plan.controls.push_back(control);
    }
    plan.simulatorItemsEnabled = !busy;
    plan.busyCursor = busy;
    return plan;
}

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
