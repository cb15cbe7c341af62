// The port backends of the system the program is built for, behind the two
// port interfaces, so that the assembly of a program names no system's own
// types: platform/linux/ builds them on termios and ppdev, platform/win32/ on
// the Win32 communications functions and the DlPortIO driver.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/port_access.h"

namespace ostrel {

// The seam of system calls of the system the build is for
// (platform/linux/sys_calls.h or platform/win32/sys_calls.h).
class SysCalls;

// How the parallel port is reached, as the start-up found it: the two
// platform flags of the programmer's state and the driver library.
struct ParallelAccess {
    bool directPortIo = false;    // the port answers as to port instructions
    bool dlPortIoLoaded = false;  // through the port driver library
    void* library = nullptr;      // that library, when it was loaded
};

class NativePorts {
  public:
    virtual ~NativePorts() = default;

    virtual SerialLines& serial() = 0;
    virtual ParallelRegisters& parallel() = 0;
    // The ports of pins of this system, or null where it has none: an FTDI
    // adapter in synchronous bit-bang mode and the GPIO lines of a
    // single-board computer.
    virtual PinPort* bitBang() { return nullptr; }
    virtual PinPort* gpio() { return nullptr; }
    // The ports there are on this machine, for the Port menu and a first
    // start's choice; none where the system cannot tell.
    virtual std::vector<FoundPort> FindPorts() { return {}; }
    // The start-up's decision: on Linux whether a parallel port device can
    // be opened and claimed; on Windows the platform family and the driver
    // library.
    virtual ParallelAccess StartParallelAccess() = 0;
    // The access a parallel port that is there is reached with on this
    // system (for a caller that decides by itself whether there is one).
    virtual ParallelAccess GrantedParallelAccess() = 0;
};

// The backends over `sys`, or over the system's own calls when it is null.
std::unique_ptr<NativePorts> MakeNativePorts(SysCalls* sys);

// What the user can do when no parallel port can be reached on this system;
// follows "Driver 'DlPortIO' must be installed!" in the Port menu's refusal.
std::string ParallelAccessHint();

}  // namespace ostrel
