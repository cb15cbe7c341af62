// The main window "AVR-Programmer": a modeless dialog made from its control
// table in dialog units, with the menu built from the menu table. Every
// button, check box and menu item hands its command number to the program;
// the window keeps no state of its own beyond its controls, but for the
// busy state while a command runs.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ui/desktop_session.h"
#include "ui/menu.h"
#include "win32/dialog_window.h"
#include "win32/window_system.h"

struct HICON__;

namespace ostrel::win32 {

class MainWindow : public DialogWindow {
  public:
    // `actions` run a command (and say whether it was taken: false while
    // another command runs) and take the simulator's chip and clock
    // (ui::SessionActions). `endSession` runs when Windows ends the user's
    // session.
    MainWindow(Win32WindowSystem& windows, ui::SessionActions actions,
               std::function<void()> endSession, ui::MenuMachine machine = {});
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void Show();
    // The program ended the window: it hides for good; the program's loop ends.
    void End(int result);
    bool ended() const { return ended_; }
    int endResult() const { return endResult_; }

    WindowHandle Control(int id) const;
    MenuHandle menu() const { return menu_; }
    // Where a menu item is: its menu and its position there; none for a
    // command without an item.
    struct MenuPlace {
        MenuHandle menu = nullptr;
        int position = 0;
        int command = 0;
    };
    std::optional<MenuPlace> MenuItem(int command) const;
    std::optional<MenuPlace> SimulatorChipItem(const std::string& chip) const;
    // The item of a clock in Port > Simulator > Chip Clock (0: the factory
    // clock); none for a clock without an item of its own.
    std::optional<MenuPlace> SimulatorClockItem(uint32_t hz) const;
    // The item that shows a clock chosen elsewhere, while there is one.
    std::optional<MenuPlace> OtherClockItem() const;

    // Ticks the simulator's chip in its submenu.
    void ShowSimulatorChip(const std::string& chip);
    // Ticks the simulator's clock (0: the factory clock) in Chip Clock and
    // names the chip's factory clock there. A clock without an item of its
    // own (one given to the console) is shown, ticked, on an extra item.
    void ShowSimulatorClock(uint32_t hz, uint32_t factoryHz);

    // Runs the command of a control or menu item as a user's click does;
    // `source` is the control (a check box goes back when it is refused).
    void Trigger(int command, WindowHandle source);

    // The busy state while a command runs: what would start another command
    // is disabled, the cursor shows busy, the progress bar and the Stop
    // button show (ui::kStartsCommand, ui::kWhileBusy, MenuEntry::whileBusy).
    void SetBusy(bool busy);
    bool busy() const { return busy_; }
    // The stop was asked for: the Stop button says so until the command ends.
    void ShowStopping();
    // The progress bar's figure; none: busy without a figure.
    void ShowProgress(std::optional<int> figure);
    // On the activity field the first of `lines` that fits it (the last,
    // shortened in its middle with an ellipsis, when none does), and `tip`.
    void ShowOnActivityLine(const std::vector<std::string>& lines, const std::string& tip);
    // The tooltip of a control ("" for none).
    void SetTip(int item, const std::string& tip);
    std::string Tip(int item) const;
    // The text of a control fits it, measured in its own font.
    bool Fits(int item, const std::string& text) const;

    bool Handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                std::intptr_t& result) override;
    void Fail(std::exception_ptr error) override;

  private:
    // The ports found on this machine for the Port menu; Windows has no GPIO.
    ui::MenuMachine machine_;
    void BuildMenu();
    // An entry of the shown menu that sends a command, in `menu`.
    void AddEntry(MenuHandle menu, const ui::ShownMenuEntry& entry);
    void FitToMenu();
    void AddTips();
    void OnCommand(int id, int code, WindowHandle source);

    Win32WindowSystem& windows_;
    std::function<bool(int)> command_;
    std::function<void(const std::string&)> simulatorChip_;
    std::function<void(uint32_t)> simulatorClock_;
    std::function<void()> endSession_;
    MenuHandle menu_ = nullptr;
    std::map<int, MenuPlace> menuItems_;
    std::map<std::string, MenuPlace> chipItems_;
    std::map<uint32_t, MenuPlace> clockItems_;  // by Hz; 0 is the factory clock
    MenuHandle clockMenu_ = nullptr;
    bool otherClockShown_ = false;
    WindowHandle tips_ = nullptr;
    std::map<int, std::string> tipTexts_;
    WindowHandle focusBeforeBusy_ = nullptr;
    HICON__* bigIcon_ = nullptr;
    HICON__* smallIcon_ = nullptr;
    bool busy_ = false;
    bool ended_ = false;
    int endResult_ = 0;
    // Goes false with the window: the text observer it left behind does nothing then.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Command numbers of the generated menu items: the simulator's chips in the
// order of its table, its clocks in the order of ui::SimulatorClockChoices.
inline constexpr int kFirstChipCommand = 0x7000;
inline constexpr int kFirstClockCommand = 0x7400;
inline constexpr int kOtherClockCommand = 0x74FF;

}  // namespace ostrel::win32
