// Fuzzes the simulator's clock file and the clock reader it shares with
// --sim-clock. A clock the reader accepts lies in the allowed range and reads
// back the same from its plain Hz and from its shown text.
#include <string>
#include <utility>

#include "sim/chip_clock.h"
#include "tests/fuzz/fuzz_rig.h"

namespace {

// "3.6864 MHz" -> "3.6864M": the shown text as a user would type it.
std::string Typed(std::string shown) {
    for (const auto& [unit, suffix] : {std::pair{" MHz", "M"}, {" kHz", "k"}, {" Hz", ""}}) {
        if (shown.ends_with(unit))
            return shown.substr(0, shown.size() - std::string(unit).size()) + suffix;
    }
    return shown;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    const std::string_view bytes = fuzz::AsText(data, size);
    uint32_t hz = 0;
    if (sim::ReadChipClock(bytes, &hz).empty()) {
        if (hz < sim::kMinChipClockHz || hz > sim::kMaxChipClockHz)
            __builtin_trap();
        uint32_t again = 0;
        if (!sim::ReadChipClock(std::to_string(hz), &again).empty() || again != hz)
            __builtin_trap();
        if (!sim::ReadChipClock(Typed(sim::ClockText(hz)), &again).empty() || again != hz)
            __builtin_trap();
    }
    fuzz::FuzzRig rig;
    const sim::ClockLoad load = sim::LoadChipClock(rig.Input(sim::kClockFileName, bytes));
    // A file is a clock in range, or the factory clock with the reason.
    if (load.hz != 0 ? load.hz < sim::kMinChipClockHz || load.hz > sim::kMaxChipClockHz ||
                           !load.warning.empty()
                     : load.warning.empty())
        __builtin_trap();
    return 0;
}
