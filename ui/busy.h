// The busy state of a window front-end, free of any toolkit: which controls
// and menu items are disabled or shown while a command runs (the plan both
// desktop programs follow, from the marks of the tables: kStartsCommand,
// kWhileBusy, MenuEntry::whileBusy), and what is asked when the window is
// closed while a command runs. The progress bar takes the figures of the
// window system's progress event.
#pragma once

#include <optional>
#include <vector>

namespace ostrel::ui {

// A main window control the busy state changes: enabled or not, shown or not
// (no value: left as it is).
struct BusyControl {
    int id;
    std::optional<bool> enabled;
    std::optional<bool> shown;
};

// The main window as it is while a command runs (busy) and once it has ended.
struct BusyPlan {
    bool busy = false;
    std::vector<BusyControl> controls;
    // The simulator's chips and clocks in Port > Simulator.
    bool simulatorItemsEnabled = true;
    // The Stop button's text and state (while it is shown).
    const char* stopText = "Stop";
    bool stopEnabled = true;
    // The cursor over the window says busy.
    bool busyCursor = false;
    // Whether the menu item that sends `command` is enabled.
    bool MenuItemEnabled(int command) const;
};
BusyPlan PlanBusy(bool busy);

// Whether `command` runs in the busy state. The ones that only show a box or
// a page (About, the wiring picture, the help and the version page) do not:
// their box keeps the window from input while it shows, and the progress bar
// and Stop have nothing to tell.
bool RunsBusy(int command);

// A check box toggles its own mark when it is clicked, before its command
// runs. When that command is refused (another one runs), the toggle is
// undone, so that the box keeps showing the state the program uses: the state
// to give the box back, given whether the command was taken and the box's
// state now; none when the box is to stay as it is.
std::optional<bool> CheckBoxAfterCommand(bool taken, bool checkedNow);

// Closing the main window (close box, File > Exit) while a command runs asks
// this, with OK and Cancel; OK stops the command at its next activity refresh
// and quits once it has ended.
inline constexpr char kStopAndQuitQuestion[] =
    "A command is still running.\n\nStop it and quit? The chip may be left partly changed.";
inline constexpr char kStopAndQuitTitle[] = "Warning!";

// The Stop button's text once the stop was asked for and the command has not
// yet reached its next refresh.
inline constexpr char kStopping[] = "Stopping";

}  // namespace ostrel::ui
