// The fuse tables. Bit positions and names agree with avr-libc's io headers
// (tests/devices/fuse_tables_test checks every chip against them); factory
// values and meanings are the data sheets'. Where avr-libc gives another
// factory value or name, the chip's row says so.
#include "devices/fuse_tables.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace ostrel::devices {

constexpr WriteForm kB4 = WriteForm::kByte4;
constexpr WriteForm kB2 = WriteForm::kByte2Bits;

const FuseInstructions kNewerFuseInstructions{
    {{{0x50, 0x00}, {0x58, 0x08}, {0x50, 0x08}, {0x58, 0x00}}},
    {{{0xAC, 0xA0}, {0xAC, 0xA8}, {0xAC, 0xA4}, {0xAC, 0xE0}}},
    {kB4, kB4, kB4, kB4},
    {0, 0, 0, 0},
};

namespace {

// ATtiny12 and ATtiny15: the fuse byte as on the newer chips (50 00, AC A0
// with the value in byte 4); the lock bits read with 58 00 in bits 2 and 1
// and written with AC F9..FF, LB2 and LB1 in bits 2 and 1 of byte 2.
const FuseInstructions kTiny12Instructions{
    {{{0x50, 0x00}, {0x58, 0x08}, {0x50, 0x08}, {0x58, 0x00}}},
    {{{0xAC, 0xA0}, {0xAC, 0xA8}, {0xAC, 0xA4}, {0xAC, 0xF9}}},
    {kB4, kB4, kB4, kB2},
    {0, 0, 0, 0x06},
};
// AT90S4433 and AT90S2333: the fuse bits read with 50 00 ("xx87 6543":
// SPIEN, BODLEVEL, BODEN, CKSEL2..0 in bits 5..0) and written in bits 4..0
// of AC A0..BF (SPIEN has no place there); the lock bits as the ATtiny12's.
const FuseInstructions kAt90s4433Instructions{
    {{{0x50, 0x00}, {0x00, 0x00}, {0x00, 0x00}, {0x58, 0x00}}},
    {{{0xAC, 0xA0}, {0x00, 0x00}, {0x00, 0x00}, {0xAC, 0xF9}}},
    {kB2, kB4, kB4, kB2},
    {0x1F, 0, 0, 0x06},
};
// AT90S2323, AT90S2343, AT90S4434, AT90S8535 and ATtiny22: 58 00 answers
// "12Sx xxxF", the lock bits LB1 and LB2 in bits 7 and 6, SPIEN in bit 5 and
// the one fuse bit (FSTRT or RCEN) in bit 0; AC BE/BF writes that bit. The
// lock bits are written in other places than they read (AC F9..FF, LB2 and
// LB1 in bits 2 and 1): they are no byte of the table, the lock command and
// the instructions dialog write them.
const FuseInstructions kOneFuseBitInstructions{
    {{{0x58, 0x00}, {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00}}},
    {{{0xAC, 0xBE}, {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00}}},
    {kB2, kB4, kB4, kB4},
    {0x01, 0, 0, 0},
};

}  // namespace

namespace {

using L = FuseByte;
constexpr ClockNeed kIn = ClockNeed::kNone;
constexpr ClockNeed kExt = ClockNeed::kExternal;
constexpr ClockNeed kXt = ClockNeed::kCrystal;
constexpr ClockNeed kRes = ClockNeed::kReserved;

// Clock sources (CKSEL3..0) of the ATmega48/88/168/328 and their kin
// (164/324/644/1284, 640/1280/1281/2560/2561).
constexpr FieldValue kClockMegaX8[] = {
    {0x0, 0x0, "external clock on XTAL1", kExt, 0, 0},
    {0x1, 0x1, "reserved", kRes, 0, 0},
    {0x2, 0x2, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0x3, 0x3, "internal 128 kHz oscillator", kIn, 128, 0},
    {0x4, 0x5, "low-frequency crystal (32.768 kHz)", kXt, 0, 0},
    {0x6, 0x7, "full-swing crystal", kXt, 0, 0},
    {0x8, 0xF, "low-power crystal or resonator", kXt, 0, 0},
};
// The USB chips (8U2/16U2/32U2, 32U4, AT90USB162/1286).
constexpr FieldValue kClockUsb[] = {
    {0x0, 0x0, "external clock on XTAL1", kExt, 0, 0},        {0x1, 0x1, "reserved", kRes, 0, 0},
    {0x2, 0x2, "internal 8 MHz RC oscillator", kIn, 8000, 0}, {0x3, 0x7, "reserved", kRes, 0, 0},
    {0x8, 0xF, "low-power crystal or resonator", kXt, 0, 0},
};
// ATtiny25/45/85 and ATtiny261/461/861.
constexpr FieldValue kClockTinyX5[] = {
    {0x0, 0x0, "external clock on CLKI", kExt, 0, 0},
    {0x1, 0x1, "PLL clock, 16 MHz", kIn, 16000, 0},
    {0x2, 0x2, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0x3, 0x3, "ATtiny15 compatible 6.4 MHz clock", kIn, 6400, 0},
    {0x4, 0x4, "internal 128 kHz oscillator", kIn, 128, 0},
    {0x5, 0x5, "reserved", kRes, 0, 0},
    {0x6, 0x6, "low-frequency crystal (32.768 kHz)", kXt, 0, 0},
    {0x7, 0x7, "reserved", kRes, 0, 0},
    {0x8, 0xF, "crystal or resonator", kXt, 0, 0},
};
// ATtiny24/44/84 and ATtiny167.
constexpr FieldValue kClockTinyX4[] = {
    {0x0, 0x0, "external clock on CLKI", kExt, 0, 0},
    {0x1, 0x1, "reserved", kRes, 0, 0},
    {0x2, 0x2, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0x3, 0x3, "reserved", kRes, 0, 0},
    {0x4, 0x4, "internal 128 kHz oscillator", kIn, 128, 0},
    {0x5, 0x5, "reserved", kRes, 0, 0},
    {0x6, 0x6, "low-frequency crystal (32.768 kHz)", kXt, 0, 0},
    {0x7, 0x7, "reserved", kRes, 0, 0},
    {0x8, 0xF, "crystal or resonator", kXt, 0, 0},
};
// ATtiny88: CKSEL1..0 choose, CKSEL3..2 are kept at 11.
constexpr FieldValue kClockTiny88[] = {
    {0x0, 0x0, "external clock on CLKI", kExt, 0, 0},
    {0x1, 0x1, "reserved", kRes, 0, 0},
    {0x2, 0x2, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0x3, 0x3, "internal 128 kHz oscillator", kIn, 128, 0},
    {0x4, 0xB, "reserved", kRes, 0, 0},
    {0xC, 0xC, "external clock on CLKI", kExt, 0, 0},
    {0xD, 0xD, "reserved", kRes, 0, 0},
    {0xE, 0xE, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0xF, 0xF, "internal 128 kHz oscillator", kIn, 128, 0},
};
// ATtiny2313/4313.
constexpr FieldValue kClockTiny2313[] = {
    {0x0, 0x0, "external clock on CLKI", kExt, 0, 0},
    {0x1, 0x1, "reserved", kRes, 0, 0},
    {0x2, 0x3, "internal 4 MHz RC oscillator", kIn, 4000, 0},
    {0x4, 0x5, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0x6, 0x7, "internal 128 kHz oscillator", kIn, 128, 0},
    {0x8, 0xF, "crystal or resonator", kXt, 0, 0},
};
// ATtiny13 (CKSEL1..0).
constexpr FieldValue kClockTiny13[] = {
    {0x0, 0x0, "external clock on CLKI", kExt, 0, 0},
    {0x1, 0x1, "internal 4.8 MHz RC oscillator", kIn, 4800, 0},
    {0x2, 0x2, "internal 9.6 MHz RC oscillator", kIn, 9600, 0},
    {0x3, 0x3, "internal 128 kHz oscillator", kIn, 128, 0},
};
// ATtiny441/841 and ATtiny1634.
constexpr FieldValue kClockTiny841[] = {
    {0x0, 0x0, "external clock on CLKI", kExt, 0, 0},
    {0x1, 0x1, "reserved", kRes, 0, 0},
    {0x2, 0x2, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0x3, 0x3, "reserved", kRes, 0, 0},
    {0x4, 0x4, "internal 32 kHz ultra-low-power oscillator", kIn, 32, 0},
    {0x5, 0x7, "reserved", kRes, 0, 0},
    {0x8, 0xF, "crystal or resonator", kXt, 0, 0},
};
// ATmega8/16/32/64/128/8515/8535 (with CKOPT for the crystals).
constexpr FieldValue kClockMega8[] = {
    {0x0, 0x0, "external clock on XTAL1", kExt, 0, 0},
    {0x1, 0x1, "internal 1 MHz RC oscillator", kIn, 1000, 0},
    {0x2, 0x2, "internal 2 MHz RC oscillator", kIn, 2000, 0},
    {0x3, 0x3, "internal 4 MHz RC oscillator", kIn, 4000, 0},
    {0x4, 0x4, "internal 8 MHz RC oscillator", kIn, 8000, 0},
    {0x5, 0x8, "external RC network", kXt, 0, 0},
    {0x9, 0x9, "low-frequency crystal (32.768 kHz)", kXt, 0, 0},
    {0xA, 0xF, "crystal or resonator", kXt, 0, 0},
};

constexpr FieldValue kSut[] = {
    {0, 0, "shortest start-up delay", kIn, 0, 0},
    {1, 1, "short start-up delay", kIn, 0, 0},
    {2, 2, "slow rising power, longest start-up delay", kIn, 0, 0},
    {3, 3, "longest start-up delay or reserved", kIn, 0, 0},
};
constexpr FieldValue kBodLevel3[] = {
    {0, 3, "reserved", kIn, 0, 0},
    {4, 4, "brown-out reset at 4.3 V", kIn, 0, 4300},
    {5, 5, "brown-out reset at 2.7 V", kIn, 0, 2700},
    {6, 6, "brown-out reset at 1.8 V", kIn, 0, 1800},
    {7, 7, "brown-out detector off", kIn, 0, 0},
};
// The USB chips' eight levels.
constexpr FieldValue kBodLevelUsb[] = {
    {0, 0, "brown-out reset at 4.3 V", kIn, 0, 4300},
    {1, 1, "brown-out reset at 4.0 V", kIn, 0, 4000},
    {2, 2, "brown-out reset at 3.5 V", kIn, 0, 3500},
    {3, 3, "brown-out reset at 3.4 V", kIn, 0, 3400},
    {4, 4, "brown-out reset at 2.6 V", kIn, 0, 2600},
    {5, 5, "brown-out reset at 2.4 V", kIn, 0, 2400},
    {6, 6, "brown-out reset at 2.0 V", kIn, 0, 2000},
    {7, 7, "brown-out detector off", kIn, 0, 0},
};
constexpr FieldValue kBodLevel2[] = {
    {0, 0, "brown-out reset at 4.3 V", kIn, 0, 4300},
    {1, 1, "brown-out reset at 2.7 V", kIn, 0, 2700},
    {2, 2, "brown-out reset at 1.8 V", kIn, 0, 1800},
    {3, 3, "brown-out detector off", kIn, 0, 0},
};
// One-bit BODLEVEL of the older ATmegas (acts only with BODEN programmed).
constexpr FieldValue kBodLevel1[] = {
    {0, 0, "brown-out level 4.0 V (when BODEN is programmed)", kIn, 0, 4000},
    {1, 1, "brown-out level 2.7 V (when BODEN is programmed)", kIn, 0, 2700},
};
// BOOTSZ: the size is worked out from the chip's smallest boot section.
constexpr FieldValue kBootSize[] = {
    {0, 0, "largest boot section (8 units)", kIn, 0, 0},
    {1, 1, "boot section of 4 units", kIn, 0, 0},
    {2, 2, "boot section of 2 units", kIn, 0, 0},
    {3, 3, "smallest boot section", kIn, 0, 0},
};
constexpr FieldValue kLockBits[] = {
    {0, 0, "lock mode 3: flash and EEPROM can neither be written nor read until a chip erase", kIn,
     0, 0},
    {1, 1, "reserved", kIn, 0, 0},
    {2, 2, "lock mode 2: flash, EEPROM and fuses can no longer be written until a chip erase", kIn,
     0, 0},
    {3, 3, "no memory lock", kIn, 0, 0},
};
constexpr FieldValue kBootLock[] = {
    {0, 0, "SPM and LPM locked out of this section", kIn, 0, 0},
    {1, 1, "LPM from the other section locked out", kIn, 0, 0},
    {2, 2, "SPM may not write this section", kIn, 0, 0},
    {3, 3, "no lock on this section", kIn, 0, 0},
};

constexpr std::string_view kSpienWords =
    "serial programming enabled (unprogrammed: this programmer can no longer reach the chip)";
constexpr std::string_view kRstWords =
    "RESET pin becomes a port pin (only high-voltage programming recovers)";
constexpr std::string_view kDwenWords = "debugWIRE on the RESET pin (serial programming stops)";

#define LOW_NEWER(clock)                                                         \
    {"CKDIV8", L::kLow, 0x80, FieldRole::kCkdiv8, "divide the clock by 8", {}},  \
        {"CKOUT", L::kLow, 0x40, FieldRole::kPlain, "clock output on CLKO", {}}, \
        {"SUT", L::kLow, 0x30, FieldRole::kPlain, "start-up time", kSut}, {      \
        "CKSEL", L::kLow, 0x0F, FieldRole::kClock, "clock source", clock         \
    }
#define LOW_OLDER                                                                     \
    {"BODLEVEL", L::kLow, 0x80, FieldRole::kBodLevel, "brown-out level", kBodLevel1}, \
        {"BODEN", L::kLow, 0x40, FieldRole::kBoden, "brown-out detector on", {}},     \
        {"SUT", L::kLow, 0x30, FieldRole::kPlain, "start-up time", kSut}, {           \
        "CKSEL", L::kLow, 0x0F, FieldRole::kClock, "clock source", kClockMega8        \
    }
#define BOOT(byte)                                                                            \
    {"EESAVE", byte, 0x08, FieldRole::kPlain, "EEPROM kept through chip erase", {}},          \
        {"BOOTSZ", byte, 0x06, FieldRole::kBootSize, "boot section size", kBootSize}, {       \
        "BOOTRST", byte, 0x01, FieldRole::kPlain, "start at the boot section after reset", {} \
    }
#define LOCK_BOOT                                                                             \
    {"BLB1", L::kLock, 0x30, FieldRole::kPlain, "boot section lock", kBootLock},              \
        {"BLB0", L::kLock, 0x0C, FieldRole::kPlain, "application section lock", kBootLock}, { \
        "LB", L::kLock, 0x03, FieldRole::kLockBits, "memory lock", kLockBits                  \
    }
#define LOCK_PLAIN \
    { "LB", L::kLock, 0x03, FieldRole::kLockBits, "memory lock", kLockBits }

// ATmega328P/328: boot fields in the high byte, BODLEVEL in the extended.
#define HIGH_MEGA328                                                   \
    {"RSTDISBL", L::kHigh, 0x80, FieldRole::kRstdisbl, kRstWords, {}}, \
        {"DWEN", L::kHigh, 0x40, FieldRole::kDwen, kDwenWords, {}},    \
        {"SPIEN", L::kHigh, 0x20, FieldRole::kSpien, kSpienWords, {}}, \
        {"WDTON", L::kHigh, 0x10, FieldRole::kPlain, "watchdog always on", {}}, BOOT(L::kHigh)
#define BODLEVEL_EXTENDED \
    { "BODLEVEL", L::kExtended, 0x07, FieldRole::kBodLevel, "brown-out level", kBodLevel3 }
constexpr FuseField kMega328[] = {LOW_NEWER(kClockMegaX8), HIGH_MEGA328, BODLEVEL_EXTENDED,
                                  LOCK_BOOT};
// ATmega328PB: the same, and clock failure detection in the extended byte
// (programmed: off, as it leaves the factory).
constexpr FuseField kMega328PB[] = {
    LOW_NEWER(kClockMegaX8),
    HIGH_MEGA328,
    {"CFD", L::kExtended, 0x08, FieldRole::kPlain, "clock failure detection off", {}},
    BODLEVEL_EXTENDED,
    LOCK_BOOT,
};
#define HIGH_TINY_STYLE                                                                        \
    {"RSTDISBL", L::kHigh, 0x80, FieldRole::kRstdisbl, kRstWords, {}},                         \
        {"DWEN", L::kHigh, 0x40, FieldRole::kDwen, kDwenWords, {}},                            \
        {"SPIEN", L::kHigh, 0x20, FieldRole::kSpien, kSpienWords, {}},                         \
        {"WDTON", L::kHigh, 0x10, FieldRole::kPlain, "watchdog always on", {}},                \
        {"EESAVE", L::kHigh, 0x08, FieldRole::kPlain, "EEPROM kept through chip erase", {}}, { \
        "BODLEVEL", L::kHigh, 0x07, FieldRole::kBodLevel, "brown-out level", kBodLevel3        \
    }
// ATmega88/168 and their P versions: boot fields in the extended byte.
constexpr FuseField kMega168[] = {
    LOW_NEWER(kClockMegaX8),
    HIGH_TINY_STYLE,
    {"BOOTSZ", L::kExtended, 0x06, FieldRole::kBootSize, "boot section size", kBootSize},
    {"BOOTRST", L::kExtended, 0x01, FieldRole::kPlain, "start at the boot section after reset", {}},
    LOCK_BOOT,
};
#define SELFPRGEN                                                                                  \
    {                                                                                              \
        "SELFPRGEN", L::kExtended, 0x01, FieldRole::kPlain, "the program may write its own flash", \
        {}                                                                                         \
    }
constexpr FuseField kMega48[] = {LOW_NEWER(kClockMegaX8), HIGH_TINY_STYLE, SELFPRGEN, LOCK_PLAIN};
constexpr FuseField kTinyX5[] = {LOW_NEWER(kClockTinyX5), HIGH_TINY_STYLE, SELFPRGEN, LOCK_PLAIN};
constexpr FuseField kTinyX4[] = {LOW_NEWER(kClockTinyX4), HIGH_TINY_STYLE, SELFPRGEN, LOCK_PLAIN};
constexpr FuseField kTiny88[] = {LOW_NEWER(kClockTiny88), HIGH_TINY_STYLE, SELFPRGEN, LOCK_PLAIN};
#define HIGH_JTAG                                                                                    \
    {"OCDEN", L::kHigh, 0x80, FieldRole::kPlain, "on-chip debugging on (JTAG)", {}},                 \
        {"JTAGEN", L::kHigh, 0x40, FieldRole::kPlain, "JTAG interface on (its port pins are taken)", \
         {}},                                                                                        \
    {                                                                                                \
        "SPIEN", L::kHigh, 0x20, FieldRole::kSpien, kSpienWords, {}                                  \
    }
// ATmega164/324/644/1284 and 640/1280/1281/2560/2561.
constexpr FuseField kMega644[] = {
    LOW_NEWER(kClockMegaX8),
    HIGH_JTAG,
    {"WDTON", L::kHigh, 0x10, FieldRole::kPlain, "watchdog always on", {}},
    BOOT(L::kHigh),
    {"BODLEVEL", L::kExtended, 0x07, FieldRole::kBodLevel, "brown-out level", kBodLevel3},
    LOCK_BOOT,
};
#define HWBE                                                                                      \
    {                                                                                             \
        "HWBE", L::kExtended, 0x08, FieldRole::kPlain, "HWB low at reset starts the boot loader", \
        {}                                                                                        \
    }
// ATmega32U4 and AT90USB1286.
constexpr FuseField kMega32U4[] = {
    LOW_NEWER(kClockUsb),
    HIGH_JTAG,
    {"WDTON", L::kHigh, 0x10, FieldRole::kPlain, "watchdog always on", {}},
    BOOT(L::kHigh),
    HWBE,
    {"BODLEVEL", L::kExtended, 0x07, FieldRole::kBodLevel, "brown-out level", kBodLevelUsb},
    LOCK_BOOT,
};
// ATmega8U2/16U2/32U2, AT90USB162: RSTDISBL is bit 6, DWEN bit 7.
constexpr FuseField kMega16U2[] = {
    LOW_NEWER(kClockUsb),
    {"DWEN", L::kHigh, 0x80, FieldRole::kDwen, kDwenWords, {}},
    {"RSTDISBL", L::kHigh, 0x40, FieldRole::kRstdisbl, kRstWords, {}},
    {"SPIEN", L::kHigh, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"WDTON", L::kHigh, 0x10, FieldRole::kPlain, "watchdog always on", {}},
    BOOT(L::kHigh),
    HWBE,
    {"BODLEVEL", L::kExtended, 0x07, FieldRole::kBodLevel, "brown-out level", kBodLevelUsb},
    LOCK_BOOT,
};
// ATtiny2313/4313: RSTDISBL is bit 0 of the high byte.
constexpr FuseField kTiny2313[] = {
    LOW_NEWER(kClockTiny2313),
    {"DWEN", L::kHigh, 0x80, FieldRole::kDwen, kDwenWords, {}},
    {"EESAVE", L::kHigh, 0x40, FieldRole::kPlain, "EEPROM kept through chip erase", {}},
    {"SPIEN", L::kHigh, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"WDTON", L::kHigh, 0x10, FieldRole::kPlain, "watchdog always on", {}},
    {"BODLEVEL", L::kHigh, 0x0E, FieldRole::kBodLevel, "brown-out level", kBodLevel3},
    {"RSTDISBL", L::kHigh, 0x01, FieldRole::kRstdisbl, kRstWords, {}},
    SELFPRGEN,
    LOCK_PLAIN,
};
// ATtiny13: SPIEN in the low byte, two fuse bytes.
constexpr FuseField kTiny13[] = {
    {"SPIEN", L::kLow, 0x80, FieldRole::kSpien, kSpienWords, {}},
    {"EESAVE", L::kLow, 0x40, FieldRole::kPlain, "EEPROM kept through chip erase", {}},
    {"WDTON", L::kLow, 0x20, FieldRole::kPlain, "watchdog always on", {}},
    {"CKDIV8", L::kLow, 0x10, FieldRole::kCkdiv8, "divide the clock by 8", {}},
    {"SUT", L::kLow, 0x0C, FieldRole::kPlain, "start-up time", kSut},
    {"CKSEL", L::kLow, 0x03, FieldRole::kClock, "clock source", kClockTiny13},
    {"SELFPRGEN", L::kHigh, 0x10, FieldRole::kPlain, "the program may write its own flash", {}},
    {"DWEN", L::kHigh, 0x08, FieldRole::kDwen, kDwenWords, {}},
    {"BODLEVEL", L::kHigh, 0x06, FieldRole::kBodLevel, "brown-out level", kBodLevel2},
    {"RSTDISBL", L::kHigh, 0x01, FieldRole::kRstdisbl, kRstWords, {}},
    LOCK_PLAIN,
};
// ATmega8: two fuse bytes, RSTDISBL and WDTON in the high byte.
constexpr FuseField kMega8[] = {
    LOW_OLDER,
    {"RSTDISBL", L::kHigh, 0x80, FieldRole::kRstdisbl, kRstWords, {}},
    {"WDTON", L::kHigh, 0x40, FieldRole::kPlain, "watchdog always on", {}},
    {"SPIEN", L::kHigh, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"CKOPT",
     L::kHigh,
     0x10,
     FieldRole::kPlain,
     "full-swing oscillator (crystals above 8 MHz)",
     {}},
    BOOT(L::kHigh),
    LOCK_BOOT,
};
#define HIGH_OLDER_JTAG                                         \
    HIGH_JTAG, {"CKOPT",                                        \
                L::kHigh,                                       \
                0x10,                                           \
                FieldRole::kPlain,                              \
                "full-swing oscillator (crystals above 8 MHz)", \
                {}},                                            \
        BOOT(L::kHigh)
constexpr FuseField kMega16[] = {LOW_OLDER, HIGH_OLDER_JTAG, LOCK_BOOT};
// ATmega64/128: the extended byte holds M103C and WDTON.
constexpr FuseField kMega128[] = {
    LOW_OLDER,
    HIGH_OLDER_JTAG,
    {"M103C",
     L::kExtended,
     0x02,
     FieldRole::kM103c,
     "ATmega103 compatibility mode (other memory map)",
     {}},
    {"WDTON", L::kExtended, 0x01, FieldRole::kPlain, "watchdog always on", {}},
    LOCK_BOOT,
};
#define HIGH_8515(compat)                                                                            \
    {compat, L::kHigh, 0x80, FieldRole::kPlain, "AT90S compatibility mode", {}},                     \
        {"WDTON", L::kHigh, 0x40, FieldRole::kPlain, "watchdog always on", {}},                      \
        {"SPIEN", L::kHigh, 0x20, FieldRole::kSpien, kSpienWords, {}},                               \
        {"CKOPT", L::kHigh, 0x10, FieldRole::kPlain, "full-swing oscillator (crystals above 8 MHz)", \
         {}},                                                                                        \
        BOOT(L::kHigh)
constexpr FuseField kMega8515[] = {LOW_OLDER, HIGH_8515("S8515C"), LOCK_BOOT};
constexpr FuseField kMega8535[] = {LOW_OLDER, HIGH_8515("S8535C"), LOCK_BOOT};

// ATtiny26: PLLCK and CKOPT above the start-up time; the high byte holds
// RSTDISBL and SPIEN in bits 4 and 3.
constexpr FuseField kTiny26[] = {
    {"PLLCK",
     L::kLow,
     0x80,
     FieldRole::kPlain,
     "the 16 MHz PLL clock drives the chip (with CKSEL=1)",
     {}},
    {"CKOPT", L::kLow, 0x40, FieldRole::kPlain, "full-swing oscillator (crystals above 8 MHz)", {}},
    {"SUT", L::kLow, 0x30, FieldRole::kPlain, "start-up time", kSut},
    {"CKSEL", L::kLow, 0x0F, FieldRole::kClock, "clock source", kClockMega8},
    {"RSTDISBL", L::kHigh, 0x10, FieldRole::kRstdisbl, kRstWords, {}},
    {"SPIEN", L::kHigh, 0x08, FieldRole::kSpien, kSpienWords, {}},
    {"EESAVE", L::kHigh, 0x04, FieldRole::kPlain, "EEPROM kept through chip erase", {}},
    {"BODLEVEL", L::kHigh, 0x02, FieldRole::kBodLevel, "brown-out level", kBodLevel1},
    {"BODEN", L::kHigh, 0x01, FieldRole::kBoden, "brown-out detector on", {}},
    LOCK_PLAIN,
};
// ATtiny841 and ATtiny1634: a 5-bit SUT_CKSEL (avr-libc's name) split here
// into the start-up bit and the clock source; bit 5 of the low byte is unused.
#define LOW_TINY841                                                              \
    {"CKDIV8", L::kLow, 0x80, FieldRole::kCkdiv8, "divide the clock by 8", {}},  \
        {"CKOUT", L::kLow, 0x40, FieldRole::kPlain, "clock output on CLKO", {}}, \
        {"SUT", L::kLow, 0x10, FieldRole::kPlain, "longer start-up time", {}}, { \
        "CKSEL", L::kLow, 0x0F, FieldRole::kClock, "clock source", kClockTiny841 \
    }
#define EXT_TINY841                                                                               \
    SELFPRGEN,                                                                                    \
        {"BODACT", L::kExtended, 0x06, FieldRole::kPlain, "brown-out detector while active", {}}, \
    {                                                                                             \
        "BODPD", L::kExtended, 0x18, FieldRole::kPlain, "brown-out detector while sleeping", {}   \
    }
constexpr FuseField kTiny841[] = {
    LOW_TINY841,
    HIGH_TINY_STYLE,
    EXT_TINY841,
    {"ULPOSCSEL",
     L::kExtended,
     0xE0,
     FieldRole::kPlain,
     "frequency of the ultra-low-power oscillator",
     {}},
    LOCK_PLAIN,
};
constexpr FuseField kTiny1634[] = {LOW_TINY841, HIGH_TINY_STYLE, EXT_TINY841, LOCK_PLAIN};

// The chips of the older instruction forms whose fuse bytes are read with
// 50 00 (58 08 for the ATmega163's high byte) and written with AC A0 (AC A8)
// and the value in the fourth byte. The ATtiny12 and ATtiny15 write their
// lock bits in the second byte (AC F9..FF).

// ATtiny12 and ATmega163 (CKSEL3..0); the internal oscillator is 1.2 MHz on
// the ATtiny12, 1 MHz on the ATmega163.
constexpr FieldValue kClockTiny12[] = {
    {0x0, 0x1, "external clock on XTAL1", kExt, 0, 0},
    {0x2, 0x4, "internal 1.2 MHz RC oscillator", kIn, 1200, 0},
    {0x5, 0x7, "external RC network", kXt, 0, 0},
    {0x8, 0x9, "low-frequency crystal (32.768 kHz)", kXt, 0, 0},
    {0xA, 0xF, "crystal or resonator", kXt, 0, 0},
};
constexpr FieldValue kClockMega163[] = {
    {0x0, 0x1, "external clock on XTAL1", kExt, 0, 0},
    {0x2, 0x4, "internal 1 MHz RC oscillator", kIn, 1000, 0},
    {0x5, 0x7, "external RC network", kXt, 0, 0},
    {0x8, 0x9, "low-frequency crystal (32.768 kHz)", kXt, 0, 0},
    {0xA, 0xF, "crystal or resonator", kXt, 0, 0},
};
// The ATtiny15 always runs on its 1.6 MHz oscillator: CKSEL chooses the
// start-up delay only.
constexpr FieldValue kStartTiny15[] = {
    {0x0, 0x0, "start-up delay of 64 ms (as shipped)", kIn, 0, 0},
    {0x1, 0x3, "a shorter start-up delay", kIn, 0, 0},
};
// The ATmega161 has no internal oscillator: CKSEL chooses among the
// crystal and external clock start-up options.
constexpr FieldValue kStartMega161[] = {
    {0x0, 0x7, "crystal or external clock, with the start-up delay of this value", kIn, 0, 0},
};
#define TINY12_HIGH_BITS                                                              \
    {"BODLEVEL", L::kLow, 0x80, FieldRole::kPlain, "the higher brown-out level", {}}, \
        {"BODEN", L::kLow, 0x40, FieldRole::kBoden, "brown-out detector on", {}},     \
        {"SPIEN", L::kLow, 0x20, FieldRole::kSpien, kSpienWords, {}}, {               \
        "RSTDISBL", L::kLow, 0x10, FieldRole::kRstdisbl, kRstWords, {}                \
    }
#define LOCK_CLASSIC \
    { "LB", L::kLock, 0x06, FieldRole::kLockBits, "memory lock", kLockBits }
constexpr FuseField kTiny12[] = {
    TINY12_HIGH_BITS,
    {"CKSEL", L::kLow, 0x0F, FieldRole::kClock, "clock source", kClockTiny12},
    LOCK_CLASSIC,
};
constexpr FuseField kTiny15[] = {
    TINY12_HIGH_BITS,
    {"CKSEL", L::kLow, 0x03, FieldRole::kPlain, "start-up delay", kStartTiny15},
    LOCK_CLASSIC,
};

// The AT90S chips with fuse bits, and the ATtiny22. SPIEN reads back but
// cannot be changed over the serial interface: only a parallel or
// high-voltage programmer writes it.
// AT90S4433/2333: no internal oscillator; CKSEL chooses between an external
// clock and the crystal oscillator with their start-up delays.
constexpr FieldValue kClock4433[] = {
    {0x0, 0x1, "external clock on XTAL1", kExt, 0, 0},
    {0x2, 0x7, "crystal or ceramic resonator (the value sets the start-up delay)", kXt, 0, 0},
};
constexpr FuseField kAt90s4433[] = {
    {"SPIEN", L::kLow, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"BODLEVEL", L::kLow, 0x10, FieldRole::kBodLevel, "brown-out level", kBodLevel1},
    {"BODEN", L::kLow, 0x08, FieldRole::kBoden, "brown-out detector on", {}},
    {"CKSEL", L::kLow, 0x07, FieldRole::kClock, "clock source", kClock4433},
    LOCK_CLASSIC,
};
// AT90S2343 and ATtiny22: RCEN chooses the internal RC oscillator or an
// external clock; there is no crystal oscillator.
constexpr FieldValue kRcen[] = {
    {0, 0, "internal 1 MHz RC oscillator", kIn, 1000, 0},
    {1, 1, "external clock on the CLOCK pin", kExt, 0, 0},
};
constexpr FuseField kAt90s2343[] = {
    {"SPIEN", L::kLow, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"RCEN", L::kLow, 0x01, FieldRole::kClock, "clock source", kRcen},
};
// AT90S2323, AT90S4434, AT90S8535: a crystal or external clock, FSTRT
// shortens the start-up delay.
constexpr FuseField kAt90sFstrt[] = {
    {"SPIEN", L::kLow, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"FSTRT",
     L::kLow,
     0x01,
     FieldRole::kPlain,
     "short start-up time (for a ceramic resonator or an external clock)",
     {}},
};
constexpr FuseField kMega161[] = {
    {"BOOTRST", L::kLow, 0x40, FieldRole::kPlain, "start at the boot section after reset", {}},
    {"SPIEN", L::kLow, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"SUT", L::kLow, 0x10, FieldRole::kPlain, "longer start-up time", {}},
    {"CKSEL", L::kLow, 0x07, FieldRole::kPlain, "clock start-up option", kStartMega161},
    LOCK_BOOT,
};
constexpr FuseField kMega163[] = {
    {"BODLEVEL", L::kLow, 0x80, FieldRole::kBodLevel, "brown-out level", kBodLevel1},
    {"BODEN", L::kLow, 0x40, FieldRole::kBoden, "brown-out detector on", {}},
    {"SPIEN", L::kLow, 0x20, FieldRole::kSpien, kSpienWords, {}},
    {"CKSEL", L::kLow, 0x0F, FieldRole::kClock, "clock source", kClockMega163},
    {"BOOTSZ", L::kHigh, 0x06, FieldRole::kBootSize, "boot section size", kBootSize},
    {"BOOTRST", L::kHigh, 0x01, FieldRole::kPlain, "start at the boot section after reset", {}},
    LOCK_BOOT,
};

constexpr const FuseInstructions* kN = &kNewerFuseInstructions;
constexpr const FuseInstructions* kT12 = &kTiny12Instructions;
constexpr const FuseInstructions* k4433 = &kAt90s4433Instructions;
constexpr const FuseInstructions* k1Bit = &kOneFuseBitInstructions;
constexpr std::array<int16_t, 4> kSame{-1, -1, -1, -1};
// Bits in use of the common layouts.
constexpr std::array<uint8_t, 4> kUse3Boot{0xFF, 0xFF, 0x07, 0x3F};
constexpr std::array<uint8_t, 4> kUse3Tiny{0xFF, 0xFF, 0x01, 0x03};
constexpr std::array<uint8_t, 4> kUseUsb{0xFF, 0xFF, 0x0F, 0x3F};
constexpr std::array<uint8_t, 4> kUse2Boot{0xFF, 0xFF, 0x00, 0x3F};
constexpr std::array<uint8_t, 4> kUse128{0xFF, 0xFF, 0x03, 0x3F};

// clang-format off
constexpr FuseChip kChips[] = {
    // name, signature, avr-libc header, instructions, used, factory, avr-libc factory, differs, fields, flash words, boot unit
    {"ATmega328P", "1E950F", "iom328p.h", kN, kUse3Boot, {0x62, 0xD9, 0xFF, 0xFF}, kSame, "", kMega328, 16384, 256},
    // No avr-libc header: the data sheet's tables (checked against the ATmega328P's).
    {"ATmega328PB", "1E9516", "", kN, {0xFF, 0xFF, 0x0F, 0x3F}, {0x62, 0xD9, 0xF7, 0xFF}, kSame, "", kMega328PB, 16384, 256},
    {"ATmega328", "1E9514", "iom328.h", kN, kUse3Boot, {0x62, 0xD9, 0xFF, 0xFF}, kSame, "", kMega328, 16384, 256},
    {"ATmega168", "1E9406", "iom168.h", kN, kUse3Boot, {0x62, 0xDF, 0xF9, 0xFF}, kSame, "", kMega168, 8192, 128},
    {"ATmega168P", "1E940B", "iom168p.h", kN, kUse3Boot, {0x62, 0xDF, 0xF9, 0xFF}, kSame, "", kMega168, 8192, 128},
    {"ATmega88", "1E930A", "iom88.h", kN, kUse3Boot, {0x62, 0xDF, 0xF9, 0xFF}, kSame, "", kMega168, 4096, 128},
    {"ATmega88P", "1E930F", "iom88p.h", kN, kUse3Boot, {0x62, 0xDF, 0xF9, 0xFF}, kSame, "", kMega168, 4096, 128},
    {"ATmega48", "1E9205", "iom48.h", kN, {0xFF, 0xFF, 0x01, 0x03}, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kMega48, 2048, 0},
    {"ATmega48P", "1E920A", "iom48p.h", kN, {0xFF, 0xFF, 0x01, 0x03}, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kMega48, 2048, 0},
    {"ATmega164P", "1E940A", "iom164p.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, {0x42, -1, -1, -1}, "", kMega644, 8192, 128},
    {"ATmega324PA", "1E9511", "iom324pa.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, {0x42, -1, -1, -1}, "", kMega644, 16384, 256},
    {"ATmega644P", "1E960A", "iom644p.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, {0x42, -1, -1, -1}, "", kMega644, 32768, 512},
    {"ATmega1284P", "1E9705", "iom1284p.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, {0x42, 0x9D, -1, -1}, "", kMega644, 65536, 512},
    {"ATmega640", "1E9608", "iom640.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, kSame, "", kMega644, 32768, 512},
    {"ATmega1280", "1E9703", "iom1280.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, kSame, "", kMega644, 65536, 512},
    {"ATmega1281", "1E9704", "iom1281.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, kSame, "", kMega644, 65536, 512},
    {"ATmega2560", "1E9801", "iom2560.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, kSame, "", kMega644, 131072, 512},
    {"ATmega2561", "1E9802", "iom2561.h", kN, kUse3Boot, {0x62, 0x99, 0xFF, 0xFF}, kSame, "", kMega644, 131072, 512},
    {"ATmega32U4", "1E9587", "iom32u4.h", kN, kUseUsb, {0x5E, 0x99, 0xF3, 0xFF}, {0x51, 0xDD, 0xFF, -1}, "", kMega32U4, 16384, 256},
    {"AT90USB1286", "1E9782", "iousb1286.h", kN, kUseUsb, {0x5E, 0x99, 0xF3, 0xFF}, {0x62, -1, -1, -1}, "", kMega32U4, 65536, 512},
    {"ATmega8U2", "1E9389", "iom8u2.h", kN, kUseUsb, {0x5E, 0xD9, 0xF4, 0xFF}, {0x41, -1, 0xFF, -1}, "", kMega16U2, 4096, 256},
    {"ATmega16U2", "1E9489", "iom16u2.h", kN, kUseUsb, {0x5E, 0xD9, 0xF4, 0xFF}, {0x41, -1, 0xFF, -1}, "", kMega16U2, 8192, 256},
    {"ATmega32U2", "1E958A", "iom32u2.h", kN, kUseUsb, {0x5E, 0xD9, 0xF4, 0xFF}, {0x41, -1, 0xFF, -1}, "", kMega16U2, 16384, 256},
    {"AT90USB162", "1E9482", "iousb162.h", kN, kUseUsb, {0x5E, 0xD9, 0xF4, 0xFF}, kSame, "RSTDISBL=RSTDSBL", kMega16U2, 8192, 256},
    {"ATtiny25", "1E9108", "iotn25.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX5, 1024, 0},
    {"ATtiny45", "1E9206", "iotn45.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX5, 2048, 0},
    {"ATtiny85", "1E930B", "iotn85.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX5, 4096, 0},
    {"ATtiny261", "1E910C", "iotn261.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX5, 1024, 0},
    {"ATtiny461", "1E9208", "iotn461.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX5, 2048, 0},
    {"ATtiny861", "1E930D", "iotn861.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX5, 4096, 0},
    {"ATtiny24", "1E910B", "iotn24.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX4, 1024, 0},
    {"ATtiny44", "1E9207", "iotn44.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX4, 2048, 0},
    {"ATtiny84", "1E930C", "iotn84.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX4, 4096, 0},
    {"ATtiny167", "1E9487", "iotn167.h", kN, kUse3Tiny, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "", kTinyX4, 8192, 0},
    {"ATtiny88", "1E9311", "iotn88.h", kN, kUse3Tiny, {0x6E, 0xDF, 0xFF, 0xFF}, {0x62, -1, -1, -1}, "", kTiny88, 4096, 0},
    {"ATtiny2313", "1E910A", "iotn2313.h", kN, kUse3Tiny, {0x64, 0xDF, 0xFF, 0xFF}, kSame, "", kTiny2313, 1024, 0},
    {"ATtiny4313", "1E920D", "iotn4313.h", kN, kUse3Tiny, {0x64, 0xDF, 0xFF, 0xFF}, {0x62, -1, -1, -1}, "", kTiny2313, 2048, 0},
    {"ATtiny841", "1E9315", "iotn841.h", kN, {0xDF, 0xFF, 0xFF, 0x03}, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "CKSEL=SUT_CKSEL SUT=SUT_CKSEL4", kTiny841, 4096, 0},
    {"ATtiny1634", "1E9412", "iotn1634.h", kN, {0xDF, 0xFF, 0x1F, 0x03}, {0x62, 0xDF, 0xFF, 0xFF}, kSame, "CKSEL=SUT_CKSEL SUT=SUT_CKSEL4", kTiny1634, 8192, 0},
    {"ATtiny26", "1E9109", "iotn26.h", kN, {0xFF, 0x1F, 0x00, 0x03}, {0xE1, 0xF7, 0xFF, 0xFF}, kSame, "", kTiny26, 1024, 0},
    {"ATtiny13", "1E9007", "iotn13.h", kN, {0xFF, 0x1F, 0x00, 0x03}, {0x6A, 0xFF, 0xFF, 0xFF}, kSame, "SELFPRGEN=SPMEN", kTiny13, 512, 0},
    {"ATmega8", "1E9307", "iom8.h", kN, kUse2Boot, {0xE1, 0xD9, 0xFF, 0xFF}, kSame, "", kMega8, 4096, 128},
    {"ATmega16", "1E9403", "iom16.h", kN, kUse2Boot, {0xE1, 0x99, 0xFF, 0xFF}, kSame, "", kMega16, 8192, 128},
    {"ATmega32", "1E9502", "iom32.h", kN, kUse2Boot, {0xE1, 0x99, 0xFF, 0xFF}, kSame, "", kMega16, 16384, 256},
    {"ATmega64", "1E9602", "iom64.h", kN, kUse128, {0xE1, 0x99, 0xFD, 0xFF}, kSame, "", kMega128, 32768, 512},
    {"ATmega128", "1E9702", "iom128.h", kN, kUse128, {0xE1, 0x99, 0xFD, 0xFF}, kSame, "", kMega128, 65536, 512},
    {"ATmega8515", "1E9306", "iom8515.h", kN, kUse2Boot, {0xE1, 0xD9, 0xFF, 0xFF}, kSame, "", kMega8515, 4096, 128},
    {"ATmega8535", "1E9308", "iom8535.h", kN, kUse2Boot, {0xE1, 0xD9, 0xFF, 0xFF}, {0xC1, -1, -1, -1}, "", kMega8535, 4096, 128},
    // The older forms. The ATtiny15's data sheet ships BODLEVEL programmed.
    {"ATtiny12", "1E9005", "iotn12.h", kT12, {0xFF, 0x00, 0x00, 0x06}, {0x52, 0xFF, 0xFF, 0xFF}, kSame, "", kTiny12, 512, 0},
    {"ATtiny15", "1E9006", "iotn15.h", kT12, {0xF3, 0x00, 0x00, 0x06}, {0x5C, 0xFF, 0xFF, 0xFF}, {0xDC, -1, -1, -1}, "", kTiny15, 512, 0},
    {"ATmega161", "1E9401", "iom161.h", kN, {0x77, 0x00, 0x00, 0x3F}, {0xDA, 0xFF, 0xFF, 0xFF}, kSame, "", kMega161, 8192, 0},
    {"ATmega163", "1E9402", "iom163.h", kN, {0xEF, 0x07, 0x00, 0x3F}, {0xD2, 0xFF, 0xFF, 0xFF}, kSame, "", kMega163, 8192, 128},
    // The AT90S chips and the ATtiny22. avr-libc gives 0xFF (every bit
    // unprogrammed, SPIEN too) as their default; the data sheets ship SPIEN
    // programmed, and the serial interface could not reach them otherwise.
    // AT90S4433/2333: the factory CKSEL is 010 (the crystal oscillator), the
    // value the data sheet's description of a chip shipped for a crystal
    // implies; no source at hand states it. BODEN and BODLEVEL unprogrammed.
    {"AT90S4433", "1E9203", "io4433.h", k4433, {0x3F, 0x00, 0x00, 0x06}, {0xDA, 0xFF, 0xFF, 0xFF}, {0xFF, -1, -1, -1}, "", kAt90s4433, 2048, 0},
    // No fuse bits in avr-libc's header: the AT90S4433's data sheet, which is this chip's too.
    {"AT90S2333", "1E9105", "", k4433, {0x3F, 0x00, 0x00, 0x06}, {0xDA, 0xFF, 0xFF, 0xFF}, kSame, "", kAt90s4433, 1024, 0},
    // RCEN programmed (the internal RC oscillator) as the ATtiny22's data sheet ships it; the
    // AT90S2343 taken the same, as its data sheet's 1 MHz internal clock implies.
    {"AT90S2343", "1E9103", "io2343.h", k1Bit, {0x21, 0x00, 0x00, 0x00}, {0xDE, 0xFF, 0xFF, 0xFF}, {0xFF, -1, -1, -1}, "", kAt90s2343, 1024, 0},
    {"ATtiny22", "1E9106", "iotn22.h", k1Bit, {0x21, 0x00, 0x00, 0x00}, {0xDE, 0xFF, 0xFF, 0xFF}, {0xDF, -1, -1, -1}, "RCEN=CKSEL", kAt90s2343, 1024, 0},
    // FSTRT unprogrammed. avr-libc puts SPIEN and FSTRT of the AT90S4434/8535 in bits 1 and
    // 2; the data sheets' serial instructions (and a chip read back, 0xDF) in bits 5 and 0.
    {"AT90S2323", "1E9102", "io2323.h", k1Bit, {0x21, 0x00, 0x00, 0x00}, {0xDF, 0xFF, 0xFF, 0xFF}, {0xFF, -1, -1, -1}, "", kAt90sFstrt, 1024, 0},
    {"AT90S4434", "1E9202", "io4434.h", k1Bit, {0x21, 0x00, 0x00, 0x00}, {0xDF, 0xFF, 0xFF, 0xFF}, {0xFF, -1, -1, -1}, "FSTRT@2 SPIEN@1", kAt90sFstrt, 2048, 0},
    {"AT90S8535", "1E9303", "io8535.h", k1Bit, {0x21, 0x00, 0x00, 0x00}, {0xDF, 0xFF, 0xFF, 0xFF}, {0xFF, -1, -1, -1}, "FSTRT@2 SPIEN@1", kAt90sFstrt, 4096, 0},
};
// clang-format on

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

int LowestBit(uint8_t mask) {
    for (int bit = 0; bit < 8; ++bit) {
        if (mask & (1u << bit)) {
            return bit;
        }
    }
    return 0;
}

bool SingleBit(const FuseField& field) {
    return (field.mask & (field.mask - 1)) == 0;
}

const FieldValue* ValueOf(const FuseField& field, uint8_t bits) {
    for (const FieldValue& value : field.values) {
        if (bits >= value.first && bits <= value.last) {
            return &value;
        }
    }
    return nullptr;
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string BootWords(const FuseChip& chip, uint8_t bits) {
    const uint32_t words = chip.bootUnitWords << (3 - (bits & 3));
    char text[96];
    std::snprintf(text, sizeof text, "boot section of %u words at word address 0x%X",
                  static_cast<unsigned>(words), static_cast<unsigned>(chip.flashWords - words));
    return text;
}

// The names of the fields of byte that the serial interface cannot write.
std::string FixedNames(const FuseChip& chip, FuseByte byte) {
    std::string names;
    for (const FuseField& field : chip.fields) {
        if (field.byte == byte && (field.mask & ~WritableBits(chip, byte)) != 0)
            names += (names.empty() ? "" : ", ") + std::string(field.name);
    }
    return names;
}

// Reads "0x1F", "1F" (hex) or a single digit; false for anything else.
bool ReadNumber(std::string_view text, unsigned* value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 2) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, *value, 16);
    return result.ec == std::errc{} && result.ptr == end;
}

}  // namespace

std::string_view FuseByteName(FuseByte byte) {
    static constexpr std::string_view kNames[] = {"low", "high", "extended", "lock"};
    return kNames[static_cast<int>(byte)];
}

std::span<const FuseChip> FuseChips() {
    return kChips;
}

const FuseChip* FindFuseChip(std::string_view signatureHex) {
    if (signatureHex.size() < 6) {
        return nullptr;
    }
    for (const FuseChip& chip : kChips) {
        if (EqualNoCase(chip.signature, signatureHex.substr(0, 6))) {
            return &chip;
        }
    }
    return nullptr;
}

bool HasByte(const FuseChip& chip, FuseByte byte) {
    return chip.used[static_cast<int>(byte)] != 0;
}

uint8_t WritableBits(const FuseChip& chip, FuseByte byte) {
    const int b = static_cast<int>(byte);
    const FuseInstructions& instructions = *chip.instructions;
    const uint8_t form =
        instructions.form[b] == WriteForm::kByte2Bits ? instructions.byte2Mask[b] : uint8_t{0xFF};
    return static_cast<uint8_t>(chip.used[b] & form);
}

std::array<uint8_t, 4> FuseWriteInstruction(const FuseChip& chip, FuseByte byte, uint8_t value) {
    const int b = static_cast<int>(byte);
    const FuseInstructions& instructions = *chip.instructions;
    const auto& write = instructions.write[b];
    if (instructions.form[b] == WriteForm::kByte2Bits) {
        const uint8_t mask = instructions.byte2Mask[b];
        return {write[0], static_cast<uint8_t>((write[1] & ~mask) | (value & mask)), 0x00, 0x00};
    }
    return {write[0], write[1], 0x00, value};
}

uint8_t FieldBits(const FuseField& field, uint8_t byteValue) {
    return static_cast<uint8_t>((byteValue & field.mask) >> LowestBit(field.mask));
}

uint8_t WithFieldBits(const FuseField& field, uint8_t byteValue, uint8_t bits) {
    const auto shifted = static_cast<uint8_t>(bits << LowestBit(field.mask));
    return static_cast<uint8_t>((byteValue & ~field.mask) | (shifted & field.mask));
}

namespace {

// A one-bit field's meaning tells what programming it does; some also say,
// in brackets, what leaving it unprogrammed does ("... (unprogrammed: X)").
// An unprogrammed bit is told by those words, or as the state it is not in.
std::string OneBitWords(std::string_view meaning, bool programmed) {
    if (programmed)
        return "programmed: " + std::string(meaning);
    constexpr std::string_view kOwn = " (unprogrammed: ";
    const std::size_t own = meaning.find(kOwn);
    if (own != std::string_view::npos && meaning.back() == ')')
        return "unprogrammed: " + std::string(meaning.substr(
                                      own + kOwn.size(), meaning.size() - own - kOwn.size() - 1));
    return "unprogrammed (programmed: " + std::string(meaning) + ")";
}

}  // namespace

std::vector<DecodedField> DecodeFuseByte(const FuseChip& chip, FuseByte byte, uint8_t value) {
    std::vector<DecodedField> fields;
    for (const FuseField& field : chip.fields) {
        if (field.byte != byte) {
            continue;
        }
        const uint8_t bits = FieldBits(field, value);
        DecodedField decoded{field.name, bits, SingleBit(field), {}};
        if (decoded.singleBit && field.values.empty()) {
            decoded.words = OneBitWords(field.meaning, bits == 0);
        } else if (field.role == FieldRole::kBootSize && chip.bootUnitWords != 0) {
            decoded.words = BootWords(chip, bits);
        } else {
            const FieldValue* known = ValueOf(field, bits);
            decoded.words = std::string(field.meaning) + ": " +
                            std::string(known != nullptr ? known->words : "undefined value");
        }
        if ((field.mask & ~WritableBits(chip, byte)) != 0)
            decoded.words += " (cannot be changed by serial programming)";
        fields.push_back(std::move(decoded));
    }
    return fields;
}

std::string DescribeFuseByte(const FuseChip& chip, FuseByte byte, uint8_t value) {
    std::string line(FuseByteName(byte));
    line.resize(9, ' ');
    line += Hex(value);
    for (const DecodedField& field : DecodeFuseByte(chip, byte, value)) {
        line += "\n  ";
        line += field.name;
        line += '=';
        line += field.singleBit ? std::to_string(field.bits) : Hex(field.bits);
        line += "  ";
        line += field.words;
    }
    return line;
}

std::string ApplyFuseEdit(const FuseChip& chip, std::string_view edit,
                          std::array<uint8_t, kFuseByteCount>& bytes,
                          std::array<bool, kFuseByteCount>& touched) {
    const size_t equals = edit.find('=');
    if (equals == std::string_view::npos) {
        return "\"" + std::string(edit) + "\" is not name=value";
    }
    const std::string_view name = edit.substr(0, equals);
    unsigned value = 0;
    if (!ReadNumber(edit.substr(equals + 1), &value)) {
        return "\"" + std::string(edit) + "\": the value is not a hex number of one byte";
    }
    for (int index = 0; index < kFuseByteCount; ++index) {
        const auto byte = static_cast<FuseByte>(index);
        if (EqualNoCase(name, FuseByteName(byte))) {
            if (!HasByte(chip, byte)) {
                return std::string(chip.name) + " has no " + std::string(name) + " byte";
            }
            const uint8_t fixed = chip.used[index] & ~WritableBits(chip, byte);
            if (((value ^ bytes[index]) & fixed) != 0) {
                return "\"" + std::string(edit) + "\": " + FixedNames(chip, byte) +
                       " cannot be changed by serial programming on the " + std::string(chip.name) +
                       " (it reads " + Hex(bytes[index] & fixed) + " under " + Hex(fixed) + ")";
            }
            bytes[index] = static_cast<uint8_t>(value);
            touched[index] = true;
            return {};
        }
    }
    for (const FuseField& field : chip.fields) {
        if (!EqualNoCase(name, field.name)) {
            continue;
        }
        if ((field.mask & ~WritableBits(chip, field.byte)) != 0) {
            return std::string(field.name) + " cannot be changed by serial programming on the " +
                   std::string(chip.name);
        }
        const unsigned largest = field.mask >> LowestBit(field.mask);
        if (value > largest) {
            return "\"" + std::string(edit) + "\": " + std::string(field.name) + " takes 0 to " +
                   Hex(largest);
        }
        const int index = static_cast<int>(field.byte);
        bytes[index] = WithFieldBits(field, bytes[index], static_cast<uint8_t>(value));
        touched[index] = true;
        return {};
    }
    return std::string(chip.name) + " has no fuse or lock field named " + std::string(name);
}

bool FuseByteOfWrite(const FuseChip* chip, uint8_t b1, uint8_t b2, FuseByte* byte) {
    const FuseInstructions& instructions =
        chip != nullptr ? *chip->instructions : kNewerFuseInstructions;
    for (int index = 0; index < kFuseByteCount; ++index) {
        if (chip != nullptr && !HasByte(*chip, static_cast<FuseByte>(index))) {
            continue;
        }
        const auto& write = instructions.write[index];
        const bool lock = index == static_cast<int>(FuseByte::kLock);
        // Write Lock Bits takes any of AC E0..FF on the newer chips (the lower
        // bits of byte 2 are don't care) and any of AC F8..FF on the older
        // ones; a value in byte 2 takes every value of its bits.
        uint8_t decoded = 0xFF;
        if (lock)
            decoded = instructions.form[index] == WriteForm::kByte2Bits ? 0xF8 : 0xE0;
        else if (instructions.form[index] == WriteForm::kByte2Bits)
            decoded = static_cast<uint8_t>(~instructions.byte2Mask[index]);
        const bool matches = b1 == write[0] && (b2 & decoded) == (write[1] & decoded);
        if (matches) {
            *byte = static_cast<FuseByte>(index);
            return true;
        }
    }
    // A chip without a table may write its fuse bits in an older form, the
    // value in the second byte (AC A0..BF) or one bit of it (AC BE/BF), as
    // the AT90S chips with tables do. Its write is still one to say could
    // not be checked.
    if (chip == nullptr && b1 == 0xAC && (b2 & 0xE0) == 0xA0) {
        *byte = FuseByte::kLow;
        return true;
    }
    return false;
}

uint8_t FuseValueOfWrite(const FuseChip& chip, FuseByte byte, uint8_t oldValue, uint8_t b2,
                         uint8_t b4) {
    const int b = static_cast<int>(byte);
    if (chip.instructions->form[b] != WriteForm::kByte2Bits)
        return b4;
    const uint8_t mask = chip.instructions->byte2Mask[b];
    return static_cast<uint8_t>((oldValue & ~mask) | (b2 & mask));
}

namespace {

// CKDIV8 is programmed in value, a byte of chip.
bool DividedBy8(const FuseChip& chip, FuseByte byte, uint8_t value) {
    for (const FuseField& field : chip.fields) {
        if (field.role == FieldRole::kCkdiv8 && field.byte == byte) {
            return FieldBits(field, value) == 0;
        }
    }
    return false;
}

// The lowest frequency of the crystal or resonator that a CKSEL value of the
// newer chips asks for: CKSEL3..1 tell the range. The ATmega8 family counts
// one range lower and has an RC network below 0x9.
uint32_t CrystalFloorHz(const FuseField& field, const FieldValue& value, uint8_t bits) {
    if (value.words.starts_with("low-frequency crystal"))
        return 32768;
    // The AT90S4433's CKSEL chooses start-up delays, not a crystal's range.
    if (field.values.data() == kClock4433)
        return 0;
    const bool mega8 = field.values.data() == kClockMega8;
    if (mega8) {
        if (bits < 0x9)
            return 0;  // an external RC network: its parts decide
        static constexpr uint32_t kMega8Floor[] = {400000, 900000, 3000000};
        return kMega8Floor[std::min<int>((bits - 0xA) / 2, 2)];
    }
    if (bits < 0x8)
        return 400000;  // the full-swing crystal oscillator
    static constexpr uint32_t kFloor[] = {400000, 900000, 3000000, 8000000};
    return kFloor[(bits - 0x8) / 2];
}

}  // namespace

void ApplyFactoryFuses(const FuseChip& chip, std::array<uint8_t, kFuseByteCount>& bytes,
                       std::array<bool, kFuseByteCount>& touched) {
    for (FuseByte byte : {FuseByte::kLow, FuseByte::kHigh, FuseByte::kExtended}) {
        const auto b = static_cast<std::size_t>(byte);
        if (HasByte(chip, byte)) {
            // A bit the serial interface cannot write stays as it is.
            const uint8_t writable = WritableBits(chip, byte);
            bytes[b] = static_cast<uint8_t>((chip.factory[b] & writable) | (bytes[b] & ~writable));
            touched[b] = true;
        }
    }
}

ChipClock ClockOfLowFuse(const FuseChip& chip, uint8_t lowFuse) {
    for (const FuseField& field : chip.fields) {
        if (field.role != FieldRole::kClock || field.byte != FuseByte::kLow)
            continue;
        const uint8_t bits = FieldBits(field, lowFuse);
        const FieldValue* value = ValueOf(field, bits);
        if (value == nullptr)
            return {0, false};
        ChipClock clock{0, value->need == ClockNeed::kNone};
        if (value->need == ClockNeed::kNone)
            clock.hz = value->kHz * 1000;
        else if (value->need == ClockNeed::kCrystal)
            clock.hz = CrystalFloorHz(field, *value, bits);
        if (DividedBy8(chip, FuseByte::kLow, lowFuse))
            clock.hz /= 8;
        return clock;
    }
    return {0, false};
}

uint32_t SlowestFactoryClockHz() {
    uint32_t slowest = 0;
    for (const FuseChip& chip : kChips) {
        const ChipClock clock = ClockOfLowFuse(chip, chip.factory[0]);
        if (clock.hz != 0 && (slowest == 0 || clock.hz < slowest))
            slowest = clock.hz;
    }
    return slowest;
}

std::string ClockWords(const ChipClock& clock) {
    const uint32_t hz = clock.hz;
    char text[32];
    if (hz >= 1000000 && hz % 1000000 == 0)
        std::snprintf(text, sizeof text, "%u MHz", static_cast<unsigned>(hz / 1000000));
    else if (hz >= 1000000)
        std::snprintf(text, sizeof text, "%.1f MHz", hz / 1e6);
    else
        std::snprintf(text, sizeof text, "%u kHz", static_cast<unsigned>(hz / 1000));
    return std::string(text) + (clock.exact ? "" : " or more");
}

namespace {

// The clock a low byte written as newValue gives, kept in result for the
// speed advice; nothing for another byte.
ChipClock SlowClock(const FuseChip& chip, FuseByte byte, uint8_t newValue, GuardResult* result) {
    if (byte != FuseByte::kLow)
        return {0, false};
    const ChipClock clock = ClockOfLowFuse(chip, newValue);
    result->slowClockHz = clock.hz;
    return clock;
}

}  // namespace

GuardResult JudgeFuseWrite(const FuseChip* chip, FuseByte byte, uint8_t oldValue,
                           uint8_t newValue) {
    if (chip == nullptr) {
        return {GuardVerdict::kUnchecked,
                "The value could not be checked: there is no fuse table for this chip.", 0};
    }
    GuardResult result{GuardVerdict::kOk, {}, 0};
    auto note = [&result](GuardVerdict verdict, const std::string& words) {
        if (static_cast<int>(verdict) > static_cast<int>(result.verdict)) {
            result.verdict = verdict;
        }
        if (!result.words.empty()) {
            result.words += ' ';
        }
        result.words += words;
    };
    for (const FuseField& field : chip->fields) {
        if (field.byte != byte) {
            continue;
        }
        const uint8_t before = FieldBits(field, oldValue);
        const uint8_t after = FieldBits(field, newValue);
        if (before == after) {
            continue;
        }
        if ((field.mask & ~WritableBits(*chip, byte)) != 0) {
            // The write cannot reach the bit: nothing happens to it.
            note(GuardVerdict::kOk, std::string(field.name) +
                                        " cannot be changed by serial programming on this chip; "
                                        "it keeps its value.");
            continue;
        }
        const FieldValue* value = ValueOf(field, after);
        switch (field.role) {
            case FieldRole::kSpien:
                if (after != 0) {
                    note(GuardVerdict::kRefuse,
                         "SPIEN unprogrammed: no more serial programming; only high-voltage "
                         "programming recovers the chip.");
                }
                break;
            case FieldRole::kRstdisbl:
                if (after == 0) {
                    note(GuardVerdict::kRefuse,
                         "RSTDISBL programmed: RESET becomes a port pin; only high-voltage "
                         "programming recovers the chip.");
                }
                break;
            case FieldRole::kDwen:
                if (after == 0) {
                    note(GuardVerdict::kRefuse,
                         "DWEN programmed: RESET becomes debugWIRE; serial programming stops "
                         "until a debugger turns it off.");
                }
                break;
            case FieldRole::kClock:
                if (value == nullptr || value->need == ClockNeed::kReserved) {
                    note(GuardVerdict::kAsk, "CKSEL " + Hex(after) +
                                                 " is a reserved clock source: the chip may not "
                                                 "run at all.");
                } else if (value->need != ClockNeed::kNone) {
                    note(GuardVerdict::kAsk,
                         "The clock source becomes " + std::string(value->words) +
                             ": the chip stops answering until that is fitted on the board.");
                } else if (value->kHz < 1000) {
                    // The speed to choose depends on the port: the layer that
                    // knows it names it from slowClockHz.
                    const ChipClock clock = SlowClock(*chip, byte, newValue, &result);
                    note(GuardVerdict::kAsk,
                         "The chip will run from its " + std::to_string(value->kHz) +
                             " kHz oscillator" +
                             (DividedBy8(*chip, byte, newValue) ? " divided by 8" : "") +
                             (clock.hz != 0 ? ", at " + ClockWords(clock) + "." : "."));
                }
                break;
            case FieldRole::kCkdiv8:
                if (after == 0) {
                    const ChipClock clock = SlowClock(*chip, byte, newValue, &result);
                    note(GuardVerdict::kAsk,
                         clock.hz != 0
                             ? "CKDIV8 programmed: the chip runs 8 times slower, at " +
                                   ClockWords(clock) + "."
                             : std::string("CKDIV8 programmed: the chip runs 8 times slower; "
                                           "choose a slower speed afterwards."));
                }
                break;
            case FieldRole::kBodLevel:
                if (value != nullptr && value->milliV >= 4000) {
                    note(GuardVerdict::kAsk, std::string(value->words) +
                                                 ": a chip on a supply below that (3.3 V "
                                                 "boards) stays in reset.");
                }
                break;
            case FieldRole::kM103c:
                if (after == 0) {
                    note(GuardVerdict::kAsk,
                         "M103C programmed: the chip runs as an ATmega103, with another memory "
                         "map; programs built for it no longer work.");
                }
                break;
            case FieldRole::kLockBits:
                if (after != 3) {
                    note(GuardVerdict::kAsk,
                         std::string(value != nullptr ? value->words : "memory lock") + ".");
                }
                break;
            default:
                break;
        }
    }
    return result;
}

}  // namespace ostrel::devices
