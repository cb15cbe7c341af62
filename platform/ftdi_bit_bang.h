// What every system's FTDI backend shares about the chips in synchronous
// bit-bang mode, whatever library reaches them (libftdi1 on Linux, FTDI's
// D2XX library on Windows): the pins that drive, the buffers, the rate rule.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel {

// The chips with a synchronous bit-bang mode that the backends take.
enum class FtdiBitBangKind { None, Ft232r, FtX };

// The pins that drive the RS-232 transceiver: D0 TXD, D2 RTS#, D4 DTR#.
// Every other pin is an output of the transceiver's receivers and is read.
inline constexpr uint8_t kFtdiDrivenPins = 0x15;
// The outputs at rest: every line off at the connector (the transceiver
// inverts, so the pins are high), as a serial port is after it opened.
inline constexpr uint8_t kFtdiRestPins = 0x15;
// The fastest rate of states: the chip's 3 MHz baud rate reference,
// undivided, makes 750 000 states a second.
inline constexpr uint32_t kFtdiTopStateRate = 750000;
// The slowest: the largest divisor, 16384.
inline constexpr uint32_t kFtdiBottomStateRate = 46;

// The states one write may carry before its samples are read back: the
// chip's buffer towards the host is the smaller one (128 bytes on the
// FT232R, 512 on the FT-X chips), and a write never waits on a full buffer.
// 0 for no chip.
std::size_t FtdiBufferStates(FtdiBitBangKind kind);

// The divisor of the 3 MHz reference for at most `hz` states a second, and
// the rate it gives. The FT232R's bit-bang clock, divided down, is not in
// step with the USB clock, so states come out of uneven length, some far
// shorter than the rate asked (FTDI's errata technical note TN_120 and its
// knowledge base): it always runs undivided, and the adapter layer makes a
// longer phase of several states. The FT-X chips get a whole divisor, the
// rate asked or the next slower one, so a state never comes out shorter
// than planned.
struct FtdiStateRate {
    uint32_t divisor = 1;
    uint32_t statesPerSecond = kFtdiTopStateRate;
};
FtdiStateRate FtdiRateFor(FtdiBitBangKind kind, uint32_t hz);

}  // namespace ostrel
