// The main window's menu as a table, free of any toolkit: the top-level
// entries in their order, their items with the command each sends, check
// marks, separators and submenus. A renderer walks it once; the parts that
// depend on the program's data (the simulator's chips and clocks) are marked
// where they go and listed by the functions below.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/port_access.h"

namespace ostrel::ui {

enum class MenuKind {
    Menu,  // opens a submenu (on the bar at the top level); EndMenu closes it
    EndMenu,
    Item,       // sends `command`
    CheckItem,  // sends `command`; the program sets its check mark
    Separator,
    BarCommand,  // an entry of the bar itself that sends `command` (no submenu)
    // Port > Simulator: a submenu whose entry carries a check mark of its own
    // (command: the simulator's port) while the simulator is the port.
    CheckMenu,
    SimulatorClocks,  // here: one check item per SimulatorClockChoices() entry
    SimulatorChips,   // here: one check item per chip of the simulator's table
    // here: one check item per port found on this machine (the command
    // ids::kFirstFoundPort + its index), then a separator when there is one
    FoundPorts,
    // Only in the shown menu, where the table has SimulatorClocks and
    // SimulatorChips: one check item per clock (`hz`, 0 the factory clock)
    // and one per chip (its text the chip's name).
    ClockItem,
    ChipItem,
};

struct MenuEntry {
    MenuKind kind;
    const char* text = "";
    int command = 0;
    // While a command runs every entry that sends a command is disabled, but
    // for these (Exit: it asks whether to stop the command and quit).
    bool whileBusy = false;
    // Shown only where the machine has a GPIO chip (GpioChipsPresent).
    bool onlyWithGpio = false;
    // A fixed port item (its text is the port's name), marked where the
    // ports were looked for and none of that name was found.
    bool markIfAbsent = false;
};

std::span<const MenuEntry> MainMenu();

// What the menu shows of this machine.
struct MenuMachine {
    std::vector<FoundPort> found;  // the ports found, in the Port menu's order
    bool portsSearched = false;    // they were looked for: a fixed port not found is marked
    bool gpio = false;             // the machine has GPIO lines the program can drive
};

// Follows the text of a fixed port item that has no device on this machine.
inline constexpr std::string_view kNoDeviceMark = " (no device)";

// One entry as a window shows it: the table's, with the ports found put in
// at FoundPorts, the simulator's clocks and chips at their places (ClockItem,
// ChipItem), fixed ports without a device marked, and what the machine has
// no use for (GPIO Lines without GPIO) left out. Both desktop programs walk
// this list, never the table itself.
struct ShownMenuEntry {
    MenuKind kind;
    std::string text;
    int command = 0;
    bool whileBusy = false;
    uint32_t hz = 0;  // a ClockItem's clock
};
std::vector<ShownMenuEntry> ShownMainMenu(const MenuMachine& machine);

// The one walk over a shown menu: a stack of the menus being filled, `bar`
// at its bottom. A Menu or CheckMenu entry opens the menu `submenu(parent,
// entry)` returns, which takes the entries up to its EndMenu; an EndMenu
// with no menu open is passed over. Separators go to `separator(parent)`,
// the entries that send a command (Item, CheckItem, BarCommand, ClockItem,
// ChipItem) to `command(parent, entry)`; the table's placeholders, already
// put in their place by ShownMainMenu, go nowhere.
template <class Menu, class Submenu, class Command, class Separator>
void WalkMenu(const std::vector<ShownMenuEntry>& shown, Menu bar, Submenu&& submenu,
              Command&& command, Separator&& separator) {
    std::vector<Menu> open;
    for (const ShownMenuEntry& entry : shown) {
        const Menu parent = open.empty() ? bar : open.back();
        switch (entry.kind) {
            case MenuKind::Menu:
            case MenuKind::CheckMenu:
                open.push_back(submenu(parent, entry));
                break;
            case MenuKind::EndMenu:
                if (!open.empty())
                    open.pop_back();
                break;
            case MenuKind::Separator:
                separator(parent);
                break;
            case MenuKind::Item:
            case MenuKind::CheckItem:
            case MenuKind::BarCommand:
            case MenuKind::ClockItem:
            case MenuKind::ChipItem:
                command(parent, entry);
                break;
            case MenuKind::SimulatorClocks:
            case MenuKind::SimulatorChips:
            case MenuKind::FoundPorts:
                break;
        }
    }
}

// Whether the menu item of `command` stays enabled while a command runs
// (MenuEntry::whileBusy).
bool MenuCommandWhileBusy(int command);

// The factory clock's item once the chosen chip's factory clock is known,
// and the text of a clock's item.
std::string FactoryClockText(uint32_t factoryHz);
std::string ClockItemText(uint32_t hz);

// The clocks offered in Port > Simulator > Chip Clock, in Hz, in their order;
// 0 stands for the chosen chip's factory clock.
std::span<const uint32_t> SimulatorClockChoices();

}  // namespace ostrel::ui
