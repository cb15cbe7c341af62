// The ports there are on this machine, as the kernel lists them: the serial
// ports (a tty with a device behind it; a ttyS only where a UART answers),
// each FTDI adapter that can be clocked in bit-bang mode again by its serial
// number, and the GPIO chips.
#pragma once

#include <filesystem>
#include <vector>

#include "core/port_access.h"
#include "platform/linux/sys_calls.h"
#include "platform/port_names.h"

namespace ostrel {

// `sysfsRoot` is "/sys" and `devRoot` "/dev" on a running system. A tty that
// a port name's device is (COM1 for /dev/ttyS0, or an override's) is listed
// under that name. The GPIO chips are asked for their labels through `sys`:
// each is the port "GPIO" with the default lines on that chip. Anything
// unreadable counts as not there.
std::vector<FoundPort> FindLinuxPorts(const std::filesystem::path& sysfsRoot,
                                      const std::filesystem::path& devRoot,
                                      const EnvironmentLookup& environment, SysCalls& sys);

}  // namespace ostrel
