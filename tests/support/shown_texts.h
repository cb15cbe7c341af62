// The texts each control of a window's table shows: the table's own and those
// the program puts there while it runs (the Stop button's "Stopping", the
// dialogs' status words, the Fuses window's names of the fields of several
// bits of every chip with a fuse table). The tests that measure texts against their controls take
// them from here, on every renderer.
#pragma once

#include <string>
#include <vector>

#include "core/ids.h"
#include "ui/control_table.h"

namespace ostrel::testing {

// Each text once, the table's first; none for a control that shows no text
// of the program's own (an empty field, the activity line: ui::FitActivityLine
// fits that one, the current file's name and the port's name, which come
// from the user and the machine).
std::vector<std::string> ShownTexts(int window, const ui::ControlEntry& control);

// The windows made from the tables, the main window first.
inline constexpr int kTableWindows[] = {ids::kMainWindow, ids::kInstructionsDialog,
                                        ids::kEepromWindow, ids::kFusesWindow, ids::kWiringDialog};

}  // namespace ostrel::testing
