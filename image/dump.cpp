#include "image/dump.h"

#include <cstdio>

#include "core/fixed_string.h"
#include "devices/device_file.h"
#include "image/file_names.h"
#include "image/hex_check.h"
#include "image/hex_line.h"
#include "platform/paths.h"
#include "platform/text_file.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::image {

bool IsDumpFile(const Programmer& p) {
    std::string name = FileNamePart(p.state.currentFileName.view());
    return name.size() == 12 && std::string_view(name).substr(1) == "eadback.txt";
}

namespace {

// A flash line of a dump: "0000: 0C94 3400 0C94 5100 0C94 5100 0C94 5100",
// the word address, ':', then eight words of four digits, each after a
// blank, high byte first (45 characters). An EEPROM line: "0000: FF FF FF FF
// FF FF FF FF", the byte address, ':', then up to eight bytes of two digits,
// each after a blank (29 characters). A chip of more than 64K words (the
// ATmega2560) has five-digit word addresses on every flash line, up to 1FFF8
// (256 KB).
constexpr std::size_t kGroupsPerLine = 8;
constexpr int kMaxFlashWords = 0x20000;

// What is wrong with a dump; ok when nothing.
struct DumpFault {
    bool ok = true;
    std::string systemText;  // the system's text, without a line end
    int line = 0;            // 0 when no one line is to blame
    std::string what;        // our description
};

DumpFault DumpRefused(std::string systemText, int line, std::string what) {
    return {false, std::move(systemText), line, std::move(what)};
}

// The sizes the dump gives the chip.
struct DumpSizes {
    long flashBytes = 0;
    long eepromBytes = 0;
    int lastLine = 0;  // the number of the dump's last line that holds data
};

// Checks the characters of a dump line against its layout: `groups` groups
// of `digits` hexadecimal digits after the address, ':' and a blank each.
// Empty when they fit; otherwise what is wrong. `minGroups` may be fewer
// than `groups` (the last EEPROM line of a chip whose EEPROM is not a
// multiple of eight bytes).
std::string LineLayoutFault(std::string_view line, std::size_t addressDigits, std::size_t digits,
                            std::size_t groups, std::size_t minGroups, const char* kind,
                            const char* group1) {
    const std::size_t group = digits + 1;        // a blank and the digits
    const std::size_t head = addressDigits + 1;  // the address and ':'
    const std::size_t full = head + group * groups;
    for (std::size_t i = 0; i < full; ++i) {
        if (i >= line.size()) {
            if (i >= head + group * minGroups && (i - head) % group == 0)
                return {};  // a shorter last line, ending after a whole group
            return "the " + std::string(kind) + " line ends after " + std::to_string(line.size()) +
                   " characters; a " + kind + " line holds an address, ':' and eight " + group1 +
                   "s (" + std::to_string(full) + " characters)";
        }
        int c = static_cast<unsigned char>(line[i]);
        char wanted = i == addressDigits                               ? ':'
                      : (i > addressDigits && (i - head) % group == 0) ? ' '
                                                                       : 'h';
        bool fits = wanted == 'h' ? HexDigit(c) >= 0 : c == wanted;
        if (!fits) {
            std::string belongs = wanted == 'h'   ? "a hexadecimal digit"
                                  : wanted == ':' ? "':'"
                                                  : "a blank";
            return DescribeChar(c) + " at column " + std::to_string(i + 1) + " where " + belongs +
                   " belongs";
        }
    }
    if (line.size() > full) {
        return DescribeChar(static_cast<unsigned char>(line[full])) + " after the eighth " +
               group1 + " (column " + std::to_string(full + 1) + ")";
    }
    return {};
}

// The value of `count` hexadecimal digits at the start of `text`, which
// LineLayoutFault has found to be digits.
int HexValue(std::string_view text, std::size_t count) {
    int value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value * 16 + HexDigit(static_cast<unsigned char>(text[i]));
    return value;
}

// Reads one flash line, whose address has `addressDigits` digits, into its
// word address and its 16 bytes in ascending byte-address order (the low
// byte of each word first). Empty when the line is a flash line; otherwise
// what is wrong with it.
std::string ParseFlashLine(std::string_view line, std::size_t addressDigits, int& wordAddress,
                           unsigned char bytes[16]) {
    if (std::string fault = LineLayoutFault(line, addressDigits, 4, kGroupsPerLine, kGroupsPerLine,
                                            "flash", "word");
        !fault.empty())
        return fault;
    wordAddress = HexValue(line, addressDigits);
    for (int g = 0; g < 8; ++g) {
        std::size_t at = addressDigits + 2 + 5 * static_cast<std::size_t>(g);
        bytes[2 * g] = static_cast<unsigned char>(HexPair(line, at + 2));
        bytes[2 * g + 1] = static_cast<unsigned char>(HexPair(line, at));
    }
    return {};
}

std::string AddressFault(int address, int expected, int digits = 4) {
    char text[96];
    std::snprintf(text, sizeof text,
                  "address %0*X where %0*X was expected (a line missing or out of place?)", digits,
                  static_cast<unsigned>(address), digits, static_cast<unsigned>(expected));
    return text;
}

// Reads a whole dump and hands each flash line to `onLine(lineNumber,
// wordAddress, bytes)`. Both the check and the conversion read a dump
// through here, so they refuse the same dumps.
template <typename OnLine>
DumpFault ReadDump(HexLineReader& in, DumpSizes& sizes, OnLine&& onLine) {
    auto lineFault = [&](int result) -> DumpFault {
        if (result == kBadByte)
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                               BadByteText(in.ending().byte));
        return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                           TooLongText(kMaxHexLine));  // kLineTooLong
    };
    auto cutShort = [&](const std::string& where) {
        return DumpRefused(texts::kWrongInputFile, 0,
                           "the dump ends " + where +
                               ": a dump written by Read holds the whole chip, so this one has "
                               "been cut short");
    };
    // The flash section starts with the line of address 0000 (00000 on a
    // chip above 64K words), after at most three header lines; its width
    // holds for every flash line after it.
    bool found = false;
    std::size_t addressDigits = 4;
    for (int n = 0; n < 4 && !found; ++n) {
        int result = in.Next();
        if (result == kEndOfFile)
            break;
        if (result != kLineRead)
            return lineFault(result);
        const std::string_view start = in.line().view().substr(0, 6);
        found = start.substr(0, 5) == "0000:" || start == "00000:";
        addressDigits = start == "00000:" ? 5 : 4;
    }
    if (!found) {
        return DumpRefused(texts::kWrongInputFile, 0,
                           "no flash line of address 0000 among its first four lines");
    }
    int expected = 0;  // word address the next flash line must have
    for (;;) {
        int address = 0;
        unsigned char bytes[16];
        std::string what = ParseFlashLine(in.line().view(), addressDigits, address, bytes);
        if (!what.empty())
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(), what);
        if (address != expected)
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                               AddressFault(address, expected, static_cast<int>(addressDigits)));
        if (address >= kMaxFlashWords) {
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                               "more flash than any chip has (256 KB)");
        }
        onLine(in.lineNumber(), address, bytes);
        sizes.flashBytes += 16;
        sizes.lastLine = in.lineNumber();
        expected = address + 8;
        int result = in.Next();
        if (result == kEndOfFile)
            return cutShort("after its flash line " + std::to_string(in.lineNumber()) +
                            ", without its EEPROM section");
        if (result != kLineRead)
            return lineFault(result);
        // The empty line after the flash section ends it.
        if (in.line().empty())
            break;
    }
    // Empty lines, then the EEPROM section's heading. Anything else after
    // the empty line (more flash lines after a stray empty one) would be
    // left out silently: refuse it.
    for (;;) {
        int result = in.Next();
        if (result == kEndOfFile)
            return cutShort("before its EEPROM section");
        if (result != kLineRead)
            return lineFault(result);
        if (in.line().empty())
            continue;
        if (in.line().view().substr(0, 14) == texts::kEepromMemoryHeading)
            break;
        return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                           "the flash section ended at an empty line, but this line is not "
                           "the EEPROM section's heading");
    }
    // The EEPROM lines, never programmed from a dump, but they tell how
    // big the chip was, and whether the dump reaches its end.
    int expectedByte = 0;
    bool shortLine = false;  // a line of fewer than eight bytes: it must be the last
    for (;;) {
        int result = in.Next();
        if (result == kEndOfFile)
            return {};
        if (result != kLineRead)
            return lineFault(result);
        std::string_view line = in.line().view();
        if (line.empty())
            continue;
        if (shortLine) {
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                               "a line after the EEPROM section's last, shorter line");
        }
        if (std::string fault = LineLayoutFault(line, 4, 2, kGroupsPerLine, 1, "EEPROM", "byte");
            !fault.empty())
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(), fault);
        int address = HexPair(line, 0) * 256 + HexPair(line, 2);
        if (address != expectedByte)
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                               AddressFault(address, expectedByte));
        const long bytes = static_cast<long>((line.size() - 5) / 3);
        sizes.eepromBytes += bytes;
        sizes.lastLine = in.lineNumber();
        shortLine = bytes < 8;
        expectedByte += 8;
        if (expectedByte > 0x10000) {
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                               "more EEPROM than any chip has (64 KB)");
        }
    }
}

std::string DumpDetail(std::string_view name, const DumpFault& fault) {
    if (fault.line == 0)
        return std::string(name) + ": " + fault.what + ".";
    return LineDetail(name, fault.line, fault.what);
}

// The extended linear address record giving the upper 16 bits of the byte
// addresses after it.
void UpperAddressRecord(int upper, FixedString<48>& record) {
    const int sum = 0x02 + 0x04 + (upper >> 8) + (upper & 0xFF);
    record.Format(":02000004%.4X%.2X", static_cast<unsigned>(upper),
                  static_cast<unsigned>((-sum) & 0xFF));
}

// The record of one flash line, in upper-case digits with its checksum; its
// address field holds the low 16 bits of the byte address.
void FlashLineRecord(int byteAddress, const unsigned char bytes[16], FixedString<48>& record) {
    byteAddress &= 0xFFFF;
    record.Format(":10%.4X00", static_cast<unsigned>(byteAddress));
    int sum = 0x10 + (byteAddress >> 8) + (byteAddress & 0xFF);
    char pair[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(pair, sizeof pair, "%.2X", static_cast<unsigned>(bytes[i]));
        record.Append(pair);
        sum += bytes[i];
    }
    std::snprintf(pair, sizeof pair, "%.2X", static_cast<unsigned>((-sum) & 0xFF));
    record.Append(pair);
}

}  // namespace

int ConvertDumpToHex(Programmer& p, int* firstFlashLine) {
    const std::string dumpPath = CurrentFilePath(p);
    const std::string name = FileNamePart(dumpPath);
    HexLineReader dump;
    if (!dump.Open(dumpPath)) {
        const std::string text =
            texts::kCannotOpenInputFile + OpenFailureDetail(dumpPath, dump.why()) + "\n";
        p.state.errorText.Assign(text);
        return 1;
    }
    if (const std::optional<FileIdentity> opened = dump.Identity();
        !IsCheckedFile(p, dumpPath, &opened)) {
        SetChangedFileText(p, dumpPath, ChipStateBeforePass(p));
        return 1;
    }
    p.currentDirectory = p.state.startDirectory.str();
    const std::string outPath = HexTmpPath(p);
    TextWriter out;
    if (!out.Create(outPath)) {
        p.state.errorText.Assign(texts::kCannotOpenOutputFile);
        p.state.errorText.Append("hex.tmp cannot be written in " +
                                 ShortenMiddle(p.state.startDirectory.view(), 80) + ": " +
                                 out.why() + ".\n");
        return 1;
    }

    FixedString<48> record;
    int first = 0;
    DumpSizes sizes;
    DumpFault fault =
        ReadDump(dump, sizes, [&](int lineNumber, int wordAddress, const unsigned char* bytes) {
            if (first == 0)
                first = lineNumber;
            // Each further 64 KB begins with the record of its upper address,
            // as in readback.hex; a dump of 64 KB or less needs none.
            const int byteAddress = 2 * wordAddress;
            if (byteAddress > 0 && (byteAddress & 0xFFFF) == 0) {
                UpperAddressRecord(byteAddress >> 16, record);
                out.Write(record.view());
                out.NewLine();
            }
            FlashLineRecord(2 * wordAddress, bytes, record);
            out.Write(record.view());
            out.NewLine();
        });
    if (!fault.ok) {
        // No half-converted file is left to program from.
        out.Discard();
        const std::string text = fault.systemText + "\n" + DumpDetail(name, fault) + "\n";
        p.state.errorText.Assign(text);
        return 1;
    }
    if (!out.Close()) {
        p.state.errorText.Assign(texts::kCannotOpenOutputFile);
        p.state.errorText.Append("hex.tmp cannot be written: " + out.why() + ".\n");
        return 1;
    }
    if (firstFlashLine)
        *firstFlashLine = first;
    return 0;
}

FileCheck CheckDumpFile(Programmer& p, const std::string& path) {
    HexLineReader dump;
    if (!dump.Open(path))
        return RefusedFile(texts::kOpenError, OpenFailureDetail(path, dump.why()));
    FileCheck good;
    DumpSizes sizes;
    DumpFault fault =
        ReadDump(dump, sizes, [&good](int lineNumber, int wordAddress, const unsigned char*) {
            good.dataBytes += 16;  // eight words a line
            NoteReach(good, 2L * wordAddress, 2L * wordAddress + 16, lineNumber);
        });
    const std::string name = FileNamePart(path);
    if (!fault.ok)
        return RefusedFile(fault.systemText, DumpDetail(name, fault));
    // A dump cut at a line end still has the layout: only its sizes tell.
    if (!devices::DeviceWithSizes(p, sizes.flashBytes, sizes.eepromBytes)) {
        char what[200];
        std::snprintf(what, sizeof what,
                      "%ld bytes of flash and %ld bytes of EEPROM, the sizes of no chip in "
                      "ostrel.ini: the dump has been cut short, or is not a whole chip",
                      sizes.flashBytes, sizes.eepromBytes);
        return RefusedFile(
            texts::kWrongInputFile,
            name + " ends at line " + std::to_string(sizes.lastLine) + " with " + what + ".");
    }
    good.endRecord = true;  // a dump has its own end: the EEPROM section
    good.records = sizes.flashBytes / 16;
    good.lastRecordLine = sizes.lastLine;
    return good;
}

}  // namespace ostrel::image
