// The simulator slot builds its simulator on the chip clock and port costs it
// was given, and keeps a chosen clock beside the state file for the next run.
#include "sim/simulator_slot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/chip_clock.h"
#include "sim/sim_state_file.h"
#include "tests/sim/line_rig.h"
#include "tests/support/temp_dir.h"

namespace ostrel::testing {
namespace {

TEST(SimulatorSlot, BuildsTheSimulatorOnTheClockAndPortCostsGiven) {
    struct Case {
        const char* chip;
        uint32_t clockHz;                  // 0: the factory clock
        std::optional<uint32_t> serialNs;  // none: the costs are left as they are
        uint32_t parallelNs;
        uint32_t expectedClockHz;
        uint64_t expectedSerialNs;
        uint64_t expectedParallelNs;
    };
    const std::vector<Case> cases = {
        {"ATmega8", 0, std::nullopt, 0, 1000000, 2000, 1500},    // internal RC, 1 MHz
        {"AT90S2313", 0, std::nullopt, 0, 4000000, 2000, 1500},  // no RC: a 4 MHz crystal
        {"ATtiny13", 0, 0, 0, 1200000, 0, 0},                    // 9.6 MHz RC divided by 8
        {"ATtiny13", 128000, 1000000, 700, 128000, 1000000, 700},
        {"ATmega8", 20000000, 3, 10000000, 20000000, 3, 10000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " at " + std::to_string(c.clockHz) + " Hz");
        TempDir dir;
        VirtualClock clock;
        std::vector<std::string> reports;
        sim::SimulatorSlot slot(clock, sim::DefaultStatePath(dir.str()),
                                [&reports](const std::string& line) { reports.push_back(line); });
        slot.Choose(c.chip);
        slot.SetChipClock(c.clockHz);
        if (c.serialNs)
            slot.SetAccessCosts(*c.serialNs, c.parallelNs);
        ASSERT_TRUE(slot.OpenSerial("SIM") == SerialOpenResult::Ok);
        ASSERT_NE(slot.port(), nullptr);
        EXPECT_EQ(slot.port()->target().clockHz(), c.expectedClockHz);

        uint64_t before = clock.NowNs();
        slot.EscapeCommFunction(CommFunction::ClrRts);
        EXPECT_EQ(clock.NowNs() - before, c.expectedSerialNs) << "one serial access";
        before = clock.NowNs();
        slot.WriteData(0x378, 0x00);
        EXPECT_EQ(clock.NowNs() - before, c.expectedParallelNs) << "one parallel access";

        // A new clock drops the simulator (its chip saved), as a new chip does.
        slot.port()->target().SetFlash(0, 0x5A);
        slot.SetChipClock(8000000);
        EXPECT_EQ(slot.port(), nullptr);
        slot.Start();
        EXPECT_EQ(slot.port()->target().clockHz(), 8000000u);
        EXPECT_EQ(slot.port()->target().Flash(0), 0x5A);
        EXPECT_TRUE(reports.empty()) << reports.front();
    }
}

// What the clock file may hold, and what the next slot makes of it: a clock
// it can use, or the factory clock and one warning, after which the file is
// replaced by the clock in use.
TEST(SimulatorSlot, StartsOnTheKeptClockAndRefusesAFileThatHoldsNone) {
    struct Case {
        std::optional<std::string> file;  // none: no clock file
        uint32_t clockHz;                 // what the slot starts with
        bool warned;
    };
    const std::vector<Case> cases = {
        {std::nullopt, 0, false},
        {"128000\n", 128000, false},
        {"3686400\r\n", 3686400, false},
        {"32.768k", 32768, false},
        {"0\n", 0, true},
        {"33000000\n", 0, true},
        {"1.5\n", 0, true},
        {"128000\n\n", 0, true},
        {std::string("\x00\xFF\x12", 3), 0, true},
        {std::string(200, '1'), 0, true},
        {"", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file ? "'" + *c.file + "'" : "no file");
        TempDir dir;
        VirtualClock clock;
        std::vector<std::string> reports;
        const std::string clockFile = dir.File(sim::kClockFileName);
        if (c.file)
            dir.Write(sim::kClockFileName, *c.file);
        {
            sim::SimulatorSlot slot(
                clock, sim::DefaultStatePath(dir.str()),
                [&reports](const std::string& line) { reports.push_back(line); });
            EXPECT_EQ(slot.chipClock(), c.clockHz);
            slot.Start();
            EXPECT_EQ(slot.port()->target().clockHz(), c.clockHz != 0 ? c.clockHz : 1000000u);
            ASSERT_EQ(reports.size(), c.warned ? 1u : 0u);
            if (c.warned) {
                EXPECT_NE(reports[0].find(clockFile), std::string::npos) << reports[0];
            }
            EXPECT_EQ(std::filesystem::exists(clockFile), c.clockHz != 0)
                << "the factory clock leaves no file";

            slot.SetChipClock(20000000);
            slot.Start();
        }
        EXPECT_EQ(ReadFileBytes(clockFile), "20000000\n");
        sim::SimulatorSlot next(clock, sim::DefaultStatePath(dir.str()), nullptr);
        EXPECT_EQ(next.chipClock(), 20000000u);
        EXPECT_EQ(reports.size(), c.warned ? 1u : 0u) << "each warning once";
    }
}

// The program ends (killed: no save, no destructor) at each point of a use of
// the chip. What the state file holds then is never empty, and a command cut
// off after its first change leaves a chip whose next start says that its
// contents are uncertain, until a command of a later start reads or writes the
// memories: the signature and the fuses say nothing of them.
TEST(SimulatorSlot, StateFileIsWholeAndHonestWhereverTheProgramIsKilled) {
    enum class End { AfterStart, MidCommand, AfterCommand, AfterClose };
    enum class Then { Nothing, Signature, Fuses, FlashRead, EepromWrite };
    struct Case {
        const char* name;
        End end;
        bool writes;           // the command writes the EEPROM (else it only reads)
        bool expectUncertain;  // the next start warns that the chip may differ
        uint8_t expectEeprom;  // what the next start finds at EEPROM address 5
        Then then;             // the one command of the next start
        bool expectKept;       // the start after that warns again
    };
    const std::vector<Case> cases = {
        {"started, nothing done", End::AfterStart, false, false, 0xFF, Then::Nothing, false},
        {"reading", End::MidCommand, false, false, 0xFF, Then::Nothing, false},
        {"writing", End::MidCommand, true, true, 0x5A, Then::Nothing, true},
        {"writing, then the signature", End::MidCommand, true, true, 0x5A, Then::Signature, true},
        {"writing, then the fuses", End::MidCommand, true, true, 0x5A, Then::Fuses, true},
        {"writing, then a flash read", End::MidCommand, true, true, 0x5A, Then::FlashRead, false},
        {"writing, then a write", End::MidCommand, true, true, 0x5A, Then::EepromWrite, false},
        {"after a write", End::AfterCommand, true, false, 0x5A, Then::Nothing, false},
        {"after the port closed", End::AfterClose, true, false, 0x5A, Then::Nothing, false},
    };
    const auto setUp = [](Programmer& p) {
        p.state.speed = 3;
        p.state.delayLoops = 1;
        p.state.adapterKind = AdapterKind::Serial;
        p.state.portName.Assign("SIM");
        p.state.comName.Assign("SIM");
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = sim::DefaultStatePath(dir.str());
        std::string atKill;
        {
            VirtualClock clock;
            ScriptedWindows windows;
            sim::SimulatorSlot slot(clock, path, nullptr);
            Programmer p(slot, clock, windows);
            setUp(p);
            ASSERT_TRUE(slot.Start());
            if (c.end != End::AfterStart) {
                ASSERT_TRUE(Connect(p));
                if (c.writes) {
                    WriteEeprom(p, 5, 0x5A);
                    adapter::WaitMs(p, 20);
                    WriteEeprom(p, 6, 0x11);
                    adapter::WaitMs(p, 20);
                }
                EXPECT_EQ(ReadEeprom(p, 5), c.writes ? 0x5A : 0xFF);
            }
            if (c.end == End::AfterCommand)
                slot.CommandEnded();
            if (c.end == End::AfterClose) {
                EXPECT_TRUE(slot.Close());
            }
            atKill = ReadFileBytes(path);
        }  // the slot saves here; the killed program never did
        ASSERT_FALSE(atKill.empty());
        EXPECT_EQ(atKill[8], c.expectUncertain ? '\x04' : '\x03') << "this version's form";
        ASSERT_TRUE(WriteFileBytes(path, atKill));
        VirtualClock clock;
        ScriptedWindows windows;
        std::vector<std::string> reports;
        sim::SimulatorSlot next(clock, path,
                                [&reports](const std::string& line) { reports.push_back(line); });
        Programmer p(next, clock, windows);
        setUp(p);
        ASSERT_TRUE(next.Start());
        const bool warned =
            !reports.empty() && reports.front().find("uncertain") != std::string::npos;
        EXPECT_EQ(warned, c.expectUncertain) << (reports.empty() ? "" : reports.front());
        EXPECT_EQ(next.port()->target().Eeprom(5), c.expectEeprom);
        if (c.then != Then::Nothing) {
            ASSERT_TRUE(Connect(p));
            if (c.then == Then::Signature) {
                EXPECT_EQ(ReadSignatureByte(p, 0), 0x1E);
            }
            if (c.then == Then::Fuses)
                Send(p, 0x50, 0x00, 0x00, 0x00);
            if (c.then == Then::FlashRead) {
                EXPECT_EQ(ReadFlash(p, 0), 0xFF);
            }
            if (c.then == Then::EepromWrite)
                WriteEeprom(p, 7, 0x22);
            next.CommandEnded();
        }
        EXPECT_TRUE(next.Close());
        EXPECT_EQ(reports.size(), c.expectUncertain ? 1u : 0u) << "each warning once a start";
        const sim::StateLoad later = sim::LoadChipState(path, *sim::FindChip("ATmega8"));
        EXPECT_EQ(later.cutOff, c.expectKept);
        EXPECT_EQ(later.warning.find("uncertain") != std::string::npos, c.expectKept);
    }
}

}  // namespace
}  // namespace ostrel::testing
