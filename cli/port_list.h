// The device behind each port name, for --help. Built on the same mapping the
// ports use when they open, so what it shows is what will be opened.
#pragma once

#include <string>

#include "platform/port_names.h"

namespace ostrel::cli {

// One line per port name: the name, its device, and the variable that chose
// it when it is not the default.
std::string PortDeviceLines(const EnvironmentLookup& environment);

}  // namespace ostrel::cli
