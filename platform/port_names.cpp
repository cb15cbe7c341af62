#include "platform/port_names.h"

#include <array>
#include <cstdlib>

namespace ostrel {

namespace {

struct ParallelDefault {
    uint16_t base;
    std::string_view name;
    std::string_view path;
};

constexpr std::array<ParallelDefault, 3> kParallelDefaults{{
    {0x378, "0378", "/dev/parport0"},
    {0x278, "0278", "/dev/parport1"},
    {0x3BC, "03BC", "/dev/parport2"},
}};

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The number 1..256 of a name "COM1".."COM256" (any letter case, no leading
// zero), or 0.
int ComNumber(std::string_view name) {
    if (name.size() < 4 || name.size() > 6)
        return 0;
    if (Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M')
        return 0;
    if (name[3] == '0')
        return 0;
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n <= kHighestComNumber ? n : 0;
}

bool HasFtdiPrefix(std::string_view name) {
    if (name.size() < kFtdiPortPrefix.size())
        return false;
    for (std::size_t i = 0; i < kFtdiPortPrefix.size(); ++i) {
        if (Upper(name[i]) != Upper(kFtdiPortPrefix[i]))
            return false;
    }
    return true;
}

std::optional<std::string> Override(std::string_view canonicalName,
                                    const EnvironmentLookup& environment) {
    if (!environment)
        return std::nullopt;
    std::optional<std::string> value = environment(OverrideVariable(canonicalName));
    if (value && value->empty())
        return std::nullopt;
    return value;
}

}  // namespace

EnvironmentLookup ProcessEnvironment() {
    return [](std::string_view name) -> std::optional<std::string> {
        const char* value = std::getenv(std::string(name).c_str());
        if (value == nullptr)
            return std::nullopt;
        return std::string(value);
    };
}

std::string OverrideVariable(std::string_view portName) {
    std::string canonical;
    if (int n = ComNumber(portName); n != 0) {
        canonical = "COM" + std::to_string(n);
    } else {
        for (const ParallelDefault& d : kParallelDefaults) {
            if (portName.size() != d.name.size())
                continue;
            bool same = true;
            for (std::size_t i = 0; i < portName.size(); ++i) {
                if (Upper(portName[i]) != d.name[i])
                    same = false;
            }
            if (same)
                canonical = d.name;
        }
    }
    if (canonical.empty())
        return {};
    return "OSTREL_PORT_" + canonical;
}

std::string_view ParallelPortName(uint16_t base) {
    for (const ParallelDefault& d : kParallelDefaults) {
        if (d.base == base)
            return d.name;
    }
    return {};
}

std::optional<std::string> SerialDevicePath(std::string_view comName,
                                            const EnvironmentLookup& environment, PathStyle style) {
    // A port named by its device (a tty path, an FTDI adapter by its serial
    // number) is that device.
    if (IsDeviceNamedPort(comName, style))
        return std::string(comName);
    int n = ComNumber(comName);
    if (n == 0)
        return std::nullopt;
    if (style == PathStyle::Windows) {
        // Windows opens COM10 and above only by their device name; a bare
        // "COMn" of the variable is given that form.
        std::string device = Override(comName, environment).value_or("COM" + std::to_string(n));
        if (device.find_first_of("\\/") == std::string::npos)
            device = "\\\\.\\" + device;
        return device;
    }
    if (auto overridden = Override(comName, environment))
        return overridden;
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::vector<PortDevice> ListPortDevices(const EnvironmentLookup& environment, PathStyle style) {
    std::vector<PortDevice> list;
    auto add = [&](std::string name, std::string device) {
        PortDevice entry;
        entry.variable = OverrideVariable(name);
        entry.overridden = Override(name, environment).has_value();
        entry.name = std::move(name);
        entry.device = std::move(device);
        list.push_back(std::move(entry));
    };
    for (uint16_t base : {0x278, 0x378, 0x3BC}) {
        add(std::string(ParallelPortName(base)),
            ParallelDevicePath(base, environment, style).value_or(""));
    }
    for (int n = 1; n <= 8; ++n) {
        std::string name = "COM" + std::to_string(n);
        add(name, SerialDevicePath(name, environment, style).value_or(""));
    }
    return list;
}

std::optional<std::string> ParallelDevicePath(uint16_t base, const EnvironmentLookup& environment,
                                              PathStyle style) {
    for (const ParallelDefault& d : kParallelDefaults) {
        if (d.base != base)
            continue;
        // Windows reaches the port at its address, through the port driver.
        if (style == PathStyle::Windows)
            return "I/O " + std::string(d.name);
        if (auto overridden = Override(d.name, environment))
            return overridden;
        return std::string(d.path);
    }
    return std::nullopt;
}

std::string CanonicalPortName(std::string_view name, const EnvironmentLookup& environment,
                              PathStyle style) {
    auto upper = [](std::string_view text) {
        std::string out(text);
        for (char& c : out)
            c = Upper(c);
        return out;
    };
    if (name.empty() || name.size() > kMaxPortNameLength)
        return {};
    const std::string upperName = upper(name);
    if (int n = ComNumber(name); n != 0)
        return "COM" + std::to_string(n);
    for (std::string_view known : {"SIM", "GPIO", "0278", "0378", "03BC"}) {
        if (upperName == known)
            return std::string(known);
    }
    // A device path: Linux's are case-sensitive, Windows' are not.
    for (const PortDevice& port : ListPortDevices(environment, style)) {
        if (port.device.empty())
            continue;
        if (port.device == name || (style == PathStyle::Windows && upper(port.device) == upperName))
            return port.name;
    }
    if (style == PathStyle::Windows) {
        // \\.\COMn, the form Windows opens every COM port by.
        constexpr std::string_view kDevicePrefix = "\\\\.\\";
        if (upperName.rfind(kDevicePrefix, 0) == 0) {
            if (int n = ComNumber(std::string_view(upperName).substr(kDevicePrefix.size())); n != 0)
                return "COM" + std::to_string(n);
        }
    } else if (HasFtdiPrefix(name)) {
        // The prefix in any case; the serial number as the adapter has it.
        return std::string(kFtdiPortPrefix) + std::string(name.substr(kFtdiPortPrefix.size()));
    }
    // Any other tty on Linux is a serial port of its own, named by its path.
    // A parallel port device is reached only through one of the three
    // parallel names, which its variable can point at.
    if (style != PathStyle::Windows && name.front() == '/' && name.rfind("/dev/parport", 0) != 0)
        return std::string(name);
    return {};
}

bool IsDeviceNamedPort(std::string_view name, PathStyle style) {
    if (style == PathStyle::Windows || name.empty() || name.size() > kMaxPortNameLength)
        return false;
    // Printable characters only: a name read from a damaged file is no path.
    for (char c : name) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return name.front() == '/' || name.rfind(kFtdiPortPrefix, 0) == 0;
}

bool IsSerialPortName(std::string_view name, PathStyle style) {
    if (name.size() > kMaxPortNameLength)
        return false;
    if (IsDeviceNamedPort(name, style))
        return true;
    int n = ComNumber(name);
    return n != 0 && name == "COM" + std::to_string(n);
}

bool SerialOpenAttempt::Begin(std::string_view comName, const EnvironmentLookup& environment,
                              PathStyle style) {
    portName = std::string(comName);
    note.clear();
    std::optional<std::string> device = SerialDevicePath(comName, environment, style);
    path = device.value_or(std::string());
    return device.has_value();
}

long ComPortNumberOf(std::string_view device) {
    if (device.substr(0, 4) == "\\\\.\\")
        device.remove_prefix(4);
    return ComNumber(device);
}

std::string HintVariable(std::string_view portName) {
    std::string variable = OverrideVariable(portName);
    return variable.empty() ? std::string("OSTREL_PORT_<name>") : variable;
}

std::string ShownInHint(std::string_view text, std::size_t maxShown) {
    std::string shown = text.size() <= maxShown || maxShown < 3
                            ? std::string(text)
                            : "..." + std::string(text.substr(text.size() - (maxShown - 3)));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return shown;
}

}  // namespace ostrel
