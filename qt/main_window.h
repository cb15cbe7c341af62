// The main window "AVR-Programmer": its controls at their places in dialog
// units, the decoration lines, and the menu in its order. Every button, check
// box and menu item hands its command number to the program; the window
// keeps no state of its own beyond its widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <QMainWindow>

#include "qt/control_builder.h"
#include "qt/dialog_units.h"
#include "ui/desktop_session.h"
#include "ui/menu.h"

class QAction;
class QMenu;

namespace ostrel::qt {

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // `actions` run a command (and say whether it was taken: false while
    // another command runs) and take the simulator's chip and clock
    // (ui::SessionActions). `machine`: the ports found on this machine for
    // the Port menu.
    explicit MainWindow(ui::SessionActions actions, ui::MenuMachine machine = {});

    const ControlMap& controls() const { return controls_; }
    QWidget* Control(int id) const;
    // The menu items by command number, and the simulator's chips by name.
    const std::map<int, QAction*>& menuItems() const { return menuItems_; }
    QAction* MenuItem(int command) const;
    QAction* SimulatorChipItem(const std::string& chip) const;
    // The item of a clock in Port > Simulator > Chip Clock (0: the factory
    // clock); null for a clock that has no item of its own.
    QAction* SimulatorClockItem(uint32_t hz) const;
    QMenu* simulatorMenu() const { return simulatorMenu_; }
    QMenu* clockMenu() const { return clockMenu_; }
    const DialogUnits& units() const { return units_; }
    QWidget* panel() const { return panel_; }

    // Ticks the simulator's chip in its submenu.
    void ShowSimulatorChip(const std::string& chip);
    // Ticks the simulator's clock (0: the factory clock) in Chip Clock and
    // names the chip's factory clock there. A clock without an item of its
    // own (one given to the console) is shown, ticked, on an extra item.
    void ShowSimulatorClock(uint32_t hz, uint32_t factoryHz);

    // The program ended the window: it closes for good.
    void End(int result);
    bool ended() const { return ended_; }
    int endResult() const { return endResult_; }

    // Runs the command of a control or menu item as a user's click does.
    void Trigger(int command, QObject* source);

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
    // shortened in its middle with an ellipsis, when none does), and `tip` as
    // its tooltip.
    void ShowOnActivityLine(const std::vector<std::string>& lines, const QString& tip);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void BuildMenu();
    // An entry of the shown menu that sends a command, in `menu` (the bar's
    // own commands go on the bar).
    void AddEntry(QMenu* menu, const ui::ShownMenuEntry& entry);
    void AddClockItem(QMenu* menu, const QString& text, uint32_t hz);
    void AddChipItem(QMenu* menu, const std::string& name);
    void ShowPortDevices();
    QAction* AddItem(QMenu* menu, const char* text, int command);

    std::function<bool(int)> command_;
    std::function<void(const std::string&)> simulatorChip_;
    std::function<void(uint32_t)> simulatorClock_;
    DialogUnits units_;
    ui::MenuMachine machine_;
    QWidget* panel_ = nullptr;
    ControlMap controls_;
    std::map<int, QAction*> menuItems_;
    std::map<std::string, QAction*> chipItems_;
    QMenu* simulatorMenu_ = nullptr;
    QMenu* clockMenu_ = nullptr;
    std::map<uint32_t, QAction*> clockItems_;  // by Hz; 0 is the factory clock
    QAction* otherClockItem_ = nullptr;
    bool busy_ = false;
    bool ended_ = false;
    int endResult_ = 0;
    bool inCloseEvent_ = false;
    bool centred_ = false;
};

}  // namespace ostrel::qt
