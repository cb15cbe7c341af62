// SimPort as a port backend: the cables' lines and loop-backs, the port
// without the cable, and every situation the connect logic must meet.
#include <gtest/gtest.h>

#include "tests/sim/line_rig.h"

namespace ostrel::testing {
namespace {

using sim::CableKind;
using sim::SimConfig;
using sim::SimFault;

SimConfig Config(CableKind cable, SimFault fault = SimFault::None, const char* chip = "ATmega8") {
    SimConfig c;
    c.cable = cable;
    c.fault = fault;
    c.chip = chip;
    return c;
}

// --- cables ---------------------------------------------------------------------

TEST(Cable, SerialLinesMapPerCable) {
    VirtualClock clock;
    {
        sim::SimPort port(clock, Config(CableKind::Cablet1));
        ASSERT_EQ(port.OpenSerial("COM1"), SerialOpenResult::Ok);
        // RTS and DTR inverted, MISO on inverted DSR, RI follows the break.
        EXPECT_EQ(port.GetModemStatus(), 0u);  // chip in reset, interface not started: MISO high
        port.EscapeCommFunction(CommFunction::SetBreak);
        EXPECT_EQ(port.GetModemStatus(), kMsRingOn);
        port.EscapeCommFunction(CommFunction::ClrBreak);
        EXPECT_EQ(port.GetModemStatus() & kMsRingOn, 0u);
        // DTR is not looped back on this cable.
        port.EscapeCommFunction(CommFunction::SetDtr);
        EXPECT_EQ(port.GetModemStatus() & kMsDsrOn, 0u);
        EXPECT_TRUE(port.dtr());
    }
    {
        sim::SimPort port(clock, Config(CableKind::Cablet2));
        ASSERT_EQ(port.OpenSerial("SIM"), SerialOpenResult::Ok);
        // The port opens with DTR raised, which the cable loops back to DSR.
        EXPECT_EQ(port.GetModemStatus(), kMsCtsOn | kMsDsrOn);
        port.EscapeCommFunction(CommFunction::ClrDtr);
        EXPECT_EQ(port.GetModemStatus(), kMsCtsOn);
        port.EscapeCommFunction(CommFunction::SetDtr);
        EXPECT_EQ(port.GetModemStatus(), kMsCtsOn | kMsDsrOn);
        port.EscapeCommFunction(CommFunction::SetBreak);
        EXPECT_EQ(port.GetModemStatus() & kMsRingOn, 0u);
    }
    {
        sim::SimPort port(clock, Config(CableKind::SerialPlain));
        ASSERT_EQ(port.OpenSerial("SIM"), SerialOpenResult::Ok);
        port.EscapeCommFunction(CommFunction::SetDtr);
        port.EscapeCommFunction(CommFunction::SetBreak);
        EXPECT_EQ(port.GetModemStatus(), kMsCtsOn);
    }
}

TEST(Cable, MisoFollowsTheChipOnEveryCable) {
    // The same chip answer (0x53 in the third byte) read through each cable.
    for (CableKind cable :
         {CableKind::Parallel, CableKind::SerialPlain, CableKind::Cablet1, CableKind::Cablet2}) {
        SCOPED_TRACE(std::string(sim::CableName(cable)));
        LineRig rig(Config(cable));
        if (cable == CableKind::Cablet1)
            rig.p.state.cablet1 = 1;
        if (cable == CableKind::Cablet2)
            rig.p.state.cablet2 = 1;
        ResetIntoProgramming(rig.p);
        EXPECT_EQ(adapter::ReadMiso(rig.p), 0);  // the chip drives MISO low between answers
        EXPECT_EQ(Send(rig.p, 0xAC, 0x53, 0x00, 0x00), 0x5300u);
    }
}

TEST(Cable, SerialPortClosesWithItsLinesOffAndIgnoresChangesWhenClosed) {
    VirtualClock clock;
    sim::SimPort port(clock, Config(CableKind::Cablet2));
    port.EscapeCommFunction(CommFunction::SetRts);  // not open yet
    EXPECT_FALSE(port.rts());
    EXPECT_EQ(port.GetModemStatus(), 0u);
    ASSERT_EQ(port.OpenSerial("SIM"), SerialOpenResult::Ok);
    port.EscapeCommFunction(CommFunction::SetRts);
    port.EscapeCommFunction(CommFunction::SetBreak);
    EXPECT_TRUE(port.rts());
    clock.Advance(10);
    EXPECT_TRUE(port.target().Running());  // break = RESET high
    port.CloseSerial();
    EXPECT_FALSE(port.serialOpen());
    EXPECT_FALSE(port.rts());
    EXPECT_FALSE(port.breakOn());
    clock.Advance(10);
    EXPECT_FALSE(port.target().Running());  // no break: RESET low
}

TEST(Cable, ParallelDataRegisterReadsBackAndStatusCarriesMiso) {
    VirtualClock clock;
    sim::SimPort port(clock, Config(CableKind::Parallel));
    port.WriteData(0x378, 0x0B);
    EXPECT_EQ(port.ReadData(0x378), 0x0B);
    clock.Advance(10);
    EXPECT_TRUE(port.target().Running());  // bit 3 = RESET high
    // Running chip: MISO is not driven and reads high through the status bit 6.
    EXPECT_EQ(port.ReadWord(0x378), 0x780Bu);
    port.WriteData(0x378, 0x00);
    clock.Advance(20000);
    EXPECT_EQ(port.ReadWord(0x378), 0x3800u);  // chip drives MISO low now
    port.WriteControl(0x378, 0x2C);
    EXPECT_EQ(port.ReadControl(0x378), 0x2C);
    // A plain output port ignores the direction bit.
    EXPECT_EQ(port.ReadData(0x378), 0x00);
    EXPECT_FALSE(port.target().Running());
}

// The status register alone reads as the high byte of the word, in every
// state of the port: the lines driving or switched to input, a chip holding
// MISO low or letting it float, no chip, no port.
TEST(Cable, TheStatusReadAloneMatchesTheWord) {
    const struct {
        SimFault fault;
        bool bidirectional;
        uint8_t control;
        uint8_t status;
    } kCases[] = {
        {SimFault::None, false, 0x0C, 0x38},     {SimFault::None, true, 0x2C, 0x78},
        {SimFault::NoTarget, false, 0x0C, 0x78}, {SimFault::NoCable, true, 0x2C, 0x78},
        {SimFault::NoPort, false, 0x0C, 0xFF},
    };
    for (const auto& c : kCases) {
        VirtualClock clock;
        SimConfig config = Config(CableKind::Parallel, c.fault);
        config.bidirectionalParallel = c.bidirectional;
        sim::SimPort port(clock, config);
        port.WriteData(0x378, 0x00);  // RESET low: the chip drives MISO low
        clock.Advance(20000);
        port.WriteControl(0x378, c.control);
        clock.Advance(10);  // a RESET change is seen after two chip cycles
        const uint64_t before = port.portCalls();
        EXPECT_EQ(port.ReadStatus(0x378), c.status) << SimFaultName(c.fault);
        EXPECT_EQ(port.ReadWord(0x378) >> 8, c.status) << SimFaultName(c.fault);
        EXPECT_EQ(port.portCalls(), before + 2);
    }
}

TEST(Cable, BidirectionalParallelPortLetsTheChipRunWhenSwitchedToInput) {
    SimConfig c = Config(CableKind::Parallel);
    c.bidirectionalParallel = true;
    LineRig rig(c);
    ASSERT_TRUE(Connect(rig.p));
    // The release's port check reads 0xFF instead of 0xC0 and stops with the
    // data lines undriven; the chip's own pull-up lets it run.
    ASSERT_EQ(adapter::ReleaseTarget(rig.p), 0);
    EXPECT_TRUE(rig.target().Running());
    EXPECT_NE(rig.port.ReadControl(0x378) & 0x20, 0);
    // Driving again (direction bit cleared) holds it in reset.
    ASSERT_EQ(adapter::HoldTargetInReset(rig.p), 0);
    EXPECT_FALSE(rig.target().Running());
}

TEST(Cable, ThePortWithoutTheCableSeesNothing) {
    // A serial cable: the parallel port's MISO reads 1, nothing reacts.
    LineRig serial(Config(CableKind::Cablet2));
    serial.p.state.adapterKind = AdapterKind::Parallel;
    serial.p.state.directPortIo = 1;
    ResetIntoProgramming(serial.p);
    EXPECT_EQ(Send(serial.p, 0xAC, 0x53, 0x00, 0x00), 0xFFFFFFFFu);
    EXPECT_FALSE(serial.target().ProgrammingEnabled());
    // A parallel cable: the serial port has no loop-backs.
    LineRig parallel(Config(CableKind::Parallel));
    parallel.p.state.adapterKind = AdapterKind::Serial;
    parallel.p.state.portName.Assign("COM2");
    parallel.p.state.comName.Assign("COM2");
    EXPECT_EQ(adapter::DetectSerialAdapter(parallel.p), 1);
    EXPECT_EQ(parallel.p.state.errorText.str(), "No Adaptor found at COM2\n");
}

// --- faults ---------------------------------------------------------------------

TEST(Faults, NoPortFailsTheSerialOpenAndFloatsTheParallelPort) {
    LineRig serial(Config(CableKind::Cablet2, SimFault::NoPort));
    EXPECT_EQ(adapter::OpenSerialPort(serial.p), 1);
    EXPECT_EQ(serial.p.state.errorText.str(), "COM-Init-Error!");
    EXPECT_EQ(serial.p.state.comOpen, 0);

    LineRig parallel(Config(CableKind::Parallel, SimFault::NoPort));
    parallel.port.WriteData(0x378, 0x00);
    EXPECT_EQ(parallel.port.ReadData(0x378), 0xFF);
    EXPECT_EQ(parallel.port.ReadWord(0x378), 0xFFFF);
    // The release's port check finds no port and leaves it alone.
    EXPECT_EQ(adapter::ReleaseTarget(parallel.p), 0);
    EXPECT_EQ(parallel.port.dataRegister(), 0x00);
}

TEST(Faults, NoCableGivesNoLoopBack) {
    for (CableKind cable : {CableKind::Cablet1, CableKind::Cablet2}) {
        LineRig rig(Config(cable, SimFault::NoCable));
        EXPECT_EQ(adapter::DetectSerialAdapter(rig.p), 1);
        EXPECT_EQ(rig.p.state.errorText.str(), "No Adaptor found at SIM\n");
    }
}

TEST(Faults, NoTargetReadsAllOnesBehindAWorkingCable) {
    for (CableKind cable : {CableKind::Parallel, CableKind::Cablet1, CableKind::Cablet2}) {
        SCOPED_TRACE(std::string(sim::CableName(cable)));
        LineRig rig(Config(cable, SimFault::NoTarget));
        ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
        ResetIntoProgramming(rig.p);
        EXPECT_EQ(Send(rig.p, 0xAC, 0x53, 0x00, 0x00), 0xFFFFFFFFu);
        EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0xFF);
        EXPECT_FALSE(rig.target().ProgrammingEnabled());
    }
}

TEST(Faults, SignatureFaultsAnswerTheEnableAndReadTheirSignature) {
    LineRig erased(Config(CableKind::Parallel, SimFault::ErasedSignature));
    ASSERT_TRUE(Connect(erased.p));
    for (uint8_t a = 0; a < 3; ++a)
        EXPECT_EQ(ReadSignatureByte(erased.p, a), 0xFF);

    SimConfig c = Config(CableKind::Parallel, SimFault::UnknownSignature);
    c.unknownSignature = {0x1E, 0x93, 0x0A};
    LineRig unknown(c);
    ASSERT_TRUE(Connect(unknown.p));
    EXPECT_EQ(ReadSignatureByte(unknown.p, 0), 0x1E);
    EXPECT_EQ(ReadSignatureByte(unknown.p, 1), 0x93);
    EXPECT_EQ(ReadSignatureByte(unknown.p, 2), 0x0A);
    // The default unknown signature is a family the device file cannot know.
    LineRig byDefault(Config(CableKind::Parallel, SimFault::UnknownSignature));
    ASSERT_TRUE(Connect(byDefault.p));
    EXPECT_EQ(ReadSignatureByte(byDefault.p, 1), 0x97);
    EXPECT_EQ(ReadSignatureByte(byDefault.p, 2), 0x7E);
}

TEST(Faults, LockedClassicChipReadsAsFamily01AndErasesOpen) {
    LineRig rig(Config(CableKind::Cablet2, SimFault::Locked, "AT90S8515"));
    ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
    ASSERT_TRUE(Connect(rig.p));
    EXPECT_EQ(ReadSignatureByte(rig.p, 0), 0x00);
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x01);
    EXPECT_EQ(ReadSignatureByte(rig.p, 2), 0x02);
    Send(rig.p, 0xAC, 0x80, 0xAC, 0x80);
    adapter::WaitMs(rig.p, 40);
    ASSERT_TRUE(Connect(rig.p));
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x93);
}

TEST(Faults, LockedNewerChipKeepsItsSignature) {
    LineRig rig(Config(CableKind::Parallel, SimFault::Locked, "ATmega16"));
    ASSERT_TRUE(Connect(rig.p));
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x94);
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0xFCu);
}

TEST(Faults, ADisappearingChipCarriesOutItsLastInstructionThenFloatsLikeNoTarget) {
    for (CableKind cable : {CableKind::Parallel, CableKind::Cablet1, CableKind::Cablet2}) {
        SCOPED_TRACE(std::string(sim::CableName(cable)));
        SimConfig c = Config(cable, SimFault::Disappears);
        c.disappearAfter = 5;  // enable, three signature reads, one EEPROM write
        LineRig rig(c);
        ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
        ASSERT_TRUE(Connect(rig.p));
        for (uint8_t a = 0; a < 3; ++a)
            EXPECT_EQ(ReadSignatureByte(rig.p, a), rig.target().chip().signature[a]);
        EXPECT_FALSE(rig.target().Gone());
        WriteEeprom(rig.p, 0x10, 0x5A);
        EXPECT_TRUE(rig.target().Gone());
        EXPECT_EQ(rig.target().instructionsReceived(), 5u);
        EXPECT_EQ(rig.target().Eeprom(0x10), 0x5A) << "the fifth instruction was carried out";

        // From now on every answer is the floating line, and nothing reaches the chip.
        adapter::WaitMs(rig.p, 20);
        EXPECT_EQ(Send(rig.p, 0xA0, 0x00, 0x10, 0x00), 0xFFFFFFFFu);
        WriteEeprom(rig.p, 0x11, 0x00);
        Send(rig.p, 0xAC, 0x80, 0x00, 0x00);
        EXPECT_EQ(rig.target().Eeprom(0x11), 0xFF);
        EXPECT_EQ(rig.target().Eeprom(0x10), 0x5A) << "no chip erase";
        EXPECT_EQ(rig.target().instructionsReceived(), 5u);
        // A new reset does not bring it back, but the cable's loop-back still answers.
        EXPECT_FALSE(Connect(rig.p));
        EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0xFF);
        EXPECT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
    }
}

TEST(Faults, AChipThatDisappearsAtOnceIsNoTarget) {
    SimConfig c = Config(CableKind::Cablet2, SimFault::Disappears);
    c.disappearAfter = 0;
    LineRig rig(c);
    ASSERT_EQ(adapter::DetectSerialAdapter(rig.p), 0);
    EXPECT_FALSE(Connect(rig.p));
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0xFF);
    EXPECT_FALSE(rig.target().ProgrammingEnabled());
}

TEST(Faults, UnknownChipNameFallsBackWithAWarning) {
    VirtualClock clock;
    SimConfig c;
    c.chip = "ATmega9999";
    sim::SimPort port(clock, c);
    EXPECT_EQ(port.target().chip().name, sim::kDefaultChipName);
    EXPECT_EQ(port.warning(), "Unknown simulated chip 'ATmega9999'; using ATmega8.");
}

TEST(Faults, NamesReadBackForTheConsole) {
    for (SimFault f :
         {SimFault::None, SimFault::NoPort, SimFault::NoCable, SimFault::NoTarget,
          SimFault::OutOfStep, SimFault::ErasedSignature, SimFault::UnknownSignature,
          SimFault::Locked, SimFault::StuckByte, SimFault::Disappears, SimFault::EchoLost}) {
        SimFault back = SimFault::None;
        ASSERT_TRUE(sim::ParseSimFault(sim::SimFaultName(f), &back)) << sim::SimFaultName(f);
        EXPECT_EQ(back, f);
    }
    SimFault f = SimFault::None;
    EXPECT_TRUE(sim::ParseSimFault("LOCKED", &f));
    EXPECT_EQ(f, SimFault::Locked);
    EXPECT_FALSE(sim::ParseSimFault("lock", &f));
    for (CableKind k :
         {CableKind::Parallel, CableKind::SerialPlain, CableKind::Cablet1, CableKind::Cablet2}) {
        CableKind back = CableKind::Parallel;
        ASSERT_TRUE(sim::ParseCableKind(sim::CableName(k), &back));
        EXPECT_EQ(back, k);
    }
    CableKind k = CableKind::Parallel;
    EXPECT_TRUE(sim::ParseCableKind("Cablet1", &k));
    EXPECT_EQ(k, CableKind::Cablet1);
    EXPECT_FALSE(sim::ParseCableKind("cablet3", &k));
}

}  // namespace
}  // namespace ostrel::testing
