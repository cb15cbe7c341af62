// The port in use as the main window shows it below the fields: the port's
// name and, once a serial cable has answered its loop-back, the cable.
#pragma once

#include <string>

#include "core/programmer.h"
#include "platform/port_names.h"

namespace ostrel::ui {

struct PortShown {
    std::string text;  // "Port: COM1, Cablet2"
    std::string tip;   // the device behind the name, and how the cable was found
};

PortShown DescribePort(const Programmer& p, const EnvironmentLookup& environment);

}  // namespace ostrel::ui
