#include "tests/support/win32/pin_kit.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace ostrel::testing {

namespace {

// The adapter's own COM port, which COM1 is mapped to.
constexpr long kAdapterCom = 7;

EnvironmentLookup LookupIn(std::shared_ptr<std::map<std::string, std::string>> variables) {
    return [variables](std::string_view name) -> std::optional<std::string> {
        auto it = variables->find(std::string(name));
        if (it == variables->end())
            return std::nullopt;
        return it->second;
    };
}

}  // namespace

const char* PinViaName(PinVia via) {
    switch (via) {
        case PinVia::Ft232r:
            return "FT232R";
        case PinVia::Ft231x:
            return "FT231X";
        case PinVia::Gpio:
            return "GPIO";
    }
    return "?";
}

StandInBench* LoadStandInBench() {
    static StandInBench* bench = [] {
        // The folder of its own is searched for libraries loaded by name
        // from now on, in this process only (programs it starts do not
        // inherit it).
        const std::string folder = std::string(OSTREL_BINARY_DIR) + "/tests/ftd2xx";
        SetDllDirectoryA(folder.c_str());
        HMODULE library = LoadLibraryA(kD2xxLibrary);
        if (library == nullptr)
            return static_cast<StandInBench*>(nullptr);
        auto find = reinterpret_cast<StandInBenchFn>(
            reinterpret_cast<void*>(GetProcAddress(library, kStandInBenchExport)));
        return find != nullptr ? find() : nullptr;
    }();
    return bench;
}

void BusClock::Spend(uint64_t ns) {
    const uint64_t until = inner_.NowNs() + ns;
    if (bench_ != nullptr && bench_->passTime != nullptr && bench_->clock == &inner_)
        bench_->passTime(*bench_, until);
    if (until > inner_.NowNs())
        inner_.Spend(until - inner_.NowNs());
}

sim::SimConfig PinKit::BoardConfig(const PinKitOptions& options) {
    sim::SimConfig config = options.board;
    config.serialAccessNs = 0;
    config.parallelAccessNs = 0;
    if (!sim::IsSerialCable(config.cable))
        config.cable = sim::CableKind::Cablet2;
    return config;
}

PinKit::PinKit(Clock& clock, const PinKitOptions& options)
    : via(options.via),
      board(clock, BoardConfig(options)),
      serial(board),
      bench(LoadStandInBench()),
      variables(std::make_shared<std::map<std::string, std::string>>()),
      busClock(clock, bench),
      ftdi(sys, busClock, LookupIn(variables)),
      comName_(options.comName) {
    EXPECT_NE(bench, nullptr) << "the stand-in ftd2xx.dll was not found";
    EXPECT_NE(via, PinVia::Gpio) << "no GPIO lines on Windows";
    (*variables)["OSTREL_PORT_" + comName_] = "COM" + std::to_string(kAdapterCom);
    if (bench == nullptr)
        return;
    bench->devices.clear();
    bench->clock = &clock;
    // A control request is a round trip; the transfers take the time of
    // the bus model, as on the Linux fake of libftdi.
    bench->roundTripNs = 1000000;
    // A port that is not there: no adapter plugged in.
    if (options.board.fault == sim::SimFault::NoPort)
        return;
    ftdiDevice = &bench->Add(via == PinVia::Ft231x ? StandInChip::Ft231x : StandInChip::Ft232r,
                             &board, "FT000001", kAdapterCom);
}

PinKit::~PinKit() {
    ftdi.ClosePins();
    if (bench != nullptr)
        bench->devices.clear();
}

void PinKit::Attach(Programmer& p) {
    p.pins = &ftdi;
    ProgrammerState& s = p.state;
    s.adapterKind = AdapterKind::Serial;
    s.portName.Assign(comName_);
    s.comName.Assign(comName_);
}

}  // namespace ostrel::testing
