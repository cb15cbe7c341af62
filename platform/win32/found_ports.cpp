#include "platform/win32/found_ports.h"

#include <windows.h>

#include <string>

#include "platform/port_names.h"

namespace ostrel {

std::vector<FoundPort> FindWin32Ports() {
    std::vector<FoundPort> found;
    for (int n = 1; n <= kHighestComNumber; ++n) {
        const std::string name = "COM" + std::to_string(n);
        // The device a DOS name stands for; several, each ended by a zero.
        char target[1024] = {};
        if (QueryDosDeviceA(name.c_str(), target, sizeof target - 1) == 0)
            continue;
        found.push_back({name, name + " (" + std::string(target) + ")"});
    }
    return found;
}

}  // namespace ostrel
