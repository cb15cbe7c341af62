#include "ui/busy.h"

#include "core/ids.h"
#include "ui/control_table.h"
#include "ui/menu.h"

namespace ostrel::ui {

bool BusyPlan::MenuItemEnabled(int command) const {
    return !busy || MenuCommandWhileBusy(command);
}

bool RunsBusy(int command) {
    switch (command) {
        case ids::kAbout:
        case ids::kWiringPicture:
        case ids::kHelpTopics:
        case ids::kNewVersion:
            return false;
        default:
            return true;
    }
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

std::optional<bool> CheckBoxAfterCommand(bool taken, bool checkedNow) {
    if (taken)
        return std::nullopt;
    return !checkedNow;
}

}  // namespace ostrel::ui
