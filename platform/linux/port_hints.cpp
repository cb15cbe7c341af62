#include "platform/linux/port_hints.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/port_names.h"

namespace ostrel {

namespace {

// Paths longer than this keep their end: the device's own name is there.
// With it and a group name of at most kMaxGroupShown, every hint fits
// kMaxHintLength.
constexpr std::size_t kMaxPathShown = 40;
constexpr std::size_t kMaxGroupShown = 24;

std::string Shown(std::string_view path) {
    return ShownInHint(path, kMaxPathShown);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The group that owns the device, when it is one a user can sensibly join.
std::optional<std::string> JoinableGroup(SysCalls& sys, std::string_view path) {
    struct stat info {};
    if (sys.Stat(std::string(path).c_str(), &info) != 0)
        return std::nullopt;
    std::optional<std::string> name = sys.GroupName(info.st_gid);
    if (!name || name->empty() || name->size() > kMaxGroupShown || *name == "root")
        return std::nullopt;
    // A name that would break the command line is not offered.
    for (char c : *name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '_' || c == '-' || c == '.';
        if (!plain)
            return std::nullopt;
    }
    return name;
}

std::string NoPermission(SysCalls& sys, const std::string& shown, std::string_view path) {
    if (std::optional<std::string> group = JoinableGroup(sys, path)) {
        return "No permission for " + shown + ": join its group with `sudo usermod -aG " + *group +
               " $USER`, then log in again.";
    }
    return "No permission for " + shown + ": your user needs read and write access to it.";
}

std::string Missing(const std::string& shown, std::string_view path, PortKind kind,
                    const std::string& variable) {
    if (kind == PortKind::Gpio) {
        return "No GPIO chip at " + shown +
               ": see ls /dev/gpiochip* (or gpiodetect) and name the chip with --gpio.";
    }
    if (kind == PortKind::Parallel) {
        return "No parallel port at " + shown +
               ": load the driver with `sudo modprobe ppdev`, or set " + variable +
               "=/dev/parportN.";
    }
    if (StartsWith(path, "ftdi:")) {
        return shown +
               " names an FTDI adapter, which opens only in bit-bang mode: drop "
               "--modem-lines, or set " +
               variable + " to the adapter's tty.";
    }
    if (StartsWith(path, "/dev/ttyS")) {
        return "No serial port at " + shown + ": for a USB adapter set " + variable +
               "=/dev/ttyUSB0 (see ls /dev/ttyUSB* /dev/ttyACM*).";
    }
    return "No serial port at " + shown + ": plug the adapter in, or set " + variable +
           " to its device (see ls /dev/ttyUSB* /dev/ttyACM*).";
}

}  // namespace

std::string OpenFailureHint(SysCalls& sys, int error, std::string_view path, PortKind kind,
                            std::string_view portName) {
    if (error == 0)
        return {};
    const std::string variable = HintVariable(portName);
    const std::string shown = Shown(path);
    std::string hint;
    if (path.empty()) {
        hint = "No device is known for the port name '" + Shown(portName.substr(0, kMaxPathShown)) +
               "': the serial ports are COM1 to COM256 and ttys by their paths.";
    } else if (error == EACCES || error == EPERM) {
        hint = NoPermission(sys, shown, path);
    } else if ((error == EBUSY || error == EWOULDBLOCK) && kind == PortKind::Gpio) {
        hint = "A line of " + shown + " is used by another program or driver: choose other lines.";
    } else if (error == EBUSY || error == EWOULDBLOCK) {
        hint = kind == PortKind::Serial
                   ? shown +
                         " is in use by another program (a modem manager, a terminal, another "
                         "Ostrel): close it and try again."
                   : shown +
                         " is in use by another program (a printer queue, another Ostrel): "
                         "close it and try again.";
    } else if (error == ENOENT || error == ENODEV || error == ENXIO || error == EIO) {
        // A /dev/ttyS node without a UART behind it refuses to open with EIO.
        hint = Missing(shown, path, kind, variable);
    } else if (error == ENOTTY && kind == PortKind::Gpio) {
        hint = shown + " is not a GPIO chip: name a /dev/gpiochipN with --gpio (see gpiodetect).";
    } else if (error == ENOTTY) {
        hint = shown +
               (kind == PortKind::Serial
                    ? " is not a serial port: set " + variable + " to a tty device."
                    : " is not a parallel port: set " + variable + " to a /dev/parportN device.");
    } else {
        hint = "Cannot open " + shown + ": " + std::strerror(error) + ".";
    }
    if (hint.size() > kMaxHintLength)
        hint.resize(kMaxHintLength);
    return hint;
}

}  // namespace ostrel
