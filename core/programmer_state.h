// The one state record of the programmer: the selected port and the adapter's
// line images, the speed, the device in use and its geometry, the current data
// file, the option flags, the instruction operands and the shared text
// buffers. Start values are those a freshly started programmer has.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/fixed_string.h"

namespace ostrel {

// Gpio: the GPIO lines of a single-board computer, wired straight to the
// target. (An FTDI adapter in bit-bang mode is a serial port whose lines are
// pins: pinsOpen below.)
enum class AdapterKind { Serial, Parallel, Gpio };

// The longest port name the programmer keeps, as the user chose it: a device
// path such as /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
// fits.
inline constexpr std::size_t kMaxPortNameLength = 64;

// Flags are 32-bit integers holding 0 or 1, as every part of the program
// reads and writes them.
using Flag = int32_t;

struct ProgrammerState {
    // --- platform (decided once at start) ---
    Flag directPortIo = 0;    // the parallel port device can be opened and claimed
    Flag dlPortIoLoaded = 0;  // a port driver library is loaded (never on Linux)
    void* dlPortIoLibrary = nullptr;

    // --- window and shared text ---
    int32_t mainWindow = 0;           // window number of the main window once it is open
    FixedString<204> activityText;    // text of the activity line (field 1018)
    FixedString<200> errorText;       // the failure text a failing operation leaves
    FixedString<260> startDirectory;  // directory that was current when the main window opened

    // --- port and adapter ---
    // "0278", "0378", "03BC", "COM1".."COM8", "SIM", "GPIO", or a serial
    // port of its own ("COM12", "/dev/ttyUSB0", "ftdi:A50285BI").
    FixedString<kMaxPortNameLength + 1> portName;
    AdapterKind adapterKind = AdapterKind::Parallel;
    uint16_t portBase = 0x378;
    FixedString<kMaxPortNameLength + 1> comName;
    int32_t comHandle = -1;  // kept for the record; the port backend owns the descriptor
    Flag comOpen = 0;
    Flag cablet1 = 0;
    Flag cablet2 = 0;
    // The row of the cable table (adapter/cable_profile.h) the last serial
    // detection found; cablet1 and cablet2 are set from it. 0 is the plain
    // wiring, taken when nothing was detected.
    uint8_t serialCable = 0;
    uint32_t dataLatch = 0;  // image of the parallel data register
    // The port in use is a port of pins (core/port_access.h PinPort): an
    // FTDI adapter in bit-bang mode behind a serial port name, or GPIO lines.
    Flag pinsOpen = 0;
    uint8_t pinLatch = 0;  // the output pins as last set
    // A serial port name mapped to an FTDI adapter opens it as a plain
    // serial port, its modem lines switched one USB request at a time,
    // rather than in bit-bang mode.
    Flag modemLinesOnly = 0;
    // The GPIO lines of the port "GPIO", "CHIP:SCK,MOSI,RESET,MISO"
    // (platform/gpio_wiring.h); empty: the usual Raspberry Pi wiring.
    FixedString<64> gpioLines;
    uint16_t lastPortRead = 0;  // data last written in bits 0-7, status in bits 8-15
    uint32_t modemStatus = 0;

    // --- timing ---
    int32_t speed = 2;  // 0 very low, 1 Low, 2 Medium, 3 High
    // Speed Auto: every connection starts at a speed safe for the chips'
    // factory clocks and then takes the fastest the chip's clock allows,
    // which speed then holds.
    Flag autoSpeed = 0;
    // The speed Auto last named on the activity line (-1: none yet): it is
    // named once, and again only when it changes.
    int32_t autoSpeedShown = -1;
    int32_t delayLoops = 0;
    // Input reads that fitted into the last calibration's 50 ms (0 before the
    // first): the measured cost of one port access, from which the length of
    // a write is estimated.
    int32_t calibrationPasses = 0;
    // On a streaming port (an FTDI adapter in bit-bang mode): the rate its
    // states go out at and how many states make one SCK phase at the speed.
    uint32_t stateRateHz = 0;
    int32_t statesPerPhase = 1;

    // --- device ---
    Flag manualDevice = 0;
    Flag deviceDetected = 0;
    int32_t flashWords = 4096;
    int32_t eepromBytes = 1298;
    Flag pagedFlash = 0;
    int32_t pageWords = 0;
    int32_t pageShift = 0;
    FixedString<16> signatureHex;
    // The signature field of the device line in use (the last lookup that
    // found one); empty when the last lookup found none.
    FixedString<8> deviceSignature;
    FixedString<128> signatureReport;
    FixedString<99> lineBuffer;  // the line a text file reader read last

    // --- signature and connection ---
    int32_t vendorCode = 0;
    int32_t partFamily = 0;
    int32_t partNumber = 0;
    Flag echoReceived = 0;
    int32_t echoWord = 0;

    // --- instruction operands ---
    int32_t txWord = 0;
    uint32_t rxShift = 0;
    int32_t memAddress = 0;
    int32_t memData = 0;
    Flag highByteSelect = 0;
    uint32_t lockBitsAnswer = 0;
    // The extended address byte (bit 16 of the flash word address) last sent
    // to a chip above 64K words in this run; -1 when none has been sent since
    // programming enable or the run's start, so the chip's is unknown.
    int32_t extendedAddress = -1;

    // --- current data file ---
    FixedString<280> currentFileName;
    FixedString<80> baseName;
    Flag fileLoaded = 0;
    Flag eepromFile = 0;
    int32_t fileLineCount = 0;

    // --- options and modes ---
    Flag programEepAfterHex = 0;
    Flag launchedWithFile = 0;

    // --- program and verify engine ---
    Flag verifyMode = 0;
    Flag noMismatchPrompt = 0;
    int32_t currentPage = 0;
    int32_t recordsDone = 0;
    int32_t wordAddress = 0;
    // Verify mismatches the user passed with OK in the last run, so that a
    // verify that passed over mismatches does not end as a clean success.
    int32_t mismatchesPassed = 0;
};

}  // namespace ostrel
