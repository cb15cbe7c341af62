// How the user chose the chip: the main window's Autodetection check box and,
// when it is off, the name selected in the device list. Read through the
// WindowSystem seam at the moment a command looks the chip up, and handed to
// devices::FindDevice by its callers.
#pragma once

#include <optional>
#include <string>

#include "core/programmer.h"

namespace ostrel::core {

struct DeviceChoice {
    bool autodetect = true;           // look the chip up by its signature
    std::optional<std::string> name;  // else by this name (none: nothing selected)
};

// Reads check box 1118 and, when it is off, the selected device list entry.
DeviceChoice ReadDeviceChoice(Programmer& p);

}  // namespace ostrel::core
