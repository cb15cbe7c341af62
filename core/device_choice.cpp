#include "core/device_choice.h"

#include "core/ids.h"

namespace ostrel::core {

DeviceChoice ReadDeviceChoice(Programmer& p) {
    DeviceChoice choice;
    choice.autodetect = p.windows.IsItemChecked(ids::kMainWindow, ids::kAutodetection);
    if (!choice.autodetect) {
        int selected = p.windows.SelectedListEntry();
        if (selected >= 0)
            choice.name = p.windows.ListEntry(selected);
    }
    return choice;
}

}  // namespace ostrel::core
