#include "ui/menu.h"

#include <algorithm>
#include <array>

#include "core/ids.h"
#include "sim/chip_clock.h"
#include "sim/chip_table.h"

namespace ostrel::ui {

namespace {

using M = MenuKind;

constexpr std::array kMainMenu = {
    MenuEntry{M::Menu, "File"},
    MenuEntry{M::Item, "Open", ids::kFileOpen},
    MenuEntry{M::Item, "Open Start Folder", ids::kOpenStartFolder},
    MenuEntry{M::Item, "Exit", ids::kExit, true},
    MenuEntry{M::EndMenu},

    MenuEntry{M::Menu, "Port"},
    MenuEntry{M::FoundPorts},
    MenuEntry{M::CheckItem, "PP 0278", ids::kPort0278},
    MenuEntry{M::CheckItem, "PP 0378", ids::kPort0378},
    MenuEntry{M::CheckItem, "PP 03BC", ids::kPort03BC},
    MenuEntry{M::CheckItem, "COM1", ids::kCom1, false, false, true},
    MenuEntry{M::CheckItem, "COM2", ids::kCom2, false, false, true},
    MenuEntry{M::CheckItem, "COM3", ids::kCom3, false, false, true},
    MenuEntry{M::CheckItem, "COM4", ids::kCom4, false, false, true},
    MenuEntry{M::CheckItem, "COM5", ids::kCom5, false, false, true},
    MenuEntry{M::CheckItem, "COM6", ids::kCom6, false, false, true},
    MenuEntry{M::CheckItem, "COM7", ids::kCom7, false, false, true},
    MenuEntry{M::CheckItem, "COM8", ids::kCom8, false, false, true},
    MenuEntry{M::CheckItem, "GPIO Lines", ids::kPortGpio, false, true},
    MenuEntry{M::CheckItem, "Modem Lines Only (no FTDI bit-bang)", ids::kModemLinesOnly},
    MenuEntry{M::Separator},
    MenuEntry{M::CheckMenu, "Simulator", ids::kPortSimulator},
    MenuEntry{M::Menu, "Chip Clock"},
    MenuEntry{M::SimulatorClocks},
    MenuEntry{M::EndMenu},
    MenuEntry{M::Separator},
    MenuEntry{M::SimulatorChips},
    MenuEntry{M::EndMenu},
    MenuEntry{M::Separator},
    MenuEntry{M::Item, "Cable Test", ids::kCableTest},
    MenuEntry{M::EndMenu},

    MenuEntry{M::Menu, "Memory"},
    MenuEntry{M::Item, "Disable Codeprotection (Erase all)", ids::kEraseAll},
    MenuEntry{M::Item, "Bulk Erase Data", ids::kBulkEraseData},
    MenuEntry{M::Item, "Data Window", ids::kDataWindow},
    MenuEntry{M::EndMenu},

    MenuEntry{M::Menu, "FuseBits"},
    MenuEntry{M::Item, "Serial Programming Instructions", ids::kFuseBits},
    MenuEntry{M::Item, "Fuses", ids::kFuses},
    MenuEntry{M::EndMenu},

    MenuEntry{M::Menu, "Options"},
    MenuEntry{M::Menu, "Speed"},
    MenuEntry{M::CheckItem, "very low", ids::kSpeedVeryLow},
    MenuEntry{M::CheckItem, "Low", ids::kSpeedLow},
    MenuEntry{M::CheckItem, "Medium", ids::kSpeedMedium},
    MenuEntry{M::CheckItem, "High", ids::kSpeedHigh},
    MenuEntry{M::CheckItem, "Auto", ids::kSpeedAuto},
    MenuEntry{M::EndMenu},
    MenuEntry{M::CheckItem, "Program eep- after hexfile", ids::kProgramEepAfterHex},
    MenuEntry{M::Item, "Read Signature Bytes", ids::kReadSignature},
    MenuEntry{M::Item, "Readback INHX format", ids::kReadbackInhx},
    MenuEntry{M::EndMenu},

    MenuEntry{M::Menu, "Help"},
    MenuEntry{M::Item, "Help Topics", ids::kHelpTopics},
    MenuEntry{M::Item, "Look for new version", ids::kNewVersion},
    MenuEntry{M::Item, "About...", ids::kAbout},
    MenuEntry{M::Separator},
    MenuEntry{M::Item, "Wiring Picture", ids::kWiringPicture},
    MenuEntry{M::EndMenu},
};

// The factory clock first (its text names the chosen chip's), then the
// usual crystals and the slow clocks that need a slow programming speed.
constexpr std::array<uint32_t, 8> kClockChoices = {0,       32768,   128000,   1000000,
                                                   4000000, 8000000, 16000000, 20000000};

}  // namespace

std::span<const MenuEntry> MainMenu() {
    return kMainMenu;
}

std::vector<ShownMenuEntry> ShownMainMenu(const MenuMachine& machine) {
    std::vector<ShownMenuEntry> shown;
    for (const MenuEntry& entry : kMainMenu) {
        if (entry.onlyWithGpio && !machine.gpio)
            continue;
        if (entry.kind == M::FoundPorts) {
            const std::size_t count =
                std::min(machine.found.size(), static_cast<std::size_t>(ids::kMaxFoundPorts));
            for (std::size_t i = 0; i < count; ++i) {
                shown.push_back({M::CheckItem, machine.found[i].text,
                                 ids::kFirstFoundPort + static_cast<int>(i)});
            }
            if (count != 0)
                shown.push_back({M::Separator, {}});
            continue;
        }
        if (entry.kind == M::SimulatorClocks) {
            for (uint32_t hz : kClockChoices)
                shown.push_back({M::ClockItem, ClockItemText(hz), 0, false, hz});
            continue;
        }
        if (entry.kind == M::SimulatorChips) {
            for (const sim::ChipInfo& chip : sim::AllChips())
                shown.push_back({M::ChipItem, std::string(chip.name)});
            continue;
        }
        std::string text = entry.text;
        if (entry.markIfAbsent && machine.portsSearched &&
            std::none_of(machine.found.begin(), machine.found.end(),
                         [&](const FoundPort& port) { return port.name == entry.text; }))
            text += kNoDeviceMark;
        shown.push_back({entry.kind, std::move(text), entry.command, entry.whileBusy});
    }
    return shown;
}

bool MenuCommandWhileBusy(int command) {
    return std::any_of(kMainMenu.begin(), kMainMenu.end(), [command](const MenuEntry& entry) {
        return entry.command == command && entry.whileBusy;
    });
}

std::string FactoryClockText(uint32_t factoryHz) {
    return "Factory clock (" + sim::ClockText(factoryHz) + ")";
}

std::string ClockItemText(uint32_t hz) {
    return hz == 0 ? std::string("Factory clock") : sim::ClockText(hz);
}

std::span<const uint32_t> SimulatorClockChoices() {
    return kClockChoices;
}

}  // namespace ostrel::ui
