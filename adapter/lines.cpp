// Line operations: each change of a line is exactly one port access.
#include "adapter/adapter.h"
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

}  // namespace

void WritePort(Programmer& p) {
    if (p.state.directPortIo || p.state.dlPortIoLoaded) {
        // With a driver the write is 16 bits wide; its high byte is always 0
        // and falls on the read-only status register, so both come to this.
        p.port.WriteData(p.state.portBase, static_cast<uint8_t>(p.state.dataLatch & 0xFF));
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
        uint8_t status = p.port.ReadStatus(p.state.portBase);
        p.state.lastPortRead = static_cast<uint16_t>((p.state.dataLatch & 0xFF) |
                                                     (static_cast<uint16_t>(status) << 8));
    } else {
        DriverAccessFailed(p);
    }
    return p.state.lastPortRead;
}

void SetSck(Programmer& p, int level) {
    if (IsSerial(p)) {
        bool high = (level != 0) != (p.state.cablet1 != 0);  // Cablet1 inverts RTS
        p.port.EscapeCommFunction(high ? CommFunction::SetRts : CommFunction::ClrRts);
    } else {
        SetParallelBit(p, kSckBit, level);
    }
}

void SetMosi(Programmer& p, int level) {
    if (IsSerial(p)) {
        bool high = (level != 0) != (p.state.cablet1 != 0);  // Cablet1 inverts DTR
        p.port.EscapeCommFunction(high ? CommFunction::SetDtr : CommFunction::ClrDtr);
    } else {
        SetParallelBit(p, kMosiBit, level);
    }
}

void SetReset(Programmer& p, int level) {
    if (IsSerial(p)) {
        // RESET rides on the break state of the transmit line, on every cable.
        p.port.EscapeCommFunction(level ? CommFunction::SetBreak : CommFunction::ClrBreak);
    } else {
        SetParallelBit(p, kResetBit, level);
    }
}

int ReadMiso(Programmer& p) {
    if (IsSerial(p)) {
        p.state.modemStatus = p.port.GetModemStatus();
        if (p.state.cablet1)
            return (p.state.modemStatus & kMsDsrOn) == 0 ? 1 : 0;
        return (p.state.modemStatus & kMsCtsOn) != 0 ? 1 : 0;
    }
    return (ReadPort(p) & kMisoWordBit) != 0 ? 1 : 0;
}

void PollInput(Programmer& p) {
    if (IsSerial(p)) {
        p.state.modemStatus = p.port.GetModemStatus();
    } else {
        ReadPort(p);
    }
}

}  // namespace ostrel::adapter
