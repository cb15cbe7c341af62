// The endings of the chip commands. The start and the failure ending only
// need the windows and live with the activity line in core/; app/ names them
// here too, so the commands call them as their own.
#pragma once

#include "core/activity.h"

namespace ostrel::app {

using core::EnableField;
using core::ReportFailure;
using core::SetActivityField;
using core::ShowActivity;
using core::ShowActivityEvery16;
using core::UsualStart;

// Shows "OK" on the activity line once what a streaming port still holds has
// gone out; nothing when the port stopped answering on the way (the command
// runner tells the loss). False then.
bool ShowOk(Programmer& p);
// ShowOk for one second, then greys the activity field.
void ReportOk(Programmer& p);
// After the line operations found no way to the parallel port: tells the user
// once and ends the main window with result 1. Nothing when the port was reached.
void TellDriverAccessFailure(Programmer& p);
// After a port of pins stopped answering in a command (Programmer::portLost):
// tells the user what was lost and what to do, in a box titled "Error".
// Nothing when the port kept answering.
void TellPortLost(Programmer& p);

}  // namespace ostrel::app
