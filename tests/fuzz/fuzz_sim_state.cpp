// Fuzzes the simulator's state file. The first byte chooses the chip; a
// file the decoder accepts must encode back to a file that decodes to the
// same memory.
#include "sim/chip_table.h"
#include "sim/sim_state_file.h"
#include "tests/fuzz/fuzz_rig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ostrel;
    if (size == 0)
        return 0;
    const auto chips = sim::AllChips();
    const sim::ChipInfo& chip = chips[data[0] % chips.size()];
    const std::string_view bytes = fuzz::AsText(data + 1, size - 1);

    sim::ChipMemory memory;
    std::string reason;
    if (sim::DecodeChipState(bytes, chip, &memory, &reason)) {
        if (memory.flash.size() != chip.flashBytes || memory.eeprom.size() != chip.eepromBytes)
            __builtin_trap();
        sim::ChipMemory again;
        if (!sim::DecodeChipState(sim::EncodeChipState(chip, memory), chip, &again, &reason) ||
            !(again == memory))
            __builtin_trap();
    }
    fuzz::FuzzRig rig;
    const std::string path = rig.Input(sim::kStateFileName, bytes);
    const sim::StateLoad load = sim::LoadChipState(path, chip);
    if (load.memory.flash.size() != chip.flashBytes)
        __builtin_trap();
    return 0;
}
