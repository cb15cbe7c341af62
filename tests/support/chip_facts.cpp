#include "tests/support/chip_facts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "tests/support/temp_dir.h"

namespace ostrel::testing {

namespace {

constexpr std::size_t kColumns = 10;

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, sep))
        out.push_back(field);
    if (!line.empty() && line.back() == sep)  // an empty last field
        out.emplace_back();
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

// The rows of the file as fields, comment lines and the line of column names
// passed over.
std::vector<std::vector<std::string>> ReadRows(const char* file) {
    std::string content = ReadFileBytes(SourcePath(file));
    EXPECT_FALSE(content.empty()) << file << " is missing";
    std::istringstream in(content);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (!std::exchange(header, false))
            rows.push_back(Split(line, '\t'));
    }
    return rows;
}

// Where the sources of today-chips.tsv differ, its notes give both figures and
// the program takes the longer time.
struct LongerTime {
    const char* signature;
    uint32_t flashWriteUs;
    uint32_t chipEraseUs;
};
constexpr LongerTime kLongerTimes[] = {
    {"1E9702", 5000, 10000},  // ATmega128: 4500/9000 in one source, 5000/10000 in the other
};

// Adds the chips of tests/data/today-chips.tsv that chips.tsv does not hold,
// and holds those it does against chips.tsv: the two lists must agree.
void AddTodaysChips(std::vector<ChipFacts>& rows) {
    constexpr std::size_t kTodayColumns = 17;
    for (const std::vector<std::string>& f : ReadRows("tests/data/today-chips.tsv")) {
        EXPECT_EQ(f.size(), kTodayColumns) << f[0];
        if (f.size() != kTodayColumns)
            continue;
        ChipFacts r;
        r.name = f[1];
        r.signatureHex = f[2];
        uint32_t sig = Number(f[2], 16);
        r.signature = {static_cast<uint8_t>(sig >> 16), static_cast<uint8_t>(sig >> 8),
                       static_cast<uint8_t>(sig)};
        r.flashBytes = static_cast<int32_t>(Number(f[3]));
        r.pageBytes = static_cast<int32_t>(2 * Number(f[4]));
        r.eepromBytes = static_cast<int32_t>(Number(f[5]));
        r.flashWriteUs = Number(f[7]);
        r.eepromWriteUs = Number(f[8]);
        r.chipEraseUs = Number(f[9]);
        r.flashPoll = {0xFF, 0xFF};
        r.eepromPoll = {0xFF, 0xFF};
        for (const LongerTime& t : kLongerTimes) {
            if (r.signatureHex == t.signature) {
                EXPECT_GT(t.flashWriteUs, r.flashWriteUs);
                EXPECT_GT(t.chipEraseUs, r.chipEraseUs);
                r.flashWriteUs = t.flashWriteUs;
                r.chipEraseUs = t.chipEraseUs;
            }
        }
        auto known = std::find_if(rows.begin(), rows.end(), [&](const ChipFacts& c) {
            return c.signatureHex == r.signatureHex;
        });
        if (known == rows.end()) {
            rows.push_back(r);
            continue;
        }
        SCOPED_TRACE(r.name + " in both lists");
        EXPECT_EQ(known->flashBytes, r.flashBytes);
        EXPECT_EQ(known->pageBytes, r.pageBytes);
        EXPECT_EQ(known->eepromBytes, r.eepromBytes);
        EXPECT_EQ(known->flashWriteUs, r.flashWriteUs);
        EXPECT_EQ(known->eepromWriteUs, r.eepromWriteUs);
        EXPECT_EQ(known->chipEraseUs, r.chipEraseUs);
    }
}

std::vector<ChipFacts> ReadClassicFacts() {
    std::vector<ChipFacts> rows;
    for (const std::vector<std::string>& f : ReadRows("tests/data/chips.tsv")) {
        EXPECT_EQ(f.size(), kColumns) << f[0];
        if (f.size() != kColumns)
            continue;
        ChipFacts r;
        r.name = f[0];
        r.signatureHex = f[1];
        EXPECT_EQ(f[1].size(), 6u) << f[0];
        uint32_t sig = Number(f[1], 16);
        r.signature = {static_cast<uint8_t>(sig >> 16), static_cast<uint8_t>(sig >> 8),
                       static_cast<uint8_t>(sig)};
        r.flashBytes = static_cast<int32_t>(Number(f[2]));
        r.pageBytes = static_cast<int32_t>(Number(f[3]));
        r.eepromBytes = static_cast<int32_t>(Number(f[4]));
        r.flashWriteUs = Number(f[5]);
        r.eepromWriteUs = Number(f[6]);
        r.chipEraseUs = Number(f[7]);
        r.flashPoll = PollPair(f[8]);
        r.eepromPoll = PollPair(f[9]);
        rows.push_back(r);
    }
    return rows;
}

}  // namespace

std::vector<ChipFacts> ReadChipFacts() {
    std::vector<ChipFacts> rows = ReadClassicFacts();
    AddTodaysChips(rows);
    return rows;
}

}  // namespace ostrel::testing
