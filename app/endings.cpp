#include "app/endings.h"

#include "adapter/adapter.h"
#include "app/activity.h"
#include "app/commands.h"
#include "platform/ids.h"
#include "platform/texts.h"

namespace ostrel::app {

void SetActivityField(Programmer& p, std::string_view text) {
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, text);
    p.windows.Repaint(p.state.mainWindow);
}

void EnableField(Programmer& p, int item, bool enabled) {
    p.windows.EnableItem(p.state.mainWindow, item, enabled);
    p.windows.Repaint(p.state.mainWindow);
}

void UsualStart(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, "  ");
    EnableField(p, ids::kActivity, true);
}

void ReportFailure(Programmer& p) {
    EnableField(p, ids::kActivity, true);
    p.state.activityText.Assign(" ");
    ShowActivity(p);
    // After a failed driver access the user has had the one message of this command.
    if (!p.driverAccessFailed)
        p.windows.MessageBox(p.state.mainWindow, p.state.errorText.view(), texts::kTitleError,
                             MsgButtons::Ok);
    p.windows.EnableItem(p.state.mainWindow, ids::kActivity, false);
    p.windows.EnableItem(p.state.mainWindow, ids::kCurrentFile, false);
    p.windows.Repaint(p.state.mainWindow);
}

void ReportOk(Programmer& p) {
    SetActivityField(p, texts::kOk);
    ReadingPause(p);
    EnableField(p, ids::kActivity, false);
}

}  // namespace ostrel::app
