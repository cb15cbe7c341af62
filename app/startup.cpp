#include "app/startup.h"

#include <cstdio>

#include "app/commands.h"
#include "app/settings.h"
#include "devices/device_file.h"
#include "platform/ids.h"
#include "platform/text_file.h"

namespace ostrel::app {

namespace {
// The device file must open for reading and writing to count as present.
bool DeviceFileOpens(const Programmer& p) {
    std::string path = ResolvePath(p.currentDirectory, "ostrel.ini");
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f) return false;
    std::fclose(f);
    return true;
}
}  // namespace

void SelectStoredPort(Programmer& p) {
    ProgrammerState& s = p.state;
    int command = PortCommand(s.portName.view());  // exact, case-sensitive
    CheckPortItem(p, command);
    if (command == 0) return;
    if (s.portName == "0278") {
        s.portBase = 0x278;
    } else if (s.portName == "0378") {
        s.portBase = 0x378;
    } else if (s.portName == "03BC") {
        s.portBase = 0x3BC;
    } else {
        s.adapterKind = AdapterKind::Serial;
        s.comName.Assign(s.portName.view());
    }
}

bool PrepareMainWindow(Programmer& p) {
    ProgrammerState& s = p.state;
    s.mainWindow = ids::kMainWindow;
    if (!s.startDirectory.Assign(p.currentDirectory)) s.startDirectory.Clear();

    p.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, true);
    p.windows.CheckItem(ids::kMainWindow, ids::kEraseBeforeWrite, true);

    RestorePortAndSpeed(p);

    if (!DeviceFileOpens(p)) {
        p.windows.MessageBox(ids::kNoOwner, "Open Error 'ostrel.ini !'", "Error!",
                             MsgButtons::Ok);
        p.windows.EndWindow(ids::kMainWindow, 1);
        return false;
    }
    devices::FillDeviceList(p);
    p.windows.SelectListEntry(0);

    p.windows.EnableItem(ids::kMainWindow, ids::kDeviceList, false);
    p.windows.EnableItem(ids::kMainWindow, ids::kCurrentFile, false);
    p.windows.EnableItem(ids::kMainWindow, ids::kActivity, false);
    p.windows.Repaint(ids::kMainWindow);

    SelectStoredPort(p);
    return true;
}

}  // namespace ostrel::app
