#include "tests/support/chip_facts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

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

}  // namespace

std::vector<ChipFacts> ReadChipFacts() {
    std::string content = ReadFileBytes(SourcePath("tests/data/chips.tsv"));
    EXPECT_FALSE(content.empty()) << "tests/data/chips.tsv is missing";
    std::istringstream in(content);
    std::vector<ChipFacts> rows;
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
        EXPECT_EQ(f.size(), kColumns) << line;
        if (f.size() != kColumns)
            continue;
        ChipFacts r;
        r.name = f[0];
        r.signatureHex = f[1];
        EXPECT_EQ(f[1].size(), 6u) << line;
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

}  // namespace ostrel::testing
