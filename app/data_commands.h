// The main operations: Read, "Readback INHX format", Verify, Write, the quick
// write, and the write sequence they share with the start-up write.
#pragma once

#include "app/commands.h"

namespace ostrel::app {

CommandResult ReadCommand(Programmer& p);         // readback.txt
CommandResult ReadbackHexCommand(Programmer& p);  // readback.hex
CommandResult VerifyCommand(Programmer& p);
CommandResult WriteCommand(Programmer& p);
CommandResult QuickCommand(Programmer& p);

// Programs the current file: checksum question, connect, erase first (only
// when started by the Write button with "Erase bef. Write" checked), the
// engine, the verify pass of page-mode chips, the snapshot, the EEPROM file
// of a flash file when "Program eep- after hexfile" is on, the script, and
// the release. noMismatchPrompt is set by the caller.
CommandResult WriteSequence(Programmer& p, bool fromWriteButton);

// How long the write of `dataBytes` data bytes to the connected chip takes,
// from the last calibration and the chip's own write times (the longest known
// ones for a chip the program does not know); what Write announces when it is
// 10 s or more. Negative before the first calibration.
double EstimatedWriteSeconds(Programmer& p, long dataBytes);

}  // namespace ostrel::app
