// Line operations: each change of a line is exactly one port access, on the
// line the cable in use wires the signal to. On a port of pins the change is
// one write of all pins (immediate) or one SCK phase of states in the queue
// (streaming).
#include <string>

#include "adapter/adapter.h"
#include "adapter/pin_lines.h"
#include "core/ids.h"
#include "platform/texts.h"

namespace ostrel::adapter {

namespace {

bool IsSerial(const Programmer& p) {
    return p.state.adapterKind == AdapterKind::Serial;
}

// Without direct access and without a port driver there is no way to the
// parallel port. The failure is only recorded here: the loops of the running
// command then run dry without touching the port, and the command layer tells
// the user once and ends the command as a failure.
void DriverAccessFailed(Programmer& p) {
    p.driverAccessFailed = true;
}

void SetParallelBit(Programmer& p, uint32_t mask, int level) {
    if (level) {
        p.state.dataLatch |= mask;
    } else {
        p.state.dataLatch &= ~mask;
    }
    WritePort(p);
}

CommFunction SerialChange(PcLine line, bool on) {
    switch (line) {
        case PcLine::Rts:
            return on ? CommFunction::SetRts : CommFunction::ClrRts;
        case PcLine::Dtr:
            return on ? CommFunction::SetDtr : CommFunction::ClrDtr;
        default:
            return on ? CommFunction::SetBreak : CommFunction::ClrBreak;
    }
}

// One output of the cable in use: a control line of the serial port, or a
// bit of the parallel data register, or a pin.
void Drive(Programmer& p, const Wire& wire, int level) {
    if (PinsInUse(p)) {
        // An instruction ends with SCK low before any other line moves.
        pins::EndBits(p);
        pins::SetWire(p, wire, level);
        pins::Apply(p);
        return;
    }
    // GPIO lines that are not open: like a serial port that is not, nothing.
    if (p.state.adapterKind == AdapterKind::Gpio)
        return;
    const bool on = (level != 0) != wire.inverted;
    if (IsSerialLine(wire.line)) {
        p.serial.EscapeCommFunction(SerialChange(wire.line, on));
    } else {
        SetParallelBit(p, DataMask(wire.line), on ? 1 : 0);
    }
}

}  // namespace

namespace pins {

void SetLine(Programmer& p, PcLine line, bool on) {
    const PinWire pin = PinOf(p.state, line);
    if (pin.mask == 0)
        return;
    uint8_t& latch = p.state.pinLatch;
    latch = on != pin.inverted ? static_cast<uint8_t>(latch | pin.mask)
                               : static_cast<uint8_t>(latch & ~pin.mask);
}

void SetWire(Programmer& p, const Wire& wire, int level) {
    SetLine(p, wire.line, (level != 0) != wire.inverted);
}

int Level(const ProgrammerState& s, const Wire& wire, uint8_t pins) {
    const PinWire pin = PinOf(s, wire.line);
    const bool on = ((pins & pin.mask) != 0) != pin.inverted;
    return on != wire.inverted ? 1 : 0;
}

void Apply(Programmer& p) {
    if (p.portLost || p.pins == nullptr)
        return;
    if (Streaming(p)) {
        Queue(p, p.state.statesPerPhase > 0 ? p.state.statesPerPhase : 1);
        return;
    }
    if (!p.pins->WritePins(p.state.pinLatch))
        Lost(p);
}

void Lost(Programmer& p) {
    if (p.portLost)
        return;
    p.portLost = true;
    std::string what = p.pins ? p.pins->PinError() : std::string();
    std::string text = std::string(p.state.portName.view()) + ": the port stopped answering";
    if (!what.empty())
        text += " (" + what + ")";
    text += ".";
    if (p.state.adapterKind == AdapterKind::Serial)
        text += "\nWas the USB adapter unplugged? Plug it in again and run the command once more.";
    p.portLostText = text;
}

}  // namespace pins

uint32_t ReadModemStatus(Programmer& p) {
    if (PinsInUse(p)) {
        const uint8_t pins = pins::Read(p);
        return p.state.adapterKind == AdapterKind::Gpio ? 0 : ModemStatusFromFtdiPins(pins);
    }
    return p.serial.GetModemStatus();
}

void WritePort(Programmer& p) {
    if (p.state.directPortIo || p.state.dlPortIoLoaded) {
        // With a driver the write is 16 bits wide; its high byte is always 0
        // and falls on the read-only status register, so both come to this.
        p.parallel.WriteData(p.state.portBase, static_cast<uint8_t>(p.state.dataLatch & 0xFF));
        if (!p.parallel.LastAccessReached())
            DriverAccessFailed(p);
        return;
    }
    DriverAccessFailed(p);
}

uint16_t ReadPort(Programmer& p) {
    if (p.state.directPortIo || p.state.dlPortIoLoaded) {
        // Only the status register is read: MISO is one of its bits. The data
        // byte is what was last written, which is what the register holds
        // while the lines drive; reading it too would double the cost of
        // every input read of the transfer and its delays. Where the real
        // data register matters (the port check of ReleaseTarget) it is read
        // with ReadData.
        uint8_t status = p.parallel.ReadStatus(p.state.portBase);
        if (!p.parallel.LastAccessReached()) {
            // The driver's entry point is missing: lastPortRead stays as it was.
            DriverAccessFailed(p);
            return p.state.lastPortRead;
        }
        p.state.lastPortRead = static_cast<uint16_t>((p.state.dataLatch & 0xFF) |
                                                     (static_cast<uint16_t>(status) << 8));
    } else {
        DriverAccessFailed(p);
    }
    return p.state.lastPortRead;
}

void ChangeSerialLine(Programmer& p, PcLine line, bool on) {
    if (PinsInUse(p)) {
        pins::EndBits(p);
        pins::SetLine(p, line, on);
        pins::Apply(p);
        return;
    }
    p.serial.EscapeCommFunction(SerialChange(line, on));
}

void SetSck(Programmer& p, int level) {
    Drive(p, ActiveCable(p.state).sck, level);
}

void SetMosi(Programmer& p, int level) {
    Drive(p, ActiveCable(p.state).mosi, level);
}

void SetReset(Programmer& p, int level) {
    Drive(p, ActiveCable(p.state).reset, level);
}

int ReadMiso(Programmer& p) {
    const Wire& miso = ActiveCable(p.state).miso;
    if (PinsInUse(p)) {
        const uint8_t pins = pins::Read(p);
        if (p.state.adapterKind != AdapterKind::Gpio)
            p.state.modemStatus = ModemStatusFromFtdiPins(pins);
        // A lost port reads as a line nobody drives: high, as MISO floats.
        return p.portLost ? 1 : pins::Level(p.state, miso, pins);
    }
    if (p.state.adapterKind == AdapterKind::Gpio)
        return 1;  // not open: nothing drives MISO
    bool high = false;
    if (IsSerialLine(miso.line)) {
        p.state.modemStatus = p.serial.GetModemStatus();
        high = (p.state.modemStatus & ModemStatusMask(miso.line)) != 0;
    } else {
        high = (ReadPort(p) & StatusWordMask(miso.line)) != 0;
    }
    return high != miso.inverted ? 1 : 0;
}

void PollInput(Programmer& p) {
    if (PinsInUse(p)) {
        p.state.modemStatus = ReadModemStatus(p);
        return;
    }
    if (p.state.adapterKind == AdapterKind::Gpio)
        return;
    if (IsSerial(p)) {
        p.state.modemStatus = p.serial.GetModemStatus();
    } else {
        ReadPort(p);
    }
}

}  // namespace ostrel::adapter
