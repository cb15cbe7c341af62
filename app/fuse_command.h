// The fuses command: reads every fuse byte and the lock byte of the chip and
// tells each bit by name; with edits ("low=0xFF,CKDIV8=1") writes them
// through the guard and reads them back.
#pragma once

#include <string>

#include "app/commands.h"

namespace ostrel::app {

struct FuseRequest {
    std::string edits;          // empty: only read
    bool allowLockout = false;  // the refused class is written all the same
    // Every fuse byte (not the lock byte, which only a chip erase clears) set
    // to the chip's factory value before the edits.
    bool factory = false;
};

// Connects, reads, and with edits writes what changed: a write the guard
// refuses ends the command unless allowLockout; one it asks about is asked
// with OK and Cancel. The read-back must equal what was written in the bits
// in use. report gets the bytes as read at the end, with names and meanings.
CommandResult RunFuses(Programmer& p, const FuseRequest& request, std::string& report);

// Writes the factory values of the chip's fuse table into every fuse byte
// that differs, through the same guard and read-back as RunFuses (so a chip
// without a table fails, and a factory clock that needs a slower speed is
// asked). The lock byte stays as it is. report as for RunFuses.
CommandResult RestoreFactoryFuses(Programmer& p, bool allowLockout, std::string& report);

}  // namespace ostrel::app
