// The chips that the instructions dialog offers lock bits and RCEN for, and
// the lock families the lock command works from.
#include "devices/chip_lists.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text_util.h"
#include "sim/chip_table.h"
#include "tests/support/chip_facts.h"

namespace ostrel::testing {
namespace {

TEST(ChipLists, LockBitListHoldsExactlyTheElevenClassicSignatures) {
    for (const char* sig : {"1E9001 ", "1E9101 ", "1E9102 ", "1E9105 ", "1E9203 ", "1E9201 ",
                            "1E9301 ", "1E9202 ", "1E9303 ", "1E9005 ", "1E9006 "})
        EXPECT_TRUE(devices::LockBitsListed(sig)) << sig;
    for (const char* sig :
         {"1E9307 ", "1E9103 ", "1E9106 ", "1E9403 ", "1E930", "", "1e9301 ", "009301 ", "FFFFFF "})
        EXPECT_FALSE(devices::LockBitsListed(sig)) << sig;
    // Only the first six characters count.
    EXPECT_TRUE(devices::LockBitsListed("1E9301"));
    EXPECT_TRUE(devices::LockBitsListed("1E9301xyz"));
}

TEST(ChipLists, RcenChipsAreFamily91WithPart03Or06) {
    EXPECT_TRUE(devices::IsRcenChip(0x91, 0x03));
    EXPECT_TRUE(devices::IsRcenChip(0x91, 0x06));
    EXPECT_FALSE(devices::IsRcenChip(0x91, 0x01));
    EXPECT_FALSE(devices::IsRcenChip(0x91, 0x02));
    EXPECT_FALSE(devices::IsRcenChip(0x93, 0x03));
    EXPECT_FALSE(devices::IsRcenChip(0x90, 0x06));
}

// The lock families agree with the simulated chips, which model the data
// sheets independently: the newer instruction for the newer chips, the
// classic one for the others, and a lock read where the chip has one.
TEST(ChipLists, LockFamiliesAgreeWithTheSimulatedChips) {
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        char signature[8];
        std::snprintf(signature, sizeof signature, "%02X%02X%02X", chip.signature[0],
                      chip.signature[1], chip.signature[2]);
        SCOPED_TRACE(chip.name);
        const devices::LockFamily& family = devices::LockFamilyOf(signature);
        const bool newer = chip.isa == sim::InstructionSet::Modern;
        EXPECT_EQ(&family == &devices::kNewerLock, newer) << family.name;
        const sim::LockRules& rules = sim::LockRulesOf(chip);
        const uint8_t mode3 = newer ? family.lockMode3[3] : family.lockMode3[1];
        EXPECT_EQ(mode3 & (rules.lb1 | rules.lb2), 0) << "LB1 and LB2 programmed";
        EXPECT_EQ(family.readBits != 0, chip.isa != sim::InstructionSet::Classic);
    }
    // Every chip of the dialog's lock-bit list takes the classic instruction.
    for (std::string_view signature : devices::kLockBitChips)
        EXPECT_EQ(devices::LockFamilyOf(signature).lockMode3[1], 0xF9) << signature;
    // Letter case does not matter; a signature the list does not name is
    // taken as a newer chip.
    EXPECT_EQ(&devices::LockFamilyOf("1e9101 "), &devices::kClassicLock);
    EXPECT_EQ(&devices::LockFamilyOf("1E9609"), &devices::kNewerLock);
    EXPECT_EQ(&devices::LockFamilyOf(""), &devices::kNewerLock);
}

// The program's write times are the data sheets' (chips.tsv), chip by chip;
// a signature it does not know has none.
TEST(ChipLists, WriteTimesAreTheDataSheetsForEveryKnownChip) {
    for (const ChipFacts& chip : ReadChipFacts()) {
        devices::WriteTimes t{};
        ASSERT_TRUE(devices::WriteTimesOf(chip.signatureHex + " ", &t)) << chip.name;
        EXPECT_EQ(t.eepromUs, chip.eepromWriteUs) << chip.name;
        EXPECT_EQ(t.flashUs, chip.flashWriteUs) << chip.name;
        EXPECT_EQ(t.chipEraseUs, chip.chipEraseUs) << chip.name;
    }
    devices::WriteTimes t{};
    EXPECT_FALSE(devices::WriteTimesOf("1E9999 ", &t));
    EXPECT_FALSE(devices::WriteTimesOf("", &t));
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// A chip of another programming interface is named with the interface it
// needs; every chip this programmer reaches, and any unknown code, gets none.
TEST(ChipLists, ChipsOfOtherInterfacesAreNamedWithTheirInterface) {
    const struct {
        const char* signature;
        const char* named;  // null: no advice
    } kCases[] = {
        {"1E9003 ", "ATtiny10: it is programmed only over TPI"},
        {"1e8f0a ", "ATtiny4: it is programmed only over TPI"},
        {"1E9651 ", "ATmega4809: it is programmed only over UPDI"},
        {"1E9004 ", "ATtiny11: it is programmed only with 12 V on RESET"},
        {"1E930B ", nullptr},  // ATtiny85
        {"1E9999 ", nullptr},
        {"", nullptr},
    };
    for (const auto& c : kCases) {
        std::string advice = devices::UnreachableChipAdvice(c.signature);
        if (c.named == nullptr)
            EXPECT_EQ(advice, "") << c.signature;
        else
            EXPECT_NE(advice.find(c.named), std::string::npos) << c.signature << ": " << advice;
    }
    // No chip the simulator can be is among them.
    for (const sim::ChipInfo& chip : sim::AllChips()) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X", chip.signature[0], chip.signature[1],
                      chip.signature[2]);
        EXPECT_EQ(devices::UnreachableChipAdvice(hex), "") << chip.name;
    }
}

// A name that is not there is answered with the names nearest to it.
TEST(NearestNames, ListsTheNamesThatShareTheLongestBeginning) {
    const std::vector<std::string> names = {"ATmega8",      "ATmega88", "ATmega328P",
                                            "ATtiny84/84A", "ATtiny85", "AT90S1200"};
    const struct {
        const char* wanted;
        const char* nearest;
    } kCases[] = {
        {"ATtiny8", "ATtiny84/84A, ATtiny85"},
        {"attiny85a", "ATtiny85"},
        {"ATmega32", "ATmega328P"},
        {"ATmega", "ATmega8, ATmega88, ATmega328P"},
        {"ATX", "ATmega8, ATmega88, ATmega328P, ATtiny84/84A, ATtiny85, AT90S1200"},
        {"", "ATmega8, ATmega88, ATmega328P, ATtiny84/84A, ATtiny85, AT90S1200"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(NearestNames(c.wanted, names), c.nearest) << c.wanted;
}

}  // namespace
}  // namespace ostrel::testing
