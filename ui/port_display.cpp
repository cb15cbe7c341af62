#include "ui/port_display.h"

#include "adapter/cable_profile.h"

namespace ostrel::ui {

PortShown DescribePort(const Programmer& p, const EnvironmentLookup& environment) {
    const ProgrammerState& s = p.state;
    const std::string name(s.portName.view());
    if (name.empty())
        return {"Port: none", "No port is chosen: choose one in the Port menu."};
    PortShown shown;
    if (s.adapterKind == AdapterKind::Parallel) {
        shown.text = "Port: PP " + name;
        std::optional<std::string> device = ParallelDevicePath(s.portBase, environment);
        shown.tip = "Parallel port " + name + (device ? " (" + *device + ")" : "");
        return shown;
    }
    shown.text = "Port: " + name;
    if (name == "SIM") {
        shown.tip = "The simulated chip behind a simulated cable (Port > Simulator)";
    } else {
        std::optional<std::string> device = SerialDevicePath(name, environment);
        shown.tip = "Serial port " + name + (device ? " (" + *device + ")" : "");
    }
    // The cable is known once its loop-back answered on the open port.
    const adapter::CableProfile& cable = adapter::ActiveCable(s);
    if (s.comOpen && cable.hasLoopBack && (s.cablet1 != 0 || s.cablet2 != 0)) {
        shown.text += ", " + std::string(cable.name);
        shown.tip += "\n" + std::string(cable.detectedText);
    }
    return shown;
}

}  // namespace ostrel::ui
