// The native Windows desktop program under Wine, in a fresh start folder
// whose settings choose the simulated chip (port "SIM"), so no test reaches
// a real port, with a virtual clock (no test ever waits). Message boxes,
// the file-open dialog and modal dialogs are the system's own; the scripted
// window system in front of the program's answers them as the test says
// (ScriptedWin32Windows::automation), so nothing is ever left open.
// Controls are found and driven by their numbers.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "tests/support/temp_dir.h"
#include "tests/support/win32/scripted_win32_windows.h"
#include "ui/window_ends.h"
#include "win32/desktop_program.h"

namespace ostrel::testing {

struct GuiRigOptions {
    bool deviceFile = true;       // ostrel.ini in the start folder
    bool parallelAccess = false;  // whether a parallel port can be reached
    // The settings the start folder holds (Settings()); by default the
    // simulator as the port, speed High, nothing to reopen.
    std::optional<std::string> settings = std::nullopt;
};

// A settings file: port name, speed, the reopen offer flag and the stored path.
std::string Settings(std::string_view port, char speed, char offer = '0',
                     std::string_view path = {});

class GuiRig {
  public:
    explicit GuiRig(const GuiRigOptions& options = {});
    ~GuiRig();
    GuiRig(const GuiRig&) = delete;
    GuiRig& operator=(const GuiRig&) = delete;

    // Runs the start-up as main() does.
    bool Start(const std::optional<std::string>& commandLineFile = std::nullopt);
    // Ends the program as its window's destruction does and starts it again
    // in the same folder, as a user's next run.
    bool Restart();

    win32::DesktopProgram& program() { return *program_; }
    // The windows as the commands see them: scripted, and recorded.
    ScriptedWin32Windows& windows() { return *scripted_; }
    // The program's own window system behind them.
    win32::Win32WindowSystem& win32Windows() { return program_->windows(); }
    win32::MainWindow& window() { return program_->window(); }
    Programmer& p() { return program_->programmer(); }
    sim::AvrTarget& chip();

    // --- the main window's controls, by number ---
    win32::WindowHandle Control(int id) { return window().Control(id); }
    std::string Text(int id);
    bool Enabled(int id);
    bool Visible(int id);
    bool Checked(int id);
    // A user's click on a button or check box (BM_CLICK); it must be visible and enabled.
    void Click(int id);
    // A key pressed in the main window (a WM_KEYDOWN of its focus), handed on
    // as the program's loop does.
    void Key(unsigned virtualKey);
    // The same in a dialog of the program, as its message loop hands it on.
    void KeyIn(win32::WindowHandle dialog, unsigned virtualKey);
    // A click on a dialog's button or check box (BM_CLICK).
    void ClickIn(win32::WindowHandle dialog, int id);
    // Runs `action` once, at the first activity refresh at which the activity
    // line shows a figure of at least `figure` percent ("45% programmed"),
    // inside the refresh's message processing as a user's action is.
    void AtFigure(int figure, std::function<void()> action);

    // --- the menu, by command number ---
    bool MenuEnabled(int command);
    bool MenuChecked(int command);
    // A user's choice of a menu item; it must be enabled.
    void Choose(int command);
    // Port > Simulator > chip.
    void ChooseSimulator(const std::string& chip);
    // File > Open answered with this file.
    void OpenFile(const std::string& path);

    // The texts set on the activity field, blanks at their ends dropped, in order.
    const std::vector<std::string>& activity() const { return *activity_; }
    void ClearActivity() { activity_->clear(); }
    // The message boxes shown, as "title: text".
    std::vector<std::string> Messages() { return ui::TitledTexts(windows().messages); }
    std::string LastMessage();

    // An example of examples/ copied into the start folder; its path.
    std::string CopyExample(std::string_view name);

    TempDir dir;
    VirtualClock clock;

  private:
    void Build();

    GuiRigOptions options_;
    std::unique_ptr<ScriptedWin32Windows> scripted_;  // outlives the program it is in front of
    std::unique_ptr<win32::DesktopProgram> program_;
    std::shared_ptr<std::vector<std::string>> activity_ =
        std::make_shared<std::vector<std::string>>();
};

// True when `wanted` appear in `seen` in this order (other entries may lie
// between). A wanted text that begins with '*' matches any text ending in the rest.
bool InOrder(const std::vector<std::string>& seen, const std::vector<std::string>& wanted);

}  // namespace ostrel::testing
