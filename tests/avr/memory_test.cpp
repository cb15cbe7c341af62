// The byte patterns of the memory instructions as they go over the wire.
#include <gtest/gtest.h>

#include <algorithm>

#include "avr/avr.h"
#include "tests/support/chip_facts.h"
#include "tests/support/fixture.h"
#include "tests/support/sim_rig.h"

namespace ostrel::testing {
namespace {

using Bytes = std::vector<uint8_t>;

struct WireRig : RecordingRig {
    WireRig() {
        p.state.directPortIo = 1;
        p.state.speed = 3;
        p.state.delayLoops = 1;
    }
    Bytes Sent() const { return SentBytes(port); }
};

TEST(MemoryInstructions, AddressAndDataLandInTheirBytes) {
    struct Case {
        void (*op)(Programmer&);
        int32_t address;
        int32_t data;
        Bytes expected;
        int32_t flashWords = 4096;
        int32_t extendedAddress = -1;  // as last sent in the run; -1 none yet
    };
    constexpr int32_t k2560 = 0x20000;  // 128K words: Load Extended Address
    const Case cases[] = {
        {avr::ReadFlashLow, 0x0123, 0x77, {0x20, 0x01, 0x23, 0x00}},
        {avr::ReadFlashHigh, 0x0123, 0x77, {0x28, 0x01, 0x23, 0x00}},
        {avr::WriteFlashLow, 0x0FFF, 0xA5, {0x40, 0x0F, 0xFF, 0xA5}},
        {avr::WriteFlashHigh, 0x0001, 0x00, {0x48, 0x00, 0x01, 0x00}},
        {avr::ReadEeprom, 0x01FF, 0x5A, {0xA0, 0x01, 0xFF, 0x00}},
        {avr::WriteEeprom, 0x01FF, 0x5A, {0xC0, 0x01, 0xFF, 0x5A}},
        // Bits above 16 never spill into the opcode.
        {avr::ReadFlashLow, 0x1FFFF, 0, {0x20, 0xFF, 0xFF, 0x00}},
        {avr::ReadEeprom, 0x10000, 0, {0xA0, 0x00, 0x00, 0x00}},
        {avr::ReadFlashLow, 0x1FFFF, 0, {0x20, 0xFF, 0xFF, 0x00}, 0x10000},
        // Above 64K words bit 16 goes out first when the chip's byte is unknown
        // or other, and only then.
        {avr::ReadFlashLow, 0x1FFFF, 0, {0x4D, 0x00, 0x01, 0x00, 0x20, 0xFF, 0xFF, 0x00}, k2560},
        {avr::ReadFlashHigh,
         0x0FFFF,
         0,
         {0x4D, 0x00, 0x00, 0x00, 0x28, 0xFF, 0xFF, 0x00},
         k2560,
         1},
        {avr::ReadFlashLow, 0x00010, 0, {0x4D, 0x00, 0x00, 0x00, 0x20, 0x00, 0x10, 0x00}, k2560},
        {avr::ReadFlashHigh, 0x1F000, 0, {0x28, 0xF0, 0x00, 0x00}, k2560, 1},
        {avr::ReadFlashLow, 0x00010, 0, {0x20, 0x00, 0x10, 0x00}, k2560, 0},
        // Page loads name the word inside the page; EEPROM has no extended byte.
        {avr::WriteFlashLow, 0x0005, 0xA5, {0x40, 0x00, 0x05, 0xA5}, k2560},
        {avr::ReadEeprom, 0x0FFF, 0, {0xA0, 0x0F, 0xFF, 0x00}, k2560},
    };
    for (const auto& c : cases) {
        WireRig rig;
        rig.p.state.flashWords = c.flashWords;
        rig.p.state.extendedAddress = c.extendedAddress;
        rig.p.state.memAddress = c.address;
        rig.p.state.memData = c.data;
        c.op(rig.p);
        EXPECT_EQ(rig.Sent(), c.expected) << "address " << c.address;
    }
}

TEST(MemoryInstructions, ReadsTakeTheLastAnswerByte) {
    WireRig rig;
    int reads = 0;
    // The chip answers 0x5A during the fourth byte: bits 24..31 of the instruction.
    rig.port.wordFn = [&reads]() -> uint16_t {
        int bit = reads / 4;  // four reads per bit; the third is the sample
        bool sample = reads % 4 == 2;
        ++reads;
        if (!sample || bit < 24)
            return 0;
        return ((0x5A >> (31 - bit)) & 1) ? 0x4000 : 0;
    };
    avr::ReadEeprom(rig.p);
    EXPECT_EQ(avr::ReadByte(rig.p), 0x5A);
}

TEST(WriteFlashPage, PageAddressIsThePageShiftedIntoTheWordAddress) {
    struct Case {
        int32_t shift;
        int32_t page;
        Bytes expected;
        int32_t flashWords = 4096;
    };
    for (const Case& c :
         {Case{5, 3, {0x4C, 0x00, 0x60, 0x00}}, Case{6, 127, {0x4C, 0x1F, 0xC0, 0x00}},
          Case{7, 255, {0x4C, 0x7F, 0x80, 0x00}}, Case{4, 0, {0x4C, 0x00, 0x00, 0x00}},
          Case{7, 511, {0x4C, 0xFF, 0x80, 0x00}, 0x10000},
          Case{7, 1023, {0x4D, 0x00, 0x01, 0x00, 0x4C, 0xFF, 0x80, 0x00}, 0x20000},
          Case{7, 1, {0x4D, 0x00, 0x00, 0x00, 0x4C, 0x00, 0x80, 0x00}, 0x20000}}) {
        WireRig rig;
        rig.p.state.flashWords = c.flashWords;
        rig.p.state.pageShift = c.shift;
        uint64_t before = rig.clock.NowUs();
        avr::WriteFlashPage(rig.p, c.page);
        EXPECT_EQ(rig.Sent(), c.expected) << "shift " << c.shift << " page " << c.page;
        // Without a byte to poll: the longest page write time (ATmega103).
        EXPECT_GE(rig.clock.NowUs() - before, 56000u);
    }
}

TEST(WholeWordInstructions, SendTheirFirstWordAgain) {
    WireRig erase;
    avr::ChipErase(erase.p);
    EXPECT_EQ(erase.Sent(), (Bytes{0xAC, 0x80, 0xAC, 0x80}));
    EXPECT_GE(erase.clock.NowUs(), 112000u) << "the longest chip erase time (ATmega103)";

    WireRig lock;
    avr::SendWordTwice(lock.p, 0xACF9);
    EXPECT_EQ(lock.Sent(), (Bytes{0xAC, 0xF9, 0xAC, 0xF9}));

    WireRig rcenOn;
    avr::WriteRcenBit(rcenOn.p, 0);
    EXPECT_EQ(rcenOn.Sent(), (Bytes{0xAC, 0xBE, 0xAC, 0xBE}));
    ASSERT_FALSE(rcenOn.windows.activity.empty());
    EXPECT_EQ(rcenOn.windows.activity.back().substr(0, 9), "out: acbe");

    WireRig rcenOff;
    avr::WriteRcenBit(rcenOff.p, 1);
    EXPECT_EQ(rcenOff.Sent(), (Bytes{0xAC, 0xBF, 0xAC, 0xBF}));
}

TEST(ReadLockBits, ShowsBothWordsAndKeepsTheWholeAnswer) {
    WireRig rig;
    const uint32_t answer = 0x580058C3;
    int reads = 0;
    rig.port.wordFn = [&]() -> uint16_t {
        int bit = reads / 4;
        bool sample = reads % 4 == 2;
        ++reads;
        if (!sample)
            return 0;
        return ((answer >> (31 - bit)) & 1) ? 0x4000 : 0;
    };
    avr::ReadLockBits(rig.p);
    EXPECT_EQ(rig.Sent(), (Bytes{0x58, 0x00, 0x58, 0x00}));
    EXPECT_EQ(rig.p.state.lockBitsAnswer, answer);
    ASSERT_EQ(rig.windows.activity.size(), 2u);
    EXPECT_EQ(rig.windows.activity[0].substr(0, 10), "out: 5800 ");
    EXPECT_EQ(rig.windows.activity[1].substr(0, 14), "in: 580058c3  ");
}

TEST(EraseEepromBytes, AnErasedEepromIsOnlyRead) {
    WireRig rig;
    rig.port.word = 0x4000;  // every answer bit 1: every byte reads FF
    rig.p.state.eepromBytes = 16;
    EXPECT_EQ(avr::EraseEepromBytes(rig.p), 0);
    Bytes sent = rig.Sent();
    ASSERT_EQ(sent.size(), 16u * 4u);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(sent[i * 4], 0xA0) << "only read instructions";
        EXPECT_EQ(sent[i * 4 + 2], i);
    }
}

TEST(EraseEepromBytes, NothingForAnEmptyEeprom) {
    for (int32_t size : {0, -5}) {
        WireRig rig;
        rig.p.state.eepromBytes = size;
        EXPECT_EQ(avr::EraseEepromBytes(rig.p), 0);
        EXPECT_TRUE(rig.port.calls.empty());
    }
}

TEST(EraseEepromBytes, AByteThatWillNotEraseNamesItsAddress) {
    WireRig rig;
    rig.p.state.eepromBytes = 0x80;
    // The chip answers 0x12 for every read: the first address fails after one write.
    rig.port.wordFn = [n = 0]() mutable -> uint16_t {
        int bit = (n / 4) % 32;
        bool sample = n % 4 == 2;
        ++n;
        if (!sample || bit < 24)
            return 0;
        return ((0x12 >> (31 - bit)) & 1) ? 0x4000 : 0;
    };
    uint64_t before = rig.clock.NowUs();
    EXPECT_EQ(avr::EraseEepromBytes(rig.p), 1);
    EXPECT_EQ(rig.p.state.errorText.view(), "Error at Adr: 0000\n");
    // Read, write FF, then read back until the polling gives up (at least
    // one second later); nothing else is sent.
    Bytes sent = rig.Sent();
    ASSERT_GE(sent.size(), 12u);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 8), (Bytes{0xA0, 0, 0, 0, 0xC0, 0, 0, 0xFF}));
    for (size_t i = 8; i < sent.size(); i += 4)
        EXPECT_EQ(Bytes(sent.begin() + i, sent.begin() + i + 4), (Bytes{0xA0, 0, 0, 0}));
    EXPECT_GE(rig.clock.NowUs() - before, 1000000u);
}

}  // namespace
}  // namespace ostrel::testing

namespace ostrel::testing {
namespace {

// The longest times and the polling values are the data sheets' own: the
// maximum over every chip, and every value any chip reads while busy.
TEST(WriteTimes, LongestTimesAndPollingValuesAreThoseOfTheDataSheets) {
    uint32_t eeprom = 0, flashByte = 0, page = 0, erase = 0;
    for (const ChipFacts& chip : ReadChipFacts()) {
        eeprom = std::max(eeprom, chip.eepromWriteUs);
        (chip.pageBytes == 0 ? flashByte : page) =
            std::max(chip.pageBytes == 0 ? flashByte : page, chip.flashWriteUs);
        erase = std::max(erase, chip.chipEraseUs);
        for (uint8_t v : chip.eepromPoll)
            EXPECT_TRUE(avr::IsEepromPollingValue(v)) << chip.name << " EEPROM " << int{v};
        for (uint8_t v : chip.flashPoll)
            EXPECT_TRUE(avr::IsFlashPollingValue(v)) << chip.name << " flash " << int{v};
    }
    EXPECT_EQ(eeprom, avr::kLongestEepromWriteMs * 1000);
    EXPECT_EQ(flashByte, avr::kLongestFlashByteWriteMs * 1000);
    EXPECT_EQ(page, avr::kLongestPageWriteMs * 1000);
    EXPECT_EQ(erase, avr::kLongestChipEraseMs * 1000);
}

// Polling ends as soon as the chip is done, except where the value written
// is one a busy location reads: then the chip's own write time passes first,
// or the longest of all chips when the program does not know the chip.
TEST(WriteTimes, PollingEndsWhenTheChipIsDoneUnlessTheValueCouldBeABusyOne) {
    struct Case {
        const char* chip;
        avr::WrittenByte what;  // FlashHigh: a page written with a probe, FlashLow without
        int value;
        uint32_t minMs;
        uint32_t maxMs;
        bool known = true;  // the program knows the signature's write times
    };
    const Case cases[] = {
        {"ATmega8", avr::WrittenByte::Eeprom, 0x5A, 9, 12},          // its own 9 ms
        {"ATmega8", avr::WrittenByte::Eeprom, 0xFF, 10, 13},         // its 9 ms passes first
        {"ATmega8", avr::WrittenByte::Eeprom, 0xFF, 20, 24, false},  // the longest: 20 ms
        {"AT90S2343", avr::WrittenByte::Eeprom, 0x5A, 20, 23},       // its own 20 ms
        {"AT90S2313", avr::WrittenByte::Eeprom, 0x80, 10, 13},       // it reads 80 while busy
        {"ATmega8", avr::WrittenByte::FlashHigh, 0x5A, 4, 8},        // page: 4.5 ms
        {"ATmega8", avr::WrittenByte::FlashLow, 0xFF, 6, 9},         // page without a probe
        {"ATmega8", avr::WrittenByte::FlashLow, 0xFF, 56, 60, false},
    };
    for (const Case& c : cases) {
        SimRig rig({.chip = c.chip});
        ASSERT_EQ(avr::Connect(rig.p), 0) << c.chip;
        ProgrammerState& s = rig.p.state;
        if (!c.known)
            s.signatureHex.Assign("1E9999 ");  // a chip newer than the program
        s.memAddress = 0x12;
        s.memData = c.value;
        const uint64_t before = rig.clock.NowUs();
        if (c.what == avr::WrittenByte::Eeprom) {
            rig.chip().SetEeprom(0x12, 0x33);
            avr::WriteEeprom(rig.p);
            EXPECT_TRUE(avr::PollUntilWritten(rig.p, c.what)) << c.chip;
            EXPECT_EQ(rig.chip().Eeprom(0x12), c.value) << c.chip;
        } else {
            avr::WriteFlashHigh(rig.p);  // into the page buffer, word 0x12 of page 0
            avr::WriteFlashPage(rig.p, 0,
                                c.what == avr::WrittenByte::FlashHigh
                                    ? avr::PageProbe{.wordAddress = 0x12, .highByte = true}
                                    : avr::PageProbe{});
            EXPECT_FALSE(rig.chip().Busy()) << c.chip;
        }
        const uint64_t ms = (rig.clock.NowUs() - before) / 1000;
        EXPECT_GE(ms, c.minMs) << c.chip << " value " << c.value;
        EXPECT_LE(ms, c.maxMs) << c.chip << " value " << c.value;
    }
}

}  // namespace
}  // namespace ostrel::testing
