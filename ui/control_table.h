// The windows as tables, free of any toolkit: each control's kind, number,
// text and place in dialog units and how it starts; each window's title and
// size; the decoration lines. A renderer (the Qt front-end, a native one)
// turns a table into its own widgets, so a change of layout is made once,
// here, and every front-end shows it.
#pragma once

#include <span>

namespace ostrel::ui {

enum class ControlKind {
    GroupBox,
    PushButton,
    DefaultButton,  // the button Enter presses
    CheckBox,       // toggles itself when clicked
    Label,
    WrappedLabel,  // a label over several lines
    Edit,          // a one-line field the program writes and the user does not type in
    BorderlessEdit,
    ByteEdit,     // a one-line field whose letters are shown in capitals
    ListingEdit,  // the EEPROM listing: several lines, fixed-width font, capitals
    ComboBox,     // the device list; its height is that of the list when dropped down
    ProgressBar,  // a bar that fills from 0 to 100 percent
};

// Start states.
inline constexpr unsigned kHidden = 1U << 0;
inline constexpr unsigned kDisabled = 1U << 1;
inline constexpr unsigned kChecked = 1U << 2;
// The busy state, while a command runs: controls that start a command are
// disabled then; controls marked kWhileBusy are shown only then (they start hidden).
inline constexpr unsigned kStartsCommand = 1U << 3;
inline constexpr unsigned kWhileBusy = 1U << 4;

struct ControlEntry {
    int id;  // 0: a control the program never addresses
    ControlKind kind;
    const char* text;
    int x, y, width, height;  // dialog units
    unsigned start = 0;
};

// The main window "AVR-Programmer".
std::span<const ControlEntry> MainWindowControls();
// "Serial Programming Instructions".
std::span<const ControlEntry> InstructionsDialogControls();
// "EEPROM (max. 2048 bytes)".
std::span<const ControlEntry> EepromWindowControls();
// "Fuses and Lock Bits": every place of the window, filled for the chip.
std::span<const ControlEntry> FusesWindowControls();
// The table of a window or dialog by its number; empty for one without controls.
std::span<const ControlEntry> ControlsOf(int window);

// A window's title and size in dialog units.
struct WindowFrame {
    const char* title;
    int width, height;
};
WindowFrame FrameOf(int window);

// The decoration: thin etched lines (height 0: a line on y; otherwise a band
// of that height with the line in its middle) and rows of fifteen small dots
// that sit on a line's y, their first and last dots at the x given.
struct DecorationLine {
    int x, y, width, height;
};
struct DotRow {
    int firstX, lastX, y;
};
inline constexpr int kDotsInARow = 15;
std::span<const DecorationLine> DecorationLinesOf(int window);
std::span<const DotRow> DotRowsOf(int window);

// Where the wiring picture sits in its dialog and the room it has.
struct PicturePlace {
    int x, y, width, height;
};
PicturePlace WiringPicturePlace();

}  // namespace ostrel::ui
