// The simulated chip's memories through the instructions: write times and
// polling values, flash bits that only clear, page writes, chip erase, lock
// and fuse bits of each instruction set, and the cell that never changes.
#include <gtest/gtest.h>

#include "tests/sim/line_rig.h"

namespace ostrel::testing {
namespace {

using sim::CableKind;
using sim::SimConfig;
using sim::SimFault;

// A rig whose chip is connected and enabled.
struct Enabled : LineRig {
    explicit Enabled(const char* chip, SimConfig c = {})
        : LineRig([&] {
              SimConfig cc = c;
              cc.cable = CableKind::Parallel;
              cc.chip = chip;
              // Instructions take no time: the write times below are exact.
              cc.timing = false;
              return cc;
          }()) {
        EXPECT_TRUE(Connect(p) || !target().chip().echoesEnable);
    }
    void Us(uint64_t us) { clock.Advance(us); }
};

// --- byte writes: times and polling --------------------------------------------

TEST(ByteWrite, FlashReadsPollingValuesForItsWriteTimeThenTheValue) {
    Enabled rig("AT90S2313");  // 9 ms, flash polls 7F 7F
    WriteFlash(rig.p, 10, 0x12);
    EXPECT_EQ(ReadFlash(rig.p, 10), 0x7F);
    EXPECT_TRUE(rig.target().Busy());
    // Other locations read normally meanwhile.
    EXPECT_EQ(ReadFlash(rig.p, 11), 0xFF);
    rig.Us(8999);
    EXPECT_EQ(ReadFlash(rig.p, 10), 0x7F);
    rig.Us(1);
    EXPECT_EQ(ReadFlash(rig.p, 10), 0x12);
    EXPECT_FALSE(rig.target().Busy());
}

TEST(ByteWrite, EepromReadsFirstPollingValueThenSecondThenTheValue) {
    Enabled rig("AT90S2313");  // 9 ms, EEPROM polls 80 then 7F
    WriteEeprom(rig.p, 0x55, 0x3C);
    EXPECT_EQ(ReadEeprom(rig.p, 0x55), 0x80);
    rig.Us(4499);
    EXPECT_EQ(ReadEeprom(rig.p, 0x55), 0x80);
    rig.Us(1);
    EXPECT_EQ(ReadEeprom(rig.p, 0x55), 0x7F);
    rig.Us(4499);
    EXPECT_EQ(ReadEeprom(rig.p, 0x55), 0x7F);
    rig.Us(1);
    EXPECT_EQ(ReadEeprom(rig.p, 0x55), 0x3C);
}

TEST(ByteWrite, WaitsOfTheProgramLetTheWriteTimePass) {
    Enabled rig("AT90S2323");  // 20 ms
    WriteEeprom(rig.p, 3, 0x99);
    adapter::WaitMs(rig.p, 10);
    EXPECT_EQ(ReadEeprom(rig.p, 3), 0xFF);  // second polling value of this chip
    adapter::WaitMs(rig.p, 11);
    EXPECT_EQ(ReadEeprom(rig.p, 3), 0x99);
}

TEST(ByteWrite, WritesToABusyMemoryAreIgnored) {
    Enabled rig("AT90S8515");
    WriteEeprom(rig.p, 1, 0x11);
    WriteEeprom(rig.p, 2, 0x22);  // while the first is being written
    WriteFlash(rig.p, 4, 0x44);   // the flash is not busy: taken
    WriteFlash(rig.p, 5, 0x55);   // now it is: ignored
    rig.Us(9000);
    EXPECT_EQ(ReadEeprom(rig.p, 1), 0x11);
    EXPECT_EQ(ReadEeprom(rig.p, 2), 0xFF);
    EXPECT_EQ(ReadFlash(rig.p, 4), 0x44);
    EXPECT_EQ(ReadFlash(rig.p, 5), 0xFF);
    WriteEeprom(rig.p, 2, 0x22);
    rig.Us(9000);
    EXPECT_EQ(ReadEeprom(rig.p, 2), 0x22);
}

TEST(ByteWrite, FlashOnlyClearsBitsWhileEepromReplacesTheByte) {
    Enabled rig("AT90S2313");
    WriteFlash(rig.p, 7, 0xF0);
    rig.Us(9000);
    WriteFlash(rig.p, 7, 0x3C);
    rig.Us(9000);
    EXPECT_EQ(ReadFlash(rig.p, 7), 0x30);
    WriteFlash(rig.p, 7, 0xFF);
    rig.Us(9000);
    EXPECT_EQ(ReadFlash(rig.p, 7), 0x30);

    WriteEeprom(rig.p, 7, 0xF0);
    rig.Us(9000);
    WriteEeprom(rig.p, 7, 0x0F);
    rig.Us(9000);
    EXPECT_EQ(ReadEeprom(rig.p, 7), 0x0F);
    WriteEeprom(rig.p, 7, 0xFF);
    rig.Us(9000);
    EXPECT_EQ(ReadEeprom(rig.p, 7), 0xFF);
}

TEST(ByteWrite, AddressesWrapAtTheMemorySize) {
    Enabled rig("AT90S2313");  // 1024 words, 128 EEPROM bytes
    WriteFlash(rig.p, 2 * (1024 + 3) + 1, 0x5A);
    WriteEeprom(rig.p, 128 + 9, 0xA5);
    rig.Us(9000);
    EXPECT_EQ(rig.target().Flash(2 * 3 + 1), 0x5A);
    EXPECT_EQ(rig.target().Eeprom(9), 0xA5);
}

// --- page mode --------------------------------------------------------------------

TEST(PageWrite, BurnsTheLoadedBufferIntoTheAddressedPageOnly) {
    Enabled rig("ATmega8");  // 32-word pages, 4.5 ms
    const uint32_t pageWords = 32;
    // Load by in-page address: the high address bits of the loads do not matter.
    for (uint32_t w = 0; w < pageWords; ++w) {
        const uint32_t loadWord = 0x0700 + w;  // another page's address
        Send(rig.p, 0x40, loadWord >> 8, loadWord & 0xFF, static_cast<uint8_t>(w));
        Send(rig.p, 0x48, loadWord >> 8, loadWord & 0xFF, static_cast<uint8_t>(0x80 | w));
    }
    // Loading alone changes no flash.
    EXPECT_EQ(rig.target().Flash(0x0700 * 2), 0xFF);
    // Page 3, addressed by any word inside it.
    Send(rig.p, 0x4C, 0x00, 3 * pageWords + 7, 0x00);
    EXPECT_EQ(rig.target().pageWrites(), std::vector<uint32_t>{3 * pageWords});
    // Busy: the page reads the polling values (FF, then 00 on this chip).
    EXPECT_EQ(ReadFlash(rig.p, 3 * 64 + 1), 0xFF);
    rig.Us(2250);
    EXPECT_EQ(ReadFlash(rig.p, 3 * 64 + 1), 0x00);
    rig.Us(2250);
    for (uint32_t i = 0; i < rig.target().chip().flashBytes; ++i) {
        const bool inPage = i >= 3 * 64 && i < 4 * 64;
        const uint32_t w = (i - 3 * 64) / 2;
        const uint8_t expected = !inPage   ? 0xFF
                                 : (i & 1) ? static_cast<uint8_t>(0x80 | w)
                                           : static_cast<uint8_t>(w);
        ASSERT_EQ(rig.target().Flash(i), expected) << "byte " << i;
    }
    EXPECT_EQ(ReadFlash(rig.p, 3 * 64 + 5), 0x82);
}

// Above 64K words the chip takes bit 16 from Load Extended Address and keeps
// it, across programming enable too; without it reads and page writes land
// in the half selected last. Chips of 64K words or less ignore it.
TEST(PageWrite, TheExtendedAddressByteSelectsTheHalfOfTheBigChips) {
    struct Case {
        const char* chip;
        int extBefore;      // sent before the page write; -1 none
        bool reenable;      // programming enable again before the read
        int extRead;        // sent before the read; -1 none
        uint32_t pageByte;  // where the page landed
        uint8_t read;       // what the read of word 0x0010 answers
    };
    const Case cases[] = {
        {"ATmega2560", 1, false, 1, 0x20000, 0x5A},
        {"ATmega2560", 1, false, -1, 0x20000, 0x5A},  // the byte stays selected
        {"ATmega2560", 1, true, -1, 0x20000, 0x5A},   // also across an enable
        {"ATmega2560", 1, false, 0, 0x20000, 0xFF},
        {"ATmega2560", -1, false, -1, 0x00000, 0x5A},  // never sent: the lower half
        {"ATmega2560", 0, false, 1, 0x00000, 0xFF},
        {"ATmega1284P", 1, false, 1, 0x00000, 0x5A},  // 64K words: no such byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.chip) + " ext " + std::to_string(c.extBefore) + "/" +
                     std::to_string(c.extRead));
        Enabled rig(c.chip);
        if (c.extBefore >= 0)
            Send(rig.p, 0x4D, 0x00, static_cast<uint8_t>(c.extBefore), 0x00);
        Send(rig.p, 0x40, 0x00, 0x10, 0x5A);  // word 0x0010 of a page, low byte
        Send(rig.p, 0x4C, 0x00, 0x00, 0x00);  // the page of word 0 (of the half selected)
        rig.Us(10000);
        EXPECT_EQ(rig.target().pageWrites(), std::vector<uint32_t>{c.pageByte / 2});
        EXPECT_EQ(rig.target().Flash(c.pageByte + 0x20), 0x5A);
        EXPECT_EQ(rig.target().Flash((c.pageByte ^ 0x20000) + 0x20), 0xFF) << "the other half";
        if (c.reenable) {
            EXPECT_TRUE(Enable(rig.p));
        }
        if (c.extRead >= 0)
            Send(rig.p, 0x4D, 0x00, static_cast<uint8_t>(c.extRead), 0x00);
        EXPECT_EQ(Send(rig.p, 0x20, 0x00, 0x10, 0x00) & 0xFF, c.read);
    }
}

TEST(PageWrite, BufferStartsEmptyAgainAndFlashOnlyClears) {
    Enabled rig("ATtiny2313");  // 16-word pages
    Send(rig.p, 0x40, 0x00, 0x02, 0x0F);
    Send(rig.p, 0x4C, 0x00, 0x10, 0x00);  // page 1
    rig.Us(4500);
    Send(rig.p, 0x40, 0x00, 0x03, 0x00);
    Send(rig.p, 0x4C, 0x00, 0x20, 0x00);  // page 2: only the new load
    rig.Us(4500);
    EXPECT_EQ(rig.target().Flash(0x10 * 2 + 4), 0x0F);
    EXPECT_EQ(rig.target().Flash(0x20 * 2 + 4), 0xFF);
    EXPECT_EQ(rig.target().Flash(0x20 * 2 + 6), 0x00);
    // Burning page 1 again with F0 clears more bits, it cannot set any.
    Send(rig.p, 0x40, 0x00, 0x02, 0xF0);
    Send(rig.p, 0x4C, 0x00, 0x10, 0x00);
    rig.Us(4500);
    EXPECT_EQ(rig.target().Flash(0x10 * 2 + 4), 0x00);
    EXPECT_EQ(rig.target().pageWrites(), (std::vector<uint32_t>{0x10, 0x20, 0x10}));
}

TEST(PageWrite, LoadsAndPageWritesWhileBusyAreIgnored) {
    Enabled rig("ATmega16");  // 64-word pages
    Send(rig.p, 0x40, 0x00, 0x00, 0x11);
    Send(rig.p, 0x4C, 0x00, 0x00, 0x00);
    Send(rig.p, 0x40, 0x00, 0x01, 0x22);  // load during the page write: lost
    Send(rig.p, 0x4C, 0x00, 0x40, 0x00);  // page write during the page write: lost
    // The programmer polls with RDY/BSY on the newer chips.
    EXPECT_EQ(Send(rig.p, 0xF0, 0x00, 0x00, 0x00) & 0xFF, 0x01u);
    rig.Us(4500);
    EXPECT_EQ(Send(rig.p, 0xF0, 0x00, 0x00, 0x00) & 0xFF, 0x00u);
    EXPECT_EQ(rig.target().pageWrites(), std::vector<uint32_t>{0});
    Send(rig.p, 0x4C, 0x00, 0x40, 0x00);
    rig.Us(4500);
    EXPECT_EQ(rig.target().Flash(0), 0x11);
    EXPECT_EQ(rig.target().Flash(0x40 * 2 + 2), 0xFF);
}

TEST(PageWrite, ByteModeChipsIgnoreThePageInstruction) {
    Enabled rig("AT90S8515");
    WriteFlash(rig.p, 0, 0x00);
    rig.Us(9000);
    Send(rig.p, 0x4C, 0x00, 0x00, 0x00);
    EXPECT_TRUE(rig.target().pageWrites().empty());
    EXPECT_EQ(ReadFlash(rig.p, 0), 0x00);
}

// --- chip erase ---------------------------------------------------------------------

TEST(ChipErase, SetsEverythingToFfClearsLockAndIsBusyForTheEraseTime) {
    Enabled rig("ATmega48");  // 45 ms erase, flash polls 00
    rig.target().SetFlash(100, 0x12);
    rig.target().SetEeprom(200, 0x34);
    Send(rig.p, 0xAC, 0xE0, 0x00, 0xFC);  // lock mode 3
    EXPECT_EQ(rig.target().Lock(), 0xFC);
    Send(rig.p, 0xAC, 0x80, 0x00, 0x00);
    EXPECT_EQ(rig.target().chipErases(), 1);
    EXPECT_EQ(ReadFlash(rig.p, 100), 0x00);  // flash polling value
    WriteEeprom(rig.p, 200, 0x56);           // ignored while erasing
    Send(rig.p, 0xAC, 0xA0, 0x00, 0x00);     // fuse write ignored too
    rig.Us(45000);
    EXPECT_EQ(ReadFlash(rig.p, 100), 0xFF);
    EXPECT_EQ(ReadEeprom(rig.p, 200), 0xFF);
    EXPECT_EQ(rig.target().Lock(), 0xFF);
    EXPECT_EQ(rig.target().Fuse(0), 0x62);
    for (uint8_t b : rig.target().memory().flash)
        ASSERT_EQ(b, 0xFF);
    for (uint8_t b : rig.target().memory().eeprom)
        ASSERT_EQ(b, 0xFF);
}

TEST(ChipErase, ByteModeChipCanBeRewrittenAfterErase) {
    Enabled rig("ATtiny12");
    WriteFlash(rig.p, 1, 0x0F);
    rig.Us(20000);
    Send(rig.p, 0xAC, 0x80, 0xAC, 0x80);  // as the programmer sends it
    rig.Us(20000);
    WriteFlash(rig.p, 1, 0xF0);
    rig.Us(20000);
    EXPECT_EQ(ReadFlash(rig.p, 1), 0xF0);
}

// --- lock bits ------------------------------------------------------------------------

TEST(LockBits, LockedClassicChipAnswers000102AndHidesItsMemories) {
    Enabled rig("AT90S2313");
    rig.target().SetFlash(0x42, 0x99);
    rig.target().SetEeprom(0x21, 0x77);
    Send(rig.p, 0xAC, 0xF9, 0xAC, 0xF9);  // LB1 and LB2
    EXPECT_EQ(rig.target().Lock() & 0x06, 0);
    EXPECT_EQ(ReadSignatureByte(rig.p, 0), 0x00);
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x01);
    EXPECT_EQ(ReadSignatureByte(rig.p, 2), 0x02);
    // Reads repeat the address byte instead of the data.
    EXPECT_EQ(ReadFlash(rig.p, 0x42), 0x21);
    EXPECT_EQ(ReadEeprom(rig.p, 0x21), 0x21);
    WriteEeprom(rig.p, 0x22, 0x00);
    rig.Us(9000);
    EXPECT_EQ(rig.target().Eeprom(0x22), 0xFF);
    // Only a chip erase opens it again.
    Send(rig.p, 0xAC, 0xFF, 0xAC, 0xFF);
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x01);
    Send(rig.p, 0xAC, 0x80, 0xAC, 0x80);
    rig.Us(20000);
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x91);
    EXPECT_EQ(ReadFlash(rig.p, 0x42), 0xFF);
}

TEST(LockBits, Lb1AloneStopsWritingButNotReading) {
    Enabled rig("AT90S8515");
    rig.target().SetEeprom(3, 0x33);
    Send(rig.p, 0xAC, 0xFD, 0xAC, 0xFD);  // LB1
    WriteEeprom(rig.p, 3, 0x44);
    WriteFlash(rig.p, 0, 0x00);
    rig.Us(9000);
    EXPECT_EQ(ReadEeprom(rig.p, 3), 0x33);
    EXPECT_EQ(ReadFlash(rig.p, 0), 0xFF);
    EXPECT_EQ(ReadSignatureByte(rig.p, 0), 0x1E);
}

TEST(LockBits, NewerChipKeepsItsSignatureWhenLocked) {
    Enabled rig("ATmega8");
    rig.target().SetFlash(6, 0x66);
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0xFFu);
    Send(rig.p, 0xAC, 0xE0, 0x00, 0xFC);
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0xFCu);
    EXPECT_EQ(ReadSignatureByte(rig.p, 1), 0x93);
    EXPECT_EQ(ReadFlash(rig.p, 6), 0x03);  // the address byte (word 3), not 0x66
    // Lock bits only get programmed further; fuses are frozen.
    Send(rig.p, 0xAC, 0xE0, 0x00, 0xFF);
    EXPECT_EQ(rig.target().Lock(), 0xFC);
    Send(rig.p, 0xAC, 0xA0, 0x00, 0x00);
    EXPECT_EQ(rig.target().Fuse(0), 0xE1);
}

TEST(LockBits, NewerChipsDecodeWriteLockBitsAs111xxxxx) {
    // Second byte E0, F9 or FF: the chip looks only at its top three bits and
    // takes the lock bits from the fourth byte.
    for (uint8_t second : {0xE0, 0xF9, 0xFF}) {
        for (const char* chip : {"ATmega8", "ATtiny2313", "ATmega163"}) {
            SCOPED_TRACE(chip);
            Enabled rig(chip);
            Send(rig.p, 0xAC, second, 0xAC, 0xF9);
            EXPECT_EQ(rig.target().Lock() & 0x03, 0x01) << "LB2 programmed, LB1 not";
        }
    }
    Enabled rig("ATmega8");
    Send(rig.p, 0xAC, 0xC0, 0x00, 0xFC);  // 110x xxxx is no Write Lock Bits
    EXPECT_EQ(rig.target().Lock(), 0xFF);
}

// Write Lock Bits as each family's data sheet decodes it: the lock byte the
// chip keeps afterwards, whether it then refuses writes (EEPROM, and on the
// newer chips the fuses) and reads, and whether its signature still answers.
// A chip erase opens every one of them again.
struct LockCase {
    const char* chip;
    std::array<uint8_t, 4> instruction;
    uint8_t lock;
    bool writeRefused;
    bool readRefused;
    bool signatureHidden;
};

const LockCase kLockCases[] = {
    // Classic: AC 1111 1[LB2][LB1]x, the bits in byte 2.
    {"AT90S2313", {0xAC, 0xF9, 0xAC, 0xF9}, 0xF9, true, true, true},
    {"AT90S2313", {0xAC, 0xFD, 0x00, 0x00}, 0xFD, true, false, false},
    {"AT90S2313", {0xAC, 0xFB, 0x00, 0x00}, 0xFB, false, false, false},  // LB2 alone: no mode
    {"AT90S2313", {0xAC, 0xE0, 0x00, 0xFC}, 0xFF, false, false, false},  // not a classic
                                                                         // instruction
    {"AT90S8535", {0xAC, 0xF9, 0xAC, 0xF9}, 0xF9, true, true, true},
    {"ATtiny12", {0xAC, 0xF9, 0x00, 0x00}, 0xF9, true, true, true},
    // Newer: AC 111x xxxx xxxx xxxx 11ii iiii, LB1 in bit 0 and LB2 in bit 1.
    {"ATmega8", {0xAC, 0xF9, 0xAC, 0xF9}, 0xF9, false, false, false},  // LB2 and BLB01 only
    {"ATmega8", {0xAC, 0xE0, 0x00, 0xFC}, 0xFC, true, true, false},
    {"ATmega8", {0xAC, 0xE0, 0x00, 0xFE}, 0xFE, true, false, false},
    {"ATmega8", {0xAC, 0xC0, 0x00, 0xFC}, 0xFF, false, false, false},  // 110x xxxx: not it
    {"ATmega48", {0xAC, 0xFF, 0x00, 0xFC}, 0xFC, true, true, false},
    {"ATmega161", {0xAC, 0xE0, 0x00, 0xFC}, 0xFC, true, true, false},
    {"ATmega163", {0xAC, 0xE0, 0x00, 0xFC}, 0xFC, true, true, false},
    {"ATtiny26", {0xAC, 0xE0, 0x00, 0xFC}, 0xFC, true, true, false},
    {"ATtiny13", {0xAC, 0xE0, 0x00, 0xF0}, 0xFC, true, true, false},  // absent bits stay 1
};

TEST(LockBits, EachFamilyDecodesWriteLockBitsAndGuardsItsMemoriesByItsMode) {
    for (const LockCase& c : kLockCases) {
        const auto& i = c.instruction;
        SCOPED_TRACE(::testing::Message() << c.chip << " " << std::hex << int{i[0]} << " "
                                          << int{i[1]} << " " << int{i[2]} << " " << int{i[3]});
        Enabled rig(c.chip);
        const sim::ChipInfo& chip = rig.target().chip();
        rig.target().SetEeprom(0, 0x5A);
        Send(rig.p, i[0], i[1], i[2], i[3]);
        EXPECT_EQ(rig.target().Lock(), c.lock);

        WriteEeprom(rig.p, 1, 0x00);
        rig.Us(chip.eepromWriteUs);
        EXPECT_EQ(rig.target().Eeprom(1), c.writeRefused ? 0xFF : 0x00) << "EEPROM write";
        if (chip.isa == sim::InstructionSet::Modern) {
            const uint8_t fuse = rig.target().Fuse(0);
            Send(rig.p, 0xAC, 0xA0, 0x00, static_cast<uint8_t>(fuse ^ 0x01));
            EXPECT_EQ(rig.target().Fuse(0) == fuse, c.writeRefused) << "fuse write";
        }
        EXPECT_EQ(ReadEeprom(rig.p, 0) == 0x5A, !c.readRefused) << "EEPROM read";
        EXPECT_EQ(ReadSignatureByte(rig.p, 1), c.signatureHidden ? 0x01 : chip.signature[1]);

        Send(rig.p, 0xAC, 0x80, 0x00, 0x00);
        rig.Us(chip.chipEraseUs);
        EXPECT_EQ(rig.target().Lock(), 0xFF) << "after chip erase";
        EXPECT_EQ(ReadSignatureByte(rig.p, 1), chip.signature[1]);
        WriteEeprom(rig.p, 1, 0x00);
        rig.Us(chip.eepromWriteUs);
        EXPECT_EQ(ReadEeprom(rig.p, 1), 0x00) << "write after chip erase";
    }
}

TEST(LockBits, TinyAndAt90s4433ReadLockBitsInBits2And1) {
    Enabled rig("ATtiny12");
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x00, 0x00) & 0xFF, 0xFFu);
    Send(rig.p, 0xAC, 0xFB, 0x00, 0x00);  // LB2 only
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x00, 0x00) & 0xFF, 0xFBu);
    Send(rig.p, 0xAC, 0xFD, 0x00, 0x00);  // and LB1
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x00, 0x00) & 0xFF, 0xF9u);
}

TEST(LockBits, ClassicChipsWithoutTheReadInstructionAnswerNothing) {
    Enabled rig("AT90S2313");
    EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00), 0u);
}

// --- RCEN and fuses ----------------------------------------------------------------------

TEST(Fuses, RcenChipReadsAndWritesItsRcenBit) {
    for (const char* name : {"AT90S2343", "ATtiny22"}) {
        SCOPED_TRACE(name);
        Enabled rig(name);
        // "12Sx xxxR": lock bits unprogrammed, SPIEN and RCEN programmed as shipped.
        EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0xDEu);
        Send(rig.p, 0xAC, 0xBF, 0xAC, 0xBF);  // RCEN off
        EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0xDFu);
        Send(rig.p, 0xAC, 0xBE, 0xAC, 0xBE);  // RCEN on
        EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0xDEu);
        Send(rig.p, 0xAC, 0xBF, 0xAC, 0xBF);  // RCEN off
        EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0xDFu);
        Send(rig.p, 0xAC, 0xFD, 0xAC, 0xFD);  // LB1 shows in bit 7
        EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0x5Fu);
        Send(rig.p, 0xAC, 0xF9, 0xAC, 0xF9);  // and LB2 in bit 6
        EXPECT_EQ(Send(rig.p, 0x58, 0x00, 0x58, 0x00) & 0xFF, 0x1Fu);
    }
}

TEST(Fuses, NewerChipsReadAndWriteTheirFuseBytes) {
    Enabled mega8("ATmega8");
    EXPECT_EQ(Send(mega8.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0xE1u);
    EXPECT_EQ(Send(mega8.p, 0x58, 0x08, 0x00, 0x00) & 0xFF, 0xD9u);
    Send(mega8.p, 0xAC, 0xA0, 0x00, 0xE4);
    Send(mega8.p, 0xAC, 0xA8, 0x00, 0xC9);
    Send(mega8.p, 0xAC, 0xA4, 0x00, 0x00);  // no extended fuse on this chip
    EXPECT_EQ(Send(mega8.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0xE4u);
    EXPECT_EQ(Send(mega8.p, 0x58, 0x08, 0x00, 0x00) & 0xFF, 0xC9u);
    EXPECT_EQ(mega8.target().Fuse(2), 0xFF);

    Enabled mega168("ATmega168");
    EXPECT_EQ(Send(mega168.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0x62u);
    EXPECT_EQ(Send(mega168.p, 0x58, 0x08, 0x00, 0x00) & 0xFF, 0xDFu);
    EXPECT_EQ(Send(mega168.p, 0x50, 0x08, 0x00, 0x00) & 0xFF, 0xF9u);
    Send(mega168.p, 0xAC, 0xA4, 0x00, 0x00);  // only the three low bits exist
    EXPECT_EQ(Send(mega168.p, 0x50, 0x08, 0x00, 0x00) & 0xFF, 0xF8u);

    Enabled tiny2313("ATtiny2313");
    EXPECT_EQ(Send(tiny2313.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0x64u);
    EXPECT_EQ(Send(tiny2313.p, 0x58, 0x08, 0x00, 0x00) & 0xFF, 0xDFu);
    EXPECT_EQ(Send(tiny2313.p, 0x50, 0x08, 0x00, 0x00) & 0xFF, 0xFFu);
}

TEST(Fuses, TinyFuseByteKeepsSpienAndAt90s4433TakesItsBitsFromByte2) {
    Enabled tiny12("ATtiny12");
    EXPECT_EQ(Send(tiny12.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0x52u);  // as shipped
    Send(tiny12.p, 0xAC, 0xA0, 0x00, 0xD2);
    EXPECT_EQ(Send(tiny12.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0xD2u);
    Send(tiny12.p, 0xAC, 0xA0, 0x00, 0xFF);  // SPIEN cannot be unprogrammed serially
    EXPECT_EQ(Send(tiny12.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0xDFu);

    Enabled s4433("AT90S4433");
    Send(s4433.p, 0xAC, 0xB5, 0x00, 0x00);  // 101 1 0101: BODLEVEL 1, BODEN 0, CKSEL 101
    EXPECT_EQ(Send(s4433.p, 0x50, 0x00, 0x00, 0x00) & 0xFF, 0xD5u);
}

// --- the cell that never takes a value -----------------------------------------------------

TEST(StuckByte, KeepsItsValueThroughWritesAndErase) {
    SimConfig c;
    c.fault = SimFault::StuckByte;
    c.stuckMemory = sim::Memory::Eeprom;
    c.stuckAddress = 0x40;
    Enabled rig("AT90S2313", c);
    rig.target().SetEeprom(0x40, 0x12);
    WriteEeprom(rig.p, 0x40, 0xFF);
    EXPECT_EQ(ReadEeprom(rig.p, 0x40), 0x80);  // the chip still goes through a write
    rig.Us(9000);
    EXPECT_EQ(ReadEeprom(rig.p, 0x40), 0x12);
    WriteEeprom(rig.p, 0x41, 0x34);
    rig.Us(9000);
    EXPECT_EQ(ReadEeprom(rig.p, 0x41), 0x34);
    Send(rig.p, 0xAC, 0x80, 0xAC, 0x80);
    rig.Us(20000);
    EXPECT_EQ(ReadEeprom(rig.p, 0x40), 0x12);
    EXPECT_EQ(ReadEeprom(rig.p, 0x41), 0xFF);
}

TEST(StuckByte, FlashCellInAPage) {
    SimConfig c;
    c.fault = SimFault::StuckByte;
    c.stuckMemory = sim::Memory::Flash;
    c.stuckAddress = 2 * 5 + 1;  // high byte of word 5
    Enabled rig("ATmega8", c);
    Send(rig.p, 0x40, 0x00, 0x05, 0x00);
    Send(rig.p, 0x48, 0x00, 0x05, 0x00);
    Send(rig.p, 0x4C, 0x00, 0x00, 0x00);
    rig.Us(4500);
    EXPECT_EQ(ReadFlash(rig.p, 10), 0x00);
    EXPECT_EQ(ReadFlash(rig.p, 11), 0xFF);
}

// Fuses act after the next reset as silicon's do: the chip reads back what
// was written at once, and from the next reset it answers or not, and runs on
// the clock the fuses select. SPIEN cannot be changed over this interface.
struct FuseEffectCase {
    const char* chip;
    uint8_t writeOp;  // AC A0 low, AC A8 high
    uint8_t value;
    uint8_t readBack;
    sim::Board board;
    bool answers;  // after the next reset
    uint32_t clockHz;
};

constexpr sim::Board kCrystal{};
constexpr sim::Board kBare{.crystal = false, .external = false};
constexpr sim::Board kClockSignal{.crystal = false, .external = true};

const FuseEffectCase kFuseEffectCases[] = {
    {"ATmega328P", 0xA8, 0x59, 0x59, kCrystal, false, 1000000},      // RSTDISBL
    {"ATmega328P", 0xA8, 0x99, 0x99, kCrystal, false, 1000000},      // DWEN
    {"ATmega328P", 0xA8, 0xF9, 0xD9, kCrystal, true, 1000000},       // SPIEN stays
    {"ATmega328P", 0xA8, 0xDE, 0xDE, kCrystal, true, 1000000},       // boot fields: nothing
    {"ATmega328P", 0xA0, 0xE2, 0xE2, kCrystal, true, 8000000},       // CKDIV8 off
    {"ATmega328P", 0xA0, 0x63, 0x63, kCrystal, true, 16000},         // 128 kHz / 8
    {"ATmega328P", 0xA0, 0xFF, 0xFF, kCrystal, true, 16000000},      // the board's crystal
    {"ATmega328P", 0xA0, 0xFF, 0xFF, kBare, false, 1000000},         // ... that is not there
    {"ATmega328P", 0xA0, 0x60, 0x60, kCrystal, false, 1000000},      // external clock missing
    {"ATmega328P", 0xA0, 0xE0, 0xE0, kClockSignal, true, 16000000},  // ... given
    {"ATmega328P", 0xA0, 0x61, 0x61, kCrystal, false, 1000000},      // reserved
    {"ATtiny13", 0xA0, 0x7A, 0x7A, kCrystal, true, 9600000},         // CKDIV8 bit 4
    {"ATtiny13", 0xA0, 0xEA, 0x6A, kCrystal, true, 1200000},         // SPIEN bit 7 stays
    {"ATtiny13", 0xA0, 0x7B, 0x7B, kCrystal, true, 128000},          // 128 kHz
    {"ATtiny13", 0xA8, 0xFE, 0xFE, kCrystal, false, 1200000},        // RSTDISBL bit 0
    {"ATtiny13", 0xA8, 0xF7, 0xF7, kCrystal, false, 1200000},        // DWEN bit 3
    {"ATtiny2313", 0xA8, 0xDE, 0xDE, kCrystal, false, 1000000},      // RSTDISBL bit 0
    {"ATtiny2313", 0xA8, 0x5F, 0x5F, kCrystal, false, 1000000},      // DWEN bit 7
    {"ATtiny85", 0xA0, 0xE1, 0xE1, kCrystal, true, 16000000},        // PLL
    {"ATmega16U2", 0xA8, 0x99, 0x99, kCrystal, false, 2000000},      // RSTDISBL bit 6
    {"ATmega16U2", 0xA8, 0x59, 0x59, kCrystal, false, 2000000},      // DWEN bit 7
    {"ATmega16U2", 0xA0, 0xDE, 0xDE, kCrystal, true, 16000000},      // CKDIV8 off
    {"ATmega8", 0xA8, 0x59, 0x59, kCrystal, false, 1000000},         // RSTDISBL
    {"ATmega8", 0xA0, 0xE4, 0xE4, kCrystal, true, 8000000},          // 8 MHz RC
    {"ATtiny26", 0xA8, 0xE7, 0xE7, kCrystal, false, 1000000},        // RSTDISBL bit 4
    {"ATtiny26", 0xA8, 0xFF, 0xF7, kCrystal, true, 1000000},         // SPIEN bit 3 stays
    {"ATtiny841", 0xA0, 0x64, 0x64, kCrystal, true, 4000},           // 32 kHz / 8
    {"ATtiny1634", 0xA8, 0x5F, 0x5F, kCrystal, false, 1000000},      // DWEN
    {"ATmega16", 0xA8, 0x19, 0x19, kCrystal, true, 1000000},         // bit 7 is OCDEN here
    {"ATmega644P/PA", 0xA8, 0x19, 0x19, kCrystal, true, 1000000},    // ... and here
    // The older forms: the AT90S4433/2333 take the bits from byte 2 and keep SPIEN.
    {"AT90S4433", 0xB8, 0x00, 0xD8, kCrystal, false, 4000000},     // external clock missing
    {"AT90S4433", 0xB8, 0x00, 0xD8, kClockSignal, true, 4000000},  // ... given
    {"AT90S4433", 0xBD, 0x00, 0xDD, kCrystal, true, 4000000},      // another crystal delay
    {"AT90S4433", 0xBA, 0x00, 0xDA, kBare, false, 4000000},        // no crystal on the board
    {"AT90S2333", 0xB9, 0x00, 0xD9, kCrystal, false, 4000000},     // external clock missing
    // One fuse bit in AC BE/BF, read back with 58 00 beside SPIEN and the lock bits.
    {"AT90S2343", 0xBF, 0x00, 0xDF, kCrystal, false, 1000000},      // RCEN off: external clock
    {"AT90S2343", 0xBF, 0x00, 0xDF, kClockSignal, true, 16000000},  // ... given
    {"ATtiny22", 0xBE, 0x00, 0xDE, kCrystal, true, 1000000},        // RCEN stays on
    {"AT90S8535", 0xBE, 0x00, 0xDE, kCrystal, true, 4000000},       // FSTRT: start-up only
    {"AT90S4434", 0xBF, 0x00, 0xDF, kCrystal, true, 4000000},
    {"AT90S2323", 0xBE, 0x00, 0xDE, kBare, false, 4000000},  // no crystal on the board
};

TEST(FuseEffects, TakeEffectAtTheNextResetAsTheLayoutOfTheChipSays) {
    for (const FuseEffectCase& c : kFuseEffectCases) {
        SCOPED_TRACE(::testing::Message()
                     << c.chip << " AC " << std::hex << int{c.writeOp} << " " << int{c.value});
        Enabled rig(c.chip);
        rig.target().SetBoard(c.board);
        const uint32_t before = rig.target().clockHz();
        const bool reachableBefore = rig.target().Reachable();
        Send(rig.p, 0xAC, c.writeOp, 0x00, c.value);
        // High byte 58 08; the one-bit chips 58 00; every low byte 50 00.
        const bool oneBit = rig.target().chip().isa == sim::InstructionSet::ClassicFuseBit;
        const uint8_t readOp1 = c.writeOp == 0xA8 || oneBit ? 0x58 : 0x50;
        const uint8_t readOp2 = c.writeOp == 0xA8 ? 0x08 : 0x00;
        EXPECT_EQ(Send(rig.p, readOp1, readOp2, 0x00, 0x00) & 0xFF, c.readBack);
        EXPECT_EQ(rig.target().clockHz(), before) << "nothing changes before the reset";
        if (oneBit) {
            // Their fuse bit waits for the power to go off and on again.
            EXPECT_EQ(Connect(rig.p), reachableBefore);
            EXPECT_EQ(rig.target().clockHz(), before);
            rig.target().PowerUp();
        }
        EXPECT_EQ(Connect(rig.p), c.answers);
        EXPECT_EQ(rig.target().Reachable(), c.answers);
        EXPECT_EQ(rig.target().clockHz(), c.clockHz);
    }
}

}  // namespace
}  // namespace ostrel::testing
