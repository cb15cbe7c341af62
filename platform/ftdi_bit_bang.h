// What every system's FTDI backend shares about the chips in synchronous
// bit-bang mode, whatever library reaches them (libftdi1 on Linux, FTDI's
// D2XX library on Windows): the pins that drive, the buffers, the rate rule,
// and the port itself (FtdiBitBangPort): the checks of every transfer, the
// states in flight, the rate, the end of an open and the close. A backend
// adds only its library's calls.
//
// In synchronous bit-bang mode the chip applies each byte written to its
// pins D0..D7 (TXD, RXD, RTS#, CTS#, DTR#, DSR#, DCD#, RI#) at its state
// rate, and reads the pins just before it applies the next, so what a write
// of n bytes reads back is n samples, one state late. The outputs are the
// pins that drive the RS-232 transceiver (TXD, RTS, DTR); the others are
// inputs. No more bytes are written in one transfer than the chip's buffer
// towards the host holds.
//
// Transfers may be kept in flight (Submit, Collect). The chip stalls rather
// than lose a sample while its buffer to the host is full, so what is in
// flight is limited to what its two buffers hold together, and no write
// waits long for room: 128 + 128 on the FT232R (FTDI's data sheets disagree
// on which of its buffers holds 256; the smaller reading is taken for both),
// 512 + 512 on the FT-X chips.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/port_access.h"

namespace ostrel {

// The chips with a synchronous bit-bang mode that the backends take.
enum class FtdiBitBangKind { None, Ft232r, FtX };

// "FT232R" or "FT-X", as the notes name the chips.
const char* FtdiChipName(FtdiBitBangKind kind);

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
// The samples a packet to the host carries: 64 bytes, the first 2 the
// modem and line status. A partial packet waits for the latency timer.
inline constexpr std::size_t kFtdiSamplesPerPacket = 62;

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

// A device name "ftdi:SERIAL" chooses an adapter by its serial number
// ("ftdi:" alone, the first one): the serial number, empty for the first.
// No value for any other name.
std::optional<std::string> FtdiSerialOf(std::string_view device);
// How the messages name the adapter: "FTDI adapter with serial number X",
// "FTDI adapter" (the first one), "FTDI adapter of COM3".
std::string FtdiAdapterName(const std::optional<std::string>& bySerial, std::string_view portName);

// An FTDI adapter in synchronous bit-bang mode as a port of pins. What a
// system's library does is behind the protected calls; everything a
// transfer is checked against, and what is in flight, is kept here.
class FtdiBitBangPort : public PinPort {
  public:
    std::string PinOpenNote() const override { return note_; }
    std::string PinError() const override { return error_; }
    // Drains what is in flight, puts the lines to rest and hands the chip
    // back to the system's driver.
    void ClosePins() override;

    // 128 states on the FT232R, 512 on the FT-X chips; 0 while none is open.
    std::size_t StreamCapacity() const override;
    // The FT-X chips take the rate asked for (from 46 states a second up to
    // 750 000). The FT232R always runs at its top rate, 750 000 (the
    // undivided 3 MHz bit-bang clock); the adapter layer makes a phase of
    // several states.
    uint32_t SetStateRate(uint32_t hz) override;
    bool WritePins(uint8_t state) override;
    bool ReadPins(uint8_t* pins) override;
    bool Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) override;
    // What the chip's two buffers hold together.
    std::size_t InFlightLimit() const override;
    // The samples of one USB packet to the host: 64 bytes, 2 of them status.
    std::size_t SamplesPerPacket() const override { return kFtdiSamplesPerPacket; }
    bool Submit(std::span<const uint8_t> states) override;
    bool Collect(std::span<uint8_t> samples) override;

    bool IsOpen() const { return DeviceOpen(); }
    FtdiBitBangKind Chip() const { return chip_; }

  protected:
    FtdiBitBangPort() = default;

    // --- the library's side ---
    virtual bool DeviceOpen() const = 0;
    // Sets the chip's baud rate for `rate`.
    virtual bool SendRate(const FtdiStateRate& rate) = 0;
    // The pins as they are now.
    virtual bool ReadPinsNow(uint8_t* pins) = 0;
    // One transfer with nothing in flight: writes `states` and brings back
    // as many samples. By default a Submit and its Collect.
    virtual bool ExchangeStates(std::span<const uint8_t> states, std::span<uint8_t> samples);
    // Sends states without waiting (checked already: at most a buffer, the
    // limit of what is in flight kept).
    virtual bool SendStates(std::span<const uint8_t> states) = 0;
    // Waits for the samples of the oldest states in flight, exactly as many
    // as `samples` holds.
    virtual bool GatherSamples(std::span<uint8_t> samples) = 0;
    // Ends whatever is in flight; nothing of it is read.
    virtual void DropInFlight() = 0;
    // Back to the serial mode, the device closed and handed back.
    virtual void Release() = 0;

    // A failed open: the note for the user, the device let go.
    PinOpenResult Fail(std::string note);
    // The end of every open, once the chip is in synchronous bit-bang mode:
    // the first rate, the lines at rest, the note of what the port is.
    PinOpenResult FinishOpen(const std::string& adapterName);
    // Forgets the chip and what was in flight; for Release.
    void Forget();
    // States submitted and not collected.
    std::size_t InFlight() const { return inFlight_; }

    FtdiBitBangKind chip_ = FtdiBitBangKind::None;
    // The rate in force, 0 before one was set.
    uint32_t stateRate_ = 0;
    std::string portName_;
    std::string note_;
    std::string error_;

  private:
    bool Usable();
    std::size_t inFlight_ = 0;
};

}  // namespace ostrel
