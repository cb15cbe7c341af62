// The same write commands once on the virtual clock and once on the real
// clock of the machine, against the simulated chip that takes its write
// times from the clock it is given: both must end alike, OK, with the same
// contents. The chips are slow ones (AT90S2343: 20 ms per EEPROM byte;
// ATmega48: 45 ms chip erase) and the files small, so the real-clock runs
// take about three seconds in all.
#include <gtest/gtest.h>

#include "core/clock.h"
#include "tests/support/write_jobs.h"

namespace ostrel::testing {
namespace {

TEST(ClockAgreement, RealAndVirtualClockEndAlikeWithTheSameContents) {
    struct Case {
        const char* chip;
        WriteJob job;
    };
    const Case cases[] = {
        {"AT90S2343", WriteJob::EepFresh},
        {"AT90S2343", WriteJob::EraseEeprom},
        {"ATmega48", WriteJob::Flash},
    };
    for (const Case& c : cases) {
        const std::string name = std::string(c.chip) + " " + WriteJobName(c.job);
        WriteOutcome onVirtual = RunWriteJob({.chip = c.chip}, c.job);
        SystemClock clock;
        WriteOutcome onReal = RunWriteJob({.chip = c.chip, .clock = &clock}, c.job);
        EXPECT_EQ(onReal.result, onVirtual.result) << name << ": " << onReal.errorText;
        EXPECT_EQ(MemoryDifferences(onReal.memory, onVirtual.memory), "") << name;
        EXPECT_EQ(onVirtual.result, app::CommandResult::Ok) << name << ": " << onVirtual.errorText;
        EXPECT_EQ(MemoryDifferences(onVirtual.memory, onVirtual.expected), "") << name;
    }
}

}  // namespace
}  // namespace ostrel::testing
