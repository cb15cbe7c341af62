// A programmer wired to a recording port, a virtual clock and the scripted
// window system: the usual starting point of a unit test.
#pragma once

#include "core/programmer.h"
#include "tests/support/recording_port.h"
#include "tests/support/scripted_windows.h"

namespace ostrel::testing {

// A serial port that is none of the Port menu's fixed items, as this system
// names one: a device path on Linux, a COM number above 8 on Windows.
#if defined(_WIN32)
inline constexpr const char* kOwnSerialPort = "COM12";
#else
inline constexpr const char* kOwnSerialPort = "/dev/ttyUSB0";
#endif

struct RecordingRig {
    // The main window is open, as it is when any command runs.
    RecordingRig() { p.state.mainWindow = 103; }
    RecordingPort port;
    VirtualClock clock;
    ScriptedWindows windows;
    Programmer p{port, clock, windows};
};

}  // namespace ostrel::testing
