#include "image/hex_reader.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/activity.h"
#include "platform/text_util.h"

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
    std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
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
    if (std::filesystem::exists(exact, ec))
        return exact;
    std::filesystem::path wanted(exact);
    std::string wantedName = wanted.filename().string();
    std::string found;
    for (const auto& entry : std::filesystem::directory_iterator(wanted.parent_path(), ec)) {
        std::string entryName = entry.path().filename().string();
        if (EqualsNoCase(entryName, wantedName) && (found.empty() || entry.path().string() < found))
            found = entry.path().string();
    }
    return found.empty() ? exact : found;
}

int ReadHexLine(TextReader& reader, HexLine& line) {
    line.Clear();
    int c = reader.Get();
    if (c == -1 || c == 0x00 || c == 0xFF)
        return kEndOfFile;
    while (!IsLineEnd(c)) {
        // Anything past the longest legal record is read over, not cut off
        // into a shorter record: the caller refuses the line as a whole.
        line.Append(static_cast<char>(c));
        c = reader.Get();
        if (c == -1 || c == 0xFF)
            return kEndOfFile;
    }
    return line.truncated() ? kLineTooLong : kLineRead;
}

int CheckHexFile(Programmer& p) {
    TextReader reader;
    if (!reader.Open(CurrentFilePath(p))) {
        p.state.errorText.Assign("Open Error!");
        return 1;
    }
    HexLine line;
    unsigned char data[255];
    for (;;) {
        int result = ReadHexLine(reader, line);
        if (result == kEndOfFile)
            break;
        if (result == kLineRead && line.empty())
            break;  // lines after an empty line are not checked
        std::string_view text = line.view();
        int length = HexPair(text, 1);
        if (result == kLineTooLong || text.front() != ':' || length < 0) {
            p.state.errorText.Assign("Wrong File-Format!");
            return 1;
        }
        // Length, address (two bytes), type, the data and the checksum must
        // all be digit pairs; characters after the checksum are not looked at.
        int sum = length;
        int header[3];
        for (int i = 0; i < length + 3; ++i) {
            int byte = HexPair(text, 3 + 2 * static_cast<std::size_t>(i));
            if (byte < 0) {
                p.state.errorText.Assign("Wrong File-Format!");
                return 1;
            }
            if (i < 3) {
                header[i] = byte;
            } else {
                data[i - 3] = static_cast<unsigned char>(byte);
            }
            sum += byte;
        }
        int checksum = HexPair(text, 9 + 2 * static_cast<std::size_t>(length));
        if (checksum < 0) {
            p.state.errorText.Assign("Wrong File-Format!");
            return 1;
        }
        if (checksum != ((-sum) & 0xFF)) {
            p.state.errorText.Assign("Checksum wrong!");
            return 1;
        }
        // A record of length 0 ends the data whatever its type.
        if (length == 0)
            continue;
        switch (ClassifyRecord(header[2], length, data)) {
            case TypeVerdict::Data:
            case TypeVerdict::Skip:
                break;
            case TypeVerdict::Above64k:
                p.state.errorText.Assign(Above64kText(header[2]));
                return 1;
            case TypeVerdict::Unsupported:
                p.state.errorText.Assign(UnsupportedTypeText(header[2]));
                return 1;
            case TypeVerdict::Malformed:
                p.state.errorText.Assign("Wrong File-Format!");
                return 1;
        }
    }
    return 0;
}

bool IsDumpFile(const Programmer& p) {
    std::string name = FileNamePart(p.state.currentFileName.view());
    return name.size() == 12 && std::string_view(name).substr(1) == "eadback.txt";
}

namespace {

// Character positions of the eight word groups of a flash line of a dump
// ("0000: 0C94 3400 ..."), each four digits, high byte first.
constexpr int kGroupPositions[8] = {6, 11, 16, 21, 26, 31, 36, 41};

// Builds the record of one flash line of a dump into `record`. False when
// the line does not hold eight complete groups of four hexadecimal digits.
bool DumpLineToRecord(std::string_view line, int address, FixedString<48>& record) {
    unsigned char bytes[16];
    for (int g = 0; g < 8; ++g) {
        int high = HexPair(line, kGroupPositions[g]);
        int low = HexPair(line, kGroupPositions[g] + 2);
        if (high < 0 || low < 0)
            return false;
        // Ascending byte addresses: the low byte of each word first.
        bytes[2 * g] = static_cast<unsigned char>(low);
        bytes[2 * g + 1] = static_cast<unsigned char>(high);
    }
    record.Format(":10%.4X00", address);
    int sum = 0x10 + (address >> 8) + (address & 0xFF);
    for (unsigned char b : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%.2X", b);
        record.Append(pair);
        sum += b;
    }
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%.2X", (-sum) & 0xFF);
    record.Append(checksum);
    return true;
}

}  // namespace

int ConvertDumpToHex(Programmer& p) {
    TextReader dump;
    if (!dump.Open(CurrentFilePath(p))) {
        p.state.errorText.Assign("Cannot open input file.\n");
        return 1;
    }
    p.currentDirectory = p.state.startDirectory.str();
    std::string outPath = HexTmpPath(p);
    TextWriter out;
    if (!out.Create(outPath)) {
        p.state.errorText.Assign("Cannot open output file.\n");
        return 1;
    }
    auto fail = [&](std::string_view text) {
        p.state.errorText.Assign(text);
        out.Close();
        std::error_code ec;
        std::filesystem::remove(outPath, ec);  // no half-converted file is left to program from
        return 1;
    };

    // The flash section starts with the line of address 0000, after at most
    // three header lines.
    HexLine line;
    bool found = false;
    for (int n = 0; n < 4 && !found; ++n) {
        int result = ReadHexLine(dump, line);
        if (result == kEndOfFile)
            break;
        found = result == kLineRead && line.view().substr(0, 5) == "0000:";
    }
    if (!found)
        return fail("Wrong input file!\n");

    // Record addresses come from a counter: only the first line's address is checked.
    int address = 0;
    FixedString<48> record;
    for (;;) {
        if (address > 0xFFF0)
            return fail("Data above 64 KB is not supported.\n");
        if (!DumpLineToRecord(line.view(), address, record))
            return fail("Wrong input file!\n");
        out.Write(record.view());
        out.NewLine();
        address += 16;
        int result = ReadHexLine(dump, line);
        if (result == kEndOfFile)
            break;
        if (result == kLineTooLong)
            return fail("Wrong input file!\n");
        // The empty line after the flash section ends it.
        if (line.size() < 5 || line.at(4) != ':')
            break;
    }
    if (!out.Close())
        return fail("Cannot open output file.\n");
    return 0;
}

// ---------------------------------------------------------------------------

bool HexRecordStream::Open(const std::string& path) {
    length_ = 0;
    next_ = 0;
    return reader_.Open(path);
}

void HexRecordStream::Close() {
    reader_.Close();
    length_ = 0;
    next_ = 0;
}

RecordResult HexRecordStream::FormatError(int offendingChar, bool expectedColon) {
    ProgrammerState& s = p_.state;
    if (expectedColon) {
        s.activityText.Assign("Expected ':'\n");
        app::ShowActivity(p_);
    }
    // The character code as a signed byte, so 80..FE print as FFFFFF80..FFFFFFFE
    // (and the end of the file, inside a record, as FFFFFFFF).
    s.activityText.Format("fehllesung %04X\n",
                          static_cast<unsigned>(static_cast<int>(
                              static_cast<signed char>(offendingChar < 0 ? 0xFF : offendingChar))));
    app::ShowActivity(p_);
    s.errorText.Assign("No Intel Int.8/MDS-Format\n");
    Close();
    return RecordResult::FormatError;
}

RecordResult HexRecordStream::Refuse(std::string_view text) {
    p_.state.errorText.Assign(text);
    Close();
    return RecordResult::FormatError;
}

bool HexRecordStream::ReadBytes(int at, int count, int* offending) {
    for (int i = 0; i < count; ++i) {
        int hi = reader_.Get();
        int hiValue = HexDigit(hi);
        if (hiValue < 0) {
            *offending = hi;
            return false;
        }
        int lo = reader_.Get();
        int loValue = HexDigit(lo);
        if (loValue < 0) {
            *offending = lo;
            return false;
        }
        data_[at + i] = static_cast<unsigned char>(hiValue * 16 + loValue);
    }
    return true;
}

RecordResult HexRecordStream::NextRecord(HexRecord& record) {
    for (;;) {
        length_ = 0;
        next_ = 0;
        if (!reader_.IsOpen())
            return RecordResult::EndOfFile;
        int c = reader_.Get();
        // An FF byte where a record must begin counts as the end of the file.
        if (c == -1 || c == 0xFF)
            return RecordResult::EndOfFile;
        if (c != ':')
            return FormatError(c, true);

        int offending = 0;
        if (!ReadBytes(0, 1, &offending))
            return FormatError(offending, false);
        int length = data_[0];
        if (length == 0)
            return RecordResult::EndOfData;  // the rest of the file is not read

        // Address, type, the data and the checksum, before any byte is handed
        // out. The checksum itself is CheckHexFile's business.
        if (!ReadBytes(1, 3 + length + 1, &offending))
            return FormatError(offending, false);

        int type = data_[3];
        switch (ClassifyRecord(type, length, data_ + 4)) {
            case TypeVerdict::Data:
                record.length = length;
                record.address = data_[1] * 256 + data_[2];
                record.type = type;
                length_ = length;
                next_ = 0;
                return RecordResult::Record;
            case TypeVerdict::Skip:
                FinishRecord();
                continue;
            case TypeVerdict::Above64k:
                return Refuse(Above64kText(type) + "\n");
            case TypeVerdict::Unsupported:
                return Refuse(UnsupportedTypeText(type) + "\n");
            case TypeVerdict::Malformed:
                return Refuse("No Intel Int.8/MDS-Format\n");
        }
    }
}

int HexRecordStream::NextDataByte() {
    if (next_ >= length_)
        return -1;
    return data_[4 + next_++];
}

void HexRecordStream::ReadOverSegmentValue() {
    next_ = length_;
}

void HexRecordStream::FinishRecord() {
    // The checksum was read with the record; what follows is one line end.
    // Whatever character stands there is taken as it, so a blank before the
    // line end leaves the line end where the next ":" must be.
    length_ = 0;
    next_ = 0;
    reader_.Get();
}

FileCheck CheckDataFile(Programmer& p, const std::string& path, bool /*eepromData*/) {
    FixedString<280> kept = p.state.currentFileName;
    std::string keptDir = p.currentDirectory;
    p.state.currentFileName.Assign(path);
    int result = CheckHexFile(p);
    p.state.currentFileName = kept;
    p.currentDirectory = keptDir;
    FileCheck check;
    if (result == 0)
        return check;
    check.systemText = p.state.errorText.str();
    check.verdict =
        check.systemText == "Checksum wrong!" ? FileVerdict::ChecksumWrong : FileVerdict::Refused;
    check.detail = path;
    return check;
}

FileCheck CheckDumpFile(Programmer& /*p*/, const std::string& /*path*/) {
    return {};
}

}  // namespace ostrel::image
