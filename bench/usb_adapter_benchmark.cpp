// What a USB-serial adapter costs a whole write: the Write command (connect,
// chip erase, the page loads and writes, the verifying pass) of a file that
// fills the flash, into the simulated chip under the virtual clock, through
// an FTDI adapter in synchronous bit-bang mode (the real backend over the
// fake libftdi, tests/support/linux) and, for comparison, through the same
// adapter's modem lines, one USB request for each line change and status
// read (the simulator's serial port at 1 ms an access).
//
// Three ways through the same FTDI adapter, all on the time model of the
// USB bus (tests/support/usb_bus_model.h: 1 ms frames, 64-byte packets with
// their status bytes, the latency timer, the chip's buffers and its stall):
//   once        one transfer at a time, each waited for before the next;
//   in_flight   transfers kept in flight, waiting only for answers needed;
//   once_1ms    one at a time at a flat 1 ms a round trip, the figure the
//               model must match for the path of one at a time.
//
// Counters:
//   round_trips   USB round trips: transfers of states on the bit-bang path
//                 (a write and the reads that bring its samples back), control
//                 requests on the modem-line path
//   bytes         states written on the bit-bang path (as many samples come
//                 back); the modem-line path sends no data
//   implied_s     the time those imply at 1 ms a round trip, plus the bytes
//                 at the state rate
//   command_s     the whole command on the virtual clock: the above, the
//                 chip's write times waited, the connects and their pauses
//   vs_modem      the modem-line path's implied_s over this one's
//   sck_floor_s   the instruction bits at 4 us each: what the SCK limit of
//                 a chip at 1 MHz alone costs them (the chip's write waits
//                 and the connects' pauses come on top, on every path)
//   cpu_ns_per_byte  CPU time of the whole command (the fakes, the simulated
//                 chip and the bus model included) per data byte of the file
//
// The chips and cables: an 8 KB ATmega8, a 32 KB ATmega328P and the 256 KB
// ATmega2560 (its modem-line path on Cablet1 only), page mode;
// Cablet1 (two states a bit) and Cablet2 (three: MOSI high while SCK is
// high); the FT232R (buffers of 128 bytes, transfers of 124 states in
// flight, its top rate with two states a phase) and an FT-X chip (buffers of
// 512 bytes, transfers of 496 states, one state a phase); speed High.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "app/commands.h"
#include "core/ids.h"
#include "devices/chip_lists.h"
#include "tests/support/sim_rig.h"
#if defined(OSTREL_PIN_PORTS)
#include "tests/support/linux/pin_kit.h"
#endif

namespace {

using ostrel::sim::CableKind;
using ostrel::testing::RigPort;
using ostrel::testing::SimRig;
using ostrel::testing::SimRigOptions;

constexpr double kRoundTripSeconds = 0.001;

enum class Path { Once, InFlight, OnceFlat };

struct Result {
    double roundTrips = 0;
    double bytes = 0;
    double impliedSeconds = 0;
    double commandSeconds = 0;
    double floorSeconds = 0;
    double cpuNsPerByte = 0;
    bool ok = false;
};

int64_t CpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// An Intel HEX file that fills `bytes` of flash with a pattern without FF.
std::string FullImage(uint32_t bytes) {
    std::string hex;
    char line[80];
    for (uint32_t at = 0; at < bytes; at += 16) {
        if (at > 0 && at % 0x10000 == 0) {
            const unsigned upper = at >> 16;
            std::snprintf(line, sizeof line, ":02000004%04X%02X\n", upper,
                          (0x100 - ((0x02 + 0x04 + upper) & 0xFF)) & 0xFF);
            hex += line;
        }
        unsigned sum = 16 + ((at >> 8) & 0xFF) + (at & 0xFF);
        std::snprintf(line, sizeof line, ":10%04X00", at & 0xFFFF);
        hex += line;
        for (uint32_t i = 0; i < 16; ++i) {
            const unsigned value = (at + i) * 7 % 251;
            sum += value;
            std::snprintf(line, sizeof line, "%02X", value);
            hex += line;
        }
        std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        hex += line;
    }
    return hex + ":00000001FF\n";
}

Result Write(const char* chip, uint32_t bytes, CableKind cable, RigPort port,
             Path path = Path::Once) {
    SimRigOptions options;
    options.chip = chip;
    options.cable = cable;
    options.port = port;
    options.pipelined = path == Path::InFlight;
    options.frameModel = path == Path::Once;
    // The modem-line path: every line change and status read one USB request.
    if (port == RigPort::Sim)
        options.accessNs = 1000000;
    SimRig rig(options);
    rig.p.skipReadingPauses = true;
    rig.Write("full.hex", FullImage(bytes));
    Result r;
    if (rig.Load("full.hex") != 0)
        return r;
    const uint64_t startNs = rig.clock.NowNs();
    const uint64_t callsBefore = rig.sim ? rig.sim->portCalls() : 0;
    const int64_t cpuStart = CpuNs();
    r.ok = ostrel::app::OnCommand(rig.p, ostrel::ids::kWrite) == ostrel::app::CommandResult::Ok;
    r.cpuNsPerByte = static_cast<double>(CpuNs() - cpuStart) / bytes;
    r.commandSeconds = static_cast<double>(rig.clock.NowNs() - startNs) / 1e9;
    if (port == RigPort::Sim) {
        r.roundTrips = static_cast<double>(rig.sim->portCalls() - callsBefore);
        r.impliedSeconds = r.roundTrips * kRoundTripSeconds;
    } else {
#if defined(OSTREL_PIN_PORTS)
        const ostrel::testing::FakeFtdiDevice& dev = *rig.kit->ftdiDevice;
        r.roundTrips = static_cast<double>(dev.roundTrips + dev.pinReads);
        r.bytes = static_cast<double>(dev.bytesWritten);
        r.impliedSeconds = r.roundTrips * kRoundTripSeconds + r.bytes / rig.p.state.stateRateHz;
        // The instruction bits at the SCK limit of a 1 MHz chip, 4 us each;
        // the states that time the page writes are no bits.
        const double statesPerBit = (cable == CableKind::Cablet2 ? 3.0 : 2.0) *
                                    std::max<int32_t>(1, rig.p.state.statesPerPhase);
        double bitStates = r.bytes;
        ostrel::devices::WriteTimes times{};
        if (path == Path::InFlight && rig.p.state.pageWords > 0 &&
            ostrel::devices::WriteTimesOf(rig.p.state.signatureHex.view(), &times)) {
            const double pages = bytes / (2.0 * rig.p.state.pageWords);
            bitStates -= pages * std::ceil(times.flashUs * 1e-6 * rig.p.state.stateRateHz);
        }
        r.floorSeconds = bitStates / statesPerBit * 4e-6;
#endif
    }
    return r;
}

// The modem-line path of a chip, once per chip and cable.
const Result& ModemLines(const char* chip, uint32_t bytes, CableKind cable) {
    static std::map<std::string, Result> results;
    const std::string key = std::string(chip) + std::to_string(static_cast<int>(cable));
    auto it = results.find(key);
    if (it == results.end())
        it = results.emplace(key, Write(chip, bytes, cable, RigPort::Sim)).first;
    return it->second;
}

void Report(benchmark::State& state, const Result& r, const Result* modem) {
    if (!r.ok)
        state.SkipWithError("the write failed");
    state.counters["round_trips"] = r.roundTrips;
    state.counters["bytes"] = r.bytes;
    state.counters["implied_s"] = r.impliedSeconds;
    state.counters["command_s"] = r.commandSeconds;
    if (r.floorSeconds > 0)
        state.counters["sck_floor_s"] = r.floorSeconds;
    state.counters["cpu_ns_per_byte"] = r.cpuNsPerByte;
    if (modem != nullptr && r.impliedSeconds > 0)
        state.counters["vs_modem"] = modem->impliedSeconds / r.impliedSeconds;
}

// `withModem` false: no modem-line row to compare with (it would take
// hours of simulated requests).
void BitBang(benchmark::State& state, const char* chip, uint32_t bytes, CableKind cable,
             RigPort port, Path path, bool withModem = true) {
    if (!ostrel::testing::RigPortAvailable(port)) {
        state.SkipWithError("no FTDI backend in this build");
        return;
    }
    Result r;
    for (auto _ : state)
        r = Write(chip, bytes, cable, port, path);
    Report(state, r, withModem ? &ModemLines(chip, bytes, cable) : nullptr);
}

void ModemLinePath(benchmark::State& state, const char* chip, uint32_t bytes, CableKind cable) {
    Result r;
    for (auto _ : state)
        r = ModemLines(chip, bytes, cable);
    Report(state, r, nullptr);
}

}  // namespace

BENCHMARK_CAPTURE(BitBang, ATmega8_cablet1_FT232R_once_1ms, "ATmega8", 8192, CableKind::Cablet1,
                  RigPort::Ft232r, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet1_FT232R_once, "ATmega8", 8192, CableKind::Cablet1,
                  RigPort::Ft232r, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet1_FT232R_in_flight, "ATmega8", 8192, CableKind::Cablet1,
                  RigPort::Ft232r, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet1_FT231X_once_1ms, "ATmega8", 8192, CableKind::Cablet1,
                  RigPort::Ft231x, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet1_FT231X_once, "ATmega8", 8192, CableKind::Cablet1,
                  RigPort::Ft231x, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet1_FT231X_in_flight, "ATmega8", 8192, CableKind::Cablet1,
                  RigPort::Ft231x, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(ModemLinePath, ATmega8_cablet1_modem_lines, "ATmega8", 8192, CableKind::Cablet1)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet2_FT232R_once_1ms, "ATmega8", 8192, CableKind::Cablet2,
                  RigPort::Ft232r, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet2_FT232R_once, "ATmega8", 8192, CableKind::Cablet2,
                  RigPort::Ft232r, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet2_FT232R_in_flight, "ATmega8", 8192, CableKind::Cablet2,
                  RigPort::Ft232r, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet2_FT231X_once_1ms, "ATmega8", 8192, CableKind::Cablet2,
                  RigPort::Ft231x, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet2_FT231X_once, "ATmega8", 8192, CableKind::Cablet2,
                  RigPort::Ft231x, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega8_cablet2_FT231X_in_flight, "ATmega8", 8192, CableKind::Cablet2,
                  RigPort::Ft231x, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(ModemLinePath, ATmega8_cablet2_modem_lines, "ATmega8", 8192, CableKind::Cablet2)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet1_FT232R_once_1ms, "ATmega328P", 32768,
                  CableKind::Cablet1, RigPort::Ft232r, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet1_FT232R_once, "ATmega328P", 32768, CableKind::Cablet1,
                  RigPort::Ft232r, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet1_FT232R_in_flight, "ATmega328P", 32768,
                  CableKind::Cablet1, RigPort::Ft232r, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet1_FT231X_once_1ms, "ATmega328P", 32768,
                  CableKind::Cablet1, RigPort::Ft231x, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet1_FT231X_once, "ATmega328P", 32768, CableKind::Cablet1,
                  RigPort::Ft231x, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet1_FT231X_in_flight, "ATmega328P", 32768,
                  CableKind::Cablet1, RigPort::Ft231x, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(ModemLinePath, ATmega328P_cablet1_modem_lines, "ATmega328P", 32768,
                  CableKind::Cablet1)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet2_FT232R_once_1ms, "ATmega328P", 32768,
                  CableKind::Cablet2, RigPort::Ft232r, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet2_FT232R_once, "ATmega328P", 32768, CableKind::Cablet2,
                  RigPort::Ft232r, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet2_FT232R_in_flight, "ATmega328P", 32768,
                  CableKind::Cablet2, RigPort::Ft232r, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet2_FT231X_once_1ms, "ATmega328P", 32768,
                  CableKind::Cablet2, RigPort::Ft231x, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet2_FT231X_once, "ATmega328P", 32768, CableKind::Cablet2,
                  RigPort::Ft231x, Path::Once)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega328P_cablet2_FT231X_in_flight, "ATmega328P", 32768,
                  CableKind::Cablet2, RigPort::Ft231x, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(ModemLinePath, ATmega328P_cablet2_modem_lines, "ATmega328P", 32768,
                  CableKind::Cablet2)
    ->Iterations(1);
// The biggest chip, its 256 KB across Load Extended Address.
BENCHMARK_CAPTURE(BitBang, ATmega2560_cablet1_FT231X_once_1ms, "ATmega2560", 262144,
                  CableKind::Cablet1, RigPort::Ft231x, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega2560_cablet1_FT231X_in_flight, "ATmega2560", 262144,
                  CableKind::Cablet1, RigPort::Ft231x, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega2560_cablet1_FT232R_once_1ms, "ATmega2560", 262144,
                  CableKind::Cablet1, RigPort::Ft232r, Path::OnceFlat)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega2560_cablet1_FT232R_in_flight, "ATmega2560", 262144,
                  CableKind::Cablet1, RigPort::Ft232r, Path::InFlight)
    ->Iterations(1);
BENCHMARK_CAPTURE(ModemLinePath, ATmega2560_cablet1_modem_lines, "ATmega2560", 262144,
                  CableKind::Cablet1)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega2560_cablet2_FT231X_in_flight, "ATmega2560", 262144,
                  CableKind::Cablet2, RigPort::Ft231x, Path::InFlight, false)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega2560_cablet2_FT232R_once_1ms, "ATmega2560", 262144,
                  CableKind::Cablet2, RigPort::Ft232r, Path::OnceFlat, false)
    ->Iterations(1);
BENCHMARK_CAPTURE(BitBang, ATmega2560_cablet2_FT232R_in_flight, "ATmega2560", 262144,
                  CableKind::Cablet2, RigPort::Ft232r, Path::InFlight, false)
    ->Iterations(1);

BENCHMARK_MAIN();
