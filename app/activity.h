// The activity line (field 1018 of the main window) and the one point at
// which a running operation lets the window repaint and take input.
#pragma once

#include "app/programmer.h"

namespace ostrel::app {

// Shows activityText, padded with 80 blanks from its first control or
// non-ASCII character, repaints and processes pending events once.
void ShowActivity(Programmer& p);
// ShowActivity, but only when memAddress is a multiple of 16.
void ShowActivityEvery16(Programmer& p);

}  // namespace ostrel::app
