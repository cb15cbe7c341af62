#include "platform/linux/found_ports.h"

#include <algorithm>
#include <fstream>
#include <string>

#include "platform/gpio_wiring.h"
#include "platform/linux/gpio_lines.h"
#include "platform/linux/usb_serial.h"

namespace ostrel {

namespace fs = std::filesystem;

namespace {

// ttyS2 before ttyS10: by the name without its number, then the number.
bool TtyOrder(const std::string& a, const std::string& b) {
    auto split = [](const std::string& name) {
        std::size_t digits = name.find_last_not_of("0123456789") + 1;
        long number = digits < name.size() ? std::stol(name.substr(digits, 9)) : -1;
        return std::make_pair(name.substr(0, digits), number);
    };
    return split(a) < split(b);
}

// A ttyS of the serial driver exists for every port the driver could have;
// only one whose UART was found has a type other than 0 (PORT_UNKNOWN).
bool UartAnswers(const fs::path& ttyEntry) {
    std::ifstream in(ttyEntry / "type");
    std::string type;
    return in && std::getline(in, type) && !type.empty() && type != "0";
}

// The lines a found chip is chosen with: the default wiring's lines on that
// chip. A header chip is named as the header's chip, which stays right when
// its number changes; another by its label where that reads back as the
// same chip and fits the settings file, else by its number.
std::string ChipLines(const GpioLines::Chip& chip, const std::vector<GpioLines::Chip>& chips) {
    constexpr std::size_t kStoredLength = 18;  // the settings file's field
    const std::string_view defaults = kDefaultGpioWiring;
    const std::string_view lines = defaults.substr(defaults.find(':'));
    for (std::string_view header : kHeaderChipLabels) {
        if (chip.label == header)
            return std::string(kHeaderChip) + std::string(lines);
    }
    const std::string byLabel = chip.label + std::string(lines);
    GpioWiring wiring;
    std::string problem;
    const auto sameLabel = std::count_if(chips.begin(), chips.end(), [&](const GpioLines::Chip& c) {
        return c.label == chip.label;
    });
    if (sameLabel == 1 && byLabel.size() <= kStoredLength &&
        ParseGpioWiring(byLabel, &wiring, &problem) && GpioChipIsLabel(wiring) &&
        wiring.chip == chip.label)
        return byLabel;
    return chip.path.substr(chip.path.find_first_of("0123456789")) + std::string(lines);
}

}  // namespace

std::vector<FoundPort> FindLinuxPorts(const fs::path& sysfsRoot, const fs::path& devRoot,
                                      const EnvironmentLookup& environment, SysCalls& sys) {
    std::vector<std::string> ttys;
    std::error_code error;
    for (fs::directory_iterator it(sysfsRoot / "class" / "tty", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code linkError;
        // Virtual consoles and pseudo terminals have no device behind them.
        fs::path device = fs::canonical(it->path() / "device", linkError);
        if (linkError || name.size() > 32)
            continue;
        if (name.rfind("ttyS", 0) == 0 && !UartAnswers(it->path()))
            continue;
        ttys.push_back(name);
    }
    std::sort(ttys.begin(), ttys.end(), TtyOrder);

    std::vector<FoundPort> found;
    std::vector<FoundPort> adapters;
    for (const std::string& tty : ttys) {
        const std::string path = "/dev/" + tty;
        FoundPort port;
        port.name = CanonicalPortName(path, environment, PathStyle::Posix);
        if (port.name.empty())
            continue;
        port.text = port.name == path ? path : port.name + " (" + path + ")";
        if (std::optional<UsbSerialAdapter> usb = FindUsbSerialAdapter(path, sysfsRoot)) {
            if (!usb->driver.empty())
                port.text += ", USB " + usb->driver;
            const FtdiBitBangKind chip = BitBangChipOf(*usb);
            if (chip != FtdiBitBangKind::None && !usb->serial.empty()) {
                adapters.push_back({std::string(kFtdiPortPrefix) + usb->serial,
                                    "FTDI " + std::string(FtdiChipName(chip)) + " " + usb->serial});
            }
        }
        found.push_back(std::move(port));
    }
    found.insert(found.end(), adapters.begin(), adapters.end());

    std::vector<std::string> parports;
    for (fs::directory_iterator it(devRoot, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 16)
            continue;
        if (name.rfind("parport", 0) == 0)
            parports.push_back(name);
    }
    std::sort(parports.begin(), parports.end(), TtyOrder);
    // A parallel port device is listed under the parallel name it is the
    // device of; one that is none of theirs cannot be chosen.
    for (const std::string& parport : parports) {
        const std::string path = "/dev/" + parport;
        const std::string name = CanonicalPortName(path, environment, PathStyle::Posix);
        if (!name.empty())
            found.push_back({name, "PP " + name + " (" + path + ")"});
    }
    const std::vector<GpioLines::Chip> chips = GpioLines::ListChips(sys);
    for (const GpioLines::Chip& chip : chips) {
        const std::string device = chip.path.substr(chip.path.rfind('/') + 1);
        std::string label = chip.label.empty() ? device : chip.label;
        // A label is the chip's own text: nothing of it may upset the menu.
        for (char& c : label) {
            if (static_cast<unsigned char>(c) < 0x20 || c == '&' || c == 0x7f)
                c = '?';
        }
        found.push_back({"GPIO", "GPIO " + label + " (" + device + ")", ChipLines(chip, chips)});
    }
    return found;
}

}  // namespace ostrel
