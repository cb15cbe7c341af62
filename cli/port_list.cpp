#include "cli/port_list.h"

#include <cstdint>
#include <optional>

namespace ostrel::cli {

namespace {

std::string Line(std::string_view name, const std::optional<std::string>& device,
                 const EnvironmentLookup& environment) {
    std::string line = "  " + std::string(name);
    line.append(name.size() < 6 ? 6 - name.size() : 1, ' ');
    line += device ? *device : "(no device)";
    std::string variable = OverrideVariable(name);
    std::optional<std::string> set = environment(variable);
    if (set && !set->empty())
        line += "  (set by " + variable + ")";
    return line + "\n";
}

}  // namespace

std::string PortDeviceLines(const EnvironmentLookup& environment) {
    std::string lines;
    for (int n = 1; n <= 8; ++n) {
        std::string name = "COM" + std::to_string(n);
        lines += Line(name, SerialDevicePath(name, environment), environment);
    }
    for (uint16_t base : {uint16_t{0x278}, uint16_t{0x378}, uint16_t{0x3BC}})
        lines += Line(ParallelPortName(base), ParallelDevicePath(base, environment), environment);
    lines += "  SIM   the simulated target, no device\n";
    return lines;
}

}  // namespace ostrel::cli
