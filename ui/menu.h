// The main window's menu as a table, free of any toolkit: the top-level
// entries in their order, their items with the command each sends, check
// marks, separators and submenus. A renderer walks it once; the parts that
// depend on the program's data (the simulator's chips and clocks) are marked
// where they go and listed by the functions below.
#pragma once

#include <cstdint>
#include <span>

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
};

struct MenuEntry {
    MenuKind kind;
    const char* text = "";
    int command = 0;
    // While a command runs every entry that sends a command is disabled, but
    // for these (Exit: it asks whether to stop the command and quit).
    bool whileBusy = false;
};

std::span<const MenuEntry> MainMenu();

// The clocks offered in Port > Simulator > Chip Clock, in Hz, in their order;
// 0 stands for the chosen chip's factory clock.
std::span<const uint32_t> SimulatorClockChoices();

}  // namespace ostrel::ui
