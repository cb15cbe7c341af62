// Every verdict of Connect, against the simulated chip.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "avr/avr.h"
#include "core/activity.h"
#include "core/ids.h"
#include "sim/chip_table.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using sim::CableKind;
using sim::SimFault;

std::string Report(const char* sig0, const char* sig1, const char* sig2, bool echo) {
    return std::string("Vendor Code: ") + sig0 + "\nPart Family: " + sig1 +
           "\nPart Number: " + sig2 + "\n" + (echo ? "Echo 53 received" : "No echo 53 received");
}

int EnableAttempts(SimRig& rig) {
    int n = 0;
    for (const auto& i : rig.chip().instructions())
        if (i[0] == 0xAC && i[1] == 0x53)
            ++n;
    return n;
}

TEST(Connect, KnownChipInStepOnTheFirstTry) {
    for (CableKind cable : {CableKind::Parallel, CableKind::Cablet1, CableKind::Cablet2}) {
        SimRig rig({.chip = "ATmega16", .cable = cable});
        rig.chip().RecordInstructions(true);
        EXPECT_EQ(avr::Connect(rig.p), 0);
        EXPECT_EQ(rig.p.state.signatureReport.view(), Report("1E", "94", "03", true));
        EXPECT_EQ(rig.p.state.signatureHex.view(), "1E9403 ");
        EXPECT_EQ(rig.p.state.deviceDetected, 1);
        EXPECT_EQ(rig.p.state.flashWords, 8192);
        EXPECT_EQ(rig.p.state.pagedFlash, 1);
        EXPECT_EQ(rig.p.state.pageWords, 64);
        EXPECT_EQ(rig.p.state.pageShift, 6);
        EXPECT_EQ(EnableAttempts(rig), 1);
        // Enable, three signature reads and the low fuse byte, which tells the clock.
        EXPECT_EQ(rig.chip().instructions().size(), 5u);
        EXPECT_EQ(rig.windows.ListEntry(rig.windows.SelectedListEntry()), "ATmega16");
    }
}

TEST(Connect, NoEchoButAKnownFamilyIsDecidedAtOnce) {
    // The AT90S1200 never echoes the enable.
    SimRig rig({.chip = "AT90S1200"});
    rig.chip().RecordInstructions(true);
    EXPECT_EQ(avr::Connect(rig.p), 0);
    EXPECT_EQ(rig.p.state.signatureReport.view(), Report("1E", "90", "01", false));
    EXPECT_EQ(EnableAttempts(rig), 1);
}

TEST(Connect, UnknownSignatureInRangeIsDecidedWithoutResynchronisation) {
    // A chip of another programming interface is named with that interface.
    const struct {
        std::array<uint8_t, 3> signature;
        const char* part;
        std::string advice;
    } kCases[] = {
        // Any other is told the chips of the same flash size that the device file knows.
        {{0x1E, 0x93, 0x7F},
         "7F",
         "\n\nostrel.ini knows these chips of the same flash size: AT90S8515, AT90S8535, "
         "ATmega8, ATmega88, ATmega8515, ATmega8535, ATtiny85, ATtiny84/84A, ATtiny861/861A, "
         "ATtiny88, ATtiny841, ATmega88P/PA, ATmega8U2."},
        {{0x1E, 0x90, 0x03},
         "03",
         "\n\nThis is an ATtiny10: it is programmed only over TPI: not with this programmer."},
    };
    for (const auto& c : kCases) {
        SimRig rig({.fault = SimFault::UnknownSignature, .unknownSignature = c.signature});
        rig.chip().RecordInstructions(true);
        EXPECT_EQ(avr::Connect(rig.p), 1);
        const char* family = c.signature[1] == 0x93 ? "93" : "90";
        EXPECT_EQ(core::FailureText(rig.p),
                  "Unknown Device Code!\n\n" + Report("1E", family, c.part, true) + c.advice);
        EXPECT_EQ(EnableAttempts(rig), 1);
    }

    SimRig manual({.fault = SimFault::UnknownSignature, .unknownSignature = {0x1E, 0x93, 0x7F}});
    manual.p.state.manualDevice = 1;
    EXPECT_EQ(avr::Connect(manual.p), 0);
}

TEST(Connect, LockedClassicChip) {
    SimRig rig({.chip = "AT90S2313", .fault = SimFault::Locked});
    EXPECT_EQ(avr::Connect(rig.p), 2);
    EXPECT_EQ(rig.p.state.errorText.view(), "Device locked!\n\n" + Report("00", "01", "02", true));

    SimRig manual({.chip = "AT90S2313", .fault = SimFault::Locked});
    manual.p.state.manualDevice = 1;
    EXPECT_EQ(avr::Connect(manual.p), 0);
}

TEST(Connect, ADeviceChosenByHandMustBeInTheDeviceFile) {
    struct Case {
        const char* chosen;   // selected in the device list
        const char* iniLine;  // replaces ostrel.ini after the list was filled; null: shipped
        SimFault fault;
        int result;
        const char* text;  // errorText begins with it; null: not looked at
    };
    const Case cases[] = {
        {"ATmega8", nullptr, SimFault::None, 0, nullptr},
        // An odd signature is let through as long as the chosen device is known.
        {"ATmega8", nullptr, SimFault::UnknownSignature, 0, nullptr},
        {"ATmega8", nullptr, SimFault::ErasedSignature, 0, nullptr},
        {"ATmega9", nullptr, SimFault::None, 1, "The chosen device ATmega9 is not in ostrel.ini."},
        {"ATmega8", "ATmega16\t1E9403\t16k\t64\t0\t1\t:6\t512\n", SimFault::None, 1,
         "The chosen device ATmega8 is not in ostrel.ini."},
        {"ATmega8", "ATmega8\t1E9307\t8k\t32\t0\t1\t:4\t512\n", SimFault::None, 1,
         "ATmega8 cannot be used: ostrel.ini line 1: page shift 4 does not fit a page of 32 "
         "words"},
        {"ATmega8", "ATmega8\t1E9307\t8k\t32\t0\t1\t:5\t2047kk\n", SimFault::UnknownSignature, 1,
         "ATmega8 cannot be used: ostrel.ini line 1: EEPROM size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen + std::string(" ") + (c.iniLine ? c.iniLine : "shipped"));
        SimRig rig({.chip = "ATmega8", .fault = c.fault});
        if (c.iniLine)
            rig.Write("ostrel.ini", c.iniLine);
        rig.windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
        rig.p.state.manualDevice = 1;
        rig.windows.AddListEntry(c.chosen);  // a name the list may not hold any more
        for (int i = 0; i < rig.windows.ListCount(); ++i) {
            if (rig.windows.ListEntry(i) == c.chosen)
                rig.windows.SelectListEntry(i);
        }
        rig.chip().RecordInstructions(true);
        EXPECT_EQ(avr::Connect(rig.p), c.result);
        if (c.result == 0) {
            EXPECT_FALSE(rig.chip().instructions().empty());
            continue;
        }
        EXPECT_EQ(std::string(rig.p.state.errorText.view()).rfind(c.text, 0), 0u)
            << rig.p.state.errorText.view();
        EXPECT_NE(rig.p.state.errorText.view().find("Nothing was sent to the chip."),
                  std::string::npos);
        EXPECT_TRUE(rig.chip().instructions().empty()) << "the chip was touched";
        EXPECT_TRUE(rig.windows.activity.empty());
    }
}

TEST(Connect, NothingConnectedGivesNoConnectionAfterTwoRoundsOfSynchronisation) {
    SimRig rig({.fault = SimFault::NoTarget});
    uint64_t before = rig.clock.NowUs();
    EXPECT_EQ(avr::Connect(rig.p), 1);
    EXPECT_EQ(core::FailureText(rig.p),
              "No Connection!\n\n" + Report("FF", "FF", "FF", false) +
                  "\n\nCheck the cable, the chip's power and its clock; a chip on a slow clock "
                  "(below 1 MHz) needs a lower Speed.");
    // 70 failed attempts, each followed by an SCK pulse between 2 ms waits,
    // plus the resets: well over 420 ms.
    EXPECT_GT(rig.clock.NowUs() - before, 420000u);
    EXPECT_TRUE(rig.windows.messages.empty());
}

// A chip on a clock too slow for the speed answers nothing, as a missing one
// does: the failure says where to look, and names the speed only where a
// lower one exists; at a speed that suits the clock the chip answers.
TEST(Connect, AChipTooSlowForTheSpeedIsToldToTryALowerOne) {
    const struct {
        int speed;
        bool connects;
        bool namesSpeed;
    } kCases[] = {{3, false, true}, {2, false, true}, {1, true, false}};
    for (const auto& c : kCases) {
        SimRig rig({.cable = sim::CableKind::Cablet2});
        rig.chip().SetClockHz(128000);
        rig.p.state.speed = c.speed;
        EXPECT_EQ(avr::Connect(rig.p), c.connects ? 0 : 1) << c.speed;
        const std::string text = core::FailureText(rig.p);
        EXPECT_EQ(text.find("a chip on a slow clock") != std::string::npos, c.namesSpeed)
            << c.speed << ": " << text;
    }
    SimRig slowest({.fault = SimFault::NoTarget});
    slowest.p.state.speed = 0;
    EXPECT_EQ(avr::Connect(slowest.p), 1);
    EXPECT_TRUE(core::FailureText(slowest.p).ends_with(
        "\n\nCheck the cable, the chip's power and its clock."))
        << core::FailureText(slowest.p);
}

TEST(Connect, ErasedSignatureWarnsAndFails) {
    SimRig rig({.fault = SimFault::ErasedSignature});
    EXPECT_EQ(avr::Connect(rig.p), 1);
    ASSERT_EQ(rig.windows.messages.size(), 1u);
    EXPECT_EQ(rig.windows.messages[0].title, "Warning:");
    EXPECT_EQ(rig.windows.messages[0].text, "Device Code erased!\n\n");
    EXPECT_EQ(rig.p.state.errorText.view(),
              "Device Code erased!\n\n" + Report("FF", "FF", "FF", true));
}

TEST(Connect, SerialPortWithoutCableFailsBeforeAnyReset) {
    SimRig rig({.cable = CableKind::Cablet2, .fault = SimFault::NoCable});
    rig.chip().RecordInstructions(true);
    EXPECT_EQ(avr::Connect(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.view(), "No Adaptor found at COM1\n");
    EXPECT_TRUE(rig.chip().instructions().empty());
    EXPECT_TRUE(rig.windows.activity.empty());
}

// Every family's way back into step: a chip out of step by some bits comes
// in step through the retries, and one that entered programming mode while
// its echo was lost is never sent a retry out of step, so nothing of it is
// written.
TEST(Connect, EveryFamilyComesInStepAndALostEchoWritesNothing) {
    for (const char* chip : {"ATmega8", "AT90S8515", "AT90S2343", "ATtiny85", "ATmega2560"}) {
        const sim::ChipInfo& info = *sim::FindChip(chip);
        char sig[3][3];
        for (int i = 0; i < 3; ++i)
            std::snprintf(sig[i], sizeof sig[i], "%02X", info.signature[i]);
        for (uint32_t bits : {1u, 3u}) {
            SimRig rig({.chip = chip, .fault = SimFault::OutOfStep, .outOfStepBits = bits});
            EXPECT_EQ(avr::Connect(rig.p), 0) << chip << ", " << bits << " bits";
            EXPECT_EQ(rig.p.state.signatureReport.view(), Report(sig[0], sig[1], sig[2], true));
        }
        SimRig lost({.chip = chip, .fault = SimFault::EchoLost});
        const sim::ChipMemory before = lost.chip().memory();
        EXPECT_NE(avr::Connect(lost.p), 0) << chip;
        EXPECT_EQ(lost.chip().memory(), before) << chip;
    }
}

TEST(Synchronise, InStepSendsNothingAndNeverAnsweringGivesUpAfter35) {
    SimRig rig;
    avr::EnterProgrammingMode(rig.p);
    EXPECT_EQ(avr::ProgrammingEnable(rig.p), 0x53);
    rig.chip().RecordInstructions(true);
    EXPECT_EQ(avr::Synchronise(rig.p), 0x53);
    EXPECT_TRUE(rig.chip().instructions().empty());

    SimRig none({.fault = SimFault::NoTarget});
    avr::EnterProgrammingMode(none.p);
    uint64_t before = none.clock.NowUs();
    EXPECT_EQ(avr::Synchronise(none.p), 0xFF);
    EXPECT_GE(none.clock.NowUs() - before, 35u * 6000u);
}

TEST(EraseEepromBytes, AByteThatWillNotEraseStopsThereAndLaterOnesAreNotTouched) {
    SimRig rig(
        {.fault = SimFault::StuckByte, .stuckAddress = 0x40, .stuckMemory = sim::Memory::Eeprom});
    ASSERT_EQ(avr::Connect(rig.p), 0);
    for (uint32_t a = 0; a < 0x48; ++a)
        rig.chip().SetEeprom(a, 0x12);
    rig.chip().RecordInstructions(true);
    EXPECT_EQ(avr::EraseEepromBytes(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.view(), "Error at Adr: 0040\n");
    EXPECT_EQ(rig.chip().Eeprom(0x3F), 0xFF);
    EXPECT_EQ(rig.chip().Eeprom(0x41), 0x12);
    for (const auto& i : rig.chip().instructions())
        EXPECT_LE(i[1] * 256 + i[2], 0x40);
}

// The chip's clock as its low fuse selects it decides the speed: Auto takes
// the fastest that clock allows (a chip at 128 kHz answers where High fails),
// and a speed chosen by hand that is too fast is named with the one to choose.
TEST(Connect, TheSpeedFollowsTheClockTheFusesSelect) {
    const struct {
        uint8_t lowFuse;
        bool autoSpeed;
        int speed;  // chosen by hand, or where Auto ends
        int result;
        const char* words;  // on the activity line, or in the failure
        // Auto: the low fuse at a second connection, and what it names then
        // (null: nothing, the choice is the same).
        uint8_t nextLow = 0;
        const char* nextWords = nullptr;
    } kCases[] = {
        {0x62, true, 3, 0, "Speed Auto: High (the chip runs at 1 MHz)", 0x62},
        {0x62, true, 3, 0, "Speed Auto: High", 0xE3, "Speed Auto: Low (the chip runs at 128 kHz)"},
        {0xE3, true, 1, 0, "Speed Auto: Low (the chip runs at 128 kHz)", 0xE3},
        {0x63, true, 0, 0, "Speed Auto: very low (the chip runs at 16 kHz)"},
        {0xFF, true, 3, 0, "Speed Auto: High (the chip runs at 8 MHz or more)", 0x62},
        {0xE3, false, 3, 1, "This chip runs at 128 kHz: choose Low."},
        {0x63, false, 1, 1, "This chip runs at 16 kHz: choose very low."},
        {0xE3, false, 1, 0, "connecting"},
    };
    for (const auto& c : kCases) {
        SimRig rig({.chip = "ATmega328P", .cable = CableKind::Cablet2});
        rig.chip().SetFuse(0, c.lowFuse);
        rig.p.state.autoSpeed = c.autoSpeed ? 1 : 0;
        rig.p.state.speed = c.autoSpeed ? 0 : c.speed;
        const std::string what = std::to_string(c.lowFuse) + (c.autoSpeed ? " auto" : " fixed");
        EXPECT_EQ(avr::Connect(rig.p), c.result) << what << ": " << core::FailureText(rig.p);
        EXPECT_EQ(rig.p.state.speed, c.speed) << what;
        const std::string said =
            c.result == 0 ? rig.windows.activity.back() : core::FailureText(rig.p);
        EXPECT_NE(said.find(c.words), std::string::npos) << what << ": " << said;
        if (c.result == 0) {
            EXPECT_TRUE(avr::StillAnswers(rig.p)) << what;
        }
        if (c.nextLow == 0)
            continue;
        rig.chip().SetFuse(0, c.nextLow);
        const std::size_t before = rig.windows.activity.size();
        EXPECT_EQ(avr::Connect(rig.p), 0) << what;
        std::string named;
        for (std::size_t i = before; i < rig.windows.activity.size(); ++i)
            if (rig.windows.activity[i].find("Speed Auto") != std::string::npos)
                named += rig.windows.activity[i];
        EXPECT_EQ(named.empty(), c.nextWords == nullptr) << what << ": " << named;
        if (c.nextWords != nullptr) {
            EXPECT_NE(named.find(c.nextWords), std::string::npos) << what << ": " << named;
        }
    }
}

}  // namespace
}  // namespace ostrel::testing
