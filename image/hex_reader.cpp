#include "image/hex_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/activity.h"
#include "platform/paths.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::image {

namespace {

// The byte written as two digits at `pos` of `text`; -1 when the text ends
// there or one of the two is not a hexadecimal digit.
int HexPair(std::string_view text, std::size_t pos) {
    if (pos + 2 > text.size())
        return -1;
    int hi = HexDigit(static_cast<unsigned char>(text[pos]));
    int lo = HexDigit(static_cast<unsigned char>(text[pos + 1]));
    if (hi < 0 || lo < 0)
        return -1;
    return hi * 16 + lo;
}

// What a record of a given type and length means to this program.
enum class TypeVerdict {
    Data,         // 00: data bytes
    Skip,         // changes nothing: 02 or 04 with value 0, start addresses 03 and 05
    Above64k,     // 02 or 04 with a value other than 0
    Unsupported,  // any other type, and an end record that carries data
    Malformed,    // 02 or 04 that does not hold exactly the two bytes of its value
};

// `data` holds the record's data bytes; called for records of length 1 or more.
TypeVerdict ClassifyRecord(int type, int length, const unsigned char* data) {
    switch (type) {
        case 0x00:
            return TypeVerdict::Data;
        case 0x02:
        case 0x04:
            if (length != 2)
                return TypeVerdict::Malformed;
            return (data[0] == 0 && data[1] == 0) ? TypeVerdict::Skip : TypeVerdict::Above64k;
        case 0x03:
        case 0x05:
            return TypeVerdict::Skip;
        default:
            return TypeVerdict::Unsupported;
    }
}

bool IsLineEnd(int c) {
    return c == '\n' || c == '\r';
}

std::string FileNamePart(std::string_view path) {
    // Either separator ends the folder part, whatever the system.
    return std::string(FileNameOf(path, PathStyle::Windows));
}

}  // namespace

std::string Above64kText(int type) {
    char text[64];
    std::snprintf(text, sizeof text, "Data above 64 KB (record type %02X) is not supported.",
                  type & 0xFF);
    return text;
}

std::string UnsupportedTypeText(int type) {
    char text[64];
    std::snprintf(text, sizeof text, "Record type %02X is not supported.", type & 0xFF);
    return text;
}

std::string CurrentFilePath(const Programmer& p) {
    return ResolvePath(p.currentDirectory, p.state.currentFileName.view());
}

std::string HexTmpPath(const Programmer& p) {
    return ResolvePath(p.state.startDirectory.view(), kHexTmpName);
}

std::string SiblingFilePath(const Programmer& p, std::string_view extension) {
    std::string_view name = p.state.currentFileName.view();
    if (name.size() < 3)
        return {};
    std::string sibling(name.substr(0, name.size() - 3));
    sibling.append(extension);
    std::string exact = ResolvePath(p.currentDirectory, sibling);
    // PROG.HEX has its PROG.EEP and PROG.SCR: look the sibling up without
    // regard to letter case, preferring the exact spelling, then the first
    // in name order so that the choice never depends on the folder's order.
    std::error_code ec;
    if (std::filesystem::exists(FsPath(exact), ec))
        return exact;
    std::filesystem::path wanted = FsPath(exact);
    std::string wantedName = wanted.filename().string();
    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(wanted.parent_path(), ec)) {
        std::string entryName = entry.path().filename().string();
        if (EqualsNoCase(entryName, wantedName) && (found.empty() || entry.path().string() < found))
            found = entry.path().string();
    }
    return found.empty() ? exact : found;
}

int ReadHexLine(TextReader& reader, HexLine& line, LineEnding* ending) {
    LineEnding local;
    LineEnding& end = ending ? *ending : local;
    end = LineEnding{};
    line.Clear();
    int count = 0;         // characters of the line read so far
    int lastNonBlank = 0;  // characters up to and including the last one that is no blank or tab
    int c = reader.Get();
    if (c == -1)
        return kEndOfFile;
    for (;; c = reader.Get()) {
        if (c == -1 || IsLineEnd(c)) {
            end.byte = c;
            break;
        }
        if (c == 0x00 || c == 0xFF) {
            end.byte = c;
            end.column = count + 1;
            return kBadByte;
        }
        ++count;
        if (c != ' ' && c != '\t') {
            if (count > static_cast<int>(kMaxHexLine)) {
                // Past the longest legal record: read over the rest of the
                // line rather than cut it into a shorter record.
                end.byte = c;
                end.column = count;
                for (c = reader.Get(); c != -1 && !IsLineEnd(c); c = reader.Get()) {
                }
                return kLineTooLong;
            }
            lastNonBlank = count;
        }
        // Blanks past the limit are not stored; they can only be trailing
        // ones, or the line is refused as too long when more text follows.
        if (count <= static_cast<int>(kMaxHexLine))
            line.Append(static_cast<char>(c));
    }
    line.Truncate(static_cast<std::size_t>(lastNonBlank));
    return kLineRead;
}

bool HexLineReader::Open(const std::string& path) {
    lineNumber_ = 0;
    line_.Clear();
    ending_ = LineEnding{};
    return reader_.Open(path);
}

int HexLineReader::Next() {
    int result = ReadHexLine(reader_, line_, &ending_);
    if (result != kEndOfFile)
        ++lineNumber_;
    return result;
}

namespace {

// A character as the user is told about it.
std::string DescribeChar(int c) {
    char text[32];
    if (c == ' ')
        return "a blank";
    if (c == '\t')
        return "a tab";
    if (c > ' ' && c < 0x7F)
        std::snprintf(text, sizeof text, "'%c'", static_cast<char>(c));
    else
        std::snprintf(text, sizeof text, "byte 0x%02X", static_cast<unsigned>(c & 0xFF));
    return text;
}

std::string BadByteText(int byte) {
    char text[80];
    std::snprintf(text, sizeof text, "byte 0x%02X where text was expected (not a text file?)",
                  static_cast<unsigned>(byte & 0xFF));
    return text;
}

std::string TooLongText(std::size_t limit) {
    return "the line is longer than the longest legal one (" + std::to_string(limit) +
           " characters)";
}

// One line of a hex file as both the check and the record stream judge it.
struct JudgedLine {
    enum Kind {
        EndOfFile,    // nothing left
        Blank,        // empty, or blanks only: read over
        Data,         // a data record (type 00)
        Skip,         // a record that changes nothing
        End,          // a record of length 0: the data ends here
        Malformed,    // not a well-formed record: `what`, `offending`, `expectedColon`
        TypeRefused,  // a well-formed record of a refused type: `typeText`
    } kind = EndOfFile;
    int length = 0;
    int address = 0;
    int type = 0;
    unsigned char data[255] = {};
    int checksum = 0;  // as written
    int wanted = 0;    // the value that makes the record add up to 0
    // Malformed: the character code where it went wrong (-1 for the end of
    // the file), whether a ':' was expected there, and our description.
    int offending = 0;
    bool expectedColon = false;
    bool wrongAddressRecord = false;  // an address record of the wrong size
    std::string what;
    // TypeRefused: the text (without a line end).
    std::string typeText;
};

// Reads and judges the next line. Every rule of the format lives here, so
// the check and the record stream cannot disagree about a file.
JudgedLine JudgeNextLine(HexLineReader& in) {
    JudgedLine j;
    int result = in.Next();
    const LineEnding& end = in.ending();
    auto malformed = [&](int offending, bool expectedColon, std::string what) {
        j.kind = JudgedLine::Malformed;
        j.offending = offending;
        j.expectedColon = expectedColon;
        j.what = std::move(what);
        return j;
    };
    if (result == kEndOfFile)
        return j;
    if (result == kBadByte)
        return malformed(end.byte, end.column == 1, BadByteText(end.byte));
    if (result == kLineTooLong)
        return malformed(end.byte, false, TooLongText(kMaxHexLine));

    std::string_view text = in.line().view();
    if (text.empty()) {
        j.kind = JudgedLine::Blank;
        return j;
    }
    if (text[0] != ':') {
        return malformed(static_cast<unsigned char>(text[0]), true,
                         "the line does not begin with ':' but with " +
                             DescribeChar(static_cast<unsigned char>(text[0])));
    }
    // Length first: it says how long the record is. Then every character up
    // to the checksum must be a hexadecimal digit, and nothing may follow.
    std::size_t needed = 11;  // ":" length address type checksum, without data
    for (std::size_t i = 1; i < needed; ++i) {
        if (i >= text.size() && i <= 2)
            return malformed(end.byte, false, "the record ends before its length");
        if (i >= text.size()) {
            char what[96];
            std::snprintf(what, sizeof what,
                          "the record ends after %zu characters; its length %02X needs %zu",
                          text.size(), static_cast<unsigned>(j.length), needed);
            return malformed(end.byte, false, what);
        }
        int c = static_cast<unsigned char>(text[i]);
        if (HexDigit(c) < 0) {
            return malformed(c, false,
                             DescribeChar(c) + " is not a hexadecimal digit (column " +
                                 std::to_string(i + 1) + ")");
        }
        if (i == 2) {
            j.length = HexPair(text, 1);
            needed += 2 * static_cast<std::size_t>(j.length);
        }
    }
    if (text.size() > needed) {
        int c = static_cast<unsigned char>(text[needed]);
        return malformed(c, false,
                         DescribeChar(c) + " after the checksum (column " +
                             std::to_string(needed + 1) + "); a record ends with its checksum");
    }
    j.address = HexPair(text, 3) * 256 + HexPair(text, 5);
    j.type = HexPair(text, 7);
    int sum = j.length + (j.address >> 8) + (j.address & 0xFF) + j.type;
    for (int i = 0; i < j.length; ++i) {
        j.data[i] = static_cast<unsigned char>(HexPair(text, 9 + 2 * static_cast<std::size_t>(i)));
        sum += j.data[i];
    }
    j.checksum = HexPair(text, needed - 2);
    j.wanted = (-sum) & 0xFF;

    // A record of length 0 ends the data whatever its type.
    if (j.length == 0) {
        j.kind = JudgedLine::End;
        return j;
    }
    switch (ClassifyRecord(j.type, j.length, j.data)) {
        case TypeVerdict::Data:
            j.kind = JudgedLine::Data;
            break;
        case TypeVerdict::Skip:
            j.kind = JudgedLine::Skip;
            break;
        case TypeVerdict::Above64k:
            j.kind = JudgedLine::TypeRefused;
            j.typeText = Above64kText(j.type);
            break;
        case TypeVerdict::Unsupported:
            j.kind = JudgedLine::TypeRefused;
            j.typeText = UnsupportedTypeText(j.type);
            break;
        case TypeVerdict::Malformed: {
            char what[96];
            std::snprintf(what, sizeof what,
                          "an address record (type %02X) holds two bytes, this one %d",
                          static_cast<unsigned>(j.type), j.length);
            j.wrongAddressRecord = true;
            return malformed(':', false, what);
        }
    }
    return j;
}

// "prog.hex, line 12: " and the text.
std::string LineDetail(std::string_view name, int line, std::string_view what) {
    return std::string(name) + ", line " + std::to_string(line) + ": " + std::string(what) + ".";
}

// Why a file cannot be opened, in a few words.
std::string OpenFailureDetail(const std::string& path, int error) {
    std::error_code ec;
    std::string name = FileNamePart(path);
    if (!std::filesystem::exists(FsPath(path), ec))
        return name + " cannot be opened: there is no such file.";
    if (std::filesystem::is_directory(FsPath(path), ec))
        return name + " cannot be opened: it is a folder.";
    return name + " cannot be opened: " + (error ? std::strerror(error) : "reading is refused") +
           ".";
}

FileCheck Refused(std::string systemText, std::string detail) {
    FileCheck check;
    check.verdict = FileVerdict::Refused;
    check.systemText = std::move(systemText);
    check.detail = std::move(detail);
    return check;
}

void NoteReach(FileCheck& check, long start, long end, int line) {
    if (check.reaches.empty() || end > check.reaches.back().end)
        check.reaches.push_back({start, end, line});
}

}  // namespace

const FileCheck::Reach* FirstReachBeyond(const FileCheck& check, long size) {
    for (const FileCheck::Reach& r : check.reaches)
        if (r.end > size)
            return &r;
    return nullptr;
}

FileCheck CheckDataFile(Programmer& /*p*/, const std::string& path, bool /*eepromData*/) {
    HexLineReader in;
    errno = 0;
    if (!in.Open(path))
        return Refused(texts::kOpenError, OpenFailureDetail(path, errno));
    const std::string name = FileNamePart(path);
    FileCheck check;
    int wrongChecksums = 0;
    for (;;) {
        JudgedLine j = JudgeNextLine(in);
        if (j.kind == JudgedLine::EndOfFile)
            break;
        if (j.kind == JudgedLine::Blank)
            continue;
        if (j.kind == JudgedLine::Malformed)
            return Refused(texts::kWrongFileFormat, LineDetail(name, in.lineNumber(), j.what));
        if (j.kind == JudgedLine::TypeRefused) {
            std::string what = j.typeText;
            if (!what.empty() && what.back() == '.')
                what.pop_back();
            what[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(what[0])));
            return Refused(j.typeText, LineDetail(name, in.lineNumber(), what));
        }
        ++check.records;
        if (j.kind == JudgedLine::Data) {
            check.dataBytes += j.length;
            NoteReach(check, j.address, j.address + j.length, in.lineNumber());
        }
        if (j.checksum != j.wanted && ++wrongChecksums == 1) {
            char what[64];
            std::snprintf(what, sizeof what, "checksum %02X, the record adds up to %02X",
                          static_cast<unsigned>(j.checksum), static_cast<unsigned>(j.wanted));
            check.detail = LineDetail(name, in.lineNumber(), what);
        }
        if (j.kind == JudgedLine::End)
            break;  // the record stream reads nothing after it either
    }
    if (wrongChecksums > 0) {
        check.verdict = FileVerdict::ChecksumWrong;
        check.systemText = texts::kChecksumWrong;
        if (wrongChecksums > 1) {
            check.detail.pop_back();
            check.detail +=
                " (" + std::to_string(wrongChecksums) + " records in all have a wrong checksum).";
        }
    }
    return check;
}

int CheckHexFile(Programmer& p) {
    FileCheck check = CheckDataFile(p, CurrentFilePath(p), p.state.eepromFile != 0);
    if (check.verdict == FileVerdict::Good)
        return 0;
    p.state.errorText.Assign(check.systemText);
    return 1;
}

bool IsDumpFile(const Programmer& p) {
    std::string name = FileNamePart(p.state.currentFileName.view());
    return name.size() == 12 && std::string_view(name).substr(1) == "eadback.txt";
}

namespace {

// A flash line of a dump: "0000: 0C94 3400 0C94 5100 0C94 5100 0C94 5100",
// the word address, ':', then eight words of four digits, each after a
// blank, high byte first.
constexpr std::size_t kFlashLineLength = 45;

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

// Reads one flash line into its word address and its 16 bytes in ascending
// byte-address order (the low byte of each word first). Empty when the line
// is a flash line; otherwise what is wrong with it.
std::string ParseFlashLine(std::string_view line, int& wordAddress, unsigned char bytes[16]) {
    for (std::size_t i = 0; i < kFlashLineLength; ++i) {
        if (i >= line.size()) {
            return "the flash line ends after " + std::to_string(line.size()) +
                   " characters; a flash line holds an address, ':' and eight words (" +
                   std::to_string(kFlashLineLength) + " characters)";
        }
        int c = static_cast<unsigned char>(line[i]);
        char wanted = i == 4 ? ':' : (i > 4 && (i - 5) % 5 == 0) ? ' ' : 'h';
        bool fits = wanted == 'h' ? HexDigit(c) >= 0 : c == wanted;
        if (!fits) {
            std::string belongs = wanted == 'h'   ? "a hexadecimal digit"
                                  : wanted == ':' ? "':'"
                                                  : "a blank";
            return DescribeChar(c) + " at column " + std::to_string(i + 1) + " where " + belongs +
                   " belongs";
        }
    }
    if (line.size() > kFlashLineLength) {
        return DescribeChar(static_cast<unsigned char>(line[kFlashLineLength])) +
               " after the eighth word (column " + std::to_string(kFlashLineLength + 1) + ")";
    }
    wordAddress = HexPair(line, 0) * 256 + HexPair(line, 2);
    for (int g = 0; g < 8; ++g) {
        std::size_t at = 6 + 5 * static_cast<std::size_t>(g);
        bytes[2 * g] = static_cast<unsigned char>(HexPair(line, at + 2));
        bytes[2 * g + 1] = static_cast<unsigned char>(HexPair(line, at));
    }
    return {};
}

// Reads the flash section of a dump and hands each flash line to
// `onLine(lineNumber, wordAddress, bytes)`. Both the check and the
// conversion read a dump through here, so they refuse the same dumps.
template <typename OnLine>
DumpFault ReadDumpFlash(HexLineReader& in, OnLine&& onLine) {
    auto lineFault = [&](int result) -> DumpFault {
        if (result == kBadByte)
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                               BadByteText(in.ending().byte));
        return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                           TooLongText(kMaxHexLine));  // kLineTooLong
    };
    // The flash section starts with the line of address 0000, after at most
    // three header lines.
    bool found = false;
    for (int n = 0; n < 4 && !found; ++n) {
        int result = in.Next();
        if (result == kEndOfFile)
            break;
        if (result != kLineRead)
            return lineFault(result);
        found = in.line().view().substr(0, 5) == "0000:";
    }
    if (!found) {
        return DumpRefused(texts::kWrongInputFile, 0,
                           "no flash line of address 0000 among its first four lines");
    }
    int expected = 0;  // word address the next flash line must have
    for (;;) {
        int address = 0;
        unsigned char bytes[16];
        std::string what = ParseFlashLine(in.line().view(), address, bytes);
        if (!what.empty())
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(), what);
        if (address != expected) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "address %04X where %04X was expected (a line missing or out of place?)",
                          static_cast<unsigned>(address), static_cast<unsigned>(expected));
            return DumpRefused(texts::kWrongInputFile, in.lineNumber(), text);
        }
        // Record addresses have 16 bits: 32768 words at most.
        if (address >= 0x8000) {
            return DumpRefused("Data above 64 KB is not supported.", in.lineNumber(),
                               "flash beyond 64 KB (word 8000 on) cannot be written from a dump");
        }
        onLine(in.lineNumber(), address, bytes);
        expected = address + 8;
        int result = in.Next();
        if (result == kEndOfFile)
            break;
        if (result != kLineRead)
            return lineFault(result);
        // The empty line after the flash section ends it.
        if (in.line().empty())
            break;
    }
    // A dump goes on with empty lines and its EEPROM section, which is never
    // programmed from here and so not read. Anything else after the empty
    // line (more flash lines after a stray empty one) would be left out
    // silently: refuse it.
    for (;;) {
        int result = in.Next();
        if (result == kEndOfFile)
            return {};
        if (result != kLineRead)
            return lineFault(result);
        if (in.line().empty())
            continue;
        if (in.line().view().substr(0, 14) == texts::kEepromMemoryHeading)
            return {};
        return DumpRefused(texts::kWrongInputFile, in.lineNumber(),
                           "the flash section ended at an empty line, but this line is not "
                           "the EEPROM section's heading");
    }
}

std::string DumpDetail(std::string_view name, const DumpFault& fault) {
    if (fault.line == 0)
        return std::string(name) + ": " + fault.what + ".";
    return LineDetail(name, fault.line, fault.what);
}

// The record of one flash line, in upper-case digits with its checksum.
void FlashLineRecord(int byteAddress, const unsigned char bytes[16], FixedString<48>& record) {
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
    errno = 0;
    if (!dump.Open(dumpPath)) {
        p.state.errorText.Assign(texts::kCannotOpenInputFile + OpenFailureDetail(dumpPath, errno) +
                                 "\n");
        return 1;
    }
    p.currentDirectory = p.state.startDirectory.str();
    std::string outPath = HexTmpPath(p);
    TextWriter out;
    if (!out.Create(outPath)) {
        p.state.errorText.Assign(texts::kCannotOpenOutputFile);
        return 1;
    }
    auto fail = [&](std::string_view text) {
        p.state.errorText.Assign(text);
        out.Close();
        std::error_code ec;
        std::filesystem::remove(FsPath(outPath),
                                ec);  // no half-converted file is left to program from
        return 1;
    };

    FixedString<48> record;
    int first = 0;
    DumpFault fault =
        ReadDumpFlash(dump, [&](int lineNumber, int wordAddress, const unsigned char* bytes) {
            if (first == 0)
                first = lineNumber;
            FlashLineRecord(2 * wordAddress, bytes, record);
            out.Write(record.view());
            out.NewLine();
        });
    if (!fault.ok) {
        std::string text = fault.systemText;
        text += '\n';
        text += DumpDetail(name, fault);
        text += '\n';
        return fail(text);
    }
    if (!out.Close())
        return fail(texts::kCannotOpenOutputFile);
    if (firstFlashLine)
        *firstFlashLine = first;
    return 0;
}

FileCheck CheckDumpFile(Programmer& /*p*/, const std::string& path) {
    HexLineReader dump;
    errno = 0;
    if (!dump.Open(path))
        return Refused(texts::kOpenError, OpenFailureDetail(path, errno));
    FileCheck good;
    DumpFault fault =
        ReadDumpFlash(dump, [&good](int lineNumber, int wordAddress, const unsigned char*) {
            good.dataBytes += 16;  // eight words a line
            NoteReach(good, 2L * wordAddress, 2L * wordAddress + 16, lineNumber);
        });
    if (fault.ok)
        return good;
    return Refused(fault.systemText, DumpDetail(FileNamePart(path), fault));
}

// ---------------------------------------------------------------------------

bool HexRecordStream::Open(const std::string& path) {
    length_ = 0;
    next_ = 0;
    return lines_.Open(path);
}

void HexRecordStream::Close() {
    lines_.Close();
    length_ = 0;
    next_ = 0;
}

RecordResult HexRecordStream::FormatError(int offendingChar, bool expectedColon) {
    ProgrammerState& s = p_.state;
    if (expectedColon) {
        s.activityText.Assign(texts::kExpectedColon);
        core::ShowActivity(p_);
    }
    // The character code as a signed byte, so 80..FF print as FFFFFF80..FFFFFFFF
    // (and the end of the file, inside a record, as FFFFFFFF).
    s.activityText.Format(texts::kMisreadFormat,
                          static_cast<unsigned>(static_cast<int>(
                              static_cast<signed char>(offendingChar < 0 ? 0xFF : offendingChar))));
    core::ShowActivity(p_);
    s.errorText.Assign(texts::kNoIntelFormat);
    Close();
    return RecordResult::FormatError;
}

RecordResult HexRecordStream::Refuse(std::string_view text) {
    p_.state.errorText.Assign(text);
    Close();
    return RecordResult::FormatError;
}

RecordResult HexRecordStream::NextRecord(HexRecord& record) {
    for (;;) {
        length_ = 0;
        next_ = 0;
        if (!lines_.IsOpen())
            return RecordResult::EndOfFile;
        JudgedLine j = JudgeNextLine(lines_);
        switch (j.kind) {
            case JudgedLine::EndOfFile:
                return RecordResult::EndOfFile;
            case JudgedLine::Blank:
            case JudgedLine::Skip:
                continue;
            case JudgedLine::End:
                return RecordResult::EndOfData;  // the rest of the file is not read
            case JudgedLine::Malformed:
                // An address record of the wrong size keeps the system's
                // format text without the activity texts of a misread.
                if (j.wrongAddressRecord)
                    return Refuse(texts::kNoIntelFormat);
                return FormatError(j.offending, j.expectedColon);
            case JudgedLine::TypeRefused:
                return Refuse(j.typeText + "\n");
            case JudgedLine::Data:
                record.length = j.length;
                record.address = j.address;
                record.type = j.type;
                std::copy(j.data, j.data + j.length, data_);
                length_ = j.length;
                return RecordResult::Record;
        }
    }
}

int HexRecordStream::NextDataByte() {
    if (next_ >= length_)
        return -1;
    return data_[next_++];
}

void HexRecordStream::ReadOverSegmentValue() {
    next_ = length_;
}

void HexRecordStream::FinishRecord() {
    // The record's line was read whole, checksum and line end included.
    length_ = 0;
    next_ = 0;
}

}  // namespace ostrel::image
