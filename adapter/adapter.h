// The adapter layer: the lines of the passive cable on a serial or a parallel
// port, the waits and calibrated delays, opening the port and finding the
// serial cable variant, and the bit transfer of instructions.
//
// Which port line carries which signal, per cable, is the table of
// adapter/cable_profile.h.
#pragma once

#include <cstdint>

#include "adapter/cable_profile.h"
#include "core/programmer.h"

namespace ostrel::adapter {

// Masks of the parallel data register bits the cable uses.
inline constexpr uint32_t kMosiBit = 0x01;
inline constexpr uint32_t kSckBit = 0x02;
inline constexpr uint32_t kResetBit = 0x08;
inline constexpr uint32_t kCableBits = kMosiBit | kSckBit | kResetBit;
// MISO in the 16-bit parallel port word (status bit 6).
inline constexpr uint16_t kMisoWordBit = 0x4000;
// Control register bit that switches the data lines to input.
inline constexpr uint8_t kDirectionBit = 0x20;

// --- lines ---
void SetSck(Programmer& p, int level);
void SetMosi(Programmer& p, int level);
void SetReset(Programmer& p, int level);
int ReadMiso(Programmer& p);
// One read of the input state; the unit of work of the calibrated delay.
void PollInput(Programmer& p);
// Writes dataLatch to the parallel data register.
void WritePort(Programmer& p);
// Reads the status register of the parallel port into the high byte of
// lastPortRead; the low byte is the data last written (dataLatch).
uint16_t ReadPort(Programmer& p);
// One change of a serial output as it is, without the cable's inversion.
void ChangeSerialLine(Programmer& p, PcLine line, bool on);
// The modem status lines (kMsCtsOn, kMsDsrOn, kMsRingOn) of the serial port,
// or as the pins of its FTDI adapter show them; 0 on GPIO lines.
uint32_t ReadModemStatus(Programmer& p);

// --- timing ---
// Busy-waits at least `ms` ticks of the millisecond counter, right across its wrap.
void WaitMs(Programmer& p, uint32_t ms);
// Lets the activity line be read for a second (skipped in the console when asked).
void ReadingPause(Programmer& p);
// Busy-waits count units (0 counts as 1), each unit scaled by the speed setting.
void Delay(Programmer& p, int32_t count);
// Measures the cost of one input read and sets delayLoops.
void CalibrateDelay(Programmer& p);
// The factor the speed setting applies to every delay: 100, 25, 5 or 1.
int32_t SpeedFactor(int32_t speed);
// The Speed menu's name of a speed: "very low", "Low", "Medium", "High".
const char* SpeedName(int32_t speed);
// The shortest SCK phase the port in use gives at a speed, in nanoseconds,
// from the last calibration (one delay unit and the line change that starts
// the phase on an immediate port; the phase of its states on a streaming
// one). 0 before any calibration.
uint64_t SckPhaseNs(const Programmer& p, int32_t speed);
// The chip sees its SCK phases only when each lasts more than 2 of its clock
// cycles below 12 MHz and more than 3 from 12 MHz (the data sheets' rule,
// taken at its strictest over a clock of at least `hz`).
bool SpeedKeepsUp(const Programmer& p, int32_t speed, uint32_t hz);
// The fastest speed that keeps up with a clock of at least `hz`; 0 (very
// low) when none does or nothing is measured.
int32_t FastestSpeedFor(const Programmer& p, uint32_t hz);

// --- port open and detection (0 success, 1 failure with errorText set) ---
// Opens the serial port named comName. A name mapped to an FTDI adapter
// with bit-bang mode opens the adapter's pins instead (unless
// modemLinesOnly), which the activity line tells.
int OpenSerialPort(Programmer& p);
// Opens the port selected: the serial port, or the GPIO lines.
int OpenPort(Programmer& p);
// Closes the open port (serial, its adapter's pins, or the GPIO lines) and
// clears comOpen and pinsOpen (port change, release, exit). A port of pins
// leaves RESET released.
void CloseSerialPort(Programmer& p);
int DetectSerialAdapter(Programmer& p);
int HoldTargetInReset(Programmer& p);
int ReleaseTarget(Programmer& p);

// --- bit transfer ---
void ClockBit(Programmer& p, int bit);
// Sends the low 16 bits of txWord, most significant first, into rxShift.
// On a streaming port the word goes out at once, in a transfer of its own.
void TransferWord(Programmer& p);

// --- ports of pins; streaming ports ---
// A port of pins (core/port_access.h) is open: an FTDI adapter in bit-bang
// mode behind a serial port name, or GPIO lines.
bool PinsInUse(const Programmer& p);
// The port in use takes its line states in batches (an FTDI adapter in
// synchronous bit-bang mode): line changes and instructions are queued and
// go out with the next transfer, one USB round trip for up to a buffer full
// of states. Every other port is immediate: each change is one call.
bool Streaming(const Programmer& p);
// How many instructions a caller may queue before it needs their answers:
// 1 on an immediate port, so that a caller that decides after each answer
// sends exactly what it always sent; on a streaming port as many as a few
// transfers carry.
int AnswerWindow(const Programmer& p);
// One instruction of two 16-bit words (only the low 16 bits of each reach
// the wire). An immediate port sends it at once (two TransferWord, txWord
// set as for those); a streaming port queues it.
// The ticket names its answer for AnswerOf.
uint32_t QueueInstruction(Programmer& p, int32_t first, int32_t second);
// The 32 bits the chip answered to a queued instruction (rxShift as it was
// after that instruction). On a streaming port this sends whatever is still
// queued when the instruction has not gone out yet: the round trip a step
// pays when it needs an answer now. The answers of the last few thousand
// instructions are kept.
uint32_t AnswerOf(Programmer& p, uint32_t ticket);
// Sends everything queued and collects its answers, leaving SCK low after an
// instruction: what the program must do before it waits, before it reads a
// line, and before it lets go of the port. Does nothing on immediate ports.
void Flush(Programmer& p);
// On a port that keeps transfers in flight, queues `us` microseconds of
// idle states (SCK low, the other lines as they are) and answers true: the
// adapter's own state clock times the wait at the chip, and a late host or
// a full buffer only lengthens it, so a write's wait costs no round trip.
// False, with nothing queued, on every other port: the caller waits by the
// clock (WaitMs).
bool QueueIdleUs(Programmer& p, uint32_t us);
// Sets a streaming port's state rate and the states of one SCK phase for the
// speed setting: the phase of each speed lasts as long on every streaming
// port, whatever rates it offers (see adapter/stream.cpp).
void ConfigureStream(Programmer& p);
// The SCK phase a streaming port holds at a speed, in nanoseconds.
uint64_t StreamPhaseNs(int32_t speed);

// --- estimate ---
// Port accesses one bit costs on the selected port with the cable detected,
// the speed and the calibrated delay: the line changes and the MISO read,
// plus the input reads of its delay units.
int64_t PortAccessesPerBit(const Programmer& p);
// Seconds a write of `dataBytes` data bytes of the current file will take on
// the connected chip, once it is erased: the instructions (per byte in page
// mode a load and a read of the verify pass, plus per page its write; per
// flash byte written byte-wise its write and a read, per EEPROM byte a read
// more, plus the EEPROM erase pass's read of the whole EEPROM), each of 32
// bits at PortAccessesPerBit, each access at the cost measured by the last
// calibration; and the reads that poll each page or byte until the chip is
// done, which take its write time rounded up to whole reads. Every byte is
// taken to differ from the chip. A line change is taken to cost what a status
// read costs, which holds for the board's ports and for USB adapters that ask
// the device at each read; for those that answer reads from a cache it comes
// out short. Negative before the first calibration (nothing measured), 0 for
// no data.
struct ChipWriteTimes {
    double pageSeconds;  // one flash page
    double byteSeconds;  // one byte written byte-wise: flash without pages, or EEPROM
};
double EstimateWriteSeconds(const Programmer& p, long dataBytes, const ChipWriteTimes& chip);

}  // namespace ostrel::adapter
