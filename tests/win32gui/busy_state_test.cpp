// The native main window while a command runs: what would start another
// command is disabled, the cursor says busy, the progress bar follows the
// activity line's figure, Stop and Escape end the command with the target
// released, and a close asks whether to stop and quit.
#include <windows.h>
// The program's WindowSystem::MessageBox, not the system's macro for MessageBoxA.
#undef MessageBox

#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ids.h"
#include "tests/support/scripted_windows.h"
#include "tests/win32gui/gui_rig.h"
#include "ui/busy.h"
#include "ui/control_table.h"
#include "ui/menu.h"

namespace ostrel::testing {
namespace {

// A started program on the simulated ATmega8 with a flash file chosen.
void ReadyToWrite(GuiRig& rig) {
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.OpenFile(rig.CopyExample("blink-atmega8.hex"));
    rig.windows().messages.clear();
}

struct Snapshot {
    std::vector<int> enabledCommandControls;  // controls that start a command, enabled
    std::vector<std::string> enabledMenuItems;
    bool chipItemEnabled = false;
    bool stopShown = false, stopEnabled = false, barShown = false, barWithoutFigure = false;
    int barValue = -1;
    bool busyCursor = false;
};

Snapshot Take(GuiRig& rig) {
    Snapshot s;
    for (const ui::ControlEntry& entry : ui::MainWindowControls()) {
        if ((entry.start & ui::kStartsCommand) != 0 && rig.Enabled(entry.id))
            s.enabledCommandControls.push_back(entry.id);
    }
    for (const ui::MenuEntry& entry : ui::MainMenu()) {
        if (entry.command != 0 && rig.MenuEnabled(entry.command))
            s.enabledMenuItems.push_back(entry.text);
    }
    auto chip = rig.window().SimulatorChipItem("ATmega8");
    s.chipItemEnabled =
        chip && (GetMenuState(chip->menu, static_cast<UINT>(chip->position), MF_BYPOSITION) &
                 MF_GRAYED) == 0;
    s.stopShown = rig.Visible(ids::kStop);
    s.stopEnabled = rig.Enabled(ids::kStop);
    HWND bar = rig.Control(ids::kProgressBar);
    s.barShown = IsWindowVisible(bar) != 0;
    s.barWithoutFigure = (GetWindowLongA(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
    s.barValue = static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
    // The cursor the window asks for over its inside.
    HWND window = rig.window().handle();
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    s.busyCursor = GetCursor() == LoadCursor(nullptr, IDC_APPSTARTING);
    return s;
}

TEST(BusyState, WhileAWriteRunsOnlyStopAndExitAreOfferedAndTheBarFollowsTheFigure) {
    GuiRig rig;
    ReadyToWrite(rig);
    const Snapshot idle = Take(rig);
    EXPECT_EQ(idle.enabledCommandControls.size(), 10u);  // the hidden ones too
    EXPECT_GT(idle.enabledMenuItems.size(), 25u);
    EXPECT_FALSE(idle.stopShown);
    EXPECT_FALSE(idle.barShown);
    EXPECT_FALSE(idle.busyCursor);

    std::optional<Snapshot> busy;
    std::string figureShown;
    rig.AtFigure(40, [&] {
        busy = Take(rig);
        figureShown = rig.Text(ids::kActivity);
    });
    rig.Click(ids::kWrite);
    ASSERT_TRUE(busy.has_value());
    EXPECT_TRUE(busy->enabledCommandControls.empty());
    EXPECT_EQ(busy->enabledMenuItems, std::vector<std::string>{"Exit"});
    EXPECT_FALSE(busy->chipItemEnabled);
    EXPECT_TRUE(busy->stopShown);
    EXPECT_TRUE(busy->stopEnabled);
    EXPECT_TRUE(busy->barShown);
    EXPECT_FALSE(busy->barWithoutFigure);
    EXPECT_EQ(std::optional<int>(busy->barValue), ShownPercent(figureShown)) << figureShown;
    EXPECT_GE(busy->barValue, 40);
    EXPECT_TRUE(busy->busyCursor);

    // Afterwards everything is as it was.
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    const Snapshot after = Take(rig);
    EXPECT_EQ(after.enabledCommandControls, idle.enabledCommandControls);
    EXPECT_EQ(after.enabledMenuItems, idle.enabledMenuItems);
    EXPECT_TRUE(after.chipItemEnabled);
    EXPECT_FALSE(after.stopShown);
    EXPECT_FALSE(after.barShown);
    EXPECT_FALSE(after.busyCursor);
}

// Stop, the Escape key: the write ends at its next refresh, the target is
// released, the user is told what the chip is left like, and the next
// command runs as usual.
TEST(BusyState, StopAndEscapeEndTheCommandWithTheChipReleased) {
    struct Case {
        const char* how;
        std::function<void(GuiRig&)> ask;
    };
    const Case cases[] = {
        {"Stop button", [](GuiRig& rig) { rig.Click(ids::kStop); }},
        {"Escape", [](GuiRig& rig) { rig.Key(VK_ESCAPE); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        GuiRig rig;
        ReadyToWrite(rig);
        bool stopping = false;
        rig.AtFigure(30, [&] {
            c.ask(rig);
            stopping = rig.Text(ids::kStop) == ui::kStopping && !rig.Enabled(ids::kStop);
        });
        rig.Click(ids::kWrite);
        EXPECT_TRUE(stopping);
        EXPECT_EQ(rig.Messages(), std::vector<std::string>{
                                      "Error: Stopped: the chip may be partly programmed: write "
                                      "it again."});
        EXPECT_FALSE(rig.program().ended());
        EXPECT_FALSE(rig.p().commandRunning);
        EXPECT_FALSE(rig.p().stopRequested);
        rig.clock.Advance(10);  // RESET high is seen after two chip cycles
        EXPECT_TRUE(rig.chip().Running());
        EXPECT_FALSE(rig.Visible(ids::kStop));
        EXPECT_TRUE(rig.Enabled(ids::kWrite));

        rig.windows().messages.clear();
        rig.Click(ids::kCheck);
        EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
        EXPECT_EQ(rig.Text(ids::kDeviceList), "ATmega8");
    }
}

// The close box and File > Exit during a command ask whether to stop it and
// quit: Cancel lets it run to its end, OK stops it and the program ends once
// the command has ended.
TEST(BusyState, CloseDuringACommandAsksWhetherToStopAndQuit) {
    struct Case {
        const char* how;
        bool viaExitItem;
        MsgResult answer;
    };
    const Case cases[] = {
        {"close box, Cancel", false, MsgResult::Cancel},
        {"close box, OK", false, MsgResult::Ok},
        {"File > Exit, OK", true, MsgResult::Ok},
    };
    const std::string question =
        std::string(ui::kStopAndQuitTitle) + ": " + ui::kStopAndQuitQuestion;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        GuiRig rig;
        ReadyToWrite(rig);
        rig.windows().automation.messageAnswers.push_back(c.answer);
        rig.AtFigure(20, [&] {
            if (c.viaExitItem)
                rig.Choose(ids::kExit);
            else
                SendMessageA(rig.window().handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
            EXPECT_FALSE(rig.program().ended()) << "the window went while the command ran";
        });
        rig.Click(ids::kWrite);
        ASSERT_FALSE(rig.windows().messages.empty());
        const ShownWin32Message& asked = rig.windows().messages[0];
        EXPECT_EQ(asked.buttons, MsgButtons::OkCancel);
        EXPECT_EQ(rig.Messages()[0], question);
        EXPECT_EQ(asked.shownButtons, (std::vector<int>{IDOK, IDCANCEL}));
        EXPECT_TRUE(asked.shownIcon);
        if (c.answer == MsgResult::Cancel) {
            EXPECT_EQ(rig.Messages().size(), 1u) << rig.LastMessage();
            EXPECT_FALSE(rig.program().ended());
            EXPECT_TRUE(InOrder(rig.activity(), {"OK", "*.hex"}))
                << ::testing::PrintToString(rig.activity());
            continue;
        }
        EXPECT_EQ(rig.LastMessage(),
                  "Error: Stopped: the chip may be partly programmed: write it again.");
        EXPECT_TRUE(rig.program().ended());
        EXPECT_FALSE(IsWindowVisible(rig.window().handle()));
        rig.clock.Advance(10);
        // Exit holds the target in reset, as at every end of the program.
        EXPECT_FALSE(rig.chip().Running());
    }
}

// While a dialog of the command is open, its own handlers run the command's
// steps: a stop is refused then (with a beep), and a close says so the same
// way; the dialog ends as usual and the command with it.
TEST(BusyState, NoStopWhileADialogOfTheCommandIsOpen) {
    GuiRig rig;
    ASSERT_TRUE(rig.Start());
    rig.ChooseSimulator("ATmega8");
    rig.windows().messages.clear();
    bool stopTaken = true;
    int beepsBefore = rig.windows().beeps;
    rig.windows().automation.dialogScript = [&](int dialog, win32::WindowHandle shown) {
        EXPECT_EQ(dialog, ids::kInstructionsDialog);
        stopTaken = rig.program().session().RequestStop();
        SendMessageA(rig.window().handle(), WM_CLOSE, 0, 0);
        rig.ClickIn(shown, ids::kDone);
    };
    rig.Choose(ids::kFuseBits);
    rig.windows().automation.dialogScript = nullptr;
    EXPECT_FALSE(stopTaken);
    EXPECT_EQ(rig.windows().beeps, beepsBefore + 2);
    EXPECT_FALSE(rig.p().stopRequested);
    EXPECT_EQ(rig.windows().dialogsLeftOpen, 0);
    EXPECT_TRUE(rig.windows().messages.empty()) << rig.LastMessage();
    EXPECT_FALSE(rig.program().ended());
    EXPECT_TRUE(rig.MenuEnabled(ids::kFuseBits));
}

}  // namespace
}  // namespace ostrel::testing
