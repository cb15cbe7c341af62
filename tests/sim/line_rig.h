// A programmer wired to a SimPort, a virtual clock and the scripted window
// system, with the few protocol steps the simulator tests need, written
// directly on top of the adapter layer.
#pragma once

#include <cstdint>
#include <utility>

#include "adapter/adapter.h"
#include "core/clock.h"
#include "core/programmer.h"
#include "sim/sim_port.h"
#include "tests/support/scripted_windows.h"

namespace ostrel::testing {

struct LineRig {
    explicit LineRig(sim::SimConfig config = {}) : port(clock, std::move(config)) {
        ProgrammerState& s = p.state;
        s.speed = 3;  // one input read per delay unit: the fastest clock
        s.delayLoops = 1;
        if (sim::IsSerialCable(port.config().cable)) {
            s.adapterKind = AdapterKind::Serial;
            s.portName.Assign("SIM");
            s.comName.Assign("SIM");
        } else {
            s.adapterKind = AdapterKind::Parallel;
            s.directPortIo = 1;
            s.portBase = 0x378;
        }
    }

    sim::AvrTarget& target() { return port.target(); }

    VirtualClock clock;
    sim::SimPort port;
    ScriptedWindows windows;
    Programmer p{port, clock, windows};
};

// The reset sequence of the programmer: all lines low, a short RESET pulse,
// then 100 ms for the chip to start its programming interface.
inline void ResetIntoProgramming(Programmer& p) {
    if (p.state.adapterKind == AdapterKind::Serial) {
        adapter::OpenSerialPort(p);
        adapter::SetSck(p, 0);
        adapter::SetMosi(p, 0);
        adapter::SetReset(p, 0);
        adapter::WaitMs(p, 100);
        adapter::SetReset(p, 1);
        adapter::WaitMs(p, 1);
        adapter::SetReset(p, 0);
        adapter::WaitMs(p, 100);
    } else {
        adapter::HoldTargetInReset(p);
        adapter::WaitMs(p, 30);
        adapter::SetReset(p, 1);
        adapter::Delay(p, 10);
        adapter::SetReset(p, 0);
        adapter::WaitMs(p, 100);
    }
}

// One four-byte instruction; returns the four bytes clocked in.
inline uint32_t Send(Programmer& p, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4) {
    p.state.txWord = (b1 << 8) | b2;
    adapter::TransferWord(p);
    p.state.txWord = (b3 << 8) | b4;
    adapter::TransferWord(p);
    return p.state.rxShift;
}

// Programming Enable; true when the chip echoed 0x53 in the third byte.
inline bool Enable(Programmer& p) {
    return ((Send(p, 0xAC, 0x53, 0x00, 0x00) >> 8) & 0xFF) == 0x53;
}

// Reset, enable, and say whether the echo came.
inline bool Connect(Programmer& p) {
    ResetIntoProgramming(p);
    return Enable(p);
}

// One SCK pulse outside any instruction, as the synchronisation makes it.
inline void ExtraSckPulse(Programmer& p) {
    adapter::WaitMs(p, 2);
    adapter::SetSck(p, 1);
    adapter::WaitMs(p, 2);
    adapter::SetSck(p, 0);
    adapter::WaitMs(p, 2);
}

inline uint8_t ReadSignatureByte(Programmer& p, uint8_t address) {
    return static_cast<uint8_t>(Send(p, 0x30, 0x00, address, 0x00) & 0xFF);
}

// Flash by byte address (word address * 2, + 1 for the high byte).
inline uint8_t ReadFlash(Programmer& p, uint32_t byteAddress) {
    const uint32_t word = byteAddress >> 1;
    const uint8_t op = (byteAddress & 1) ? 0x28 : 0x20;
    return static_cast<uint8_t>(Send(p, op, (word >> 8) & 0xFF, word & 0xFF, 0x00) & 0xFF);
}

inline void WriteFlash(Programmer& p, uint32_t byteAddress, uint8_t value) {
    const uint32_t word = byteAddress >> 1;
    const uint8_t op = (byteAddress & 1) ? 0x48 : 0x40;
    Send(p, op, (word >> 8) & 0xFF, word & 0xFF, value);
}

inline uint8_t ReadEeprom(Programmer& p, uint32_t address) {
    return static_cast<uint8_t>(Send(p, 0xA0, (address >> 8) & 0xFF, address & 0xFF, 0) & 0xFF);
}

inline void WriteEeprom(Programmer& p, uint32_t address, uint8_t value) {
    Send(p, 0xC0, (address >> 8) & 0xFF, address & 0xFF, value);
}

}  // namespace ostrel::testing
