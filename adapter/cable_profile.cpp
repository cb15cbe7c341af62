#include "adapter/cable_profile.h"

#include <cstddef>
#include <iterator>

#include "core/port_access.h"

namespace ostrel::adapter {

namespace {

constexpr LoopBack kNoLoopBack{PcLine::Rts, PcLine::Cts, 0};

// Row 0 must stay the plain serial wiring; the detection tries the rows with
// a loop-back in this order, so a cable with both loop-backs is taken as
// Cablet1.
constexpr CableProfile kCables[] = {
    {
        .name = "plain",
        .port = AdapterKind::Serial,
        .sck = {PcLine::Rts, false},
        .mosi = {PcLine::Dtr, false},
        .reset = {PcLine::Break, false},
        .miso = {PcLine::Cts, false},
        .hasLoopBack = false,
        .loopBack = kNoLoopBack,
        .mosiHighWhileSckHigh = false,
        .delayAfterSample = true,
        .cablet1 = 0,
        .cablet2 = 0,
        .detectedText = {},
        .verdict = CableVerdict::NoLoopBack,
        .verdictText = {},
    },
    {
        // Cablet1 inverts SCK and MOSI and reads MISO inverted on DSR; it
        // loops the transmit line back to the ring indicator.
        .name = "Cablet1",
        .port = AdapterKind::Serial,
        .sck = {PcLine::Rts, true},
        .mosi = {PcLine::Dtr, true},
        .reset = {PcLine::Break, false},
        .miso = {PcLine::Dsr, true},
        .hasLoopBack = true,
        .loopBack = {PcLine::Break, PcLine::Ri, 50},
        .mosiHighWhileSckHigh = false,
        .delayAfterSample = true,
        .cablet1 = 1,
        .cablet2 = 0,
        .detectedText = "Cablet1 detected",
        .verdict = CableVerdict::Cablet1,
        .verdictText = "Cablet1: RI followed RESET (break looped back to RI)",
    },
    {
        // Cablet2 loops DTR back to DSR, through components that need 150 ms
        // to settle, and needs MOSI high while SCK is high.
        .name = "Cablet2",
        .port = AdapterKind::Serial,
        .sck = {PcLine::Rts, false},
        .mosi = {PcLine::Dtr, false},
        .reset = {PcLine::Break, false},
        .miso = {PcLine::Cts, false},
        .hasLoopBack = true,
        .loopBack = {PcLine::Dtr, PcLine::Dsr, 150},
        .mosiHighWhileSckHigh = true,
        .delayAfterSample = true,
        .cablet1 = 0,
        .cablet2 = 1,
        .detectedText = "Cablet2 detected",
        .verdict = CableVerdict::Cablet2,
        .verdictText = "Cablet2: DSR followed MOSI (DTR looped back to DSR)",
    },
    {
        // Pins 2, 3 and 5 through the data register, MISO on pin 10. The
        // falling SCK edge follows the sample at once.
        .name = "parallel",
        .port = AdapterKind::Parallel,
        .sck = {PcLine::Data1, false},
        .mosi = {PcLine::Data0, false},
        .reset = {PcLine::Data3, false},
        .miso = {PcLine::Ack, false},
        .hasLoopBack = false,
        .loopBack = kNoLoopBack,
        .mosiHighWhileSckHigh = false,
        .delayAfterSample = false,
        .cablet1 = 0,
        .cablet2 = 0,
        .detectedText = {},
        .verdict = CableVerdict::Parallel,
        .verdictText = "parallel cable: it has no loop-back to check",
    },
    {
        // The GPIO lines the user named, straight to the target: no
        // inversion and nothing to detect. Each line change is one system
        // call, as on the parallel port, and the falling SCK edge follows
        // the sample at once.
        .name = "gpio",
        .port = AdapterKind::Gpio,
        .sck = {PcLine::GpioSck, false},
        .mosi = {PcLine::GpioMosi, false},
        .reset = {PcLine::GpioReset, false},
        .miso = {PcLine::GpioMiso, false},
        .hasLoopBack = false,
        .loopBack = kNoLoopBack,
        .mosiHighWhileSckHigh = false,
        .delayAfterSample = false,
        .cablet1 = 0,
        .cablet2 = 0,
        .detectedText = {},
        .verdict = CableVerdict::Gpio,
        .verdictText = "GPIO lines wired straight to the target: no loop-back to check",
    },
};

bool FlagsMatch(const CableProfile& cable, const ProgrammerState& s) {
    return (cable.cablet1 != 0) == (s.cablet1 != 0) && (cable.cablet2 != 0) == (s.cablet2 != 0);
}

}  // namespace

std::span<const CableProfile> CableProfiles() {
    return kCables;
}

const CableProfile& ActiveCable(const ProgrammerState& s) {
    if (s.adapterKind != AdapterKind::Serial) {
        for (const CableProfile& cable : kCables)
            if (cable.port == s.adapterKind)
                return cable;
    }
    if (static_cast<std::size_t>(s.serialCable) < std::size(kCables)) {
        const CableProfile& detected = kCables[s.serialCable];
        if (detected.port == AdapterKind::Serial && FlagsMatch(detected, s))
            return detected;
    }
    for (const CableProfile& cable : kCables)
        if (cable.port == AdapterKind::Serial && FlagsMatch(cable, s))
            return cable;
    return kCables[0];
}

void SelectSerialCable(ProgrammerState& s, uint8_t row) {
    s.serialCable = static_cast<std::size_t>(row) < std::size(kCables) ? row : 0;
    const CableProfile& cable = kCables[s.serialCable];
    s.cablet1 = cable.cablet1;
    s.cablet2 = cable.cablet2;
}

bool IsSerialLine(PcLine line) {
    switch (line) {
        case PcLine::Rts:
        case PcLine::Dtr:
        case PcLine::Break:
        case PcLine::Cts:
        case PcLine::Dsr:
        case PcLine::Ri:
            return true;
        case PcLine::Data0:
        case PcLine::Data1:
        case PcLine::Data3:
        case PcLine::Ack:
        case PcLine::GpioSck:
        case PcLine::GpioMosi:
        case PcLine::GpioReset:
        case PcLine::GpioMiso:
            break;
    }
    return false;
}

uint8_t DataMask(PcLine line) {
    switch (line) {
        case PcLine::Data0:
            return 0x01;
        case PcLine::Data1:
            return 0x02;
        case PcLine::Data3:
            return 0x08;
        default:
            return 0;
    }
}

uint16_t StatusWordMask(PcLine line) {
    return line == PcLine::Ack ? 0x4000 : 0;
}

uint32_t ModemStatusMask(PcLine line) {
    switch (line) {
        case PcLine::Cts:
            return kMsCtsOn;
        case PcLine::Dsr:
            return kMsDsrOn;
        case PcLine::Ri:
            return kMsRingOn;
        default:
            return 0;
    }
}

PinWire FtdiPin(PcLine line) {
    switch (line) {
        case PcLine::Break:
            return {0x01, true};  // D0 TXD: idle (mark) high, a break holds it low
        case PcLine::Rts:
            return {0x04, true};  // D2 RTS#
        case PcLine::Cts:
            return {0x08, true};  // D3 CTS#
        case PcLine::Dtr:
            return {0x10, true};  // D4 DTR#
        case PcLine::Dsr:
            return {0x20, true};  // D5 DSR#
        case PcLine::Ri:
            return {0x80, true};  // D7 RI#
        default:
            return {0, false};
    }
}

PinWire GpioPin(PcLine line) {
    switch (line) {
        case PcLine::GpioSck:
            return {0x01, false};
        case PcLine::GpioMosi:
            return {0x02, false};
        case PcLine::GpioReset:
            return {0x04, false};
        case PcLine::GpioMiso:
            return {0x08, false};
        default:
            return {0, false};
    }
}

PinWire PinOf(const ProgrammerState& s, PcLine line) {
    return s.adapterKind == AdapterKind::Gpio ? GpioPin(line) : FtdiPin(line);
}

uint32_t ModemStatusFromFtdiPins(uint8_t pins) {
    uint32_t status = 0;
    for (PcLine line : {PcLine::Cts, PcLine::Dsr, PcLine::Ri}) {
        const PinWire pin = FtdiPin(line);
        if (((pins & pin.mask) != 0) != pin.inverted)
            status |= ModemStatusMask(line);
    }
    return status;
}

}  // namespace ostrel::adapter
