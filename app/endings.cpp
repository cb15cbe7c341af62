#include "app/endings.h"

#include "app/commands.h"
#include "core/ids.h"
#include "platform/texts.h"

namespace ostrel::app {

void ReportOk(Programmer& p) {
    SetActivityField(p, texts::kOk);
    ReadingPause(p);
    EnableField(p, ids::kActivity, false);
}

void TellDriverAccessFailure(Programmer& p) {
    if (!p.driverAccessFailed || p.driverAccessTold)
        return;
    p.driverAccessTold = true;
    p.windows.MessageBox(ids::kNoOwner, "Error during driver access!", "Error", MsgButtons::Ok,
                         MessageKind::Error);
    p.windows.EndWindow(ids::kMainWindow, 1);
}

void TellPortLost(Programmer& p) {
    if (!p.portLost)
        return;
    p.windows.MessageBox(p.state.mainWindow, p.portLostText, texts::kTitleError, MsgButtons::Ok,
                         MessageKind::Error);
}

}  // namespace ostrel::app
