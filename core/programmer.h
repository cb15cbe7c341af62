// The programmer context: the state record together with the three seams to
// the outside world. Every operation takes it by reference, so a test can
// build as many independent programmers as it needs.
#pragma once

#include <string>
#include <vector>

#include "core/clock.h"
#include "core/file_identity.h"
#include "core/pin_queue.h"
#include "core/port_access.h"
#include "core/programmer_state.h"
#include "core/window_system.h"

namespace ostrel {

struct Programmer {
    Programmer(SerialLines& serialLines, ParallelRegisters& parallelRegisters, Clock& clockSource,
               WindowSystem& windowSystem)
        : serial(serialLines),
          parallel(parallelRegisters),
          clock(clockSource),
          windows(windowSystem) {}
    // One backend that serves both kinds of port.
    Programmer(PortAccess& ports, Clock& clockSource, WindowSystem& windowSystem)
        : Programmer(ports, ports, clockSource, windowSystem) {}

    ProgrammerState state;
    SerialLines& serial;          // the serial port's control and status lines
    ParallelRegisters& parallel;  // the parallel port's registers
    Clock& clock;                 // millisecond ticks and whole seconds
    WindowSystem& windows;        // the main window, dialogs, message boxes
    // The ports whose lines are pins: FTDI adapters in bit-bang mode behind
    // serial port names, and the GPIO lines of a single-board computer.
    // Null where the program has none (Windows, most tests).
    PinPort* pins = nullptr;
    // States queued for a streaming port of pins and the answers that came back.
    PinQueue pinQueue;

    // The directory relative file names are opened in. It plays the part of the
    // process's current directory (the file-open dialog changes it, most
    // commands set it back to startDirectory) without touching the real one,
    // which is shared by every programmer in the process.
    std::string currentDirectory;
    // The ports the Port menu lists as found on this machine; entry i sends
    // ids::kFirstFoundPort + i. portsSearched: they were looked for (a first
    // start then picks one that is there, or the simulator).
    std::vector<FoundPort> foundPorts;
    bool portsSearched = false;
    // The data files the running command judged before it touched the chip,
    // as they were then: what it streams must be these files, unchanged.
    std::vector<CheckedFile> checkedFiles;
    // Advice that goes with errorText ("Check the cable ..."): shown on a
    // line of its own after it, so that no reason is cut off to make room.
    // Connect clears it; ReportFailure shows it and clears it.
    std::string failureHint;
    // Set by the console when every question is answered OK and nothing but
    // results is printed: a verify passes each mismatch without a box, notes
    // the first addresses, and tells them with the count once at its end.
    bool summariseMismatches = false;
    std::vector<int32_t> firstMismatches;
    // The file Read or Readback INHX writes, as a full path; empty for
    // readback.txt or readback.hex in the start directory.
    std::string readbackFile;
    // Set once the running command has erased the chip, and once it has
    // written a file to it.
    bool chipErasedByCommand = false;
    bool chipWrittenByCommand = false;
    // Set once the running command has sent the chip an instruction that
    // changes it (an erase, a page load or write, a byte, fuse or lock
    // write): a command stopped before that has left the chip as it was.
    bool chipChangeSent = false;
    // The signature of another chip that the user agreed, in the running
    // command, to use as the device chosen by hand: the command's next
    // connections do not ask again.
    std::string otherChipAccepted;

    // Set while a command runs: the activity refresh processes pending events,
    // and a second command arriving meanwhile is refused rather than run inside the first.
    bool commandRunning = false;
    // Set by a front-end when the user asks the running command to end (a
    // Stop button, Escape, Ctrl-C, a closed window or terminal). The next
    // activity refresh ends the command (core::CommandStopped); the command
    // runner clears it once the command has ended.
    bool stopRequested = false;
    // Set while a command runner (app::RunAsCommand) is there to end the
    // command when a stop is asked for; without one the request waits.
    bool stoppable = false;
    // The console skips the one-second pauses that only let a person read the activity line.
    bool skipReadingPauses = false;
    // Set by the line operations when the parallel port could not be reached:
    // until the command ends no port is touched and no further failure message
    // is shown. The command then ends as a failure, and app/ tells the user
    // once (driverAccessTold) and ends the main window.
    bool driverAccessFailed = false;
    bool driverAccessTold = false;
    // Set by the line operations when a port of pins stopped answering in
    // the middle of a command (a USB adapter pulled out): from then on the
    // lines are left alone and every read gives 1s, the next activity
    // refresh ends the command, and the command runner tells portLostText
    // once, closes the port and ends the command as a failure.
    bool portLost = false;
    std::string portLostText;
};

}  // namespace ostrel
