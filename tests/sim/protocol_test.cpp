// The simulated chip's serial programming interface as the programmer sees
// it through the adapter layer: reset entry, Programming Enable and its echo
// on every cable, the answer bytes, bit counting and synchronisation.
#include <gtest/gtest.h>
#include <algorithm>

#include "tests/sim/line_rig.h"

namespace ostrel::testing {
namespace {

using sim::CableKind;
using sim::SimConfig;
using sim::SimFault;

SimConfig Config(CableKind cable, const char* chip = "ATmega8") {
    SimConfig c;
    c.cable = cable;
    c.chip = chip;
    return c;
}

// --- Programming Enable on every cable ---------------------------------------

class EnableOnCable : public ::testing::TestWithParam<CableKind> {};

TEST_P(EnableOnCable, ChipEchoes53InTheThirdByteAndAnswersItsSignature) {
    LineRig rig(Config(GetParam()));
    Programmer& p = rig.p;
    if (GetParam() == CableKind::SerialPlain) {
        // The plain cable has no loop-back to find; the lines follow the plain column.
        ASSERT_EQ(adapter::OpenSerialPort(p), 0);
    } else {
        ASSERT_EQ(adapter::DetectSerialAdapter(p), 0) << p.state.errorText.str();
    }
    ResetIntoProgramming(p);
    EXPECT_FALSE(rig.target().ProgrammingEnabled());
    const uint32_t answer = Send(p, 0xAC, 0x53, 0x00, 0x00);
    // Only the echo: nothing is driven in the other byte times.
    EXPECT_EQ(answer, 0x00005300u);
    EXPECT_TRUE(rig.target().ProgrammingEnabled());
    EXPECT_EQ(ReadSignatureByte(p, 0), 0x1E);
    EXPECT_EQ(ReadSignatureByte(p, 1), 0x93);
    EXPECT_EQ(ReadSignatureByte(p, 2), 0x07);
}

INSTANTIATE_TEST_SUITE_P(Cables, EnableOnCable,
                         ::testing::Values(CableKind::Parallel, CableKind::SerialPlain,
                                           CableKind::Cablet1, CableKind::Cablet2),
                         [](const auto& info) { return std::string(sim::CableName(info.param)); });

TEST(Detection, FindsEachSerialCableByItsLoopBack) {
    {
        LineRig rig(Config(CableKind::Cablet1));
        ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
        EXPECT_EQ(rig.p.state.cablet1, 1);
        EXPECT_EQ(rig.p.state.cablet2, 0);
    }
    {
        LineRig rig(Config(CableKind::Cablet2));
        ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
        EXPECT_EQ(rig.p.state.cablet1, 0);
        EXPECT_EQ(rig.p.state.cablet2, 1);
    }
    {
        LineRig rig(Config(CableKind::SerialPlain));
        EXPECT_EQ(adapter::DetectSerialAdapter(rig.p), 1);
        EXPECT_EQ(rig.p.state.errorText.str(), "No Adaptor found at SIM\n");
    }
}

// --- every chip of the table ----------------------------------------------------

class EveryChip : public ::testing::TestWithParam<const sim::ChipInfo*> {};

TEST_P(EveryChip, AnswersItsSignatureAfterEnable) {
    const sim::ChipInfo& chip = *GetParam();
    LineRig rig(Config(CableKind::Parallel, std::string(chip.name).c_str()));
    ResetIntoProgramming(rig.p);
    // The AT90S1200 takes the enable without echoing it.
    EXPECT_EQ(Enable(rig.p), chip.echoesEnable);
    EXPECT_TRUE(rig.target().ProgrammingEnabled());
    for (uint8_t a = 0; a < 3; ++a)
        EXPECT_EQ(ReadSignatureByte(rig.p, a), chip.signature[a]);
    // A fresh chip is erased.
    EXPECT_EQ(ReadFlash(rig.p, 0), 0xFF);
    EXPECT_EQ(ReadFlash(rig.p, chip.flashBytes - 1), 0xFF);
    EXPECT_EQ(ReadEeprom(rig.p, chip.eepromBytes - 1), 0xFF);
}

INSTANTIATE_TEST_SUITE_P(Table, EveryChip, ::testing::ValuesIn([] {
                             std::vector<const sim::ChipInfo*> chips;
                             for (const sim::ChipInfo& c : sim::AllChips())
                                 chips.push_back(&c);
                             return chips;
                         }()),
                         [](const auto& info) {
                             // A name for chips of one signature ("ATtiny84/84A")
                             // holds a '/', which a test name may not.
                             std::string name(info.param->name);
                             std::replace(name.begin(), name.end(), '/', '_');
                             return name;
                         });

// --- reset, running, and executing nothing before the enable ----------------------

TEST(ResetEntry, EdgesInTheFirst20MsAfterResetLoseSynchronisationUntilTheNextPulse) {
    LineRig rig(Config(CableKind::Parallel));
    Programmer& p = rig.p;
    adapter::HoldTargetInReset(p);
    adapter::WaitMs(p, 30);
    adapter::SetReset(p, 1);
    adapter::Delay(p, 10);
    adapter::SetReset(p, 0);
    adapter::WaitMs(p, 15);  // too early: the chip has not started its interface
    EXPECT_FALSE(rig.port.target().DrivesMiso());
    EXPECT_FALSE(Enable(p));
    EXPECT_FALSE(rig.target().ProgrammingEnabled());
    adapter::WaitMs(p, 5);
    // SCK pulses while the interface starts leave it out of synchronisation:
    // it answers nothing until RESET gets a positive pulse with SCK low.
    EXPECT_TRUE(rig.port.target().DrivesMiso());
    EXPECT_TRUE(rig.target().OutOfSync());
    EXPECT_FALSE(Enable(p));
    ResetIntoProgramming(p);
    EXPECT_FALSE(rig.target().OutOfSync());
    EXPECT_TRUE(Enable(p));
}

TEST(ResetEntry, ChipExecutesNothingBeforeProgrammingEnable) {
    LineRig rig(Config(CableKind::Parallel));
    Programmer& p = rig.p;
    rig.target().SetEeprom(5, 0x42);
    ResetIntoProgramming(p);
    EXPECT_EQ(Send(p, 0x30, 0x00, 0x00, 0x00), 0u);
    WriteEeprom(p, 5, 0x17);
    Send(p, 0xAC, 0x80, 0x00, 0x00);  // chip erase
    adapter::WaitMs(p, 50);
    EXPECT_EQ(rig.target().Eeprom(5), 0x42);
    EXPECT_EQ(rig.target().chipErases(), 0);
    EXPECT_EQ(rig.target().instructionsExecuted(), 0u);
    EXPECT_TRUE(Enable(p));
    EXPECT_EQ(ReadEeprom(p, 5), 0x42);
    EXPECT_EQ(rig.target().instructionsExecuted(),
              1u);  // the read; the enable itself does not count
}

TEST(ResetEntry, ResetPulseLeavesProgrammingModeAndHighResetLetsTheChipRun) {
    LineRig rig(Config(CableKind::Parallel));
    Programmer& p = rig.p;
    ASSERT_TRUE(Connect(p));
    ResetIntoProgramming(p);  // a new reset pulse
    EXPECT_FALSE(rig.target().ProgrammingEnabled());
    EXPECT_EQ(ReadSignatureByte(p, 0), 0x00);  // not executed
    ASSERT_TRUE(Enable(p));
    EXPECT_EQ(ReadSignatureByte(p, 0), 0x1E);

    adapter::SetReset(p, 1);
    adapter::WaitMs(p, 50);
    EXPECT_TRUE(rig.target().Running());
    // A running chip ignores SCK and leaves MISO to the port's pull-up.
    EXPECT_EQ(adapter::ReadMiso(p), 1);
    EXPECT_EQ(Send(p, 0x30, 0x00, 0x00, 0x00), 0xFFFFFFFFu);
    EXPECT_FALSE(rig.target().ProgrammingEnabled());
}

TEST(ResetEntry, ReleaseTargetLetsTheChipRunOnTheParallelPort) {
    LineRig rig(Config(CableKind::Parallel));
    ASSERT_TRUE(Connect(rig.p));
    ASSERT_EQ(adapter::ReleaseTarget(rig.p), 0);
    rig.clock.Advance(10);  // RESET high is seen after two chip cycles
    EXPECT_TRUE(rig.target().Running());
    EXPECT_EQ(rig.port.dataRegister(), 0x08);
}

// --- answer bytes -------------------------------------------------------------------

TEST(Answers, ReadInstructionsAnswerOnlyInTheFourthByte) {
    LineRig rig(Config(CableKind::Cablet2));
    ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
    ASSERT_TRUE(Connect(rig.p));
    rig.target().SetFlash(0x123 * 2 + 1, 0xA5);
    EXPECT_EQ(Send(rig.p, 0x30, 0x00, 0x01, 0x00), 0x00000093u);
    EXPECT_EQ(Send(rig.p, 0x28, 0x01, 0x23, 0x00), 0x000000A5u);
    EXPECT_EQ(Send(rig.p, 0x20, 0x01, 0x23, 0x00), 0x000000FFu);
    // The enable echo comes also once the chip is enabled.
    EXPECT_EQ(Send(rig.p, 0xAC, 0x53, 0x00, 0x00), 0x00005300u);
}

TEST(Answers, InstructionLogRecordsEveryFrameWhileOn) {
    LineRig rig(Config(CableKind::Parallel));
    rig.target().RecordInstructions(true);
    ASSERT_TRUE(Connect(rig.p));
    ReadSignatureByte(rig.p, 2);
    rig.target().RecordInstructions(false);
    ReadSignatureByte(rig.p, 1);
    using Frame = std::array<uint8_t, 4>;
    const std::vector<Frame> expected{Frame{0xAC, 0x53, 0x00, 0x00}, Frame{0x30, 0x00, 0x02, 0x00}};
    EXPECT_EQ(rig.target().instructions(), expected);
    EXPECT_EQ(rig.target().instructionsExecuted(), 2u);  // the signature reads; not the enable
}

// --- bit counting and synchronisation ----------------------------------------------

TEST(Sync, ChipOneBitBehindComesInStepAfterOneExtraPulse) {
    SimConfig c = Config(CableKind::Parallel);
    c.fault = SimFault::OutOfStep;
    c.outOfStepBits = 1;
    LineRig rig(c);
    ResetIntoProgramming(rig.p);
    EXPECT_FALSE(Enable(rig.p));
    EXPECT_FALSE(rig.target().ProgrammingEnabled());
    ExtraSckPulse(rig.p);
    EXPECT_TRUE(Enable(rig.p));
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x93);
}

TEST(Sync, ChipNBitsBehindNeedsExactlyNPulsesAndEveryResetLosesThemAgain) {
    SimConfig c = Config(CableKind::Cablet1);
    c.fault = SimFault::OutOfStep;
    c.outOfStepBits = 5;
    LineRig rig(c);
    ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
    ResetIntoProgramming(rig.p);
    int pulses = 0;
    while (!Enable(rig.p) && pulses < 35) {
        ExtraSckPulse(rig.p);
        ++pulses;
    }
    EXPECT_EQ(pulses, 5);
    EXPECT_EQ(ReadSignatureByte(rig.p, 2), 0x07);
    // The fault belongs to the chip: after the next reset it is behind again.
    ResetIntoProgramming(rig.p);
    EXPECT_FALSE(Enable(rig.p));
}

TEST(Sync, ExtraPulseMovesAnInStepChipOneBitAndNoShiftEchoes) {
    // k extra pulses put an in-step chip k bits ahead; only 32 - k more bring
    // it back, and no shift in between shows the echo.
    for (int k = 1; k < 32; ++k) {
        SCOPED_TRACE(k);
        LineRig rig(Config(CableKind::Parallel, "AT90S2313"));
        ASSERT_TRUE(Connect(rig.p));
        for (int i = 0; i < k; ++i)
            ExtraSckPulse(rig.p);
        EXPECT_FALSE(Enable(rig.p));
        EXPECT_FALSE(Enable(rig.p));
        for (int i = k; i < 32; ++i)
            ExtraSckPulse(rig.p);
        EXPECT_TRUE(Enable(rig.p));
        EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x91);
    }
}

TEST(Sync, At90s1200NeverEchoesButIsEnabledInStep) {
    LineRig rig(Config(CableKind::Parallel, "AT90S1200"));
    ResetIntoProgramming(rig.p);
    EXPECT_EQ(Send(rig.p, 0xAC, 0x53, 0x00, 0x00), 0u);
    EXPECT_TRUE(rig.target().ProgrammingEnabled());
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x90);
}

}  // namespace
}  // namespace ostrel::testing
