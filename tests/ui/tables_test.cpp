// The toolkit-free descriptions of the windows checked as data: every control
// lies inside its window, numbers are unique, the menu's submenus close and
// each command is sent by one entry only, and dialog units round as the
// classic dialog manager rounds them.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/ids.h"
#include "sim/chip_table.h"
#include "ui/busy.h"
#include "ui/control_table.h"
#include "ui/dialog_units.h"
#include "ui/menu.h"

namespace ostrel::testing {
namespace {

struct WindowCase {
    const char* name;
    int window;
    std::size_t controls;  // entries in its table
};

constexpr WindowCase kWindows[] = {
    {"main window", ids::kMainWindow, 21},
    {"instructions dialog", ids::kInstructionsDialog, 25},
    {"EEPROM window", ids::kEepromWindow, 5},
    {"wiring picture", ids::kWiringDialog, 0},
};

TEST(ControlTables, EveryControlLiesInsideItsWindowAndHasANumberOfItsOwn) {
    for (const WindowCase& c : kWindows) {
        SCOPED_TRACE(c.name);
        const ui::WindowFrame frame = ui::FrameOf(c.window);
        EXPECT_STRNE(frame.title, "");
        const auto table = ui::ControlsOf(c.window);
        EXPECT_EQ(table.size(), c.controls);
        std::set<int> numbers;
        for (const ui::ControlEntry& control : table) {
            SCOPED_TRACE(control.text);
            EXPECT_GE(control.x, 0);
            EXPECT_GE(control.y, 0);
            EXPECT_GT(control.width, 0);
            EXPECT_GT(control.height, 0);
            EXPECT_LE(control.x + control.width, frame.width);
            // The device list's height is that of its list dropped down.
            if (control.kind != ui::ControlKind::ComboBox) {
                EXPECT_LE(control.y + control.height, frame.height);
            }
            if (control.id != 0) {
                EXPECT_TRUE(numbers.insert(control.id).second) << "twice: " << control.id;
            }
        }
        for (const ui::DecorationLine& line : ui::DecorationLinesOf(c.window))
            EXPECT_LE(line.x + line.width, frame.width + 2) << line.x;
        for (const ui::DotRow& row : ui::DotRowsOf(c.window)) {
            EXPECT_LT(row.firstX, row.lastX);
            EXPECT_LE(row.lastX, frame.width);
        }
    }
    const ui::PicturePlace picture = ui::WiringPicturePlace();
    const ui::WindowFrame wiring = ui::FrameOf(ids::kWiringDialog);
    EXPECT_LE(picture.x + picture.width, wiring.width);
    EXPECT_LE(picture.y + picture.height, wiring.height);
}

TEST(MainMenu, SubmenusCloseAndEveryCommandHasOneEntry) {
    int depth = 0;
    std::map<int, std::string> commands;
    std::vector<std::string> bar;
    int placeholders = 0;
    for (const ui::MenuEntry& entry : ui::MainMenu()) {
        switch (entry.kind) {
            case ui::MenuKind::Menu:
            case ui::MenuKind::CheckMenu:
                if (depth == 0)
                    bar.emplace_back(entry.text);
                ++depth;
                break;
            case ui::MenuKind::EndMenu:
                --depth;
                ASSERT_GE(depth, 0) << "a submenu closed that was not open";
                break;
            case ui::MenuKind::BarCommand:
                EXPECT_EQ(depth, 0) << entry.text;
                bar.emplace_back(entry.text);
                break;
            case ui::MenuKind::Separator:
                EXPECT_GT(depth, 0);
                break;
            case ui::MenuKind::FoundPorts:
                EXPECT_EQ(depth, 1) << "the ports found open the Port menu";
                break;
            case ui::MenuKind::SimulatorClocks:
            case ui::MenuKind::SimulatorChips:
                EXPECT_GT(depth, 1);
                ++placeholders;
                break;
            case ui::MenuKind::Item:
            case ui::MenuKind::CheckItem:
                EXPECT_GT(depth, 0) << entry.text;
                break;
            case ui::MenuKind::ClockItem:
            case ui::MenuKind::ChipItem:
                ADD_FAILURE() << "only the shown menu has single clocks and chips";
                break;
        }
        if (entry.command != 0) {
            auto [it, added] = commands.emplace(entry.command, entry.text);
            EXPECT_TRUE(added) << entry.text << " sends " << entry.command << " as " << it->second
                               << " does";
        }
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(placeholders, 2);
    EXPECT_EQ(bar,
              (std::vector<std::string>{"File", "Port", "Memory", "FuseBits", "Options", "Help"}));
    for (int command : {ids::kFileOpen, ids::kExit, ids::kCom1, ids::kPortSimulator,
                        ids::kCableTest, ids::kHelpTopics, ids::kWiringPicture})
        EXPECT_TRUE(commands.contains(command)) << command;
    EXPECT_EQ(ui::SimulatorClockChoices().front(), 0u);
}

// The menu as a window shows it: the ports found open the Port menu, each
// with its own command; fixed COM items without a device are marked once
// ports were looked for; GPIO Lines only where there is GPIO.
TEST(MainMenu, TheShownMenuPutsInTheMachinesPorts) {
    std::vector<FoundPort> many;
    for (int i = 0; i < 70; ++i)
        many.push_back({"/dev/ttyUSB" + std::to_string(i), "tty" + std::to_string(i)});
    const struct {
        ui::MenuMachine machine;
        std::string portMenu;  // the Port menu's own items, "|" for a separator
        int foundCommands;     // items sending a found port's command
    } kCases[] = {
        {{}, "PP 0278,PP 0378,PP 03BC,COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8,Modem", 0},
        {{{}, false, true},
         "PP 0278,PP 0378,PP 03BC,COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8,GPIO Lines,Modem",
         0},
        {{{{"/dev/ttyUSB0", "/dev/ttyUSB0, USB ftdi_sio"}, {"COM3", "COM3 (/dev/ttyS2)"}},
          true,
          false},
         "/dev/ttyUSB0, USB ftdi_sio,COM3 (/dev/ttyS2),|,PP 0278,PP 0378,PP 03BC,"
         "COM1 (no device),COM2 (no device),COM3,COM4 (no device),COM5 (no device),"
         "COM6 (no device),COM7 (no device),COM8 (no device),Modem",
         2},
        {{many, false, false}, "", ids::kMaxFoundPorts},
    };
    for (const auto& c : kCases) {
        std::string portMenu;
        int depth = 0;
        bool inPort = false;
        int found = 0;
        for (const ui::ShownMenuEntry& entry : ui::ShownMainMenu(c.machine)) {
            if (entry.kind == ui::MenuKind::Menu || entry.kind == ui::MenuKind::CheckMenu) {
                if (depth == 0)
                    inPort = entry.text == "Port";
                ++depth;
                continue;
            }
            if (entry.kind == ui::MenuKind::EndMenu) {
                --depth;
                continue;
            }
            if (entry.command >= ids::kFirstFoundPort &&
                entry.command < ids::kFirstFoundPort + ids::kMaxFoundPorts) {
                EXPECT_EQ(entry.command, ids::kFirstFoundPort + found);
                ++found;
            }
            // Up to the Modem Lines item: what follows is the simulator's.
            if (!inPort || depth != 1 || portMenu.find("Modem") != std::string::npos)
                continue;
            const std::string text =
                entry.kind == ui::MenuKind::Separator
                    ? "|"
                    : entry.text.substr(0,
                                        entry.text.rfind("Modem", 0) == 0 ? 5 : std::string::npos);
            portMenu += (portMenu.empty() ? "" : ",") + text;
        }
        EXPECT_EQ(found, c.foundCommands);
        if (!c.portMenu.empty()) {
            EXPECT_EQ(portMenu, c.portMenu);
        }
    }
}

// The busy plan both desktop programs follow, and the simulator's clocks and
// chips as their menu walk meets them: while a command runs only Exit and the
// Stop button are offered; afterwards everything is as before.
TEST(BusyPlan, WhileBusyOnlyExitAndStopAreOfferedAndTheWalkListsTheSimulatorsItems) {
    const struct {
        bool busy;
        int menuCommand;
        bool menuEnabled;
        int control;
        std::optional<bool> enabled, shown;  // none: the busy state leaves it
    } kCases[] = {
        {true, ids::kExit, true, ids::kWrite, false, std::nullopt},
        {true, ids::kFileOpen, false, ids::kStop, std::nullopt, true},
        {true, ids::kPortSimulator, false, ids::kProgressBar, std::nullopt, true},
        {true, ids::kCableTest, false, ids::kQuick, false, std::nullopt},
        {true, ids::kSpeedAuto, false, ids::kActivity, std::nullopt, std::nullopt},
        {false, ids::kExit, true, ids::kWrite, true, std::nullopt},
        {false, ids::kFileOpen, true, ids::kStop, std::nullopt, false},
        {false, ids::kCableTest, true, ids::kAutodetection, true, std::nullopt},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::to_string(c.menuCommand) + (c.busy ? " busy" : " idle"));
        const ui::BusyPlan plan = ui::PlanBusy(c.busy);
        EXPECT_EQ(plan.MenuItemEnabled(c.menuCommand), c.menuEnabled);
        std::optional<bool> enabled, shown;
        for (const ui::BusyControl& control : plan.controls) {
            if (control.id == c.control) {
                enabled = control.enabled;
                shown = control.shown;
            }
        }
        EXPECT_EQ(enabled, c.enabled) << c.control;
        EXPECT_EQ(shown, c.shown) << c.control;
        EXPECT_EQ(plan.simulatorItemsEnabled, !c.busy);
        EXPECT_EQ(plan.busyCursor, c.busy);
        EXPECT_STREQ(plan.stopText, "Stop");
        // The walk: every clock of the choices in order, every chip, in the
        // Simulator menu; GPIO Lines only where the machine has GPIO.
        ui::MenuMachine machine;
        machine.gpio = c.busy;
        std::vector<uint32_t> clocks;
        std::vector<std::string> chips;
        bool gpio = false;
        for (const ui::ShownMenuEntry& entry : ui::ShownMainMenu(machine)) {
            if (entry.kind == ui::MenuKind::ClockItem) {
                clocks.push_back(entry.hz);
                EXPECT_EQ(entry.text, ui::ClockItemText(entry.hz));
            }
            if (entry.kind == ui::MenuKind::ChipItem)
                chips.push_back(entry.text);
            gpio = gpio || entry.command == ids::kPortGpio;
        }
        EXPECT_EQ(clocks, std::vector<uint32_t>(ui::SimulatorClockChoices().begin(),
                                                ui::SimulatorClockChoices().end()));
        EXPECT_EQ(chips.size(), sim::AllChips().size());
        EXPECT_EQ(gpio, machine.gpio);
    }
    EXPECT_EQ(ui::ClockItemText(0), "Factory clock");
}

TEST(DialogUnits, ScaleAndRoundAsTheClassicDialogManager) {
    struct Case {
        int baseWidth, baseHeight, units;
        int x, y;
    };
    // The classic dialog font: average width 6, height 13 pixels.
    const Case cases[] = {
        {6, 13, 4, 6, 7},    {6, 13, 198, 297, 322}, {6, 13, 8, 12, 13},
        {6, 13, 1, 2, 2},    {6, 13, 3, 5, 5},       {6, 13, 0, 0, 0},
        {6, 13, -3, -5, -5}, {7, 16, 162, 284, 324}, {8, 15, 12, 24, 23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.units);
        ui::DialogUnits units(c.baseWidth, c.baseHeight);
        EXPECT_EQ(units.X(c.units), c.x);
        EXPECT_EQ(units.Y(c.units), c.y);
    }
    EXPECT_EQ(ui::DialogUnits(6, 13).Pixels(21, 47, 68, 14), (ui::PixelRect{32, 76, 102, 23}));
    // 52 letters 312 pixels wide: 6 on average; 338 pixels: 6.5 rounds up to 7.
    EXPECT_EQ(ui::DialogUnits::BaseWidthOfLetters(312), 6);
    EXPECT_EQ(ui::DialogUnits::BaseWidthOfLetters(338), 7);
    EXPECT_EQ(ui::DialogUnits::BaseWidthOfLetters(337), 6);
}

}  // namespace
}  // namespace ostrel::testing
