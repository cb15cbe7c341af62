// How long a write will take, from the measured cost of a port access.
//
// The calibration counts how many input reads fit into 50 ms; every bit of
// the transfer is a fixed number of such accesses (its line changes, its MISO
// read and the reads that make its delay units), so the bits a write sends
// give its length. On a serial port of the main board an access is about a
// microsecond; on a USB-serial adapter it is a USB request of a millisecond
// or more, which is what turns seconds into minutes.
#include "adapter/adapter.h"

namespace ostrel::adapter {

namespace {
constexpr double kCalibrationSeconds = 0.050;
// Bits of one memory instruction: four bytes.
constexpr int64_t kInstructionBits = 32;
// Time spent waiting for the chip, per page and per byte: the engine polls
// until the chip is done (a page takes 4.5 ms on most chips and up to 56 ms,
// a byte 4 to 20 ms, and a value that a busy cell also reads waits the
// longest, 20 ms), so these are rough middle figures, the page one on the
// safe side.
constexpr double kPageWaitSeconds = 0.040;
constexpr double kByteWaitSeconds = 0.010;
}  // namespace

int64_t PortAccessesPerBit(const Programmer& p) {
    const ProgrammerState& s = p.state;
    const CableProfile& cable = ActiveCable(s);
    // MOSI, SCK up, read, SCK down, with a delay after each line change and,
    // on cables that want it, after the read; a cable that raises MOSI again
    // while SCK is high adds that change and its delay.
    const int64_t extraMosi = cable.mosiHighWhileSckHigh ? 1 : 0;
    const int64_t lineAccesses = 4 + extraMosi;
    const int64_t delayUnits = 3 + (cable.delayAfterSample ? 1 : 0) + extraMosi;
    int64_t readsPerUnit =
        static_cast<int64_t>(SpeedFactor(s.speed)) * (s.delayLoops > 0 ? s.delayLoops : 1);
    return lineAccesses + delayUnits * readsPerUnit;
}

double EstimateWriteSeconds(const Programmer& p, long dataBytes) {
    const ProgrammerState& s = p.state;
    if (s.calibrationPasses <= 0)
        return -1.0;
    if (dataBytes <= 0)
        return 0.0;
    const auto bytes = static_cast<int64_t>(dataBytes);
    int64_t bits = 0;
    double waits = 0.0;
    if (s.pagedFlash && !s.eepromFile && s.pageWords > 0) {
        const int64_t pageBytes = 2 * static_cast<int64_t>(s.pageWords);
        const int64_t pages = (bytes + pageBytes - 1) / pageBytes;
        bits = bytes * 2 * kInstructionBits + pages * kInstructionBits;
        waits = static_cast<double>(pages) * kPageWaitSeconds;
    } else {
        bits = bytes * 3 * kInstructionBits;
        if (s.eepromFile && s.eepromBytes > 0)
            bits += static_cast<int64_t>(s.eepromBytes) * kInstructionBits;
        waits = static_cast<double>(bytes) * kByteWaitSeconds;
    }
    const double secondsPerAccess = kCalibrationSeconds / s.calibrationPasses;
    return static_cast<double>(bits) * static_cast<double>(PortAccessesPerBit(p)) *
               secondsPerAccess +
           waits;
}

}  // namespace ostrel::adapter
