// Which device stands behind each port name of the programmer.
//
// Defaults on Linux:
//   "COM1".."COM8"         /dev/ttyS0../dev/ttyS7
//   0x378 ("0378")         /dev/parport0
//   0x278 ("0278")         /dev/parport1
//   0x3BC ("03BC")         /dev/parport2
// On Windows "COM1".."COM8" are the devices \\.\COM1..\\.\COM8, and a
// parallel port is its I/O address, reached through the port driver.
// Each can be replaced by an environment variable named after the port:
// OSTREL_PORT_COM1 .. OSTREL_PORT_COM8, OSTREL_PORT_0378, OSTREL_PORT_0278,
// OSTREL_PORT_03BC (for example OSTREL_PORT_COM3=/dev/ttyUSB0 on Linux, or
// OSTREL_PORT_COM3=COM12 on Windows for an adapter that got a number above 8).
// A variable that is set but empty counts as not set. Any other name or base
// has no device.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/programmer_state.h"
#include "platform/paths.h"

namespace ostrel {

// Windows numbers its COM ports up to COM256.
inline constexpr int kHighestComNumber = 256;
// "ftdi:SERIAL": an FTDI adapter by its USB serial number ("ftdi:" alone:
// the first one found).
inline constexpr std::string_view kFtdiPortPrefix = "ftdi:";

// Reads one environment variable; no value when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The process environment.
EnvironmentLookup ProcessEnvironment();

// The variable that overrides the device of a port: "OSTREL_PORT_" and the
// port's name. Empty when the name is not one of the known ports.
std::string OverrideVariable(std::string_view portName);
// The variable a hint names for `portName`: its own, or the pattern of all
// of them for a name that has none.
std::string HintVariable(std::string_view portName);

// The four-digit name of a parallel base address ("0378", "0278", "03BC");
// empty for any other address.
std::string_view ParallelPortName(uint16_t base);

// Device path of a serial port name: "COM1".."COM256" in any letter case
// (COM9 and above on Linux are /dev/ttyS8 on), or a port named by its device
// on Linux, which is that device.
std::optional<std::string> SerialDevicePath(std::string_view comName,
                                            const EnvironmentLookup& environment,
                                            PathStyle style = NativePathStyle());

// Device path of the parallel port at a base address.
std::optional<std::string> ParallelDevicePath(uint16_t base, const EnvironmentLookup& environment,
                                              PathStyle style = NativePathStyle());

// What a serial port backend keeps of its last open attempt, for the advice
// after a failure: the name asked for, the device it stands for, and the
// line for the user (after success, what the port is, or nothing).
struct SerialOpenAttempt {
    std::string portName;
    std::string path;
    std::string note;
    // Begins an attempt at `comName`: the last one is forgotten and the
    // device found (SerialDevicePath). False when the name stands for none.
    bool Begin(std::string_view comName, const EnvironmentLookup& environment,
               PathStyle style = NativePathStyle());
};

// One port name with the device it stands for now.
struct PortDevice {
    std::string name;         // "COM1".."COM8", "0378", "0278", "03BC"
    std::string device;       // "/dev/ttyS0", or the override's value
    std::string variable;     // the variable that overrides it, "OSTREL_PORT_COM1"
    bool overridden = false;  // the variable is set
};

// Every port name in the Port menu's order (0278, 0378, 03BC, COM1..COM8)
// with its device, overrides applied; for the console's help and the Port
// menu.
std::vector<PortDevice> ListPortDevices(const EnvironmentLookup& environment,
                                        PathStyle style = NativePathStyle());

// The port name that `name` stands for, as users write it: a name in any
// letter case ("com3", "sim", "gpio", "03bc"), or the device of one of the
// ports, overrides applied (/dev/ttyS0 for COM1, /dev/parport0 for 0378,
// /dev/ttyUSB0 where OSTREL_PORT_COM3 names it; \\.\COM2 on Windows, in any
// letter case there). Further serial ports: COM9..COM256 ("COMn"), and on
// Windows \\.\COMn for any of them; on Linux any other absolute path
// (/dev/ttyUSB0, kept as written) but a parallel port device's, and
// "ftdi:SERIAL". Empty for any other name and for a name longer than
// kMaxPortNameLength.
std::string CanonicalPortName(std::string_view name, const EnvironmentLookup& environment,
                              PathStyle style = NativePathStyle());

// A port name that is its own device: on Linux an absolute path or an FTDI
// adapter by serial number.
bool IsDeviceNamedPort(std::string_view name, PathStyle style = NativePathStyle());

// A serial port name in the form CanonicalPortName gives it: "COM1".."COM256"
// or a port named by its device.
bool IsSerialPortName(std::string_view name, PathStyle style = NativePathStyle());

// The number of a COM port's device: "COM12", "com3" and the form Windows
// opens them by, "\\.\COM5", give 12, 3, 5 (COM1..COM256, no leading
// zero); 0 for anything else.
long ComPortNumberOf(std::string_view device);

// A port name or a device path as a hint shows it: a longer one keeps its
// last `maxShown` characters after "..." (the device's own name is there),
// and control characters (a line break in a variable's value) become '?'.
std::string ShownInHint(std::string_view text, std::size_t maxShown);

}  // namespace ostrel
