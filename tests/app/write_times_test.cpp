// Every chip of the simulator's table through the commands that write and
// erase its memories, with data that holds the values a location reads while
// it is being written: each command must end OK with the exact contents,
// whatever the chip's write times (up to 20 ms per EEPROM byte, 45 ms per
// chip erase).
#include <gtest/gtest.h>

#include "app/commands.h"
#include "app/data_commands.h"
#include "core/ids.h"
#include "sim/chip_table.h"
#include "tests/image/image_test_util.h"
#include "tests/support/sim_rig.h"
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

namespace ostrel::testing {
namespace {

// What Write announces before a long write follows what the write then takes
// on the simulated chip, whose port accesses and write times cost what they
// cost on real ones: the estimate grows by what the time grows by when the
// file does (the fixed part of a command, its connects and pauses, is not
// announced). Before it took 40 ms a page and 10 ms a byte for every chip,
// 1.8 times too long for an ATmega8 and half the time of an AT90S2343.
TEST(WriteTimes, TheAnnouncedLengthGrowsAsTheWriteDoes) {
    const struct {
        const char* chip;
        sim::CableKind cable;
        int speed;
        uint32_t accessNs;  // 0: the port kind's default
        const char* file;
        int bytes;
        RigPort port = RigPort::Sim;
    } kCases[] = {
        {"ATmega8", sim::CableKind::Parallel, 3, 0, "prog.hex", 4096},
        {"ATmega8", sim::CableKind::Cablet2, 2, 1000000, "prog.hex", 256},  // a USB adapter
        {"ATmega328P", sim::CableKind::Cablet2, 3, 0, "prog.hex", 8192},
        {"AT90S2313", sim::CableKind::Cablet1, 3, 0, "prog.hex", 1024},
        {"AT90S2343", sim::CableKind::Cablet2, 0, 0, "prog.hex", 256},
        {"ATmega8", sim::CableKind::Cablet2, 3, 0, "data.eep", 256},
        {"AT90S4433", sim::CableKind::Parallel, 3, 0, "data.eep", 128},
        // The ports of pins: FTDI adapters in bit-bang mode, GPIO lines.
        {"ATmega8", sim::CableKind::Cablet2, 3, 0, "prog.hex", 4096, RigPort::Ft232r},
        {"ATmega8", sim::CableKind::Cablet1, 3, 0, "prog.hex", 8192, RigPort::Ft231x},
        {"ATmega328P", sim::CableKind::Cablet2, 2, 0, "prog.hex", 4096, RigPort::Ft231x},
        {"AT90S2313", sim::CableKind::Cablet2, 3, 0, "prog.hex", 512, RigPort::Ft232r},
        {"ATmega8", sim::CableKind::Cablet2, 3, 0, "data.eep", 256, RigPort::Ft231x},
        {"ATmega8", sim::CableKind::Parallel, 3, 0, "prog.hex", 4096, RigPort::Gpio},
    };
    for (const auto& c : kCases) {
        if (!RigPortAvailable(c.port))
            continue;
        SCOPED_TRACE(std::string(c.chip) + " " + c.file + " " + std::to_string(c.bytes) + " " +
                     RigPortName(c.port));
        double took[2] = {};
        double told[2] = {};
        const int sizes[2] = {16, c.bytes};
        for (int i = 0; i < 2; ++i) {
            SimRig rig({.chip = c.chip, .cable = c.cable, .accessNs = c.accessNs, .port = c.port});
            rig.p.state.speed = c.speed;
            std::string hex;
            for (int at = 0; at < sizes[i]; at += 16)
                hex += Record(0, at, Bytes(16, at + 1)) + "\n";
            rig.Write(c.file, hex + kEndRecord + "\n");
            ASSERT_EQ(rig.Load(c.file), 0);
            const uint64_t start = rig.clock.NowNs();
            ASSERT_EQ(app::OnCommand(rig.p, ids::kWrite), app::CommandResult::Ok)
                << rig.p.state.errorText.view();
            took[i] = static_cast<double>(rig.clock.NowNs() - start) / 1e9;
            told[i] = app::EstimatedWriteSeconds(rig.p, sizes[i]);
        }
        EXPECT_NEAR((told[1] - told[0]) / (took[1] - took[0]), 1.0, 0.1)
            << "told " << told[1] << " s, took " << took[1] << " s";
    }
}

}  // namespace
}  // namespace ostrel::testing
