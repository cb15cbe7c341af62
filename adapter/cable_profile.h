// The adapter cables as data: one row per cable says which output of the PC
// port drives SCK, MOSI and RESET and whether the cable inverts it, where MISO
// comes back and whether it is inverted, the loop-back by which the cable is
// recognised on a serial port, and the timing quirks of the bit transfer.
// The line operations, the bit transfer, the detection and the cable test
// read the row of the cable in use; adding a cable is adding a row (and its
// model in sim/cable.h, so that the tests can drive it).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/programmer_state.h"

namespace ostrel::adapter {

// The lines of the PC ports a cable can use.
enum class PcLine : uint8_t {
    // serial outputs
    Rts,
    Dtr,
    Break,  // the break state of the transmit line
    // serial inputs (modem status)
    Cts,
    Dsr,
    Ri,
    // parallel outputs: data register bits 0, 1 and 3 (pins 2, 3 and 5)
    Data0,
    Data1,
    Data3,
    // parallel input: status bit 6, ACK (pin 10)
    Ack,
    // the GPIO lines of a single-board computer the user named for each
    // signal (outputs, then the input)
    GpioSck,
    GpioMosi,
    GpioReset,
    GpioMiso,
};

// One signal of the target on one line of the port.
struct Wire {
    PcLine line;
    bool inverted;  // the cable turns a high level of the port into a low one
};

// A loop-back inside the cable: the input must follow the output both ways.
struct LoopBack {
    PcLine out;
    PcLine in;
    // The wait after each change of the output before the input is read: the
    // lines need that long to settle through the cable's components.
    uint32_t settleMs;
};

// What the cable test concludes from the loop-back inputs.
enum class CableVerdict {
    Parallel,    // a parallel cable: it has no loop-back to check
    Cablet1,     // RI followed RESET (break looped back to RI)
    Cablet2,     // DSR followed DTR (DTR looped back to DSR)
    NoLoopBack,  // a serial port on which neither loop-back answered
    Unknown,     // the test was stopped before the loop-backs were driven
    Gpio,        // GPIO lines wired straight to the target: no loop-back to check
};

struct CableProfile {
    std::string_view name;
    AdapterKind port;
    Wire sck;
    Wire mosi;
    Wire reset;
    Wire miso;
    // Serial cables with a loop-back are recognised by it, in the order of
    // the table; a cable without one is never detected.
    bool hasLoopBack;
    LoopBack loopBack;
    // The cable needs MOSI high while SCK is high, before MISO is sampled.
    bool mosiHighWhileSckHigh;
    // A delay unit between the MISO sample and the falling SCK edge.
    bool delayAfterSample;
    // The variant flags of the state record while this cable is in use.
    Flag cablet1;
    Flag cablet2;
    // The activity line after the cable was detected; empty when it cannot be.
    std::string_view detectedText;
    // The cable test's verdict when this cable's loop-back answered, and its line.
    CableVerdict verdict;
    std::string_view verdictText;
};

// Every cable. Row 0 is the plain serial wiring: the lines of a serial port
// follow it while no cable has been detected.
std::span<const CableProfile> CableProfiles();
// The cable the line operations drive now: the parallel cable on the parallel
// port; on a serial port the detected cable, or, when the variant flags were
// set otherwise, the cable those flags name.
const CableProfile& ActiveCable(const ProgrammerState& s);
// Makes the serial cable at `row` of the table the one in use.
void SelectSerialCable(ProgrammerState& s, uint8_t row);

// --- lines of the PC ports ---
bool IsSerialLine(PcLine line);
// The mask of a parallel data register bit (Data0, Data1, Data3).
uint8_t DataMask(PcLine line);
// The mask of a parallel status input (Ack) in the 16-bit port word, whose
// high byte is the status register.
uint16_t StatusWordMask(PcLine line);
// The mask of a modem status input (Cts, Dsr, Ri) in kMsCtsOn... values.
uint32_t ModemStatusMask(PcLine line);

// --- ports whose lines are the pins of a byte (core/port_access.h PinPort) ---
// One line on a pin: its bit in the byte, and whether the adapter between
// pin and connector inverts it.
struct PinWire {
    uint8_t mask;  // 0: the line is on no pin of this port
    bool inverted;
};
// The pins of an FTDI chip in bit-bang mode carry the serial port's lines:
// D0 TXD (its break state), D2 RTS, D3 CTS, D4 DTR, D5 DSR, D7 RI (D1 RXD
// and D6 DCD are not used). On an RS-232 adapter the transceiver between
// chip and connector inverts every line: a line that is on at the connector
// (positive voltage; for TXD a break) is its pin low. So every serial cable
// works on the adapter as on a serial port, inversions and loop-backs
// included.
PinWire FtdiPin(PcLine line);
// The output pins of an FTDI RS-232 adapter: the transceiver's driver
// inputs TXD, RTS and DTR. The others are its receiver outputs and must
// never be driven.
inline constexpr uint8_t kFtdiOutputPins = 0x15;
// The GPIO port's byte: bit 0 SCK, bit 1 MOSI, bit 2 RESET (outputs), bit 3
// MISO (input), wired straight to the target.
PinWire GpioPin(PcLine line);
inline constexpr uint8_t kGpioOutputPins = 0x07;
// The pin of a line on the pin port in use (FTDI for a serial port, GPIO).
PinWire PinOf(const ProgrammerState& s, PcLine line);
// The modem status (kMsCtsOn, kMsDsrOn, kMsRingOn) an FTDI adapter's pins
// show, as a serial port reads it.
uint32_t ModemStatusFromFtdiPins(uint8_t pins);

}  // namespace ostrel::adapter
