// The controls of the windows as tables: kind, number, text and place in
// dialog units, and how each control starts. One builder turns a table into
// widgets at absolute positions, so every window is laid out the same way.
#pragma once

#include <map>
#include <span>

#include <QWidget>

#include "qt/dialog_units.h"

namespace ostrel::qt {

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
};

// Start states.
inline constexpr unsigned kHidden = 1U << 0;
inline constexpr unsigned kDisabled = 1U << 1;
inline constexpr unsigned kChecked = 1U << 2;

struct ControlEntry {
    int id;  // 0: a control the program never addresses
    ControlKind kind;
    const char* text;
    int x, y, width, height;  // dialog units
    unsigned start = 0;
};

// The main window "AVR-Programmer", 198 x 162 units.
std::span<const ControlEntry> MainWindowControls();
// "Serial Programming Instructions", 202 x 205 units.
std::span<const ControlEntry> InstructionsDialogControls();
// "EEPROM (max. 2048 bytes)", 147 x 95 units.
std::span<const ControlEntry> EepromWindowControls();

// Widgets by control number.
using ControlMap = std::map<int, QWidget*>;

// Creates the widgets of a table as children of `parent` at their places and
// in their start states; returns those that have a number.
ControlMap BuildControls(QWidget* parent, std::span<const ControlEntry> table,
                         const DialogUnits& units);

}  // namespace ostrel::qt
