// The simulator's chip table against the data-sheet figures in
// tests/data/chips.tsv, and the table's own consistency.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "devices/fuse_tables.h"
#include "sim/chip_table.h"
#include "tests/support/chip_facts.h"

namespace ostrel::sim {
namespace {

bool IsPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

TEST(ChipTable, EveryDataSheetRowIsInTheTableWithTheSameFigures) {
    std::vector<testing::ChipFacts> rows = testing::ReadChipFacts();
    ASSERT_GE(rows.size(), 12u);
    std::set<std::string> seen;
    for (const testing::ChipFacts& r : rows) {
        // The byte-wise 128 KB part is not simulated.
        if (r.name == "ATmega103")
            continue;
        SCOPED_TRACE(r.name);
        const ChipInfo* chip = FindChip(r.name);
        ASSERT_NE(chip, nullptr);
        EXPECT_EQ(chip->name, r.name);
        EXPECT_EQ(chip->signature, r.signature);
        EXPECT_EQ(chip->flashBytes, static_cast<uint32_t>(r.flashBytes));
        EXPECT_EQ(chip->pageBytes, static_cast<uint32_t>(r.pageBytes));
        EXPECT_EQ(chip->eepromBytes, static_cast<uint32_t>(r.eepromBytes));
        EXPECT_EQ(chip->flashWriteUs, r.flashWriteUs);
        EXPECT_EQ(chip->eepromWriteUs, r.eepromWriteUs);
        EXPECT_EQ(chip->chipEraseUs, r.chipEraseUs);
        EXPECT_EQ(chip->flashPoll, r.flashPoll);
        EXPECT_EQ(chip->eepromPoll, r.eepromPoll);
        seen.insert(r.name);
    }
    // Nothing in the table that the data-sheet file does not vouch for.
    for (const ChipInfo& chip : AllChips()) {
        EXPECT_EQ(seen.count(std::string(chip.name)), 1u)
            << chip.name << " is in neither list of chip facts";
    }
}

TEST(ChipTable, HoldsTheChipsTheProgramIsTestedWith) {
    for (const char* name :
         {"AT90S1200", "AT90S2313", "AT90S2323", "AT90S2343", "AT90S4433", "AT90S8515", "ATtiny12",
          "ATtiny2313", "ATmega8", "ATmega16", "ATmega48", "ATmega168"}) {
        EXPECT_NE(FindChip(name), nullptr) << name;
    }
    ASSERT_NE(FindChip(kDefaultChipName), nullptr);
}

TEST(ChipTable, RowsAreConsistent) {
    std::set<std::string> names;
    std::set<std::array<uint8_t, 3>> signatures;
    for (const ChipInfo& c : AllChips()) {
        SCOPED_TRACE(std::string(c.name));
        EXPECT_TRUE(names.insert(std::string(c.name)).second) << "name twice";
        EXPECT_TRUE(signatures.insert(c.signature).second) << "signature twice";
        EXPECT_EQ(c.signature[0], 0x1E);
        // The address masks of the model rely on power-of-two sizes.
        EXPECT_TRUE(IsPowerOfTwo(c.flashBytes));
        EXPECT_TRUE(IsPowerOfTwo(c.eepromBytes));
        EXPECT_LE(c.flashBytes, 65536u * 4);
        const bool modern = c.isa == InstructionSet::Modern;
        // Page mode and the newer instruction set go together.
        EXPECT_EQ(c.Paged(), modern);
        if (c.Paged()) {
            EXPECT_TRUE(IsPowerOfTwo(c.pageBytes));
            EXPECT_EQ(c.flashBytes % c.pageBytes, 0u);
            EXPECT_TRUE(c.variant == 0xE0 || c.variant == 0xFF);
            EXPECT_GE(c.fuseCount, 1);
            EXPECT_LE(c.fuseCount, 3);
            EXPECT_NE(c.lockMask & 0x03, 0) << "LB1 and LB2 must exist";
        } else {
            EXPECT_EQ(c.lockMask, 0x06) << "classic lock bits are bits 1 and 2";
        }
        EXPECT_GT(c.flashWriteUs, 0u);
        EXPECT_GT(c.eepromWriteUs, 0u);
        EXPECT_GT(c.chipEraseUs, 0u);
        // Only the AT90S1200 keeps quiet during Programming Enable.
        EXPECT_EQ(c.echoesEnable, c.name != "AT90S1200");
        // Fuse bits that cannot be written read as 1 in the factory value.
        for (int i = 0; i < 3; ++i) {
            if (modern && i >= c.fuseCount) {
                EXPECT_EQ(c.fuseWriteMasks[static_cast<std::size_t>(i)], 0);
            }
        }
        if (c.HasRcen()) {
            EXPECT_EQ(c.isa, InstructionSet::ClassicFuseBit);
        }
    }
    EXPECT_TRUE(FindChip("AT90S2343")->HasRcen());
    EXPECT_TRUE(FindChip("ATtiny22")->HasRcen());
    EXPECT_FALSE(FindChip("AT90S2323")->HasRcen());
    EXPECT_FALSE(FindChip("ATmega8")->HasRcen());
}

// The simulator keeps its own fuse column (sim/ sits beside devices/, not
// above it): every chip with a fuse table must have that table's factory
// values and bits in use, the fuse bits it acts on where the table puts them,
// a clock source per CKSEL value of the table's kind, and a factory clock
// that its factory fuses give on the default board.
TEST(ChipTable, FuseColumnsAgreeWithTheFuseTables) {
    using devices::ClockNeed;
    using devices::FieldRole;
    int checked = 0;
    for (const ChipInfo& c : AllChips()) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X%02X%02X", c.signature[0], c.signature[1],
                      c.signature[2]);
        const devices::FuseChip* table = devices::FindFuseChip(hex);
        SCOPED_TRACE(std::string(c.name));
        if (table == nullptr) {
            EXPECT_EQ(c.fuseLayout, nullptr) << "a layout the fuse tables cannot check";
            continue;
        }
        ASSERT_NE(c.fuseLayout, nullptr);
        ASSERT_TRUE(c.isa != InstructionSet::Classic);
        ++checked;
        const FuseLayout& layout = *c.fuseLayout;
        // The ATtiny12 and 15 and the AT90S chips keep SPIEN out of their write mask.
        const uint8_t kept = c.isa != InstructionSet::Modern ? layout.spien.mask : 0;
        if (c.isa != InstructionSet::Modern && devices::HasByte(*table, devices::FuseByte::kLock)) {
            EXPECT_EQ(c.lockMask, table->used[3]) << "the lock bits";
        }
        for (std::size_t b = 0; b < 3; ++b) {
            EXPECT_EQ(c.fuseWriteMasks[b] | (b == 0 ? kept : 0), table->used[b])
                << "bits in use of byte " << b;
            if (b < c.fuseCount) {
                EXPECT_EQ(c.fuseDefaults[b], table->factory[b]) << "factory value of byte " << b;
            }
        }
        // Each bit the simulator acts on, where the table has it (or absent).
        std::array<FuseBitPlace, 4> want{};
        for (const devices::FuseField& f : table->fields) {
            const FuseBitPlace place{static_cast<uint8_t>(f.byte), f.mask};
            switch (f.role) {
                case FieldRole::kSpien:
                    want[0] = place;
                    break;
                case FieldRole::kRstdisbl:
                    want[1] = place;
                    break;
                case FieldRole::kDwen:
                    want[2] = place;
                    break;
                case FieldRole::kCkdiv8:
                    want[3] = place;
                    break;
                case FieldRole::kClock:
                    EXPECT_EQ(f.byte, devices::FuseByte::kLow);
                    EXPECT_EQ(f.mask, layout.ckselMask);
                    for (const devices::FieldValue& v : f.values) {
                        for (unsigned x = v.first; x <= v.last; ++x) {
                            const ClockChoice got = layout.sources[x];
                            const ClockKind kind =
                                v.need == ClockNeed::kNone       ? ClockKind::Internal
                                : v.need == ClockNeed::kExternal ? ClockKind::External
                                : v.need == ClockNeed::kCrystal  ? ClockKind::Crystal
                                                                 : ClockKind::Reserved;
                            EXPECT_EQ(got.kind, kind) << "CKSEL " << x;
                            if (kind == ClockKind::Internal) {
                                EXPECT_EQ(got.hz, v.kHz * 1000u) << "CKSEL " << x;
                            }
                        }
                    }
                    break;
                default:
                    break;
            }
        }
        const std::array<FuseBitPlace, 4> got{layout.spien, layout.rstdisbl, layout.dwen,
                                              layout.ckdiv8};
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(got[i].mask, want[i].mask) << "bit " << i;
            if (want[i].mask != 0) {
                EXPECT_EQ(got[i].byte, want[i].byte) << "bit " << i;
            }
        }
        const FuseEffects factory = EffectsOf(c, c.fuseDefaults, Board{});
        EXPECT_TRUE(factory.serialProgramming);
        EXPECT_TRUE(factory.clockRuns);
        EXPECT_EQ(factory.clockHz, c.clockHz) << "the factory fuses give the factory clock";
    }
    EXPECT_GE(checked, 45);
}

TEST(ChipTable, LooksNamesUpWithoutRegardToCase) {
    const ChipInfo* a = FindChip("atmega8");
    const ChipInfo* b = FindChip("ATMEGA8");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->name, "ATmega8");
    EXPECT_EQ(FindChip("ATmega"), nullptr);
    EXPECT_EQ(FindChip("ATmega88x"), nullptr);
    EXPECT_EQ(FindChip(""), nullptr);
    EXPECT_EQ(FindChip("ATmega103"), nullptr);
    // A name for the chips of one signature is found by its first chip too.
    EXPECT_EQ(FindChip("attiny84"), FindChip("ATtiny84/84A"));
    EXPECT_NE(FindChip("ATtiny84"), nullptr);
    EXPECT_EQ(FindChip("84A"), nullptr);
}

}  // namespace
}  // namespace ostrel::sim
