// The busy state of a window front-end, free of any toolkit: what the
// progress bar shows, and what is asked when the window is closed while a
// command runs. Which controls and menu entries are disabled meanwhile is
// marked in the tables (kStartsCommand, kWhileBusy, MenuEntry::whileBusy).
#pragma once

#include <optional>
#include <string_view>

namespace ostrel::ui {

// The figure the activity line shows, when its text starts with one
// ("45% programmed", "7%flash"): a whole percentage from 0 to 100. No value
// for a text without one ("connecting....", blanks): the bar then shows that
// the command is busy without a figure.
std::optional<int> ProgressFigure(std::string_view activityText);

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
