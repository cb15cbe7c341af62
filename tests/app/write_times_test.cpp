// Every chip of the simulator's table through the commands that write and
// erase its memories, with data that holds the values a location reads while
// it is being written: each command must end OK with the exact contents,
// whatever the chip's write times (up to 20 ms per EEPROM byte, 45 ms per
// chip erase).
#include <gtest/gtest.h>

#include "sim/chip_table.h"
#include "tests/support/write_jobs.h"

namespace ostrel::testing {
namespace {

TEST(WriteTimes, EveryChipTakesEveryWriteJobWithItsOwnTimes) {
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        for (WriteJob job :
             {WriteJob::EraseEeprom, WriteJob::EepOverOld, WriteJob::EepFresh, WriteJob::Flash}) {
            WriteOutcome out = RunWriteJob({.chip = std::string(chip.name)}, job);
            EXPECT_EQ(out.result, app::CommandResult::Ok)
                << chip.name << " " << WriteJobName(job) << ": " << out.errorText;
            EXPECT_EQ(MemoryDifferences(out.memory, out.expected), "")
                << chip.name << " " << WriteJobName(job);
        }
    }
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// A cell that never takes a value still fails, after the polling has given
// up, with the text of the pass that met it.
TEST(WriteTimes, AStuckCellStillFailsWithItsText) {
    struct Case {
        const char* chip;
        WriteJob job;
        sim::Memory memory;
        uint32_t address;
        const char* text;
    };
    const Case cases[] = {
        {"AT90S2343", WriteJob::EraseEeprom, sim::Memory::Eeprom, 3, "Error at Adr: 0003\n"},
        {"AT90S2343", WriteJob::EepOverOld, sim::Memory::Eeprom, 3, "Verify failed at Adr: 0003\n"},
        {"AT90S2343", WriteJob::EepFresh, sim::Memory::Eeprom, 0,
         "Write Error at Adr: 0000  \n\n     Wrote: 00  \n     Read: FF\n"},
        {"AT90S2313", WriteJob::EepFresh, sim::Memory::Eeprom, 4,
         "Write Error at Adr: 0004  \n\n     Wrote: 5A  \n     Read: FF\n"},
        {"AT90S2343", WriteJob::Flash, sim::Memory::Flash, 4,
         "Write Error at Adr: 0002  \n\n     Wrote: 5A  \n     Read: FF\n"},
        {"ATmega8", WriteJob::Flash, sim::Memory::Flash, 4,
         "Verify failed at Adr: 0002\n\n     File:    5A\n     Read: FF\n"},
    };
    for (const Case& c : cases) {
        WriteOutcome out = RunWriteJob({.chip = c.chip,
                                        .fault = sim::SimFault::StuckByte,
                                        .stuckAddress = c.address,
                                        .stuckMemory = c.memory},
                                       c.job);
        EXPECT_EQ(out.result, app::CommandResult::Failed) << c.chip << " " << WriteJobName(c.job);
        EXPECT_EQ(out.errorText, c.text) << c.chip << " " << WriteJobName(c.job);
    }
}

}  // namespace
}  // namespace ostrel::testing
