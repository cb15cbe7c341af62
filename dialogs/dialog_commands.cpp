#include "dialogs/dialog_commands.h"

#include "avr/avr.h"
#include "core/activity.h"
#include "core/ids.h"
#include "dialogs/eeprom_window.h"
#include "dialogs/fuse_window.h"
#include "dialogs/instructions_dialog.h"

namespace ostrel::dialogs {

int OpenInstructionsDialog(Programmer& p) {
    p.state.mainWindow = ids::kMainWindow;
    if (avr::Connect(p) != 0) {
        core::ReportFailure(p);
        return 1;
    }
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, " ");
    InstructionsDialog dialog(p);
    p.windows.RunModalDialog(ids::kInstructionsDialog, p.state.mainWindow, dialog);
    return 0;
}

int OpenDataWindow(Programmer& p) {
    core::UsualStart(p);
    // A locked chip answers its EEPROM with the bytes clocked in: the window
    // would list what the chip does not hold.
    if (avr::Connect(p) != 0 || avr::CheckLockAllows(p, avr::ChipAccess::Read) != 0) {
        core::ReportFailure(p);
        return 1;
    }
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, "  ");
    core::EnableField(p, ids::kActivity, false);
    EepromWindow window(p);
    p.windows.RunModalDialog(ids::kEepromWindow, p.state.mainWindow, window);
    return 0;
}

int OpenFusesWindow(Programmer& p) {
    core::UsualStart(p);
    if (avr::Connect(p) != 0) {
        core::ReportFailure(p);
        return 1;
    }
    p.windows.SetItemText(p.state.mainWindow, ids::kActivity, " ");
    FuseWindow window(p);
    p.windows.RunModalDialog(ids::kFusesWindow, p.state.mainWindow, window);
    return 0;
}

}  // namespace ostrel::dialogs
