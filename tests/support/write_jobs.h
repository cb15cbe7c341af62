// Whole commands that write a chip's memories, run against the simulated
// chip on a given clock, with the outcome and the chip's memories they leave.
// The data holds the values a location reads while it is being written (FF,
// 00, 7F, 80 on one chip or another), twice in a row as well, so a write
// that is judged done too early shows as a wrong byte or a failed command.
#pragma once

#include <string>

#include "app/commands.h"
#include "sim/avr_target.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {

enum class WriteJob {
    EraseEeprom,  // Bulk Erase Data over old EEPROM contents
    EepOverOld,   // Write of an .eep file over old EEPROM contents
    EepFresh,     // Write of an .eep file to a fresh chip
    Flash,        // Write of a .hex file over old flash contents (erased first)
};

const char* WriteJobName(WriteJob job);

struct WriteOutcome {
    app::CommandResult result = app::CommandResult::Failed;
    std::string errorText;     // what the command left in errorText
    sim::ChipMemory memory;    // the chip's memories afterwards
    sim::ChipMemory expected;  // what a sound run leaves in them
};

// Runs the job on a rig built from `options` (its clock included) without
// the reading pauses.
WriteOutcome RunWriteJob(const SimRigOptions& options, WriteJob job);

// The first differing bytes of two memories as text ("eeprom 0x0003: 12 != FF"), empty when equal.
std::string MemoryDifferences(const sim::ChipMemory& got, const sim::ChipMemory& want);

}  // namespace ostrel::testing
