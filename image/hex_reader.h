// Reading Intel HEX files and readback dumps.
//
// Flash data comes in .hex files and EEPROM data in .eep files, both in the
// 8-bit Intel HEX format: one record per line, ":" then length, 16-bit
// address, type, data and checksum as pairs of hexadecimal digits. A dump
// (readback.txt) is accepted as a flash source too; it is first turned into
// the temporary Intel HEX file hex.tmp in the start directory.
//
// Only the first 64 KB can be addressed. Records that place data above it
// (types 02 and 04 with a value other than 0) and record types this program
// does not know are refused before any of their data is used; records that
// change nothing (02 and 04 with value 0, start addresses 03 and 05) are
// read over.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/fixed_string.h"
#include "core/programmer.h"
#include "platform/text_file.h"

namespace ostrel::image {

// The longest legal record: ":" + length + address + type + 255 data bytes +
// checksum, 1 + 2 + 4 + 2 + 510 + 2 characters.
inline constexpr std::size_t kMaxHexLine = 521;
// A line of a hex file or a dump, never longer than the longest legal record.
using HexLine = FixedString<kMaxHexLine + 1>;

// Results of ReadHexLine.
inline constexpr int kLineRead = 0;
inline constexpr int kEndOfFile = -1;
// The line is longer than any legal record. What fitted is in the line;
// the rest of the line has been read over.
inline constexpr int kLineTooLong = 1;
// A NUL or FF byte: no text file holds one (a binary file, a UTF-16 text).
// The line holds what stood before it; the rest of the line is not read.
inline constexpr int kBadByte = 2;

// How ReadHexLine's line ended.
struct LineEnding {
    // kLineRead: '\n' or '\r', or -1 when the file ended without a line end.
    // kBadByte: the byte (0x00 or 0xFF). kLineTooLong: the first character
    // past the limit.
    int byte = -1;
    // kBadByte and kLineTooLong: the column (from 1) of that byte.
    int column = 0;
};

// Name of the temporary file a dump is converted into, in the start directory.
inline constexpr std::string_view kHexTmpName = "hex.tmp";

// Reads the next line into `line`, without its line end (LF, CR LF or a lone
// CR) and without the blanks and tabs before it. kLineRead, also for an
// empty line and for a last line without a line end; kEndOfFile when
// nothing is left; kLineTooLong; kBadByte.
int ReadHexLine(TextReader& reader, HexLine& line, LineEnding* ending = nullptr);

// ReadHexLine over a file of its own, counting lines.
class HexLineReader {
  public:
    bool Open(const std::string& path);
    bool IsOpen() const { return reader_.IsOpen(); }
    void Close() { reader_.Close(); }
    // The next line: a result of ReadHexLine.
    int Next();
    const HexLine& line() const { return line_; }
    const LineEnding& ending() const { return ending_; }
    // Number of the line read last, from 1; 0 before the first.
    int lineNumber() const { return lineNumber_; }

  private:
    TextReader reader_;
    HexLine line_;
    LineEnding ending_;
    int lineNumber_ = 0;
};

// Checks syntax, checksums and record types of the whole file named by
// currentFileName, exactly as the record stream reads it (CheckDataFile).
// 0 when it passed; 1 with errorText "Open Error!", "Wrong File-Format!",
// "Checksum wrong!" or a text naming an unsupported record type or data
// above 64 KB. A file that is refused outright reports that, even when a
// checksum before the refused line is wrong too.
int CheckHexFile(Programmer& p);

// True when the file named by currentFileName is a readback dump: its name
// without the folder is any one character followed by "eadback.txt".
bool IsDumpFile(const Programmer& p);

// Turns the flash section of the dump named by currentFileName into hex.tmp
// in the start directory (which becomes the current directory), one record
// per flash line. The dump is judged as CheckDumpFile judges it and refused
// the same way: 0 on success; 1 with errorText "Cannot open input file.\n",
// "Cannot open output file.\n", "Wrong input file!\n" or "Data above 64 KB
// is not supported.\n", followed by a line of ours naming the file, the line
// and the fault. No hex.tmp is left behind a refusal. `firstFlashLine`, when
// given, receives the number of the dump line that became hex.tmp's line 1.
int ConvertDumpToHex(Programmer& p, int* firstFlashLine = nullptr);

// What a whole data file looks like before the chip is touched.
enum class FileVerdict {
    Good,           // every line is a record the engine will accept
    ChecksumWrong,  // well formed, but a checksum does not add up: the user may go on
    Refused,        // the engine would refuse it, or it cannot be read: never sent
};
struct FileCheck {
    FileVerdict verdict = FileVerdict::Good;
    // The system's own text, without a line end: "Open Error!", "Wrong
    // File-Format!", "Checksum wrong!" (hex files), "Wrong input file!"
    // (dumps), or a text of ours (data above 64 KB, unknown record type).
    std::string systemText;
    // Our line for the user: which file (its name without folder), which
    // line, what is wrong. Empty when the verdict is Good.
    std::string detail;
    // Data bytes the file holds (what a write of it will send), for the
    // estimate of how long the write takes.
    long dataBytes = 0;
    // Records read (data, end and the records that change nothing): none
    // when the file holds nothing but blank lines.
    long records = 0;
    // How far the data reaches, in file order: every record that reaches
    // past all the records before it, with the byte address of its first
    // byte, the address just past its last byte, and its line. Only known
    // once the chip is, whether the file fits.
    struct Reach {
        long start = 0;
        long end = 0;
        int line = 0;
    };
    std::vector<Reach> reaches;
};

// The first record of a checked file that reaches past a memory of `size`
// bytes (the one a write would stop at, after erasing the chip); null when
// the whole file fits.
const FileCheck::Reach* FirstReachBeyond(const FileCheck& check, long size);

// Checks the whole Intel HEX file at `path` exactly as the record stream will
// read it: the same line reader and the same record rules, up to the end
// record (length 0) or the end of the file. Blank lines, trailing blanks and
// tabs, lower-case digits, any of the three line ends and a last line
// without one are accepted; a NUL or FF byte, a line that is not a record,
// a record shorter or longer than its length says, an over-long line and the
// refused record types are Refused. A wrong checksum gives ChecksumWrong,
// unless a later line is refused. Flash and EEPROM files (`eepromData`)
// follow the same rules, as the record stream reads both alike.
FileCheck CheckDataFile(Programmer& p, const std::string& path, bool eepromData);
// Checks the readback dump at `path` exactly as ConvertDumpToHex reads it:
// up to three lines before the flash line of address 0000; flash lines of
// four digit address, ':', eight blanks each followed by four digits
// (trailing blanks allowed), each address 8 words past the one before;
// the flash section ends at an empty line or the end of the file. After it
// only empty lines and the "EEPROM-Memory:" heading may follow; the EEPROM
// lines themselves, which Write and Verify never use, are not read.
// Problems are always Refused.
FileCheck CheckDumpFile(Programmer& p, const std::string& path);

// Full path of the file named by currentFileName.
std::string CurrentFilePath(const Programmer& p);
// Full path of hex.tmp in the start directory.
std::string HexTmpPath(const Programmer& p);
// currentFileName with its last three characters (the extension) replaced
// by `extension`, resolved like the current file; an existing file whose
// name differs only in letter case is found too (the exact spelling wins).
// Empty when the name is shorter than three characters.
std::string SiblingFilePath(const Programmer& p, std::string_view extension);

// One record header as the engine sees it.
struct HexRecord {
    int length = 0;   // data bytes in the record, 1 to 255
    int address = 0;  // the 16-bit address field
    int type = 0;     // the type field
};

enum class RecordResult {
    Record,       // a data record; its bytes follow with NextDataByte
    EndOfData,    // a record of length 0: nothing after it is read
    EndOfFile,    // the file ended
    FormatError,  // errorText is set and the file is closed
};

// The records of an Intel HEX file, one data byte at a time, for the
// program-and-verify engine. Lines are read and judged by the same code as
// CheckDataFile's, so the two accept exactly the same files: a record is
// read and checked as a whole before NextRecord hands it out, and a line
// that is not a well-formed record (or a NUL or FF byte, or a refused type)
// gives FormatError, so none of its bytes ever reaches the chip. Blank
// lines are read over. Checksums are not checked here (that is the check's
// job), and only data records (type 00) are handed out.
class HexRecordStream {
  public:
    explicit HexRecordStream(Programmer& p) : p_(p) {}
    HexRecordStream(const HexRecordStream&) = delete;
    HexRecordStream& operator=(const HexRecordStream&) = delete;

    // Opens the file at `path`; false when it cannot be opened.
    bool Open(const std::string& path);
    bool IsOpen() const { return lines_.IsOpen(); }
    void Close();

    // The next record. On Record, `record` holds its header.
    RecordResult NextRecord(HexRecord& record);
    // The next data byte of the current record (0 to 255); -1 when the
    // record has none left.
    int NextDataByte();
    // Reads over the segment value of an extended segment address record.
    // NextRecord reads over such records itself (it accepts only the value
    // 0, which changes nothing), so this only drops what is left of the
    // current record's data.
    void ReadOverSegmentValue();
    // Ends the current record (its line has been read whole already).
    void FinishRecord();
    // Number of the file line of the record handed out last.
    int lineNumber() const { return lines_.lineNumber(); }

  private:
    RecordResult FormatError(int offendingChar, bool expectedColon);
    RecordResult Refuse(std::string_view text);

    Programmer& p_;
    HexLineReader lines_;
    unsigned char data_[255] = {};
    int length_ = 0;
    int next_ = 0;  // index of the next data byte to hand out
};

// The texts of a refused record type, for CheckHexFile (without a line end)
// and the record stream (with one, like the engine's other failure texts).
std::string Above64kText(int type);
std::string UnsupportedTypeText(int type);

}  // namespace ostrel::image
