// Line operations per second through SimPort: the simulated cable and chip
// must never be what limits a run. Each benchmark reports items/s = port
// calls (line changes and input reads) per second. "Timing" runs have the
// timing model on: every port access spends its cost on the virtual clock and
// the chip checks each edge against its clock (and still executes every
// instruction: the "instructions" counter shows it); "NoTiming" runs have it
// off, for comparison. The system clock runs have it off too, since there a
// port access would wait out its real cost.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "adapter/adapter.h"
#include "bench/no_windows.h"
#include "core/clock.h"
#include "core/programmer.h"
#include "platform/model_window_system.h"
#include "sim/sim_port.h"

namespace {

using ostrel::CommFunction;
using ostrel::sim::CableKind;
using ostrel::sim::SimConfig;
using ostrel::sim::SimPort;

constexpr uint16_t kBase = 0x378;

// Instructions the chip executes in turn: enable, a signature read, a flash
// read and an EEPROM read, so the answer path is measured as well.
constexpr std::array<uint32_t, 4> kFrames{0xAC530000u, 0x30000100u, 0x20012300u, 0xA0000500u};

template <typename ClockType, bool kTiming>
void ParallelBits(benchmark::State& state) {
    ClockType clock;
    SimConfig config;
    config.cable = CableKind::Parallel;
    config.timing = kTiming;
    SimPort port(clock, config);
    port.WriteData(kBase, 0x00);  // RESET low
    if constexpr (std::is_same_v<ClockType, ostrel::VirtualClock>)
        clock.Advance(20000);
    while (!port.target().DrivesMiso()) {
    }
    std::size_t frame = 0;
    int bit = 31;
    for (auto _ : state) {
        // One bit as the transfer makes it: MOSI, SCK up, sample, SCK down.
        const uint8_t mosi = static_cast<uint8_t>((kFrames[frame] >> bit) & 1);
        port.WriteData(kBase, mosi);
        port.WriteData(kBase, mosi | 0x02);
        benchmark::DoNotOptimize(port.ReadWord(kBase));
        port.WriteData(kBase, mosi);
        if (--bit < 0) {
            bit = 31;
            frame = (frame + 1) % kFrames.size();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 4);
    state.counters["instructions"] = static_cast<double>(port.target().instructionsExecuted());
}

void BM_ParallelBitsVirtualClockTiming(benchmark::State& state) {
    ParallelBits<ostrel::VirtualClock, true>(state);
}
void BM_ParallelBitsVirtualClockNoTiming(benchmark::State& state) {
    ParallelBits<ostrel::VirtualClock, false>(state);
}
void BM_ParallelBitsSystemClockNoTiming(benchmark::State& state) {
    ParallelBits<ostrel::SystemClock, false>(state);
}
BENCHMARK(BM_ParallelBitsVirtualClockTiming);
BENCHMARK(BM_ParallelBitsVirtualClockNoTiming);
BENCHMARK(BM_ParallelBitsSystemClockNoTiming);

template <bool kTiming>
void Cablet2Bits(benchmark::State& state) {
    ostrel::VirtualClock clock;
    SimConfig config;  // Cablet2
    config.timing = kTiming;
    SimPort port(clock, config);
    port.OpenSerial("SIM");
    // The port opens with RTS and DTR up, SCK and MOSI high: lower them and
    // give RESET a positive pulse, so that the interface starts in step.
    port.EscapeCommFunction(CommFunction::ClrRts);
    port.EscapeCommFunction(CommFunction::ClrDtr);
    port.EscapeCommFunction(CommFunction::SetBreak);
    clock.Advance(100);
    port.EscapeCommFunction(CommFunction::ClrBreak);  // RESET low
    clock.Advance(20000);
    std::size_t frame = 0;
    int bit = 31;
    for (auto _ : state) {
        // One bit on Cablet2: DTR, RTS up, DTR up, sample CTS, RTS down.
        const bool mosi = ((kFrames[frame] >> bit) & 1) != 0;
        port.EscapeCommFunction(mosi ? CommFunction::SetDtr : CommFunction::ClrDtr);
        port.EscapeCommFunction(CommFunction::SetRts);
        port.EscapeCommFunction(CommFunction::SetDtr);
        benchmark::DoNotOptimize(port.GetModemStatus());
        port.EscapeCommFunction(CommFunction::ClrRts);
        if (--bit < 0) {
            bit = 31;
            frame = (frame + 1) % kFrames.size();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 5);
    state.counters["instructions"] = static_cast<double>(port.target().instructionsExecuted());
}
void BM_Cablet2BitsTiming(benchmark::State& state) {
    Cablet2Bits<true>(state);
}
void BM_Cablet2BitsNoTiming(benchmark::State& state) {
    Cablet2Bits<false>(state);
}
BENCHMARK(BM_Cablet2BitsTiming);
BENCHMARK(BM_Cablet2BitsNoTiming);

// The whole path of the program: TransferWord at the fastest speed, with the
// calibrated delay's input reads between the edges.
void BM_TransferWordThroughAdapter(benchmark::State& state) {
    ostrel::VirtualClock clock;
    SimConfig config;
    config.cable = CableKind::Parallel;
    SimPort port(clock, config);
    NoWindows windows;
    ostrel::Programmer p(port, clock, windows);
    p.state.directPortIo = 1;
    p.state.speed = 3;
    p.state.delayLoops = 1;
    ostrel::adapter::HoldTargetInReset(p);
    ostrel::adapter::WaitMs(p, 30);
    std::size_t frame = 0;
    bool second = false;
    const uint64_t callsBefore = port.portCalls();
    for (auto _ : state) {
        const uint32_t f = kFrames[frame];
        p.state.txWord = static_cast<int32_t>(second ? (f & 0xFFFF) : (f >> 16));
        ostrel::adapter::TransferWord(p);
        if (second)
            frame = (frame + 1) % kFrames.size();
        second = !second;
    }
    state.SetItemsProcessed(static_cast<int64_t>(port.portCalls() - callsBefore));
    state.counters["instructions"] = static_cast<double>(port.target().instructionsExecuted());
}
BENCHMARK(BM_TransferWordThroughAdapter);

}  // namespace

BENCHMARK_MAIN();
