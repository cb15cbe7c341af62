// The busy state of a window front-end, free of any toolkit: what is asked
// when the window is closed while a command runs, and the Stop button's text
// meanwhile (the progress bar takes the figures of the window system's
// progress event). Which controls and menu entries are disabled meanwhile is
// marked in the tables (kStartsCommand, kWhileBusy, MenuEntry::whileBusy).
#pragma once

namespace ostrel::ui {

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
