// The activity line (field 1018 of the main window), the one point at which a
// running operation lets the window repaint and take input, and the shared
// start and failure ending of the chip commands. Everything here goes through
// the WindowSystem seam only, so every layer may show progress.
#pragma once

#include <string_view>

#include "core/programmer.h"

namespace ostrel::core {

// What ShowActivity throws when the user asked the running command to stop
// (Programmer::stopRequested). The activity refresh is the one point where a
// running command takes input, so it is the one point where a command can be
// stopped; whatever the command holds is released on the way out (files are
// owned by objects that clean up). It is caught only where commands are run
// (app::OnCommand and the start-up write), which release the target and tell
// the user. A front-end must not let the request arise while the refresh is
// called from inside one of its own event handlers (a modal dialog's button):
// the exception would cross the toolkit's frames.
struct CommandStopped {};

// Shows activityText, padded with 80 blanks from its first control or
// non-ASCII character, repaints and processes pending events once. Throws
// CommandStopped when, after the events, a stop has been requested, or the
// port has been lost (Programmer::portLost), while a command runner can end
// the command (Programmer::stoppable).
void ShowActivity(Programmer& p);
// ShowActivity of a text that tells the command's progress: the window
// system gets the figures as a progress event just before the text.
void ShowActivity(Programmer& p, const Progress& progress);
// ShowActivity, but only when memAddress is a multiple of 16.
void ShowActivityEvery16(Programmer& p);
void ShowActivityEvery16(Programmer& p, const Progress& progress);
// What ShowActivity does for the window (repaint, pending events, a stop
// asked for) without changing the activity line: for the long loops whose
// texts the system does not show, so that they still take input.
void ServiceWindow(Programmer& p);

// Puts the text into field 1018 as it is (no padding) and repaints.
void SetActivityField(Programmer& p, std::string_view text);
// Enables or disables a main window field and repaints.
void EnableField(Programmer& p, int item, bool enabled);
// Sets mainWindow, blanks field 1018 with two blanks, enables it, repaints.
void UsualStart(Programmer& p);
// errorText, and the failure hint after it on a line of its own.
std::string FailureText(const Programmer& p);

// Shows errorText in a box titled "Error" (not after a failed driver access
// or with the port lost: the command runner tells those); the activity line
// is blanked and the activity and current-file fields are greyed.
void ReportFailure(Programmer& p);

}  // namespace ostrel::core
