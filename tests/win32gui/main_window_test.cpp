// The main window of the native Windows program, driven through its real
// controls and menu by their numbers: its layout from the tables, the
// start-up, the buttons, the menus, the simulator, the message boxes and the
// ending of the window.
#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ids.h"
#include "tests/support/hex_image.h"
#include "tests/win32gui/gui_rig.h"
#include "ui/control_table.h"
#include "ui/menu.h"
#include "win32/dialog_template.h"

namespace ostrel::testing {
namespace {

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Where a control is, in the pixels of its window's inside.
RECT PlaceOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string MenuText(HMENU menu, int position) {
    char text[128] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

// Every control of the table is there, of its kind, at its place in dialog
// units as the dialog manager scales them, in the state the table gives.
TEST(Layout, ControlsSitAtTheirPlacesInDialogUnits) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    HWND window = rig.window().handle();
    const char* const classOf[] = {"Button", "Button", "Button",   "Button",
                                   "Static", "Static", "Edit",     "Edit",
                                   "Edit",   "Edit",   "ComboBox", "msctls_progress32"};
    int checked = 0;
    for (const ui::ControlEntry& entry : ui::MainWindowControls()) {
        if (entry.id == 0)
            continue;
        SCOPED_TRACE(entry.id);
        HWND control = rig.Control(entry.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), classOf[static_cast<int>(entry.kind)]);
        // The dialog manager scales the place and the size each on its own.
        RECT wanted = {entry.x, entry.y, entry.width, entry.height};
        MapDialogRect(window, &wanted);
        const RECT place = PlaceOf(control);
        EXPECT_EQ(place.left, wanted.left);
        EXPECT_EQ(place.top, wanted.top);
        EXPECT_EQ(place.right - place.left, wanted.right);
        if (entry.kind != ui::ControlKind::ComboBox) {  // its height is the dropped list's
            EXPECT_EQ(place.bottom - place.top, wanted.bottom);
        }
        // Hidden: those of the busy state and the four the system never shows.
        EXPECT_EQ(IsWindowVisible(control) != 0, (entry.start & ui::kHidden) == 0);
        if (entry.id != ids::kPortDisplay) {
            EXPECT_EQ(
                rig.windows().ItemText(ids::kMainWindow, entry.id),
                entry.kind == ui::ControlKind::ComboBox ? rig.windows().ListEntry(0) : entry.text);
        }
        if ((entry.start & ui::kChecked) != 0) {
            EXPECT_TRUE(rig.Checked(entry.id));
            ++checked;
        }
    }
    EXPECT_EQ(checked, 2);  // Autodetection, Erase bef. Write
    // The window's inside is the table's size; the menu bar comes on top.
    const ui::WindowFrame frame = ui::FrameOf(ids::kMainWindow);
    RECT wanted = {0, 0, frame.width, frame.height};
    MapDialogRect(window, &wanted);
    RECT inside;
    GetClientRect(window, &inside);
    EXPECT_EQ(inside.right, wanted.right);
    EXPECT_EQ(inside.bottom, wanted.bottom);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, frame.title);
    // The decoration: a row of dots on each of the two lines.
    int dotRows = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        dotRows += GetDlgCtrlID(child) == win32::kDotRowControl ? 1 : 0;
    EXPECT_EQ(dotRows, 2);
}

// The menu bar and its menus hold the table's entries in its order, with the
// simulator's chips and clocks where the table places them.
TEST(Layout, TheMenuHasItsEntriesInOrder) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    HMENU bar = GetMenu(rig.window().handle());
    ASSERT_NE(bar, nullptr);
    std::vector<std::string> top;
    for (int i = 0; i < GetMenuItemCount(bar); ++i)
        top.push_back(MenuText(bar, i));
    EXPECT_EQ(top,
              (std::vector<std::string>{"File", "Port", "Memory", "FuseBits", "Options", "Help"}));
    // Every command of the menu as Windows shows it is an item whose text is
    // the shown one; GPIO Lines, which Windows has no port for, is none.
    ui::MenuMachine machine;
    machine.found = rig.p().foundPorts;
    machine.portsSearched = rig.p().portsSearched;
    for (const ui::ShownMenuEntry& entry : ui::ShownMainMenu(machine)) {
        if (entry.command == 0)
            continue;
        SCOPED_TRACE(entry.text);
        auto place = rig.window().MenuItem(entry.command);
        ASSERT_TRUE(place.has_value());
        EXPECT_EQ(MenuText(place->menu, place->position), entry.text);
        if (entry.kind != ui::MenuKind::CheckMenu && entry.kind != ui::MenuKind::Menu) {
            EXPECT_EQ(GetMenuItemID(place->menu, place->position),
                      static_cast<UINT>(entry.command));
        }
    }
    EXPECT_FALSE(rig.window().MenuItem(ids::kPortGpio).has_value());
    HMENU file = GetSubMenu(bar, 0);
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(file); ++i)
        items.push_back(MenuText(file, i));
    EXPECT_EQ(items, (std::vector<std::string>{"Open", "Open Start Folder", "Exit"}));
    auto chip = rig.window().SimulatorChipItem("ATmega8");
    ASSERT_TRUE(chip.has_value());
    EXPECT_EQ(MenuText(chip->menu, chip->position), "ATmega8");
    auto factory = rig.window().SimulatorClockItem(0);
    ASSERT_TRUE(factory.has_value());
    EXPECT_EQ(MenuText(factory->menu, factory->position).rfind("Factory clock (", 0), 0u);
}

TEST(StartUp, TheStoredSimulatorIsTheCheckedPortAndTheBoxesAreChecked) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    EXPECT_TRUE(rig.MenuChecked(ids::kPortSimulator));
    EXPECT_TRUE(rig.MenuChecked(ids::kSpeedHigh));
    for (int item : {ids::kSpeedVeryLow, ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedAuto,
                     ids::kPort0378, ids::kCom2})
        EXPECT_FALSE(rig.MenuChecked(item)) << item;
    EXPECT_TRUE(rig.Checked(ids::kAutodetection));
    EXPECT_TRUE(rig.Checked(ids::kEraseBeforeWrite));
    EXPECT_FALSE(rig.Enabled(ids::kDeviceList));
    EXPECT_FALSE(rig.Enabled(ids::kCurrentFile));
    EXPECT_FALSE(rig.Enabled(ids::kActivity));
    EXPECT_EQ(rig.Text(ids::kPortDisplay), "Port: SIM");
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    // The device list, sorted without regard to case, the first one chosen.
    const int count = rig.windows().ListCount();
    ASSERT_GT(count, 20);
    EXPECT_EQ(rig.windows().SelectedListEntry(), 0);
    for (int i = 1; i < count; ++i)
        EXPECT_LE(
            lstrcmpiA(rig.windows().ListEntry(i - 1).c_str(), rig.windows().ListEntry(i).c_str()),
            0);
}

TEST(StartUp, WithoutTheDeviceFileTheProgramSaysSoAndEnds) {
    GuiRig rig(GuiRigOptions{.deviceFile = false});
    EXPECT_FALSE(rig.Start());
    EXPECT_TRUE(rig.program().ended());
    EXPECT_EQ(rig.Messages(), std::vector<std::string>{"Error!: Open Error 'ostrel.ini !'"});
}

TEST(Write, ThroughTheButtonsProgramsTheSimulatedChip) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    const std::string hex = rig.CopyExample("blink-atmega8.hex");
    rig.OpenFile(hex);
    EXPECT_EQ(rig.Text(ids::kCurrentFile), "blink-atmega8.hex");
    ASSERT_EQ(rig.windows().fileDialogs.size(), 1u);
    EXPECT_EQ(rig.windows().fileDialogs[0],
              "Open a File|*.hex, *.eep, readback.txt (*.hex;*.eep;readback.txt)|" + rig.dir.str());

    rig.ClearActivity();
    rig.Click(ids::kWrite);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    EXPECT_TRUE(InOrder(rig.activity(), {"connecting....", "writing.....", "* programmed",
                                         "verifying.....", "* verified", "OK"}))
        << ::testing::PrintToString(rig.activity());
    EXPECT_FALSE(rig.Enabled(ids::kActivity));
    // Then the file written, with as much of its folder as fits the field.
    const std::string shown = rig.Text(ids::kActivity);
    EXPECT_TRUE(rig.window().Fits(ids::kActivity, shown)) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), ".hex") << shown;
    EXPECT_NE(rig.window().Tip(ids::kActivity).find(hex), std::string::npos)
        << rig.window().Tip(ids::kActivity);

    const ByteImage bytes = ParseHexImage(rig.dir.Read("blink-atmega8.hex"));
    ASSERT_FALSE(bytes.empty());
    for (const auto& [address, value] : bytes)
        ASSERT_EQ(rig.chip().Flash(address), value) << "flash byte " << address;
}

// Check with Autodetection off: the box comes back checked, the list greyed,
// the chip is found by its signature; a click while a command runs is refused.
TEST(Check, IdentifiesTheChipAndTheBoxesFollowTheCommands) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("AT90S2313");
    rig.Click(ids::kAutodetection);
    EXPECT_FALSE(rig.Checked(ids::kAutodetection));
    EXPECT_TRUE(rig.Enabled(ids::kDeviceList));
    rig.Click(ids::kCheck);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    EXPECT_TRUE(rig.Checked(ids::kAutodetection));
    EXPECT_FALSE(rig.Enabled(ids::kDeviceList));
    EXPECT_EQ(rig.Text(ids::kDeviceList), "AT90S2313");
    EXPECT_TRUE(InOrder(rig.activity(), {"OK"}));
}

// A parallel port without access is refused with the system's message and
// its error icon; the port chosen before stays checked.
TEST(Ports, AParallelPortWithoutAccessIsRefusedAndThePreviousPortStays) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.Choose(ids::kPort0378);
    ASSERT_EQ(rig.windows().messages.size(), 1u);
    const ShownWin32Message& box = rig.windows().messages[0];
    EXPECT_EQ(box.title, "ERROR!");
    EXPECT_EQ(box.text.rfind("Driver 'DlPortIO' must be installed!", 0), 0u) << box.text;
    EXPECT_EQ(box.shownTitle, "ERROR!");
    EXPECT_EQ(box.shownText.rfind("Driver 'DlPortIO' must be installed!", 0), 0u) << box.shownText;
    EXPECT_TRUE(box.shownIcon);
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_FALSE(rig.MenuChecked(ids::kPort0378));
    EXPECT_TRUE(rig.MenuChecked(ids::kPortSimulator));
    EXPECT_EQ(rig.Text(ids::kPortDisplay), "Port: SIM");
}

TEST(Options, SpeedIsCheckedAndStoredAtOnce) {
    struct Case {
        int command;
        char stored;
    };
    const Case cases[] = {{ids::kSpeedVeryLow, '0'},
                          {ids::kSpeedLow, '1'},
                          {ids::kSpeedMedium, '2'},
                          {ids::kSpeedHigh, '3'},
                          {ids::kSpeedAuto, 'A'}};
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    for (const Case& c : cases) {
        rig.Choose(c.command);
        for (const Case& other : cases)
            EXPECT_EQ(rig.MenuChecked(other.command), other.command == c.command) << c.command;
        EXPECT_EQ(rig.dir.Read("ostrel.cfg").at(6), c.stored);
    }
    rig.Choose(ids::kProgramEepAfterHex);
    EXPECT_TRUE(rig.MenuChecked(ids::kProgramEepAfterHex));
    rig.Choose(ids::kProgramEepAfterHex);
    EXPECT_FALSE(rig.MenuChecked(ids::kProgramEepAfterHex));
}

// The system's message boxes: the text and title as the commands give them,
// OK or OK and Cancel, and the icon of their kind; Cancel is honoured.
TEST(MessageBoxes, CarryTheTextTitleButtonsAndIconOfTheirKind) {
    struct Case {
        int command;
        MsgResult answer;
        std::string title;
        std::string textStart;
        std::vector<int> buttons;
        MessageKind kind;
    };
    const Case cases[] = {
        {ids::kEraseAll,
         MsgResult::Cancel,
         "Warning!",
         "This Command Deletes Memory!",
         {IDOK, IDCANCEL},
         MessageKind::Warning},
        {ids::kWrite, MsgResult::Ok, "ERROR!", "No File selected!", {IDOK}, MessageKind::Error},
        {ids::kAbout,
         MsgResult::Ok,
         "Ostrel  V3.3",
         "Ostrel - in-system programmer",
         {IDOK},
         MessageKind::Information},
        {ids::kReadSignature,
         MsgResult::Ok,
         "Info:",
         "Vendor Code: 1E",
         {IDOK},
         MessageKind::Information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.textStart);
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.windows().messages.clear();
        rig.windows().automation.messageAnswers.push_back(c.answer);
        rig.Choose(c.command == ids::kWrite ? ids::kFileOpen : c.command);
        if (c.command == ids::kWrite) {
            // File > Open cancelled, then Write without a file.
            rig.windows().messages.clear();
            rig.Click(ids::kWrite);
        }
        ASSERT_EQ(rig.windows().messages.size(), 1u) << rig.LastMessage();
        const ShownWin32Message& box = rig.windows().messages[0];
        EXPECT_EQ(box.shownTitle, c.title);
        EXPECT_EQ(box.shownText.rfind(c.textStart, 0), 0u) << box.shownText;
        EXPECT_EQ(box.shownButtons, c.buttons);
        EXPECT_EQ(box.kind, c.kind);
        EXPECT_TRUE(box.shownIcon);
        EXPECT_EQ(box.answer, c.answer);
    }
}

TEST(Ending, TheCloseBoxAndFileExitEndTheWindowAndSaveTheSettings) {
    struct Case {
        const char* how;
        bool closeBox;
    };
    for (const Case& c : {Case{"close box", true}, Case{"File > Exit", false}}) {
        SCOPED_TRACE(c.how);
        GuiRig rig;
        ASSERT_TRUE(rig.Start());
        rig.Choose(ids::kSpeedLow);
        if (c.closeBox)
            SendMessageA(rig.window().handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            rig.Choose(ids::kExit);
        EXPECT_TRUE(rig.program().ended());
        EXPECT_FALSE(IsWindowVisible(rig.window().handle()));
        rig.program().session().Destroy();
        const std::string cfg = rig.dir.Read("ostrel.cfg");
        ASSERT_GE(cfg.size(), 7u);
        EXPECT_EQ(cfg.substr(0, 3), "SIM");
        EXPECT_EQ(cfg[6], '1');
    }
}

TEST(CommandLine, AFileIsWrittenAndTheProgramEnds) {
    GuiRig rig;
    const std::string hex = rig.CopyExample("blink-atmega8.hex");
    EXPECT_FALSE(rig.Start(hex));
    EXPECT_TRUE(rig.program().ended());
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    const ByteImage bytes = ParseHexImage(rig.dir.Read("blink-atmega8.hex"));
    ASSERT_FALSE(bytes.empty());
    for (const auto& [address, value] : bytes)
        ASSERT_EQ(rig.chip().Flash(address), value) << "flash byte " << address;
}

}  // namespace
}  // namespace ostrel::testing
