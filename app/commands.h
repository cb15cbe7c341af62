// The main window's commands, dispatched by their numbers, and the ending of
// the main window. The desktop and the console front-ends both run every
// command through OnCommand, so they behave alike.
#pragma once

#include <functional>

#include "adapter/adapter.h"
#include "core/programmer.h"

namespace ostrel::app {

enum class CommandResult {
    Ok,         // the command did what it was asked
    Failed,     // it ended with a failure the user was shown
    Cancelled,  // the user said Cancel at a question
    Ignored,    // unknown command, or another command is still running
    Stopped,    // the user asked it to stop; the target was released and the user told
};

// Runs the command to its end. While one runs, a command that arrives through
// the activity refresh's event processing is ignored. A stop the user asks
// for meanwhile (Programmer::stopRequested) ends it at the next activity
// refresh: the target is released and the user is told what state the chip
// is left in.
CommandResult OnCommand(Programmer& p, int command);

// Runs `body` as the command `command` (the number decides what a stop tells
// about the chip): commandRunning set for its length, a stop honoured as
// described above, a lost parallel port told once. OnCommand runs every window command through it;
// the start-up write of a file named on the command line too.
CommandResult RunAsCommand(Programmer& p, int command,
                           const std::function<CommandResult(Programmer&)>& body);

// The window is being destroyed: saves port name and selection mode, closes the serial port.
void OnDestroy(Programmer& p);

// Port menu: the command of a port name ("0278" .. "COM8", "SIM"), or 0.
int PortCommand(std::string_view portName);
// Sets the Port menu check marks so that only `command` is checked (0: none).
void CheckPortItem(Programmer& p, int command);
// Sets the Port menu check marks for the port chosen (portName): its fixed
// item, and every found port of that name.
void CheckChosenPort(Programmer& p);

using adapter::ReadingPause;

}  // namespace ostrel::app
