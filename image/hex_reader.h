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

#include "app/programmer.h"
#include "platform/fixed_string.h"
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
// The line is longer than any legal record. What fitted is in the line and
// marked as cut; the rest of the line has been read over.
inline constexpr int kLineTooLong = 1;

// Name of the temporary file a dump is converted into, in the start directory.
inline constexpr std::string_view kHexTmpName = "hex.tmp";

// Reads the next line into `line`, without its line end (LF, CR LF or a lone
// CR). kLineRead, also for an empty line; kEndOfFile at the end of the file,
// at a NUL or FF byte where a line begins and at an FF byte inside a line (a
// last line without a line end is not delivered); kLineTooLong.
int ReadHexLine(TextReader& reader, HexLine& line);

// Checks syntax, checksums and record types of the file named by
// currentFileName up to its end or its first empty line. 0 when it passed;
// 1 with errorText "Open Error!", "Wrong File-Format!", "Checksum wrong!" or
// a text naming an unsupported record type or data above 64 KB.
int CheckHexFile(Programmer& p);

// True when the file named by currentFileName is a readback dump: its name
// without the folder is any one character followed by "eadback.txt".
bool IsDumpFile(const Programmer& p);

// Turns the flash section of the dump named by currentFileName into hex.tmp
// in the start directory (which becomes the current directory). 0 on
// success; 1 with errorText "Cannot open input file.\n", "Cannot open output
// file.\n", "Wrong input file!\n" or a text naming data above 64 KB.
int ConvertDumpToHex(Programmer& p);

// What a whole data file looks like before the chip is touched.
enum class FileVerdict {
    Good,           // every line is a record the engine will accept
    ChecksumWrong,  // well formed, but a checksum does not add up: the user may go on
    Refused,        // the engine would refuse it, or it cannot be read: never sent
};
struct FileCheck {
    FileVerdict verdict = FileVerdict::Good;
    // The system's own text: "Open Error!", "Wrong File-Format!", "Checksum
    // wrong!", or a text of ours (data above 64 KB, unknown record type).
    std::string systemText;
    // Our line for the user: which file, which line, what is wrong.
    std::string detail;
};

// Checks the whole Intel HEX file at `path` exactly as the record stream will
// read it (flash data, or EEPROM data when `eepromData`).
FileCheck CheckDataFile(Programmer& p, const std::string& path, bool eepromData);
// Checks the whole readback dump at `path` exactly as the conversion reads it.
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
    EndOfFile,    // the file ended (or an FF byte stands where a record must begin)
    FormatError,  // errorText is set and the file is closed
};

// The records of an Intel HEX file, one data byte at a time, for the
// program-and-verify engine. A record is read and checked as a whole before
// NextRecord hands it out: a record whose digits are not all hexadecimal,
// that the file ends in, or whose type is refused gives FormatError, so none
// of its bytes ever reaches the chip. Checksums are not checked here (that
// is CheckHexFile's job), and only data records (type 00) are handed out.
class HexRecordStream {
  public:
    explicit HexRecordStream(Programmer& p) : p_(p) {}
    HexRecordStream(const HexRecordStream&) = delete;
    HexRecordStream& operator=(const HexRecordStream&) = delete;

    // Opens the file at `path`; false when it cannot be opened.
    bool Open(const std::string& path);
    bool IsOpen() const { return reader_.IsOpen(); }
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
    // Reads over the line end after the current record. The next character
    // must be the ":" of the next record or the end of the file.
    void FinishRecord();

  private:
    RecordResult FormatError(int offendingChar, bool expectedColon);
    RecordResult Refuse(std::string_view text);
    // Reads `count` hexadecimal digit pairs into data_ from index `at` on.
    bool ReadBytes(int at, int count, int* offending);

    Programmer& p_;
    TextReader reader_;
    unsigned char data_[4 + 255 + 1] = {};  // length, address high and low, type, data, checksum
    int length_ = 0;
    int next_ = 0;  // index of the next data byte to hand out
};

// The texts of a refused record type, for CheckHexFile (without a line end)
// and the record stream (with one, like the engine's other failure texts).
std::string Above64kText(int type);
std::string UnsupportedTypeText(int type);

}  // namespace ostrel::image
