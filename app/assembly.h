// The one place where a program is put together: the system calls, the serial
// and parallel backends, the port router with the simulator plugged in under
// the serial port name "SIM" and the ports of pins (FTDI adapters in bit-bang
// mode behind serial port names, GPIO lines behind "GPIO"), the clock, and
// the Programmer over them. The
// desktop program, the console and the GUI tests build the same thing; each
// adds only its own windows (or printed messages) and options.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/programmer.h"
#include "core/window_system.h"
#include "platform/native_ports.h"
#include "platform/system_ports.h"
#include "sim/simulator_slot.h"

namespace ostrel::app {

struct AssemblyOptions {
    // The start directory: the programmer's current directory, and where the
    // simulator keeps its state file.
    std::string startDirectory;
    Clock* clock = nullptr;        // null: a clock of its own, as virtualClock says
    bool virtualClock = false;     // the own clock is simulated time, not the machine's
    SysCalls* sysCalls = nullptr;  // null: the system's own calls
    // Look for the ports there are on this machine (the desktop programs).
    bool findPorts = false;
    // The ports found, given instead (the tests of the desktop programs).
    std::optional<std::vector<FoundPort>> foundPorts;
    // Whether a parallel port can be reached; empty: as the system's start-up
    // finds it (ppdev on Linux; the platform family and the DlPortIO library
    // on Windows).
    std::optional<bool> parallelAccess;
    // Where the simulator's warnings go (it has no window of its own).
    sim::SimulatorSlot::Reporter report;
};

class Assembly {
  public:
    Assembly(WindowSystem& windows, AssemblyOptions options);
    Assembly(const Assembly&) = delete;
    Assembly& operator=(const Assembly&) = delete;

    Programmer& programmer() { return programmer_; }
    sim::SimulatorSlot& simulator() { return simulator_; }
    Clock& clock() { return clock_; }

  private:
    std::unique_ptr<NativePorts> native_;
    SystemPorts ports_;
    std::unique_ptr<Clock> ownClock_;
    Clock& clock_;
    sim::SimulatorSlot simulator_;
    Programmer programmer_;
};

}  // namespace ostrel::app
