// What the adapter's line operations need from the operating system, as two
// small interfaces: the control lines of a serial port, and the registers of a
// parallel port. A backend implements the one it has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ostrel {

// How opening a serial port ended. Each failing step has its own message in
// the adapter layer; on any failure nothing stays open.
enum class SerialOpenResult {
    Ok,
    OpenFailed,           // the device cannot be opened
    ReadSettingsFailed,   // the line settings cannot be read
    WriteSettingsFailed,  // 9600 baud, 8 data bits, no parity, 1 stop bit cannot be set
    WriteTimeoutsFailed,  // the read time-outs cannot be set
};

// Changes of the serial control lines, as the classic serial API names them.
enum class CommFunction { SetRts, ClrRts, SetDtr, ClrDtr, SetBreak, ClrBreak };

// Modem status bits, in the values of the classic serial API.
inline constexpr uint32_t kMsCtsOn = 0x10;
inline constexpr uint32_t kMsDsrOn = 0x20;
inline constexpr uint32_t kMsRingOn = 0x40;

// The control lines of a serial port. No data characters are ever sent or
// received: the cable is driven by RTS, DTR and the break state of the
// transmit line, and read back on the modem status lines.
// A port found on this machine, as the Port menu lists it: the name that
// chooses it ("COM1", "/dev/ttyUSB0", "ftdi:A50285BI", "GPIO") and the text
// of its menu item. A GPIO chip is the port "GPIO" with the lines of that
// chip (`gpioLines`, as `--gpio` takes them); empty for every other port.
struct FoundPort {
    std::string name;
    std::string text;
    std::string gpioLines = {};
};

class SerialLines {
  public:
    virtual ~SerialLines() = default;

    // Opens the port by its name ("COM1".."COM8", or "SIM") and applies
    // 9600 baud, 8 data bits, no parity, one stop bit and the read time-outs.
    virtual SerialOpenResult OpenSerial(std::string_view comName) = 0;
    // Closes the open serial port; does nothing when none is open.
    virtual void CloseSerial() = 0;
    // One change of a control line or of the break state.
    virtual void EscapeCommFunction(CommFunction function) = 0;
    // The modem status lines (kMsCtsOn, kMsDsrOn, kMsRingOn).
    virtual uint32_t GetModemStatus() = 0;
    // One line for the user about the last OpenSerial, without a line break:
    // after a failure what to do about it (join a group, free the port, map
    // the name to a device), after success what is worth knowing about the
    // port (a slow USB adapter). Empty when there is nothing to say.
    virtual std::string SerialOpenNote() const { return {}; }
    // The command that used the port has ended (successfully or not). A
    // backend that keeps a state of its own (the simulated chip) puts it on
    // the disk now, so a program ended later, however, loses nothing.
    virtual void CommandEnded() {}
};

// The three registers of a PC parallel port at a base address: data (base),
// status (base + 1) and control (base + 2).
class ParallelRegisters {
  public:
    virtual ~ParallelRegisters() = default;

    virtual void WriteData(uint16_t base, uint8_t value) = 0;
    virtual uint8_t ReadData(uint16_t base) = 0;
    // Data register in bits 0-7 and status register in bits 8-15.
    virtual uint16_t ReadWord(uint16_t base) = 0;
    // The status register alone (base + 1). Where each register costs a
    // system call this is half the price of ReadWord, and the data register
    // holds nothing new while the data lines drive: it is what was written.
    virtual uint8_t ReadStatus(uint16_t base) = 0;
    virtual uint8_t ReadControl(uint16_t base) = 0;
    virtual void WriteControl(uint16_t base, uint8_t value) = 0;
    // False when the last access could not reach the port at all (a port
    // driver library without the entry points it must have): that access had
    // no effect, and a read gave no value.
    virtual bool LastAccessReached() const { return true; }
};

// A backend that serves both kinds of port: the router of the programs, the
// simulator (whose cable hangs on either) and the recording port of the tests.
class PortAccess : public SerialLines, public ParallelRegisters {};

// How opening a port of pins ended.
enum class PinOpenResult {
    Ok,
    // The name stands for no port of pins (a serial port whose adapter has no
    // bit-bang mode, or a plain serial port): it is opened as a serial port.
    NotThisPort,
    // It is such a port, but it cannot be used now; PinOpenNote says why.
    Failed,
};

// A port whose lines are the pins of one byte, all set together: an FTDI
// chip in synchronous bit-bang mode (bit n is its pin Dn) or the GPIO lines
// of a single-board computer (bits 0 to 3: the lines the user named for SCK,
// MOSI, RESET and MISO). Two ways to use one:
// - immediate (StreamCapacity 0): WritePins and ReadPins act at once, one
//   system call each, like the line operations of a serial port;
// - streaming: Transfer takes many states at once, applies them one per
//   tick of the state rate and gives back, for each, the pins it sampled
//   just before applying it, so the answer to a state comes with the next.
class PinPort {
  public:
    virtual ~PinPort() = default;

    // Opens the port behind a port name ("COM3" mapped to an FTDI adapter,
    // "GPIO"); a port that is open is closed first.
    virtual PinOpenResult OpenPins(std::string_view portName) = 0;
    // Lets go of the port: outputs to rest (RESET released, on GPIO high),
    // the device handed back to the system. Does nothing when none is open.
    virtual void ClosePins() = 0;
    // One line for the user about the last OpenPins, without a line break:
    // after a failure what to do about it, after success what the port is.
    virtual std::string PinOpenNote() const { return {}; }
    // What the last failed call ran into, for the message that the port
    // was lost ("usb bulk write failed").
    virtual std::string PinError() const { return {}; }

    // 0 for an immediate port; otherwise the most states one Transfer may
    // carry (what the device can hold in flight).
    virtual std::size_t StreamCapacity() const = 0;
    // Streaming: sets the rate at which states are applied, at most `hz`
    // (the device may only offer some); the rate in force, 0 on failure.
    virtual uint32_t SetStateRate(uint32_t hz) = 0;
    // Immediate: applies the output bits of `state`. False when the device failed.
    virtual bool WritePins(uint8_t state) = 0;
    // Immediate: the pins as they are now. False when the device failed.
    virtual bool ReadPins(uint8_t* pins) = 0;
    // Applies `states` in order, each for at least one tick, and fills
    // `samples` (as long as `states`) with the pins sampled just before each
    // was applied. At most StreamCapacity states. False when the device
    // failed; the samples are then unusable.
    virtual bool Transfer(std::span<const uint8_t> states, std::span<uint8_t> samples) = 0;

    // Transfers kept in flight, on a port that can send the next states
    // before the samples of the last ones are back (an FTDI adapter: the chip
    // stalls rather than lose a sample while its buffer to the host is full).
    // The most states submitted and not yet collected; 0 when the port
    // cannot, and only Transfer is used.
    virtual std::size_t InFlightLimit() const { return 0; }
    // The samples of transfers in flight come back in packets of this many
    // (an FTDI chip: 62, beside two status bytes); a transfer of whole
    // packets comes back without waiting for the next one's samples. 1: no
    // packets to fill.
    virtual std::size_t SamplesPerPacket() const { return 1; }
    // Sends `states` (at most StreamCapacity, and with those in flight at
    // most InFlightLimit) without waiting for their samples. False when the
    // device failed; everything in flight is then unusable.
    virtual bool Submit(std::span<const uint8_t> states) {
        (void)states;
        return false;
    }
    // Waits for the samples of the oldest states in flight, as many as
    // `samples` holds, in the order the states were submitted. False on a
    // short count, a time-out or a device failure: nothing in flight may be
    // trusted after it.
    virtual bool Collect(std::span<uint8_t> samples) {
        (void)samples;
        return false;
    }
};

}  // namespace ostrel
