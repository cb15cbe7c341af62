// The simulator's chip table against the data-sheet figures in
// tests/data/chips.tsv, and the table's own consistency.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/chip_table.h"
#include "tests/support/temp_dir.h"

namespace ostrel::sim {
namespace {

struct TsvRow {
    std::string name;
    std::array<uint8_t, 3> signature{};
    uint32_t flashBytes = 0;
    uint32_t pageBytes = 0;
    uint32_t eepromBytes = 0;
    uint32_t flashWriteUs = 0;
    uint32_t eepromWriteUs = 0;
    uint32_t chipEraseUs = 0;
    std::array<uint8_t, 2> flashPoll{};
    std::array<uint8_t, 2> eepromPoll{};
};

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, sep))
        out.push_back(field);
    return out;
}

uint32_t Number(const std::string& text, int base = 10) {
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, base);
    EXPECT_TRUE(end != nullptr && *end == '\0' && !text.empty()) << "not a number: " << text;
    return static_cast<uint32_t>(v);
}

std::array<uint8_t, 2> PollPair(const std::string& text) {
    auto parts = Split(text, ',');
    EXPECT_EQ(parts.size(), 2u) << text;
    if (parts.size() != 2)
        return {};
    return {static_cast<uint8_t>(Number(parts[0], 16)), static_cast<uint8_t>(Number(parts[1], 16))};
}

std::vector<TsvRow> ReadChipsTsv() {
    std::ifstream in(testing::SourcePath("tests/data/chips.tsv"));
    EXPECT_TRUE(in.good()) << "tests/data/chips.tsv is missing";
    std::vector<TsvRow> rows;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (header) {  // the column names
            header = false;
            continue;
        }
        auto f = Split(line, '\t');
        EXPECT_EQ(f.size(), 10u) << line;
        if (f.size() != 10)
            continue;
        TsvRow r;
        r.name = f[0];
        EXPECT_EQ(f[1].size(), 6u) << line;
        uint32_t sig = Number(f[1], 16);
        r.signature = {static_cast<uint8_t>(sig >> 16), static_cast<uint8_t>(sig >> 8),
                       static_cast<uint8_t>(sig)};
        r.flashBytes = Number(f[2]);
        r.pageBytes = Number(f[3]);
        r.eepromBytes = Number(f[4]);
        r.flashWriteUs = Number(f[5]);
        r.eepromWriteUs = Number(f[6]);
        r.chipEraseUs = Number(f[7]);
        r.flashPoll = PollPair(f[8]);
        r.eepromPoll = PollPair(f[9]);
        rows.push_back(r);
    }
    return rows;
}

bool IsPowerOfTwo(uint32_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

TEST(ChipTable, EveryDataSheetRowIsInTheTableWithTheSameFigures) {
    std::vector<TsvRow> rows = ReadChipsTsv();
    ASSERT_GE(rows.size(), 12u);
    std::set<std::string> seen;
    for (const TsvRow& r : rows) {
        // The 128 KB part needs extended addressing the program never sends.
        if (r.name == "ATmega103")
            continue;
        SCOPED_TRACE(r.name);
        const ChipInfo* chip = FindChip(r.name);
        ASSERT_NE(chip, nullptr);
        EXPECT_EQ(chip->name, r.name);
        EXPECT_EQ(chip->signature, r.signature);
        EXPECT_EQ(chip->flashBytes, r.flashBytes);
        EXPECT_EQ(chip->pageBytes, r.pageBytes);
        EXPECT_EQ(chip->eepromBytes, r.eepromBytes);
        EXPECT_EQ(chip->flashWriteUs, r.flashWriteUs);
        EXPECT_EQ(chip->eepromWriteUs, r.eepromWriteUs);
        EXPECT_EQ(chip->chipEraseUs, r.chipEraseUs);
        EXPECT_EQ(chip->flashPoll, r.flashPoll);
        EXPECT_EQ(chip->eepromPoll, r.eepromPoll);
        seen.insert(r.name);
    }
    // Nothing in the table that the data-sheet file does not vouch for.
    for (const ChipInfo& chip : AllChips()) {
        EXPECT_EQ(seen.count(std::string(chip.name)), 1u) << chip.name << " is not in chips.tsv";
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
        EXPECT_LE(c.flashBytes, 65536u * 2);
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
}

}  // namespace
}  // namespace ostrel::sim
