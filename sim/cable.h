// The simulated adapter cables: how the PC port's outputs reach the target's
// RESET, SCK and MOSI, and how MISO and the cables' loop-backs come back.
//
//   cable       SCK          MOSI         RESET               MISO             loop-back
//   parallel    data bit 1   data bit 0   data bit 3          status bit 6     -
//   plain       RTS          DTR          break (set = high)  CTS              -
//   Cablet1     RTS inverted DTR inverted break (set = high)  DSR inverted     break -> RI
//   Cablet2     RTS          DTR          break (set = high)  CTS              DTR -> DSR
#pragma once

#include <cstdint>
#include <string_view>

#include "core/port_access.h"

namespace ostrel::sim {

enum class CableKind : uint8_t { Parallel, SerialPlain, Cablet1, Cablet2 };

// The three lines the cable drives into the target.
struct TargetLines {
    bool reset = false;
    bool sck = false;
    bool mosi = false;
};

// Parallel data register bits wired to the target.
inline constexpr uint8_t kParallelMosi = 0x01;
inline constexpr uint8_t kParallelSck = 0x02;
inline constexpr uint8_t kParallelReset = 0x08;
// Status register bit 6 (ACK, pin 10) carries MISO.
inline constexpr uint8_t kParallelMiso = 0x40;
// The status inputs the cable leaves open: ERROR, SELECT and PAPER END float
// high; BUSY floats high too but the port reads it inverted, as 0.
inline constexpr uint8_t kParallelStatusIdle = 0x38;

inline bool IsSerialCable(CableKind cable) {
    return cable != CableKind::Parallel;
}

inline TargetLines ParallelTargetLines(uint8_t data) {
    return {(data & kParallelReset) != 0, (data & kParallelSck) != 0, (data & kParallelMosi) != 0};
}

inline uint8_t ParallelStatus(bool miso) {
    return static_cast<uint8_t>(kParallelStatusIdle | (miso ? kParallelMiso : 0));
}

// Target lines for the states of RTS, DTR and the break of a serial port.
inline TargetLines SerialTargetLines(CableKind cable, bool rts, bool dtr, bool breakOn) {
    if (cable == CableKind::Cablet1)
        return {breakOn, !rts, !dtr};
    return {breakOn, rts, dtr};
}

// Modem status lines as the port reads them through the cable.
inline uint32_t SerialModemStatus(CableKind cable, bool dtr, bool breakOn, bool miso) {
    switch (cable) {
        case CableKind::SerialPlain:
            return miso ? kMsCtsOn : 0;
        case CableKind::Cablet1:
            return (miso ? 0 : kMsDsrOn) | (breakOn ? kMsRingOn : 0);
        case CableKind::Cablet2:
            return (miso ? kMsCtsOn : 0) | (dtr ? kMsDsrOn : 0);
        case CableKind::Parallel:
            break;
    }
    return 0;
}

// "parallel", "plain", "cablet1", "cablet2".
std::string_view CableName(CableKind cable);
// Reads a cable name (letters compared without regard to case); false when unknown.
bool ParseCableKind(std::string_view text, CableKind* cable);

}  // namespace ostrel::sim
