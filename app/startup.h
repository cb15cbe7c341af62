// Opening the main window: start directory, settings restore, the device
// file and the device list, the stored port, the first reset of the target.
#pragma once

#include <optional>
#include <string>

#include "core/programmer.h"

namespace ostrel::app {

// Records the start directory, checks "Autodetection" and "Erase bef. Write",
// restores port and speed, insists on the device file and fills the device
// list, and selects the stored port. False when the device file is missing:
// the user has been told and the main window has been ended.
bool PrepareMainWindow(Programmer& p);

// The whole start-up of the main window: PrepareMainWindow, the first reset
// of the target, then either the offer to reopen the last data file or, with
// a file from the command line, the write of that file (the program ends
// after it succeeds). False when the window has been ended.
bool OpenMainWindow(Programmer& p, const std::optional<std::string>& commandLineFile);

// Selects the port named by portName, as the start-up does: the menu item is
// checked and the adapter set up; an unknown name selects nothing.
void SelectStoredPort(Programmer& p);

}  // namespace ostrel::app
