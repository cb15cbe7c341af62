// The chip's timing: what it refuses when edges come too fast, and that the
// programmer's own sequences meet it at every speed for the chip clocks that
// speed is made for.
#include <gtest/gtest.h>

#include "avr/avr.h"
#include "tests/sim/line_rig.h"
#if defined(OSTREL_PIN_PORTS)
#include "tests/support/linux/pin_kit.h"
#endif

namespace ostrel::testing {
namespace {

using sim::CableKind;
using sim::SimConfig;

// --- the chip alone: lines driven with exact times --------------------------------

// A chip at 1 MHz (one cycle = 1 us) driven line by line on a virtual clock.
struct Chip {
    explicit Chip(uint32_t hz = 1000000) : target(*sim::FindChip("ATmega8"), clock) {
        target.SetClockHz(hz);
        Lines(false, false, false);
        clock.Advance(sim::kResetEntryUs + 1000);
    }
    void Lines(bool reset, bool sck, bool mosi) { target.SetLines(reset, sck, mosi); }
    // One bit with the given times (ns): MOSI set `setup` before SCK rises,
    // SCK high for `high`, MOSI changed again `hold` after the rise (0: not at
    // all), SCK low for `low` afterwards.
    // Returns MISO as read just before SCK falls.
    bool Bit(bool bit, uint64_t setup, uint64_t high, uint64_t low, uint64_t hold = 0) {
        Lines(false, false, bit);
        AdvanceNs(setup);
        Lines(false, true, bit);
        if (hold != 0) {
            AdvanceNs(hold);
            Lines(false, true, !bit);
            AdvanceNs(high - hold);
        } else {
            AdvanceNs(high);
        }
        const bool miso = target.Miso();
        Lines(false, false, hold != 0 ? !bit : bit);
        AdvanceNs(low);
        return miso;
    }
    void AdvanceNs(uint64_t ns) { clock.Spend(ns); }
    // Programming Enable with each bit timed as given; true when echoed.
    bool Enable(uint64_t setup, uint64_t high, uint64_t low, uint64_t hold = 0) {
        uint32_t in = 0;
        const uint32_t word = 0xAC530000;
        for (int i = 31; i >= 0; --i)
            in = (in << 1) | (Bit(((word >> i) & 1) != 0, setup, high, low, hold) ? 1 : 0);
        return ((in >> 8) & 0xFF) == 0x53;
    }

    VirtualClock clock;
    sim::AvrTarget target;
};

TEST(ChipTiming, ShortPhasesAndMosiTooCloseToTheEdgeAreRefused) {
    const struct {
        const char* what;
        uint32_t hz;
        uint64_t setup, high, low, hold;
        bool echo;
    } kCases[] = {
        {"every phase 3 cycles", 1000000, 3000, 3000, 3000, 0, true},
        {"high exactly 2 cycles is not more than 2", 1000000, 3000, 2000, 3000, 0, false},
        {"low exactly 2 cycles is not more than 2", 1000000, 1000, 3000, 1000, 0, false},
        {"MOSI set with the rising edge", 1000000, 0, 3000, 3000, 0, false},
        {"MOSI set one cycle before", 1000000, 1000, 3000, 3000, 0, true},
        {"MOSI set under one cycle before", 1000000, 999, 3000, 3000, 0, false},
        {"MOSI changed one cycle after the rise", 1000000, 3000, 3000, 3000, 1000, false},
        {"MOSI changed two cycles after the rise", 1000000, 3000, 3000, 3000, 2000, true},
        {"at 12 MHz 2.5 cycles are too short", 12000000, 500, 209, 209, 0, false},
        {"at 12 MHz 3 cycles are enough", 12000000, 500, 250, 250, 0, true},
        {"at 128 kHz 3 us are far too short", 128000, 8000, 3000, 3000, 0, false},
        {"at 128 kHz 16 us are enough", 128000, 8000, 16000, 16000, 0, true},
    };
    for (const auto& c : kCases) {
        Chip chip(c.hz);
        EXPECT_EQ(chip.Enable(c.setup, c.high, c.low, c.hold), c.echo) << c.what;
        EXPECT_EQ(chip.target.lostPulses() == 0 && chip.target.mosiViolations() == 0, c.echo)
            << c.what;
    }
}

TEST(ChipTiming, ResetPulsesShorterThanTheMinimumAreNotSeen) {
    const struct {
        const char* what;
        bool positive;  // a high pulse from low, else a low pulse from high
        uint64_t widthNs;
        bool seen;
    } kCases[] = {
        {"positive pulse of 1.9 cycles", true, 1900, false},
        {"positive pulse of 2 cycles", true, 2000, true},
        {"low pulse of 2.4 us", false, 2400, false},
        {"low pulse of 2.5 us", false, 2500, true},
    };
    for (const auto& c : kCases) {
        Chip chip;
        if (!c.positive) {
            chip.Lines(true, false, false);
            chip.AdvanceNs(1000000);
        }
        ASSERT_EQ(chip.target.Running(), !c.positive) << c.what;
        chip.Lines(c.positive, false, false);
        chip.AdvanceNs(c.widthNs);
        chip.Lines(!c.positive, false, false);
        chip.AdvanceNs(1000000);
        // A seen pulse restarted the interface, which then waits its 20 ms.
        EXPECT_EQ(!chip.target.Running() && !chip.target.DrivesMiso(), c.positive && c.seen)
            << c.what;
        if (!c.positive) {
            EXPECT_EQ(chip.target.lostPulses(), c.seen ? 0u : 1u) << c.what;
        }
    }
}

// --- the programmer's own sequences -----------------------------------------------

const char* SpeedName(int speed) {
    static const char* const kNames[] = {"very low", "Low", "Medium", "High"};
    return kNames[speed];
}

// The reset and a Programming Enable; true when echoed. Only what happens from
// the reset on counts: the port's opening moves the lines before the reset
// pulse starts the interface afresh.
bool EnableAfterReset(Programmer& p, sim::AvrTarget& target, uint64_t* lost, uint64_t* violations) {
    if (avr::EnterProgrammingMode(p) != 0)
        return false;
    *lost = target.lostPulses();
    *violations = target.mosiViolations();
    const bool echo = avr::ProgrammingEnable(p) == 0x53;
    *lost = target.lostPulses() - *lost;
    *violations = target.mosiViolations() - *violations;
    return echo;
}

// The reset sequence and a Programming Enable of the program, on a chip at
// hz, at a speed, through a cable; the latch or the serial lines start as
// another program may leave them: every line high.
struct HostRig : LineRig {
    HostRig(CableKind cable, uint32_t hz, int speed, std::string_view chip = "ATmega8")
        : LineRig([&] {
              SimConfig c;
              c.cable = cable;
              c.chipClockHz = hz;
              c.chip = std::string(chip);
              return c;
          }()) {
        p.state.speed = speed;
        p.state.delayLoops = 0;
        p.state.cablet1 = cable == CableKind::Cablet1 ? 1 : 0;
        p.state.cablet2 = cable == CableKind::Cablet2 ? 1 : 0;
        if (cable == CableKind::Parallel)
            port.WriteData(0x378, 0xFF);
    }
    // True when the first Programming Enable after the reset is echoed.
    bool InStepAtOnce() { return EnableAfterReset(p, target(), &lost, &violations); }
    uint64_t lost = 0;
    uint64_t violations = 0;
};

TEST(HostTiming, EachSpeedMeetsTheChipClocksItIsMadeFor) {
    const struct {
        CableKind cable;
        int speed;
        uint32_t hz;
        bool inStep;
    } kCases[] = {
        // At High a bit's phases are a few port accesses: enough from about
        // 500 kHz on, not for a chip on its 128 kHz oscillator.
        {CableKind::Parallel, 3, 1000000, true},   {CableKind::Parallel, 3, 20000000, true},
        {CableKind::Parallel, 3, 128000, false},   {CableKind::Parallel, 1, 128000, true},
        {CableKind::Parallel, 0, 32768, true},     {CableKind::Cablet2, 3, 1000000, true},
        {CableKind::Cablet2, 3, 128000, false},    {CableKind::Cablet2, 1, 128000, true},
        {CableKind::Cablet2, 0, 32768, true},      {CableKind::SerialPlain, 3, 1000000, true},
        {CableKind::SerialPlain, 2, 128000, true}, {CableKind::SerialPlain, 0, 32768, true},
        {CableKind::Cablet1, 3, 1000000, true},    {CableKind::Cablet1, 0, 32768, true},
    };
    for (const auto& c : kCases) {
        HostRig rig(c.cable, c.hz, c.speed);
        const std::string what = std::string(sim::CableName(c.cable)) + " at " +
                                 SpeedName(c.speed) + ", chip at " + std::to_string(c.hz) + " Hz";
        EXPECT_EQ(rig.InStepAtOnce(), c.inStep) << what;
        if (c.inStep) {
            EXPECT_EQ(rig.lost, 0u) << what;
            EXPECT_EQ(rig.violations, 0u) << what;
        }
    }
}

// The delay calibration counts as many passes in its 50 ms as the port's
// accesses allow, and so gives the delay unit a real port would get.
TEST(HostTiming, TheCalibrationCountsWhatThePortAccessesCost) {
    const struct {
        CableKind cable;
        uint32_t accessNs;
        int32_t delayLoops;
    } kCases[] = {
        {CableKind::Parallel, sim::kParallelAccessNs, 1},
        {CableKind::Cablet2, sim::kSerialAccessNs, 1},
        {CableKind::Parallel, 500, 3},     // a fast port: more reads per unit
        {CableKind::Cablet2, 1000000, 1},  // a USB serial adapter
    };
    for (const auto& c : kCases) {
        SimConfig config;
        config.cable = c.cable;
        config.serialAccessNs = config.parallelAccessNs = c.accessNs;
        LineRig rig(config);
        adapter::CalibrateDelay(rig.p);
        // Each pass is one clock read and one input read; the tick counter's
        // 50 steps take between 49 and 50 ms, as on a real one.
        const int64_t passes = 50000000 / (c.accessNs + VirtualClock::kReadCostNs);
        // Within 2.5 % of the passes, and one.
        const double margin = static_cast<double>(passes) / 40 + 1;
        EXPECT_NEAR(rig.p.state.calibrationPasses, passes, margin) << c.accessNs;
        EXPECT_EQ(rig.p.state.delayLoops, c.delayLoops) << c.accessNs;
    }
}

// Every chip at its factory clock, on every cable, at every speed.
TEST(HostTiming, EveryChipAtItsFactoryClockWorksAtEverySpeedOnEveryCable) {
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        for (CableKind cable : {CableKind::Parallel, CableKind::SerialPlain, CableKind::Cablet1,
                                CableKind::Cablet2}) {
            for (int speed = 0; speed <= 3; ++speed) {
                HostRig rig(cable, 0, speed, chip.name);
                const std::string what = std::string(chip.name) + " on " +
                                         std::string(sim::CableName(cable)) + " at " +
                                         SpeedName(speed);
                // The AT90S1200 never echoes: its signature read shows it is in step.
                const bool inStep = rig.InStepAtOnce();
                EXPECT_EQ(inStep, chip.echoesEnable) << what;
                EXPECT_EQ(ReadSignatureByte(rig.p, 1), chip.signature[1]) << what;
                EXPECT_EQ(rig.lost + rig.violations, 0u) << what;
            }
        }
    }
}

TEST(HostTiming, TheShortResetPulseLastsTenUnitsOnTheParallelPortAndAMillisecondOnSerial) {
    for (CableKind cable : {CableKind::Parallel, CableKind::Cablet2}) {
        for (int speed = 0; speed <= 3; ++speed) {
            HostRig rig(cable, 1000000, speed);
            ASSERT_EQ(avr::EnterProgrammingMode(rig.p), 0);
            const uint64_t width = rig.target().lastResetHighNs();
            const uint64_t access =
                cable == CableKind::Parallel ? sim::kParallelAccessNs : sim::kSerialAccessNs;
            // Ten delay units of `factor` x delayLoops input reads, and the
            // write that ends the pulse; on a serial port 1 ms whatever the speed.
            const uint64_t expected =
                cable == CableKind::Parallel
                    ? (10ull * adapter::SpeedFactor(speed) * rig.p.state.delayLoops + 1) * access
                    : 1000000;
            EXPECT_GE(width, expected) << sim::CableName(cable) << " " << SpeedName(speed);
            EXPECT_LT(width, expected + (cable == CableKind::Parallel ? access : 1000000))
                << sim::CableName(cable) << " " << SpeedName(speed);
        }
    }
}

#if defined(OSTREL_PIN_PORTS)

// The same through a port of pins: an FTDI adapter in bit-bang mode (with a
// serial cable at its connector) or GPIO lines, over the fake libraries.
struct PinHostRig {
    PinHostRig(PinVia via, CableKind cable, uint32_t hz, int speed,
               std::string_view chip = "ATmega8")
        : kit(clock, [&] {
              PinKitOptions o;
              o.via = via;
              o.board.cable = cable;
              o.board.chipClockHz = hz;
              o.board.chip = std::string(chip);
              return o;
          }()) {
        kit.Attach(p);
        p.state.speed = speed;
        p.state.delayLoops = 0;
        p.state.cablet1 = cable == CableKind::Cablet1 ? 1 : 0;
        p.state.cablet2 = cable == CableKind::Cablet2 ? 1 : 0;
    }
    bool InStepAtOnce() { return EnableAfterReset(p, kit.board.target(), &lost, &violations); }

    VirtualClock clock;
    PinKit kit;
    ScriptedWindows windows;
    Programmer p{kit.serial, kit.parallel, clock, windows};
    uint64_t lost = 0;
    uint64_t violations = 0;
};

// The SCK phase of each speed on a streaming port is 2.67 us times the speed
// factor, more than two cycles of any chip above 750 kHz (High), 150 kHz
// (Medium), 30 kHz (Low) and 7.5 kHz (very low); GPIO lines take a system
// call a change, like the parallel port.
TEST(HostTiming, ThePortsOfPinsMeetTheChipClocksOfEachSpeed) {
    const struct {
        PinVia via;
        CableKind cable;
        int speed;
        uint32_t hz;
        bool inStep;
    } kCases[] = {
        {PinVia::Ft232r, CableKind::Cablet2, 3, 1000000, true},
        {PinVia::Ft232r, CableKind::Cablet2, 3, 800000, true},
        {PinVia::Ft232r, CableKind::Cablet2, 3, 600000, false},
        {PinVia::Ft232r, CableKind::SerialPlain, 2, 160000, true},
        {PinVia::Ft232r, CableKind::SerialPlain, 2, 128000, false},
        {PinVia::Ft232r, CableKind::Cablet1, 1, 32768, true},
        {PinVia::Ft232r, CableKind::Cablet1, 0, 8000, true},
        {PinVia::Ft231x, CableKind::Cablet2, 3, 1000000, true},
        {PinVia::Ft231x, CableKind::Cablet2, 3, 600000, false},
        {PinVia::Ft231x, CableKind::Cablet1, 2, 160000, true},
        {PinVia::Ft231x, CableKind::SerialPlain, 1, 32768, true},
        {PinVia::Ft231x, CableKind::SerialPlain, 1, 25000, false},
        {PinVia::Ft231x, CableKind::Cablet2, 0, 8000, true},
        {PinVia::Gpio, CableKind::Parallel, 3, 1000000, true},
        {PinVia::Gpio, CableKind::Parallel, 3, 128000, false},
        {PinVia::Gpio, CableKind::Parallel, 1, 128000, true},
        {PinVia::Gpio, CableKind::Parallel, 0, 32768, true},
    };
    for (const auto& c : kCases) {
        PinHostRig rig(c.via, c.cable, c.hz, c.speed);
        const std::string what = std::string(PinViaName(c.via)) + " " +
                                 std::string(sim::CableName(c.cable)) + " at " +
                                 SpeedName(c.speed) + ", chip at " + std::to_string(c.hz) + " Hz";
        EXPECT_EQ(rig.InStepAtOnce(), c.inStep) << what;
        if (c.inStep) {
            EXPECT_EQ(rig.lost, 0u) << what;
            EXPECT_EQ(rig.violations, 0u) << what;
        } else {
            EXPECT_GT(rig.lost + rig.violations, 0u) << what << ": the chip refused short phases";
        }
    }
}

// Every chip at its factory clock, at every speed, through both FTDI chips
// (the cables of two states a bit, inverted or not, and Cablet2's three) and
// on GPIO lines.
TEST(HostTiming, EveryChipAtItsFactoryClockWorksAtEverySpeedOnThePortsOfPins) {
    const struct {
        PinVia via;
        CableKind cable;
    } kPorts[] = {
        {PinVia::Ft232r, CableKind::Cablet1},
        {PinVia::Ft232r, CableKind::Cablet2},
        {PinVia::Ft231x, CableKind::SerialPlain},
        {PinVia::Gpio, CableKind::Parallel},
    };
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        for (const auto& port : kPorts) {
            for (int speed = 0; speed <= 3; ++speed) {
                PinHostRig rig(port.via, port.cable, 0, speed, chip.name);
                const std::string what = std::string(chip.name) + " on " + PinViaName(port.via) +
                                         " " + std::string(sim::CableName(port.cable)) + " at " +
                                         SpeedName(speed);
                EXPECT_EQ(rig.InStepAtOnce(), chip.echoesEnable) << what;
                EXPECT_EQ(ReadSignatureByte(rig.p, 1), chip.signature[1]) << what;
                EXPECT_EQ(rig.lost + rig.violations, 0u) << what;
            }
        }
    }
}

// On a port of pins a pass of the calibration is a round trip: a few of them
// give the passes that 50 ms of them count, in a fraction of the time.
TEST(HostTiming, TheCalibrationOfAPortOfPinsTakesAFewRoundTrips) {
    for (PinVia via : {PinVia::Ft232r, PinVia::Ft231x}) {
        PinHostRig rig(via, CableKind::Cablet2, 1000000, 3);
        ASSERT_EQ(adapter::OpenPort(rig.p), 0) << PinViaName(via);
        const uint64_t startNs = rig.clock.NowNs();
        adapter::CalibrateDelay(rig.p);
        EXPECT_LT(rig.clock.NowNs() - startNs, 10000000u) << PinViaName(via);
        // The round trips that fit 50 ms, counted one by one.
        int64_t counted = 0;
        for (const uint64_t endNs = rig.clock.NowNs() + 50000000; rig.clock.NowNs() < endNs;
             ++counted)
            adapter::PollInput(rig.p);
        EXPECT_NEAR(rig.p.state.calibrationPasses, counted, counted / 10.0 + 1) << PinViaName(via);
    }
}

// The FT232R's bit-bang clock is even only undivided (its erratum): at a
// divided rate the fake chip makes states of uneven length, many too short,
// and the simulated chip loses pulses. So the backend never divides it.
TEST(HostTiming, TheFt232rAtADividedRateWouldLosePulses) {
    PinHostRig rig(PinVia::Ft232r, CableKind::Cablet2, 1000000, 3);
    ASSERT_TRUE(rig.InStepAtOnce());
    EXPECT_EQ(rig.p.state.stateRateHz, 750000u) << "the undivided clock";
    EXPECT_EQ(rig.p.state.statesPerPhase, 2) << "a phase of two states at High";
    ASSERT_NE(rig.kit.ftdiDevice, nullptr);
    EXPECT_TRUE(rig.kit.ftdiDevice->evenStates);
    // What a divided rate would do: the phase of one state at 375 kHz.
    rig.kit.ftdiDevice->evenStates = false;
    rig.kit.ftdiDevice->stateRateHz = 375000;
    rig.p.state.statesPerPhase = 1;
    const uint64_t lostBefore = rig.kit.board.target().lostPulses();
    avr::ProgrammingEnable(rig.p);
    EXPECT_GT(rig.kit.board.target().lostPulses(), lostBefore) << "uneven states are refused";
}

#endif

}  // namespace
}  // namespace ostrel::testing
