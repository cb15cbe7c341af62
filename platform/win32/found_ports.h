// The COM ports there are on this machine, as Windows names its devices.
#pragma once

#include <vector>

#include "core/port_access.h"

namespace ostrel {

// COM1..COM256 that Windows has a device for, each with that device
// ("COM12 (\Device\VCP0)").
std::vector<FoundPort> FindWin32Ports();

}  // namespace ostrel
