// Chips that some commands treat apart, named by their signatures: the chips
// with the classic Write Lock Bits instruction, those with an RCEN fuse bit,
// and how each family locks and shows that it is locked. The serial
// programming instructions dialog offers its lock-bit and RCEN buttons from
// the first two lists; the lock command works from the lock families.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel::devices {

// Signatures of the chips whose lock bits are written with AC F9..FF AC F9..FF.
inline constexpr std::array<std::string_view, 11> kLockBitChips = {
    "1E9001", "1E9101", "1E9102", "1E9105", "1E9203", "1E9201",
    "1E9301", "1E9202", "1E9303", "1E9005", "1E9006",
};

// True when the first six characters of signatureHex name one of kLockBitChips
// (letter case included).
bool LockBitsListed(std::string_view signatureHex);

// The chips with an RCEN bit (the AT90S2343 and ATtiny22 family): signature
// bytes 1 and 2 are 91 03 or 91 06.
bool IsRcenChip(int32_t partFamily, int32_t partNumber);

// How a family of chips is put into lock mode 3 (LB1 and LB2 programmed) and
// how the programmer sees afterwards that it is, from the serial programming
// instruction tables of the data sheets.
struct LockFamily {
    std::string_view name;
    // Write Lock Bits with LB1 and LB2 programmed and every other lock bit
    // left as it is.
    std::array<uint8_t, 4> lockMode3;
    // Read Lock Bits (58 00 00 00) answers LB1 and LB2 in these bits of its
    // fourth byte, 0 when programmed. 0: the chip has no Read Lock Bits; in
    // lock mode 3 it answers its signature as 00 01 02 instead.
    uint8_t readBits;
    // The bit of readBits that is LB1. LB1 programmed alone is lock mode 2
    // (no more programming); with LB2 it is lock mode 3 (no reading either).
    uint8_t readLb1;
};

// AT90S1200, AT90S2313, AT90S4414, AT90S8515: AC 1111 1[LB2][LB1]1, no read.
inline constexpr LockFamily kClassicLock{"classic", {0xAC, 0xF9, 0xAC, 0xF9}, 0x00, 0x00};
// AT90S2323, AT90S2343, AT90S4434, AT90S8535, ATtiny22: the classic write;
// 58 reads "12Sx xxxF", LB1 in bit 7 and LB2 in bit 6.
inline constexpr LockFamily kClassicFuseBitLock{
    "classic with fuse bit", {0xAC, 0xF9, 0xAC, 0xF9}, 0xC0, 0x80};
// AT90S2333, AT90S4433, ATtiny12, ATtiny15, ATmega103/603: the classic write;
// 58 reads "xxxx x21x", LB2 in bit 2 and LB1 in bit 1.
inline constexpr LockFamily kClassicFuseByteLock{
    "classic with fuse byte", {0xAC, 0xF9, 0xAC, 0xF9}, 0x06, 0x02};
// ATmega and the newer ATtiny chips (ATmega161/163 and ATtiny26 included):
// AC 111x xxxx xxxx xxxx 11ii iiii with the lock byte in byte 4, LB1 in
// bit 0 and LB2 in bit 1; 58 00 reads the lock byte. FC leaves the boot
// lock bits as they are.
inline constexpr LockFamily kNewerLock{"newer", {0xAC, 0xE0, 0x00, 0xFC}, 0x03, 0x01};

// The lock family of the chip whose signature the first six characters of
// signatureHex name (letter case ignored). A signature the list does not
// name is taken as a newer chip: every chip since the ATmega161 locks that
// way, the classic ones ignore that instruction, and the lock command reads
// the lock bits back, so a wrong guess ends in a failure, never in a false OK.
const LockFamily& LockFamilyOf(std::string_view signatureHex);
// The lock family of a signature the list names; null for any other.
const LockFamily* FindLockFamily(std::string_view signatureHex);

// The data sheets' longest write times of one chip, in microseconds: one
// EEPROM byte, one flash byte or one flash page (as the chip writes its
// flash), and a chip erase.
struct WriteTimes {
    uint32_t eepromUs;
    uint32_t flashUs;
    uint32_t chipEraseUs;
};

// The write times of the chip whose signature the first six characters of
// signatureHex name (letter case ignored); false for a signature the list
// does not name, whose times the caller must take as the longest of all.
bool WriteTimesOf(std::string_view signatureHex, WriteTimes* times);

// For the signature of a chip this programming interface cannot program (TPI,
// UPDI or high-voltage programming only), a sentence that names the chip and
// the interface it needs; empty for every other signature.
std::string UnreachableChipAdvice(std::string_view signatureHex);

}  // namespace ostrel::devices
