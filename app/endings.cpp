#include "app/endings.h"

#include "adapter/adapter.h"
#include "app/commands.h"
#include "core/ids.h"
#include "platform/texts.h"

namespace ostrel::app {

bool ShowOk(Programmer& p) {
    // A port that stops answering on its last states has not done the
    // command.
    adapter::Flush(p);
    if (p.portLost)
        return false;
    SetActivityField(p, texts::kOk);
    return true;
}

void ReportOk(Programmer& p) {
    if (!ShowOk(p))
        return;
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
    // Whatever the command showed before the loss ("OK", a file saved) is
    // not how it ended.
    SetActivityField(p, " ");
    EnableField(p, ids::kActivity, false);
    p.windows.MessageBox(p.state.mainWindow, p.portLostText, texts::kTitleError, MsgButtons::Ok,
                         MessageKind::Error);
}

}  // namespace ostrel::app
