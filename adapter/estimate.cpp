// How long a write will take, from the measured cost of a port access.
//
// The calibration counts how many input reads fit into 50 ms; every bit of
// the transfer is a fixed number of such accesses (its line changes, its MISO
// read and the reads that make its delay units), so the bits a write sends
// give its length. On a serial port of the main board an access is about a
// microsecond; on a USB-serial adapter it is a USB request of a millisecond
// or more, which is what turns seconds into minutes.
#include <algorithm>
#include <cmath>

#include "adapter/adapter.h"

namespace ostrel::adapter {

namespace {
constexpr double kCalibrationSeconds = 0.050;
// Bits of one memory instruction: four bytes.
constexpr int64_t kInstructionBits = 32;
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

namespace {

// Records of the files the engine works through, one answer batch each when
// it verifies or reads before writing.
constexpr double kRecordBytes = 16;
// What the program adds to each wait for the chip: one tick of the counter.
constexpr double kWaitMarginSeconds = 0.001;

// On a streaming port the time is in the transfers, each a round trip, and
// in the states they carry at the state rate. The calibration counted
// transfers of a state or two in its 50 ms: round trips.
double StreamingWriteSeconds(const Programmer& p, double bytes, const ChipWriteTimes& chip) {
    const ProgrammerState& s = p.state;
    const auto capacity = static_cast<double>(p.pins->StreamCapacity());
    const double rate = s.stateRateHz > 0 ? s.stateRateHz : 1.0;
    const double phase = s.statesPerPhase > 0 ? s.statesPerPhase : 1;
    const double perBit = ActiveCable(s).mosiHighWhileSckHigh ? 3 : 2;
    const double perInstruction = static_cast<double>(kInstructionBits) * perBit * phase;
    const double roundTrip = kCalibrationSeconds / s.calibrationPasses;
    // Instructions sent together: before a wait ended by a phase that brings
    // SCK low, for answers by a state after Cablet2's last sample.
    const double answerEnd = ActiveCable(s).mosiHighWhileSckHigh ? 1 : 0;
    // With a transfer in flight while the next is sent, the full ones
    // stream at the state rate and only the end of a batch waits a round
    // trip; a port that holds no more than one waits for each.
    const bool inFlight =
        p.pins->InFlightLimit() >= 2 * p.pins->StreamCapacity() && !p.pinQueue.oneInFlight;
    auto send = [&](double instructions, double end) {
        const double states = instructions * perInstruction + end;
        const double trips = inFlight ? 1.0 : std::ceil(states / capacity);
        return trips * roundTrip + states / rate;
    };
    auto batch = [&](double instructions) { return send(instructions, answerEnd); };
    auto beforeWait = [&](double instructions) { return send(instructions, phase); };
    const double records = std::ceil(bytes / kRecordBytes);
    const double perRecord = std::min(bytes, kRecordBytes);
    if (s.pagedFlash && !s.eepromFile && s.pageWords > 0) {
        // Each page's loads and its write go out before the chip's page
        // time is waited (known chips) or polled; then the verify pass
        // reads record by record.
        const double pages = std::ceil(bytes / (2.0 * s.pageWords));
        if (inFlight) {
            // In flight the page times are idle states among the loads and
            // the verify pass queues its next window before it needs the
            // answers: everything streams at the state rate, and only the
            // end of the verify pass waits a round trip.
            const double loads = (bytes + pages) * perInstruction + pages * phase;
            return loads / rate + pages * chip.pageSeconds +
                   records * (perRecord * perInstruction / rate) + roundTrip;
        }
        return pages * (beforeWait(bytes / pages + 1) + chip.pageSeconds + kWaitMarginSeconds) +
               records * batch(perRecord);
    }
    // Byte-wise: each record's bytes are read first; each byte that differs
    // is written, its write time waited and read back once. The EEPROM
    // file's erase pass reads the whole EEPROM first.
    double seconds = records * batch(perRecord) +
                     bytes * (beforeWait(1) + chip.byteSeconds + kWaitMarginSeconds + batch(1));
    if (s.eepromFile && s.eepromBytes > 0) {
        const double window = AnswerWindow(p);
        seconds += std::ceil(s.eepromBytes / window) * batch(window);
    }
    return seconds;
}

}  // namespace

double EstimateWriteSeconds(const Programmer& p, long dataBytes, const ChipWriteTimes& chip) {
    const ProgrammerState& s = p.state;
    if (s.calibrationPasses <= 0)
        return -1.0;
    if (dataBytes <= 0)
        return 0.0;
    const auto bytes = static_cast<double>(dataBytes);
    if (Streaming(p))
        return StreamingWriteSeconds(p, bytes, chip);
    const double secondsPerAccess = kCalibrationSeconds / s.calibrationPasses;
    const double instruction = static_cast<double>(kInstructionBits) *
                               static_cast<double>(PortAccessesPerBit(p)) * secondsPerAccess;
    // The reads that poll a write run while the chip writes: the first one
    // that ends after the chip is done shows the value.
    auto poll = [instruction](double writeSeconds) {
        return std::max(1.0, std::ceil(writeSeconds / instruction)) * instruction;
    };
    if (s.pagedFlash && !s.eepromFile && s.pageWords > 0) {
        const double pages = std::ceil(bytes / (2.0 * s.pageWords));
        // Per byte a load and the read of the verify pass; per page its
        // write and the polling.
        return bytes * 2 * instruction + pages * (instruction + poll(chip.pageSeconds));
    }
    // Per flash byte the write, its polling and a read; an EEPROM byte is
    // also read before it is written, and the EEPROM file's erase pass reads
    // the whole EEPROM first.
    const double perByte = (s.eepromFile ? 3 : 2) * instruction + poll(chip.byteSeconds);
    double seconds = bytes * perByte;
    if (s.eepromFile && s.eepromBytes > 0)
        seconds += static_cast<double>(s.eepromBytes) * instruction;
    return seconds;
}

}  // namespace ostrel::adapter
