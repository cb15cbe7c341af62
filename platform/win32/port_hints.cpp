#include "platform/win32/port_hints.h"

#include <windows.h>

#include "platform/port_names.h"

namespace ostrel {

namespace {

constexpr std::size_t kMaxNameShown = 40;

std::string Shown(std::string_view name) {
    return ShownInHint(name, kMaxNameShown);
}

}  // namespace

std::string OpenFailureHint(unsigned long error, std::string_view path, PortKind kind,
                            std::string_view portName) {
    if (error == 0)
        return {};
    const std::string variable = HintVariable(portName);
    const std::string port = Shown(portName);
    std::string hint;
    if (path.empty()) {
        hint = "No device is known for the port name '" + port +
               "': the serial ports are COM1 to COM256.";
    } else if (kind == PortKind::Parallel) {
        hint = "Install the DlPortIO driver (DLPORTIO.dll) and use the 32-bit Ostrel.";
    } else if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
               error == ERROR_BUSY) {
        hint = port + " is in use by another program (a terminal, a modem tool, another Ostrel): " +
               "close it and try again.";
    } else if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
               error == ERROR_BAD_UNIT || error == ERROR_DEV_NOT_EXIST) {
        hint = "There is no " + port +
               ": the Device Manager shows under Ports (COM & LPT) which COM number your "
               "adapter got; for one above COM8 set " +
               variable + "=COM12.";
    } else {
        hint = "Cannot open " + Shown(path) + " (Windows error " + std::to_string(error) +
               "): check the port in the Device Manager.";
    }
    if (hint.size() > kMaxHintLength)
        hint.resize(kMaxHintLength);
    return hint;
}

}  // namespace ostrel
