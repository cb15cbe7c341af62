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
