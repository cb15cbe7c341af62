#include "platform/linux/usb_serial.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace ostrel {

namespace fs = std::filesystem;

namespace {

// The tty a device path names, following symbolic links a few steps (a
// dangling link still names its tty).
std::string TtyName(std::string_view devicePath) {
    fs::path path(devicePath);
    for (int step = 0; step < 8; ++step) {
        std::error_code error;
        if (!fs::is_symlink(path, error))
            break;
        fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path.filename().string();
}

// A component "usb1", "usb2", ...: the root hub of a USB bus.
bool IsUsbBus(const std::string& component) {
    if (component.size() < 4 || component.compare(0, 3, "usb") != 0)
        return false;
    for (std::size_t i = 3; i < component.size(); ++i) {
        if (component[i] < '0' || component[i] > '9')
            return false;
    }
    return true;
}

// The first line of a small sysfs attribute file; empty when unreadable.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    if (line.size() > 64)
        line.resize(64);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

// An attribute as a number in `base`; 0 when missing or not a number.
long NumberAttribute(const fs::path& file, int base) {
    const std::string text = Attribute(file);
    if (text.empty())
        return 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    return end != nullptr && *end == '\0' && value >= 0 ? value : 0;
}

// Reads the USB device's attributes: from the tty's device up to the
// interface (which has bInterfaceNumber) and the device above it (idVendor).
void ReadUsbDevice(const fs::path& device, UsbSerialAdapter& adapter) {
    std::error_code error;
    fs::path at = device;
    for (int step = 0; step < 4 && !at.empty(); ++step, at = at.parent_path()) {
        if (fs::exists(at / "bInterfaceNumber", error))
            adapter.interfaceNumber =
                static_cast<int>(NumberAttribute(at / "bInterfaceNumber", 16));
        if (!fs::exists(at / "idVendor", error))
            continue;
        adapter.busnum = static_cast<int>(NumberAttribute(at / "busnum", 10));
        adapter.devnum = static_cast<int>(NumberAttribute(at / "devnum", 10));
        adapter.vendor = static_cast<uint16_t>(NumberAttribute(at / "idVendor", 16));
        adapter.product = static_cast<uint16_t>(NumberAttribute(at / "idProduct", 16));
        adapter.release = static_cast<uint16_t>(NumberAttribute(at / "bcdDevice", 16));
        adapter.serial = Attribute(at / "serial");
        return;
    }
}

}  // namespace

FtdiBitBangKind BitBangChipOf(const UsbSerialAdapter& adapter) {
    if (adapter.driver != "ftdi_sio" || adapter.busnum <= 0 || adapter.devnum <= 0)
        return FtdiBitBangKind::None;
    switch (adapter.release) {
        case 0x0600:
            return FtdiBitBangKind::Ft232r;
        case 0x1000:
            return FtdiBitBangKind::FtX;
        default:
            return FtdiBitBangKind::None;
    }
}

std::optional<UsbSerialAdapter> FindUsbSerialAdapter(std::string_view devicePath,
                                                     const fs::path& sysfsRoot) {
    std::string tty = TtyName(devicePath);
    if (tty.empty() || tty == "." || tty == "..")
        return std::nullopt;
    std::error_code error;
    fs::path device = fs::canonical(sysfsRoot / "class" / "tty" / tty / "device", error);
    if (error)
        return std::nullopt;
    bool usb = false;
    for (const fs::path& component : device) {
        if (IsUsbBus(component.string()))
            usb = true;
    }
    if (!usb)
        return std::nullopt;
    UsbSerialAdapter adapter;
    adapter.tty = tty;
    fs::path driver = fs::read_symlink(device / "driver", error);
    if (!error)
        adapter.driver = driver.filename().string();
    ReadUsbDevice(device, adapter);
    return adapter;
}

bool ReportsCachedModemStatus(std::string_view driver) {
    // These drivers keep the status lines from the device's interrupt
    // reports and answer TIOCMGET from that copy; ftdi_sio and cp210x ask
    // the device at each read.
    constexpr std::array<std::string_view, 3> kCached{"ch341", "pl2303", "cdc_acm"};
    for (std::string_view name : kCached) {
        if (driver == name)
            return true;
    }
    return false;
}

std::string UsbSerialNote(const UsbSerialAdapter& adapter, std::string_view portName) {
    std::string driver = adapter.driver.empty() ? "" : " (" + adapter.driver.substr(0, 24) + ")";
    // A port named by a long path is shown by its tty's name, so the note
    // stays one line.
    constexpr std::size_t kShownName = 12;
    const std::string shown(portName.size() <= kShownName
                                ? portName
                                : std::string_view(adapter.tty).substr(0, kShownName));
    std::string note = shown + " is a USB-serial adapter" + driver;
    if (ReportsCachedModemStatus(adapter.driver)) {
        note +=
            ": slow, each line change is a USB request; unreliable, its modem status "
            "may be stale";
    } else {
        note += ": each line change is a USB request, so programming is slow";
    }
    return note;
}

}  // namespace ostrel
