// The fuse and lock bytes of each chip, by name: which bytes a chip has, the
// instructions that read and write them, the bits in use, the factory values,
// and every bit or field with its meaning in a user's words. Chips differ in
// layout (SPIEN is bit 5 of the high byte on most chips and bit 7 of the low
// byte on the ATtiny13), so nothing here assumes one: every chip names its
// own fields. The guard judges a write before it reaches the chip.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::devices {

enum class FuseByte : uint8_t { kLow = 0, kHigh = 1, kExtended = 2, kLock = 3 };
inline constexpr int kFuseByteCount = 4;

// "low", "high", "extended", "lock".
std::string_view FuseByteName(FuseByte byte);

// What the guard must know about a field, beyond its bits.
enum class FieldRole : uint8_t {
    kPlain,
    kSpien,     // programmed: serial programming enabled
    kRstdisbl,  // programmed: RESET is a port pin
    kDwen,      // programmed: RESET is the debugWIRE line
    kClock,     // the clock source (CKSEL)
    kCkdiv8,    // programmed: the clock is divided by 8
    kBodLevel,  // the brown-out level, its values name a voltage
    kBoden,     // programmed: the brown-out detector is on (BODLEVEL one bit)
    kM103c,     // programmed: ATmega103 compatibility
    kBootSize,  // BOOTSZ: size and start of the boot section
    kLockBits,  // LB: memory lock
};

// What a clock source value asks of the board.
enum class ClockNeed : uint8_t {
    kNone,      // an internal oscillator
    kExternal,  // an external clock signal on XTAL1/CLKI
    kCrystal,   // a crystal, resonator or RC network on the pins
    kReserved,  // a value the chip does not define
};

// One value (or a run of values) of a multi-bit field, in the field's own
// bits counted from 0.
struct FieldValue {
    uint8_t first;
    uint8_t last;
    std::string_view words;
    ClockNeed need;   // clock sources only
    uint32_t kHz;     // an internal oscillator's frequency; 0 for none
    uint32_t milliV;  // a brown-out level; 0 for "disabled"
};

struct FuseField {
    std::string_view name;
    FuseByte byte;
    uint8_t mask;  // the field's bits in its byte
    FieldRole role;
    std::string_view meaning;            // what the bit or field does
    std::span<const FieldValue> values;  // empty for one-bit fields
};

// Where a write instruction carries the value.
enum class WriteForm : uint8_t {
    kByte4,  // the fourth byte, every bit of it
    // The low bits of the second byte, under the byte's write mask, in the
    // same places as the read answer has them (AT90S4433 AC A0..BF, the
    // one-bit AC BE/BF of the AT90S2343 and its kin, Write Lock Bits
    // AC F9..FF of the ATtiny12/15 and AT90S4433). Bits outside the mask
    // cannot be written over the serial interface.
    kByte2Bits,
};

// The two instruction bytes that read a byte (the answer is the fourth
// byte) and that write it (the value is the fourth byte, or in the bits of
// byte2Mask of the second byte).
struct FuseInstructions {
    std::array<std::array<uint8_t, 2>, kFuseByteCount> read;
    std::array<std::array<uint8_t, 2>, kFuseByteCount> write;
    std::array<WriteForm, kFuseByteCount> form{};
    std::array<uint8_t, kFuseByteCount> byte2Mask{};
};

// Low 50 00 / AC A0, high 58 08 / AC A8, extended 50 08 / AC A4, lock
// 58 00 / AC E0: every ATmega and newer ATtiny.
extern const FuseInstructions kNewerFuseInstructions;

struct FuseChip {
    std::string_view name;
    std::string_view signature;  // six upper-case hex digits
    // The avr-libc io header with this chip's fuse bit names; empty when
    // avr-libc has none.
    std::string_view libcHeader;
    const FuseInstructions* instructions;
    // Bits in use per byte; 0 for a byte the chip does not have. Unused bits
    // read back as 1, so only these are compared.
    std::array<uint8_t, kFuseByteCount> used;
    // Factory values as the data sheet gives them (unused bits as 1).
    std::array<uint8_t, kFuseByteCount> factory;
    // Where avr-libc's *_DEFAULT gives another factory value than the data
    // sheet: that value; -1 where they agree.
    std::array<int16_t, kFuseByteCount> libcFactory;
    // Field names of the table that avr-libc does not name, names otherwise
    // ("SELFPRGEN=SPMEN") or puts at another bit than the data sheet's serial
    // instructions ("FSTRT@2": avr-libc's bit 2), one blank between them.
    std::string_view libcDiffers;
    std::span<const FuseField> fields;
    uint32_t flashWords;     // for the boot section's start address
    uint32_t bootUnitWords;  // the smallest boot section (BOOTSZ = 11)
};

// Every chip with a table.
std::span<const FuseChip> FuseChips();

// The chip whose signature the first six characters of signatureHex name
// (letter case ignored); null for a chip without a table.
const FuseChip* FindFuseChip(std::string_view signatureHex);

bool HasByte(const FuseChip& chip, FuseByte byte);

// The bits of a byte a serial write can change: the bits in use, less the
// ones the write form has no place for (SPIEN on the AT90S chips and the
// ATtiny22).
uint8_t WritableBits(const FuseChip& chip, FuseByte byte);

// The four instruction bytes that write value into byte of chip.
std::array<uint8_t, 4> FuseWriteInstruction(const FuseChip& chip, FuseByte byte, uint8_t value);

// The value of a field in its own bits (counted from 0).
uint8_t FieldBits(const FuseField& field, uint8_t byteValue);
// byteValue with the field set to bits.
uint8_t WithFieldBits(const FuseField& field, uint8_t byteValue, uint8_t bits);

// One field of a byte, decoded.
struct DecodedField {
    std::string_view name;
    uint8_t bits;       // the field's value in its own bits
    bool singleBit;     // a one-bit field: 0 is programmed
    std::string words;  // "programmed: ...", or the value's meaning
};

// Every field of one byte of chip, with its meaning, for value.
std::vector<DecodedField> DecodeFuseByte(const FuseChip& chip, FuseByte byte, uint8_t value);

// One line per byte for printing: "low      0x62  CKDIV8=0 (programmed: ...) ...".
std::string DescribeFuseByte(const FuseChip& chip, FuseByte byte, uint8_t value);

// Applies one edit, "low=0xFF" (a whole byte, 0x.. or two hex digits) or
// "CKDIV8=1" / "CKSEL=0x2" (a field by name, letter case ignored), to bytes
// and marks the bytes it changed in touched. Returns an empty string, or
// what is wrong with the edit in a user's words (also an edit that would
// change a bit the serial interface cannot write).
std::string ApplyFuseEdit(const FuseChip& chip, std::string_view edit,
                          std::array<uint8_t, kFuseByteCount>& bytes,
                          std::array<bool, kFuseByteCount>& touched);

// Sets every fuse byte the chip has (not the lock byte, which only a chip
// erase clears) to its factory value and marks it in touched; a bit the
// serial interface cannot write keeps its value in bytes.
void ApplyFactoryFuses(const FuseChip& chip, std::array<uint8_t, kFuseByteCount>& bytes,
                       std::array<bool, kFuseByteCount>& touched);

// The guard's verdict on writing one byte.
enum class GuardVerdict : uint8_t {
    kOk,         // nothing to fear
    kAsk,        // the user must answer yes (the console's --yes)
    kRefuse,     // refused unless the user insists (--allow-lockout)
    kUnchecked,  // a chip without a table: written as asked, not checked
};

struct GuardResult {
    GuardVerdict verdict;
    std::string words;  // the consequences, one sentence each
    // The clock the chip runs on after a write that slows it down (CKDIV8
    // programmed, a slow oscillator), where the fuses tell it; 0 otherwise.
    // The words name the clock, not the speed: that depends on the port.
    uint32_t slowClockHz = 0;
};

// Judges writing newValue over oldValue into one byte of chip (null: a chip
// without a table). Only a change into a state is judged: writing back what
// the chip already holds is fine.
GuardResult JudgeFuseWrite(const FuseChip* chip, FuseByte byte, uint8_t oldValue, uint8_t newValue);

// The byte a raw instruction writes, when its first two bytes are one of the
// chip's write instructions (kNewerFuseInstructions when chip is null, and
// then any AC A0..BF, the older forms, as a low byte).
bool FuseByteOfWrite(const FuseChip* chip, uint8_t b1, uint8_t b2, FuseByte* byte);

// The value a write instruction of byte (one FuseByteOfWrite named) leaves
// in the chip that held oldValue: the fourth byte, or for the second-byte
// forms the written bits of b2 and the old value's other bits.
uint8_t FuseValueOfWrite(const FuseChip& chip, FuseByte byte, uint8_t oldValue, uint8_t b2,
                         uint8_t b4);

// The clock a chip runs on, as its low fuse byte selects it: an internal
// oscillator's frequency exactly, the lowest frequency of a crystal's range
// (CKSEL tells the range, not the crystal), divided by 8 where CKDIV8 is
// programmed. 0 where nothing tells it (an external clock signal, an RC
// network of unknown parts, a reserved value).
struct ChipClock {
    uint32_t hz;  // 0: not known
    bool exact;   // an internal oscillator: hz is the clock, not its floor
};
ChipClock ClockOfLowFuse(const FuseChip& chip, uint8_t lowFuse);
// "8 MHz", "3 MHz or more", "16 kHz": the clock in a user's words.
std::string ClockWords(const ChipClock& clock);
// The slowest clock any chip of the tables leaves the factory with.
uint32_t SlowestFactoryClockHz();

}  // namespace ostrel::devices
