// The fuse tables against avr-libc's io headers (bit names, positions and
// factory values of every chip), the decoder and encoder, and the guard's
// verdicts.
#include "devices/fuse_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace ostrel::testing {
namespace {

using devices::FuseByte;
using devices::GuardVerdict;

// What one avr-libc header says of a chip's fuses.
struct LibcFuses {
    int byteCount = -1;
    std::map<std::string, std::pair<int, int>> bits;  // name: byte, bit
    std::map<int, int> defaults;                      // byte: value
};

// Reads the fuse part of path, following its #include "..." lines (the
// ATmega328 header is the ATmega328P's).
void ReadLibcHeader(const std::string& root, const std::string& name, LibcFuses& fuses) {
    std::ifstream in(root + name);
    std::string line;
    int byte = -1;
    // The AT90S4434's header leaves out the cast.
    const std::regex bitLine(R"(#define\s+FUSE_(\w+)\s+(?:\(unsigned char\))?~_BV\((\d)\))");
    // The one-byte chips name their default FUSE_DEFAULT.
    const std::regex defaultLine(R"(#define\s+([LHE]?)FUSE_DEFAULT\s+\((.*)\))");
    const std::regex sizeLine(R"(#define\s+FUSE_MEMORY_SIZE\s+(\d))");
    const std::regex includeLine(R"re(#include\s+"(\w+\.h)")re");
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, includeLine)) {
            ReadLibcHeader(root, m[1], fuses);
        } else if (line.find("Lock Bits") != std::string::npos) {
            byte = -1;
        } else if (line.find("Low Fuse Byte") != std::string::npos ||
                   line.find("/* Fuse Byte") != std::string::npos) {
            byte = 0;
        } else if (line.find("High Fuse Byte") != std::string::npos) {
            byte = 1;
        } else if (line.find("Extended Fuse Byte") != std::string::npos) {
            byte = 2;
        } else if (std::regex_search(line, m, sizeLine)) {
            fuses.byteCount = std::stoi(m[1]);
        } else if (byte >= 0 && std::regex_search(line, m, bitLine)) {
            fuses.bits[m[1]] = {byte, std::stoi(m[2])};
        } else if (byte >= 0 && std::regex_search(line, m, defaultLine)) {
            const int which = m[1] == "H" ? 1 : m[1] == "E" ? 2 : 0;
            std::string expr = m[2];
            int value = 0xFF;
            if (expr.rfind("0x", 0) == 0) {
                value = std::stoi(expr, nullptr, 16);
            } else {
                const std::regex name(R"(FUSE_(\w+))");
                for (std::sregex_iterator it(expr.begin(), expr.end(), name), end; it != end; ++it)
                    value &= ~(1 << fuses.bits.at((*it)[1]).second);
            }
            fuses.defaults[which] = value;
        }
    }
}

int Bit(uint8_t mask, int n) {
    int seen = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (mask & (1 << bit) && seen++ == n)
            return bit;
    return -1;
}

// Chips avr-libc has no header for, by how their data sheet says they differ
// from a chip that has one: the fields added, the factory values.
const struct {
    std::string_view chip;
    std::string_view like;
    std::string_view added;
    std::array<uint8_t, 4> factory;
} kWithoutHeader[] = {
    {"ATmega328PB", "ATmega328P", "CFD", {0x62, 0xD9, 0xF7, 0xFF}},
    // avr-libc's header of the AT90S2333 has no fuse bits; its data sheet is the AT90S4433's.
    {"AT90S2333", "AT90S4433", "", {0xDA, 0xFF, 0xFF, 0xFF}},
};

const devices::FuseChip* ChipNamed(std::string_view name) {
    for (const devices::FuseChip& chip : devices::FuseChips())
        if (chip.name == name)
            return &chip;
    return nullptr;
}

TEST(FuseTables, EveryChipAgreesWithAvrLibc) {
    const std::string root = "/usr/lib/avr/include/avr/";
    ASSERT_TRUE(std::ifstream(root + "io.h").good()) << "avr-libc is needed: tools/install-deps";
    for (const devices::FuseChip& chip : devices::FuseChips()) {
        SCOPED_TRACE(std::string(chip.name));
        // The table's own sense: fields inside the bits in use and apart,
        // factory values with the unused bits as 1.
        std::array<uint8_t, 4> covered{};
        for (const devices::FuseField& field : chip.fields) {
            const int b = static_cast<int>(field.byte);
            EXPECT_EQ(field.mask & ~chip.used[b], 0) << field.name;
            EXPECT_EQ(covered[b] & field.mask, 0) << field.name;
            covered[b] |= field.mask;
        }
        for (int b = 0; b < 4; ++b) {
            EXPECT_EQ(covered[b], chip.used[b]) << b;
            EXPECT_EQ(chip.factory[b] | chip.used[b], 0xFF) << b;
        }
        if (chip.libcHeader.empty()) {
            const auto* row = std::find_if(std::begin(kWithoutHeader), std::end(kWithoutHeader),
                                           [&](const auto& r) { return r.chip == chip.name; });
            ASSERT_NE(row, std::end(kWithoutHeader)) << "no header and no chip it is like";
            const devices::FuseChip* like = ChipNamed(row->like);
            ASSERT_NE(like, nullptr) << row->like;
            EXPECT_EQ(chip.factory, row->factory);
            std::string added;
            std::size_t matched = 0;
            for (const devices::FuseField& field : chip.fields) {
                const auto same =
                    std::find_if(like->fields.begin(), like->fields.end(),
                                 [&](const devices::FuseField& f) { return f.name == field.name; });
                if (same == like->fields.end()) {
                    added += (added.empty() ? "" : " ") + std::string(field.name);
                    continue;
                }
                EXPECT_EQ(same->byte, field.byte) << field.name;
                EXPECT_EQ(same->mask, field.mask) << field.name;
                ++matched;
            }
            EXPECT_EQ(added, row->added);
            EXPECT_EQ(matched, like->fields.size()) << "nothing of the other missing";
            continue;
        }
        LibcFuses libc;
        ReadLibcHeader(root, std::string(chip.libcHeader), libc);
        int fuseBytes = 0;
        for (int b = 0; b < 3; ++b)
            fuseBytes += chip.used[b] != 0;
        EXPECT_EQ(libc.byteCount, fuseBytes);
        // Every bit of the table where avr-libc has it, under the name
        // avr-libc gives it (CKSEL is CKSEL0..3, one bit is its name).
        int tableBits = 0;
        for (const devices::FuseField& field : chip.fields) {
            if (field.byte == FuseByte::kLock)
                continue;
            const std::string name(field.name);
            const std::string differs(chip.libcDiffers);
            std::string libcName = name;
            const size_t renamed = differs.find(name + "=");
            const size_t moved = differs.find(name + "@");
            if (moved != std::string::npos) {
                // avr-libc has the bit elsewhere: it must be where the row says.
                const auto found = libc.bits.find(name);
                ASSERT_NE(found, libc.bits.end()) << name;
                EXPECT_EQ(found->second.second, differs[moved + name.size() + 1] - '0') << name;
                EXPECT_EQ(__builtin_popcount(field.mask), 1) << name;
                ++tableBits;
                continue;
            }
            if (renamed != std::string::npos) {
                libcName = differs.substr(renamed + name.size() + 1);
                libcName = libcName.substr(0, libcName.find(' '));
            } else if (differs.find(name) != std::string::npos) {
                continue;
            }
            const int width = __builtin_popcount(field.mask);
            for (int n = 0; n < width; ++n) {
                const std::string bitName = width == 1 ? libcName : libcName + std::to_string(n);
                const auto found = libc.bits.find(bitName);
                ASSERT_NE(found, libc.bits.end()) << bitName;
                EXPECT_EQ(found->second.first, static_cast<int>(field.byte)) << bitName;
                EXPECT_EQ(found->second.second, Bit(field.mask, n)) << bitName;
                ++tableBits;
            }
        }
        EXPECT_EQ(tableBits, static_cast<int>(libc.bits.size()));
        for (const auto& [b, value] : libc.defaults) {
            const int expected = chip.libcFactory[b] >= 0 ? chip.libcFactory[b] : chip.factory[b];
            EXPECT_EQ(value, expected) << "byte " << b;
        }
    }
}

TEST(FuseTables, DecodeEncodeAndGuard) {
    struct Case {
        const char* signature;
        const char* edits;    // applied to the factory values
        FuseByte byte;        // the byte judged
        const char* decoded;  // a part of DescribeFuseByte of the new value
        GuardVerdict verdict;
        const char* words;  // a part of the guard's words
    };
    const Case cases[] = {
        {"1E950F", "CKDIV8=1", FuseByte::kLow, "CKSEL=0x02  clock source: internal 8 MHz",
         GuardVerdict::kOk, ""},
        {"1E950F", "low=0xFF", FuseByte::kLow, "low-power crystal", GuardVerdict::kAsk,
         "stops answering"},
        {"1E950F", "CKSEL=0", FuseByte::kLow, "external clock", GuardVerdict::kAsk, "external"},
        // 128 kHz divided by 8 (CKDIV8 is programmed at the factory) is 16 kHz.
        {"1E950F", "CKSEL=3", FuseByte::kLow, "128 kHz", GuardVerdict::kAsk,
         "divided by 8, at 16 kHz."},
        {"1E950F", "CKSEL=3,CKDIV8=1", FuseByte::kLow, "128 kHz", GuardVerdict::kAsk,
         "oscillator, at 128 kHz."},
        {"1E950F", "high=0xDE", FuseByte::kHigh, "BOOTRST=0", GuardVerdict::kOk, ""},
        {"1E950F", "BOOTSZ=0", FuseByte::kHigh, "2048 words at word address 0x3800",
         GuardVerdict::kOk, ""},
        {"1E950F", "SPIEN=1", FuseByte::kHigh,
         "SPIEN=1  unprogrammed: this programmer can no longer reach the chip",
         GuardVerdict::kRefuse, "high-voltage"},
        // An unprogrammed bit is not told as what programming it does.
        {"1E950F", "CKDIV8=1", FuseByte::kLow,
         "CKDIV8=1  unprogrammed (programmed: ", GuardVerdict::kOk, ""},
        {"1E950F", "RSTDISBL=0", FuseByte::kHigh, "RSTDISBL=0  programmed", GuardVerdict::kRefuse,
         "port pin"},
        {"1E950F", "DWEN=0", FuseByte::kHigh, "DWEN=0", GuardVerdict::kRefuse, "debugWIRE"},
        {"1E950F", "BODLEVEL=4", FuseByte::kExtended, "4.3 V", GuardVerdict::kAsk, "3.3 V"},
        {"1E950F", "BODLEVEL=5", FuseByte::kExtended, "2.7 V", GuardVerdict::kOk, ""},
        {"1E950F", "LB=0", FuseByte::kLock, "lock mode 3", GuardVerdict::kAsk, "chip erase"},
        {"1E9406", "BOOTRST=0", FuseByte::kExtended, "BOOTRST=0  programmed", GuardVerdict::kOk,
         ""},
        {"1E9406", "CKDIV8=0,CKSEL=2", FuseByte::kLow, "CKDIV8=0", GuardVerdict::kOk, ""},
        // The ATtiny13 has SPIEN in its low byte and RSTDISBL in bit 0.
        {"1E9007", "low=0xEA", FuseByte::kLow, "SPIEN=1", GuardVerdict::kRefuse, "SPIEN"},
        {"1E9007", "RSTDISBL=0", FuseByte::kHigh, "high     0xFE", GuardVerdict::kRefuse, "RESET"},
        {"1E9007", "CKDIV8=1", FuseByte::kLow, "CKSEL=0x02  clock source: internal 9.6 MHz",
         GuardVerdict::kOk, ""},
        // The 16U2 has RSTDISBL in bit 6.
        {"1E9489", "high=0x99", FuseByte::kHigh, "RSTDISBL=0", GuardVerdict::kRefuse, "RESET"},
        {"1E9489", "DWEN=0", FuseByte::kHigh, "high     0x59", GuardVerdict::kRefuse, "debugWIRE"},
        {"1E9702", "M103C=0", FuseByte::kExtended, "M103C=0", GuardVerdict::kOk, ""},
        {"1E9702", "M103C=1", FuseByte::kExtended, "M103C=1", GuardVerdict::kOk, ""},
        {"1E9702", "extended=0xFD", FuseByte::kExtended, "WDTON=1", GuardVerdict::kOk, ""},
        {"1E9307", "BODLEVEL=0", FuseByte::kLow, "4.0 V", GuardVerdict::kAsk, "4.0 V"},
        {"1E9307", "CKSEL=0xF", FuseByte::kLow, "crystal", GuardVerdict::kAsk, "fitted"},
        {"1E910A", "RSTDISBL=0", FuseByte::kHigh, "high     0xDE", GuardVerdict::kRefuse, "RESET"},
        {"1E930B", "CKSEL=4", FuseByte::kLow, "128 kHz", GuardVerdict::kAsk, "at 16 kHz"},
        // ATtiny841 and 1634: the 32 kHz oscillator, SUT in bit 4, bit 5 unused.
        {"1E9315", "CKSEL=4", FuseByte::kLow, "low      0x64", GuardVerdict::kAsk,
         "32 kHz oscillator divided by 8"},
        {"1E9315", "DWEN=0", FuseByte::kHigh, "high     0x9F", GuardVerdict::kRefuse, "debugWIRE"},
        {"1E9412", "SUT=1", FuseByte::kLow, "low      0x72", GuardVerdict::kOk, ""},
        {"1E9412", "CKSEL=0xE", FuseByte::kLow, "crystal", GuardVerdict::kAsk, "fitted"},
        // ATtiny26: RSTDISBL bit 4, SPIEN bit 3, no CKDIV8.
        {"1E9109", "RSTDISBL=0", FuseByte::kHigh, "high     0xE7", GuardVerdict::kRefuse, "port"},
        {"1E9109", "SPIEN=1", FuseByte::kHigh, "SPIEN=1", GuardVerdict::kRefuse, "SPIEN"},
        {"1E9109", "CKSEL=4", FuseByte::kLow, "internal 8 MHz", GuardVerdict::kOk, ""},
        {"1E930B", "CKSEL=1", FuseByte::kLow, "PLL", GuardVerdict::kOk, ""},
        // The older forms: ATtiny12 and 15 keep SPIEN and RSTDISBL in their one
        // byte, the ATmega161 too, the ATmega163 its boot fields in the high byte.
        {"1E9005", "RSTDISBL=0", FuseByte::kLow, "low      0x42", GuardVerdict::kRefuse,
         "port pin"},
        {"1E9005", "SPIEN=1", FuseByte::kLow, "SPIEN=1", GuardVerdict::kRefuse, "high-voltage"},
        {"1E9005", "CKSEL=0xA", FuseByte::kLow, "crystal", GuardVerdict::kAsk, "fitted"},
        {"1E9005", "CKSEL=3", FuseByte::kLow, "internal 1.2 MHz", GuardVerdict::kOk, ""},
        {"1E9006", "RSTDISBL=0", FuseByte::kLow, "low      0x4C", GuardVerdict::kRefuse, "RESET"},
        {"1E9006", "CKSEL=2", FuseByte::kLow, "shorter start-up", GuardVerdict::kOk, ""},
        {"1E9401", "SPIEN=1", FuseByte::kLow, "low      0xFA", GuardVerdict::kRefuse, "SPIEN"},
        {"1E9401", "BOOTRST=0", FuseByte::kLow, "BOOTRST=0  programmed", GuardVerdict::kOk, ""},
        {"1E9402", "BOOTSZ=0", FuseByte::kHigh, "1024 words at word address 0x1C00",
         GuardVerdict::kOk, ""},
        {"1E9402", "CKSEL=0", FuseByte::kLow, "external clock", GuardVerdict::kAsk, "external"},
        {"1E9402", "BODLEVEL=0", FuseByte::kLow, "4.0 V", GuardVerdict::kAsk, "3.3 V"},
        {"1E9402", "LB=0", FuseByte::kLock, "lock mode 3", GuardVerdict::kAsk, "chip erase"},
        // The ATtiny12/15 lock bits, in bits 2 and 1.
        {"1E9005", "LB=0", FuseByte::kLock, "lock     0xF9", GuardVerdict::kAsk, "chip erase"},
        {"1E9006", "LB=2", FuseByte::kLock, "lock mode 2", GuardVerdict::kAsk, "lock mode 2"},
        // AT90S4433/2333: SPIEN reads but cannot be written; CKSEL without an
        // internal oscillator; BODLEVEL one bit.
        {"1E9203", "CKSEL=0", FuseByte::kLow, "low      0xD8", GuardVerdict::kAsk, "external"},
        {"1E9203", "CKSEL=5", FuseByte::kLow, "(cannot be changed by serial programming)",
         GuardVerdict::kAsk, "fitted"},
        {"1E9203", "BODLEVEL=0", FuseByte::kLow, "4.0 V", GuardVerdict::kAsk, "3.3 V"},
        {"1E9203", "BODEN=0", FuseByte::kLow, "BODEN=0  programmed", GuardVerdict::kOk, ""},
        {"1E9203", "LB=0", FuseByte::kLock, "lock     0xF9", GuardVerdict::kAsk, "chip erase"},
        {"1E9105", "CKSEL=1", FuseByte::kLow, "external clock", GuardVerdict::kAsk, "external"},
        // RCEN: the internal RC oscillator as shipped, or an external clock.
        {"1E9103", "RCEN=1", FuseByte::kLow, "low      0xDF", GuardVerdict::kAsk,
         "CLOCK pin: the chip stops answering"},
        {"1E9103", "RCEN=0", FuseByte::kLow, "internal 1 MHz RC", GuardVerdict::kOk, ""},
        {"1E9106", "low=0xDF", FuseByte::kLow, "RCEN=1", GuardVerdict::kAsk, "external clock"},
        // FSTRT: the start-up time only.
        {"1E9102", "FSTRT=0", FuseByte::kLow, "FSTRT=0  programmed", GuardVerdict::kOk, ""},
        {"1E9202", "FSTRT=0", FuseByte::kLow, "low      0xDE", GuardVerdict::kOk, ""},
        {"1E9303", "low=0xDE", FuseByte::kLow, "FSTRT=0", GuardVerdict::kOk, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.signature) + " " + c.edits);
        const devices::FuseChip* chip = devices::FindFuseChip(c.signature);
        ASSERT_NE(chip, nullptr);
        std::array<uint8_t, 4> bytes = chip->factory;
        std::array<bool, 4> touched{};
        std::stringstream edits(c.edits);
        for (std::string edit; std::getline(edits, edit, ',');)
            ASSERT_EQ(devices::ApplyFuseEdit(*chip, edit, bytes, touched), "");
        const int b = static_cast<int>(c.byte);
        EXPECT_TRUE(touched[b]);
        EXPECT_NE(devices::DescribeFuseByte(*chip, c.byte, bytes[b]).find(c.decoded),
                  std::string::npos)
            << devices::DescribeFuseByte(*chip, c.byte, bytes[b]);
        const devices::GuardResult result =
            devices::JudgeFuseWrite(chip, c.byte, chip->factory[b], bytes[b]);
        EXPECT_EQ(result.verdict, c.verdict) << result.words;
        EXPECT_NE(result.words.find(c.words), std::string::npos) << result.words;
    }
}

TEST(FuseTables, BadEditsAndUnknownChips) {
    const devices::FuseChip* chip = devices::FindFuseChip("1e950f");
    ASSERT_NE(chip, nullptr);
    std::array<uint8_t, 4> bytes = chip->factory;
    std::array<bool, 4> touched{};
    for (const char* edit : {"CKDIV8", "CKDIV8=2", "BOOTSZ=4", "low=0x100", "low=", "JTAGEN=0",
                             "low=zz", "=1", "high=0x1G"})
        EXPECT_NE(devices::ApplyFuseEdit(*chip, edit, bytes, touched), "") << edit;
    EXPECT_EQ(bytes, chip->factory);
    EXPECT_EQ(devices::FindFuseChip("1E9001"), nullptr);
    EXPECT_EQ(devices::FindFuseChip("1E95"), nullptr);
    EXPECT_EQ(devices::JudgeFuseWrite(nullptr, FuseByte::kHigh, 0xD9, 0xFF).verdict,
              GuardVerdict::kUnchecked);
    FuseByte byte{};
    EXPECT_TRUE(devices::FuseByteOfWrite(chip, 0xAC, 0xA8, &byte));
    EXPECT_EQ(byte, FuseByte::kHigh);
    EXPECT_TRUE(devices::FuseByteOfWrite(chip, 0xAC, 0xFF, &byte));
    EXPECT_EQ(byte, FuseByte::kLock);
    EXPECT_FALSE(devices::FuseByteOfWrite(chip, 0x58, 0x08, &byte));
    EXPECT_FALSE(devices::FuseByteOfWrite(devices::FindFuseChip("1E9307"), 0xAC, 0xA4, &byte));
    // Without a table the older forms count as fuse writes too (to say they
    // could not be checked); Chip Erase and Programming Enable do not.
    for (uint8_t b2 : {0xA0, 0xB5, 0xBE, 0xBF})
        EXPECT_TRUE(devices::FuseByteOfWrite(nullptr, 0xAC, b2, &byte)) << int(b2);
    for (uint8_t b2 : {0x80, 0x9F, 0x53})
        EXPECT_FALSE(devices::FuseByteOfWrite(nullptr, 0xAC, b2, &byte)) << int(b2);
    // The ATtiny12 writes its lock bits in the second byte, not as the newer chips do.
    const devices::FuseChip* tiny12 = devices::FindFuseChip("1E9005");
    std::array<uint8_t, 4> tinyBytes = tiny12->factory;
    EXPECT_EQ(devices::ApplyFuseEdit(*tiny12, "lock=0xFD", tinyBytes, touched), "");
    EXPECT_EQ(tinyBytes[3], 0xFD);
    EXPECT_FALSE(devices::FuseByteOfWrite(tiny12, 0xAC, 0xE0, &byte));
    EXPECT_TRUE(devices::FuseByteOfWrite(tiny12, 0xAC, 0xA0, &byte));
    // SPIEN of the AT90S chips cannot be written over the serial interface.
    const devices::FuseChip* at4433 = devices::FindFuseChip("1E9203");
    std::array<uint8_t, 4> oldBytes = at4433->factory;
    for (const char* edit : {"SPIEN=1", "low=0xFA", "low=0xFF"})
        EXPECT_NE(devices::ApplyFuseEdit(*at4433, edit, oldBytes, touched), "") << edit;
    EXPECT_EQ(oldBytes, at4433->factory);
    EXPECT_EQ(devices::ApplyFuseEdit(*at4433, "low=0xDF", oldBytes, touched), "");
    // Restoring the factory values leaves such a bit as the chip holds it.
    oldBytes[0] = 0xFF;
    devices::ApplyFactoryFuses(*at4433, oldBytes, touched);
    EXPECT_EQ(oldBytes[0], 0xFA);
}

TEST(FuseTables, WriteFormsOfTheOlderChips) {
    // The instruction that writes a value, which raw instructions write a
    // byte of the table, and the value a raw write leaves over an old one.
    struct Case {
        const char* signature;
        FuseByte byte;
        uint8_t value;                       // written by name or hex
        std::array<uint8_t, 4> instruction;  // what goes to the chip
        uint8_t oldValue;                    // what the chip held
        uint8_t leaves;                      // what the instruction leaves
    };
    const Case cases[] = {
        // Newer chips: the value in byte 4.
        {"1E950F", FuseByte::kLow, 0xE2, {0xAC, 0xA0, 0x00, 0xE2}, 0x62, 0xE2},
        {"1E950F", FuseByte::kLock, 0xFC, {0xAC, 0xE0, 0x00, 0xFC}, 0xFF, 0xFC},
        // ATtiny12/15: fuses in byte 4, the lock bits in bits 2 and 1 of byte 2.
        {"1E9005", FuseByte::kLow, 0x53, {0xAC, 0xA0, 0x00, 0x53}, 0x52, 0x53},
        {"1E9005", FuseByte::kLock, 0xF9, {0xAC, 0xF9, 0x00, 0x00}, 0xFF, 0xF9},
        {"1E9006", FuseByte::kLock, 0xFB, {0xAC, 0xFB, 0x00, 0x00}, 0xFF, 0xFB},
        // AT90S4433/2333: BODLEVEL, BODEN, CKSEL2..0 in bits 4..0 of byte 2;
        // SPIEN (bit 5) keeps what the chip holds.
        {"1E9203", FuseByte::kLow, 0xDA, {0xAC, 0xBA, 0x00, 0x00}, 0xDA, 0xDA},
        {"1E9203", FuseByte::kLow, 0xC1, {0xAC, 0xA1, 0x00, 0x00}, 0xDA, 0xC1},
        {"1E9203", FuseByte::kLow, 0xFF, {0xAC, 0xBF, 0x00, 0x00}, 0xDA, 0xDF},
        {"1E9203", FuseByte::kLock, 0xFD, {0xAC, 0xFD, 0x00, 0x00}, 0xFF, 0xFD},
        {"1E9105", FuseByte::kLow, 0xCA, {0xAC, 0xAA, 0x00, 0x00}, 0xDA, 0xCA},
        // One fuse bit in bit 0 of AC BE/BF.
        {"1E9103", FuseByte::kLow, 0xDF, {0xAC, 0xBF, 0x00, 0x00}, 0xDE, 0xDF},
        {"1E9106", FuseByte::kLow, 0xDE, {0xAC, 0xBE, 0x00, 0x00}, 0xDF, 0xDE},
        {"1E9102", FuseByte::kLow, 0xDE, {0xAC, 0xBE, 0x00, 0x00}, 0xDF, 0xDE},
        {"1E9202", FuseByte::kLow, 0xDE, {0xAC, 0xBE, 0x00, 0x00}, 0xDF, 0xDE},
        {"1E9303", FuseByte::kLow, 0xFF, {0xAC, 0xBF, 0x00, 0x00}, 0xDE, 0xDF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.signature) + " " + std::string(FuseByteName(c.byte)));
        const devices::FuseChip* chip = devices::FindFuseChip(c.signature);
        ASSERT_NE(chip, nullptr);
        const auto instruction = devices::FuseWriteInstruction(*chip, c.byte, c.value);
        EXPECT_EQ(instruction, c.instruction);
        FuseByte byte{};
        ASSERT_TRUE(devices::FuseByteOfWrite(chip, instruction[0], instruction[1], &byte));
        EXPECT_EQ(byte, c.byte);
        EXPECT_EQ(
            devices::FuseValueOfWrite(*chip, byte, c.oldValue, instruction[1], instruction[3]),
            c.leaves);
    }
    // The clock the low byte tells, for the speed that follows it: the RC
    // oscillator of RCEN exactly; nothing for a crystal of unknown range or
    // a chip without a clock field.
    const struct {
        const char* signature;
        uint8_t low;
        uint32_t hz;
        bool exact;
    } clocks[] = {
        {"1E9103", 0xDE, 1000000, true}, {"1E9106", 0xDF, 0, false},
        {"1E9203", 0xDA, 0, false},      {"1E9203", 0xD8, 0, false},
        {"1E9303", 0xDF, 0, false},      {"1E9005", 0x52, 1200000, true},
    };
    for (const auto& k : clocks) {
        const devices::ChipClock clock =
            devices::ClockOfLowFuse(*devices::FindFuseChip(k.signature), k.low);
        EXPECT_EQ(clock.hz, k.hz) << k.signature << " " << int(k.low);
        EXPECT_EQ(clock.exact, k.exact) << k.signature << " " << int(k.low);
    }
    // A value that would change SPIEN there changes nothing: not refused.
    const devices::GuardResult spien =
        devices::JudgeFuseWrite(devices::FindFuseChip("1E9303"), FuseByte::kLow, 0xDF, 0xFF);
    EXPECT_EQ(spien.verdict, GuardVerdict::kOk);
    EXPECT_NE(spien.words.find("SPIEN cannot be changed"), std::string::npos) << spien.words;
    // Instructions that are no fuse or lock write of these chips.
    const struct {
        const char* signature;
        uint8_t b1, b2;
    } others[] = {
        {"1E9203", 0xAC, 0x80},                          // Chip Erase
        {"1E9203", 0xAC, 0xE0},                          // the newer chips' lock write
        {"1E9203", 0xAC, 0xC0}, {"1E9103", 0xAC, 0xA0},  // the AT90S4433's form
        {"1E9103", 0xAC, 0xF9},                          // the lock bits: the lock command's
        {"1E9103", 0xAC, 0x53},                          // Programming Enable
        {"1E9005", 0xAC, 0xF0},
    };
    for (const auto& o : others) {
        FuseByte byte{};
        EXPECT_FALSE(
            devices::FuseByteOfWrite(devices::FindFuseChip(o.signature), o.b1, o.b2, &byte))
            << o.signature << " " << int(o.b2);
    }
}

}  // namespace
}  // namespace ostrel::testing
