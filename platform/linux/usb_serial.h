// USB-serial adapters behind a serial port name.
//
// The cable is clocked by switching modem lines one at a time. On a port of
// the main board each change is a register write; on a USB-serial adapter it
// is a USB control request, a millisecond or more, so a write takes minutes.
// Some drivers also answer the status read from the last interrupt report
// rather than asking the device, so a MISO read can be stale.
//
// The kernel shows which device sits behind a tty in sysfs:
// <sysfs>/class/tty/<name>/device resolves into the device tree, through a
// USB bus (".../usb1/1-2/1-2:1.0/ttyUSB0") for a USB adapter, and its
// "driver" link names the driver (ftdi_sio, cp210x, ch341, pl2303, cdc_acm).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ftdi_bit_bang.h"

namespace ostrel {

struct UsbSerialAdapter {
    std::string tty;     // the tty's name, "ttyUSB0"
    std::string driver;  // the kernel driver, "ftdi_sio"; empty when sysfs does not say
    // The USB device the tty belongs to, as sysfs describes it (0 or empty
    // where it does not say): its place on the bus, its ids, the release
    // number that tells one FTDI chip from another (bcdDevice), its serial
    // number, and the number of the tty's interface on it.
    int busnum = 0;
    int devnum = 0;
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint16_t release = 0;
    std::string serial = {};
    int interfaceNumber = 0;
};

// The FTDI chips whose synchronous bit-bang mode Ostrel uses, told apart by
// their release number (bcdDevice) whatever ids the maker gave them: the
// FT232R (0x0600; 128 bytes of receive buffer) and the FT-X series, FT230X,
// FT231X, FT234X (0x1000; 512 bytes). The older FT232AM and FT232BM have no
// synchronous mode; the high-speed FT2232H, FT4232H and FT232H are not
// supported here.
FtdiBitBangKind BitBangChipOf(const UsbSerialAdapter& adapter);

// The adapter behind a device path, when it is a USB one. A path that is a
// symbolic link (/dev/serial/by-id/...) is followed to the tty it names.
// `sysfsRoot` is "/sys" on a running system. Anything unreadable or odd in
// sysfs counts as "not USB".
std::optional<UsbSerialAdapter> FindUsbSerialAdapter(std::string_view devicePath,
                                                     const std::filesystem::path& sysfsRoot);

// True for the drivers whose modem status read gives a cached value.
bool ReportsCachedModemStatus(std::string_view driver);

// The line that tells the user, once per port open, that `portName` is a USB
// adapter and what that means for programming. At most 150 characters.
std::string UsbSerialNote(const UsbSerialAdapter& adapter, std::string_view portName);

}  // namespace ostrel
