// The shared start and the two endings of the chip commands.
#pragma once

#include <string_view>

#include "app/programmer.h"

namespace ostrel::app {

// Puts the text into field 1018 as it is (no padding) and repaints.
void SetActivityField(Programmer& p, std::string_view text);
// Enables or disables a main window field and repaints.
void EnableField(Programmer& p, int item, bool enabled);
// Sets mainWindow, blanks field 1018 with two blanks, enables it, repaints.
void UsualStart(Programmer& p);
// Shows errorText in a box titled "Error"; the activity line is blanked and
// the activity and current-file fields are greyed.
void ReportFailure(Programmer& p);
// Shows "OK" for one second, then greys the activity field.
void ReportOk(Programmer& p);

}  // namespace ostrel::app
