// The main window commands that open the auxiliary dialogs. Both connect to
// the chip first and open their dialog only when that succeeded, so the
// dialog starts with the signature and geometry of the chip in hand.
#pragma once

#include "core/programmer.h"

namespace ostrel::dialogs {

// FuseBits: Connect, then the serial programming instructions dialog.
// 0 when the dialog ran, 1 when Connect failed (the failure was shown).
int OpenInstructionsDialog(Programmer& p);

// Data Window: Connect, then the EEPROM data window, which works on the chip
// left in programming mode. 0 when the window ran, 1 when Connect failed.
int OpenDataWindow(Programmer& p);

// FuseBits > Fuses: Connect, then the Fuses window, which reads every fuse
// and lock byte of the chip. 0 when the window ran, 1 when Connect failed.
int OpenFusesWindow(Programmer& p);

}  // namespace ostrel::dialogs
