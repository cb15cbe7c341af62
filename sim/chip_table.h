// The chips the simulated target can be: what their serial programming
// interface answers and how long their write operations take, from the data
// sheets' serial programming sections.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace ostrel::sim {

// The serial programming instruction set a chip understands beyond the common
// core (enable, chip erase, flash, EEPROM and signature read and write).
enum class InstructionSet : uint8_t {
    // AT90S1200, AT90S2313, AT90S4414, AT90S8515: lock bits can be written
    // (AC F9..FF, LB1 in bit 1 and LB2 in bit 2 of byte 2) but not read.
    Classic,
    // AT90S2323, AT90S2343, AT90S4434, AT90S8535, ATtiny22: one fuse bit
    // (FSTRT or RCEN) written with AC BE / AC BF; 58 reads "12Sx xxxF":
    // LB1 in bit 7, LB2 in bit 6, SPIEN in bit 5, the fuse bit in bit 0 (the
    // fuse byte holds SPIEN and the fuse bit in those places).
    ClassicFuseBit,
    // ATtiny12, ATtiny15, AT90S4433, AT90S2333: 58 reads the lock bits in
    // bits 2 and 1, 50 reads the fuse byte, AC A0..BF writes it.
    TinyFuseByte,
    // ATmega and the newer ATtiny chips: page-mode flash, lock byte written
    // with AC 111x xxxx xxxx xxxx 11ii iiii (ATmega161/163 and ATtiny26
    // included), fuse bytes read with 50 00, 58 08, 50 08 and written with
    // AC A0, AC A8, AC A4.
    Modern,
};

// Where a chip keeps one fuse bit: the byte (0 low, 1 high, 2 extended) and
// the bit's mask in it; a mask of 0 for a chip without that bit.
struct FuseBitPlace {
    uint8_t byte = 0;
    uint8_t mask = 0;
};

// What a clock source value asks of the board.
enum class ClockKind : uint8_t { Internal, External, Crystal, Reserved };
struct ClockChoice {
    ClockKind kind;
    uint32_t hz;  // the internal oscillator's frequency
};

// The fuse bits that decide whether a chip answers its serial programming
// interface and how fast it runs, where the chip's data sheet puts them.
struct FuseLayout {
    FuseBitPlace spien;                   // programmed: serial programming enabled
    FuseBitPlace rstdisbl;                // programmed: RESET is a port pin
    FuseBitPlace dwen;                    // programmed: RESET is the debugWIRE line
    FuseBitPlace ckdiv8;                  // programmed: the clock is divided by 8
    uint8_t ckselMask;                    // CKSEL, from bit 0 of the low byte
    std::array<ClockChoice, 16> sources;  // by CKSEL value
};

struct ChipInfo {
    std::string_view name;
    std::array<uint8_t, 3> signature;
    uint32_t flashBytes;
    uint32_t pageBytes;  // 0: flash is written byte by byte
    uint32_t eepromBytes;
    uint32_t flashWriteUs;   // one flash byte, or one page in page mode
    uint32_t eepromWriteUs;  // one EEPROM byte
    uint32_t chipEraseUs;
    // What a location reads while it is being written: the first value until
    // the write's erase half is over, then the second.
    std::array<uint8_t, 2> flashPoll;
    std::array<uint8_t, 2> eepromPoll;

    InstructionSet isa;
    // The AT90S1200 never echoes the 0x53 of Programming Enable.
    bool echoesEnable;
    // Modern: number of fuse bytes (1 low, 2 low and high, 3 with extended).
    // TinyFuseByte and ClassicFuseBit: 1.
    uint8_t fuseCount;
    // Factory values of the fuse bytes (low, high, extended).
    std::array<uint8_t, 3> fuseDefaults;
    // Fuse bits that exist and can be written over the serial interface;
    // the other bits always read 1 (TinyFuseByte and ClassicFuseBit: SPIEN
    // keeps its value).
    std::array<uint8_t, 3> fuseWriteMasks;
    // Modern: lock bits that exist (LB1 in bit 0, LB2 in bit 1, boot lock
    // bits above); the others read 1.
    uint8_t lockMask;
    // Modern: byte 2 of the Write Lock Bits instruction as the data sheet
    // writes it (0xE0). TinyFuseByte: nonzero when the fuse bits travel in
    // byte 2 (AT90S4433) instead of byte 4.
    uint8_t variant;

    // The clock the chip runs on as it leaves the factory: its internal RC
    // oscillator where it has one (with the divide-by-8 fuse where that is
    // programmed), else a typical crystal of 4 MHz.
    uint32_t clockHz = 4000000;
    // Shortest SCK low and high phases, in chip clock cycles, that the
    // serial interface sees: a phase must last MORE than this many cycles.
    // 0: the usual "more than 2 cycles below 12 MHz, at least 3 from 12 MHz".
    uint8_t sckLowCycles = 0;
    uint8_t sckHighCycles = 0;
    // Where the fuses that lock serial programming out and choose the clock
    // are; null for a chip whose fuses the simulator does not act on.
    const FuseLayout* fuseLayout = nullptr;

    uint32_t FlashWords() const { return flashBytes / 2; }
    uint32_t PageWords() const { return pageBytes / 2; }
    bool Paged() const { return pageBytes != 0; }
    // RCEN chips as the instructions dialog names them: xx 91 03 and xx 91 06.
    bool HasRcen() const {
        return signature[1] == 0x91 && (signature[2] == 0x03 || signature[2] == 0x06);
    }
};

// How a family writes and guards its lock bits, from the serial programming
// instruction tables and lock bit tables of the data sheets.
struct LockRules {
    // AC with (byte 2 & writeMask) == writeMatch is Write Lock Bits: classic
    // chips 1111 1xxx, the newer ones 111x xxxx.
    uint8_t writeMask;
    uint8_t writeMatch;
    // The lock bits travel in byte 4 (newer chips) instead of byte 2; a 0
    // programs a bit, and only a chip erase unprograms it.
    bool dataInByte4;
    // LB1 and LB2 in the lock byte as the chip keeps it (ChipInfo::lockMask
    // holds every lock bit that exists).
    uint8_t lb1;
    uint8_t lb2;
    // In lock mode 3 a signature read answers the third instruction byte
    // (00 01 02) instead of the signature.
    bool hidesSignature;
    // Lock modes 2 and 3 also refuse fuse writes.
    bool locksFuses;
};

// What a board gives the chip besides its own oscillators.
struct Board {
    bool crystal = true;    // a crystal or resonator on XTAL1/XTAL2
    bool external = false;  // an external clock signal on XTAL1/CLKI
};

// What a chip does with fuse bytes after a reset.
struct FuseEffects {
    bool serialProgramming = true;  // SPIEN programmed, RSTDISBL and DWEN not
    bool clockRuns = true;          // the clock source exists on the board
    uint32_t clockHz = 0;           // the chip's clock when it runs
};

// The frequency of the board's crystal (or external clock): the one that
// gives the chip its factory clock where the factory fuses select a crystal,
// else 16 MHz.
uint32_t BoardClockHz(const ChipInfo& chip);

// The effects of fuses on chip on board; a chip without a layout always
// answers at its factory clock.
FuseEffects EffectsOf(const ChipInfo& chip, const std::array<uint8_t, 3>& fuses,
                      const Board& board);

// The lock rules of the chip's family.
const LockRules& LockRulesOf(const ChipInfo& chip);

// Every chip of the table, in a fixed order.
std::span<const ChipInfo> AllChips();

// The chip of that name (letters compared without regard to case), or null.
const ChipInfo* FindChip(std::string_view name);

// The chip the simulator is when nothing else is asked for.
inline constexpr std::string_view kDefaultChipName = "ATmega8";

}  // namespace ostrel::sim
