// The data-sheet facts of the AVR chips in tests/data/chips.tsv, read once
// for every test that checks a table of the program against them (the
// shipped device file, the simulator's chip table).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::testing {

struct ChipFacts {
    std::string name;
    std::string signatureHex;  // as the file writes it: six hexadecimal digits, "1E9001"
    std::array<uint8_t, 3> signature{};
    int32_t flashBytes = 0;
    int32_t pageBytes = 0;  // 0: flash is written byte by byte
    int32_t eepromBytes = 0;
    uint32_t flashWriteUs = 0;
    uint32_t eepromWriteUs = 0;
    uint32_t chipEraseUs = 0;
    std::array<uint8_t, 2> flashPoll{};
    std::array<uint8_t, 2> eepromPoll{};
};

// Every chip row of tests/data/chips.tsv, in the file's order, then the chips of
// tests/data/today-chips.tsv that it lacks (those it has must agree). Comment lines
// (#) and the line of column names are passed over; a row with the wrong
// number of fields or a field that is not a number fails the calling test.
std::vector<ChipFacts> ReadChipFacts();

}  // namespace ostrel::testing
