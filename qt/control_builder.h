// The Qt renderer of the control tables (ui/control_table): one builder turns
// a table into widgets at absolute positions, so every window is laid out the
// same way.
#pragma once

#include <map>
#include <span>

#include <QWidget>

#include "qt/dialog_units.h"
#include "ui/control_table.h"

namespace ostrel::qt {

// Widgets by control number.
using ControlMap = std::map<int, QWidget*>;

// Creates the widgets of a table as children of `parent` at their places and
// in their start states; returns those that have a number.
ControlMap BuildControls(QWidget* parent, std::span<const ui::ControlEntry> table,
                         const DialogUnits& units);

// Draws the decoration lines and dot rows of a window (ui::DecorationLinesOf).
void BuildDecoration(QWidget* parent, int window, const DialogUnits& units);

}  // namespace ostrel::qt
