// A programmer wired to the simulated chip, in a fresh start directory that
// holds the shipped device file, with the main window prepared as at start:
// Autodetection and "Erase bef. Write" checked, the device list filled.
#pragma once

#include <memory>
#include <string>

#include "core/programmer.h"
#include "sim/sim_port.h"
#include "tests/support/scripted_windows.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {

class PinKit;

// How the programmer reaches the simulated cable and chip: the simulator's
// own port, or (on Linux) an FTDI adapter in bit-bang mode or GPIO lines,
// through the real backends over the fake libraries (tests/support/linux).
enum class RigPort { Sim, Ft232r, Ft231x, Gpio };
const char* RigPortName(RigPort port);
// The ports of pins this build can put in a rig (none where the backends are not built).
bool RigPortAvailable(RigPort port);

// A simulator state file's bytes marked as of another format version, the
// checksum made good again (a file as an earlier version wrote it).
std::string StateFileOfVersion(std::string bytes, uint8_t version);

struct SimRigOptions {
    std::string chip = "ATmega8";
    sim::CableKind cable = sim::CableKind::Parallel;
    sim::SimFault fault = sim::SimFault::None;
    uint32_t outOfStepBits = 1;
    uint32_t stuckAddress = 0;
    sim::Memory stuckMemory = sim::Memory::Eeprom;
    uint32_t disappearAfter = 64;
    std::array<uint8_t, 3> unknownSignature{0x1E, 0x93, 0x0A};
    // The clock of the port, the chip and the programmer; null: the rig's
    // own VirtualClock. A test of real timing hands in a SystemClock.
    Clock* clock = nullptr;
    // What one access of the simulated port costs; 0: the port kind's default.
    uint32_t accessNs = 0;
    RigPort port = RigPort::Sim;
    // An FTDI adapter: transfers kept in flight (false: one at a time), and
    // the plain transfers timed by the model of the USB bus too.
    bool pipelined = true;
    bool frameModel = false;
};

class SimRig {
  public:
    explicit SimRig(const SimRigOptions& options = {});
    ~SimRig();

    sim::AvrTarget& chip() { return board->target(); }
    // Writes a file into the start directory and returns its full path.
    std::string Write(std::string_view name, std::string_view content) {
        return dir.Write(name, content);
    }
    // Makes a file of the start directory the current data file.
    int Load(std::string_view name);
    // Turns Autodetection off as the user does and chooses `name` in the
    // device list.
    void ChooseByHand(std::string_view name);

    TempDir dir;
    VirtualClock clock;
    ScriptedWindows windows;
    std::unique_ptr<sim::SimPort> sim;  // the simulator's port (RigPort::Sim)
    std::unique_ptr<PinKit> kit;        // the port of pins and its far end (the others)
    sim::SimPort* board = nullptr;      // where the simulated cable and chip are
    std::unique_ptr<Programmer> programmer;
    Programmer& p;

  private:
    static Programmer& Build(SimRig& rig, const SimRigOptions& options);
};

}  // namespace ostrel::testing
