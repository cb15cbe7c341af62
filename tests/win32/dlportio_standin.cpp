// A stand-in for the DlPortIO port driver's library, DLPORTIO.dll, for the
// tests of the Windows programs: it exports the driver's functions by their
// plain names, as the real library does, and puts the simulated parallel
// cable and chip behind them. The program loads it by name, exactly as it
// would load the real one, and cannot tell the difference.
//
// OSTREL_DLPORTIO_STATE names the simulated chip's state file (loaded at the
// first access, written back when the program ends, so consecutive runs see
// the same chip); OSTREL_DLPORTIO_CHIP names the chip (default ATmega8).
// Every port address answers as the port at 0x378 would: the program chooses
// the address, the driver does not check it.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "core/clock.h"
#include "sim/sim_port.h"

namespace {

std::string Variable(const char* name, const char* otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

struct Bench {
    ostrel::SystemClock clock;
    ostrel::sim::SimPort port;
    Bench() : port(clock, Config()) {}

    static ostrel::sim::SimConfig Config() {
        ostrel::sim::SimConfig config;
        config.cable = ostrel::sim::CableKind::Parallel;
        config.chip = Variable("OSTREL_DLPORTIO_CHIP", "ATmega8");
        config.stateFile = Variable("OSTREL_DLPORTIO_STATE", "");
        // The program's own clock measures the port; the chip runs on the
        // machine's time, so its write times pass as a real chip's do.
        config.timing = false;
        return config;
    }
};

// The driver has no context argument: one bench for the process, built at
// the first access; its chip is saved when the library is unloaded at the
// end of the program (the static object's destructor).
Bench& TheBench() {
    static Bench bench;
    return bench;
}

}  // namespace

extern "C" {

// A 16-bit write: the low byte to the data register at `port`, the high
// byte to the read-only status register beside it.
__declspec(dllexport) void __stdcall DlPortWritePortUshort(ULONG port, USHORT value) {
    TheBench().port.WriteData(static_cast<uint16_t>(port), static_cast<uint8_t>(value & 0xFF));
}

// A 32-bit read from `port`: data and status register in the low 16 bits,
// the control register and the byte above it (which reads as nothing) in
// the high ones.
__declspec(dllexport) ULONG __stdcall DlPortReadPortUlong(ULONG port) {
    ostrel::sim::SimPort& sim = TheBench().port;
    auto base = static_cast<uint16_t>(port);
    ULONG word = sim.ReadWord(base);
    return word | (static_cast<ULONG>(sim.ReadControl(base)) << 16) | 0xFF000000ul;
}

// The driver's byte functions, so that a program using them finds them too.
__declspec(dllexport) UCHAR __stdcall DlPortReadPortUchar(ULONG port) {
    return static_cast<UCHAR>(DlPortReadPortUlong(port) & 0xFF);
}

__declspec(dllexport) void __stdcall DlPortWritePortUchar(ULONG port, UCHAR value) {
    DlPortWritePortUshort(port, value);
}

}  // extern "C"
