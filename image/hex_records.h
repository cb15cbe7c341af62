// The records of Intel HEX files: one judge of a line (JudgeNextLine), used
// by the check of a whole file before the chip is touched and by the record
// stream the engine programs from, so that the two accept exactly the same
// files; and the stream itself.
//
// Addresses are linear: an extended segment address record (type 02, the
// value times 16, as avr-objcopy writes at 0x10000 and 0x20000) or an
// extended linear address record (type 04, the value times 65536) sets the
// base that the 16-bit address of every later data record is added to, up
// to 16 MB (type 04 values up to 00FF). EEPROM data at 0x810000 (a combined
// image), larger bases and record types this program does not know are
// refused before any of their data is used; start addresses (03, 05) are
// read over. A record of length 0 ends the data, whatever its type.
#pragma once

#include <string>
#include <string_view>

#include "core/programmer.h"
#include "image/hex_line.h"

namespace ostrel::image {

// One line of a hex file as both the check and the record stream judge it.
struct JudgedLine {
    enum Kind {
        EndOfFile,    // nothing left
        Blank,        // empty, or blanks only: read over
        Data,         // a data record (type 00)
        Skip,         // a record without data: `setsBase` for an address record
        End,          // a record of length 0: the data ends here
        Malformed,    // not a well-formed record: `what`, `offending`, `expectedColon`
        TypeRefused,  // a well-formed record of a refused type: `typeText`
    } kind = EndOfFile;
    int length = 0;
    int address = 0;
    int type = 0;
    unsigned char data[255] = {};
    // An address record (02, 04): the base it sets for the records after it.
    bool setsBase = false;
    long base = 0;
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
JudgedLine JudgeNextLine(HexLineReader& in);

// The byte address of data byte 0 of a data record under `base`.
inline long LinearAddress(long base, const JudgedLine& j) {
    return base + j.address;
}

// The texts of a refused record type, for the check (without a line end)
// and the record stream (with one, like the engine's other failure texts).
std::string BeyondReachText(int type);
// The refusal of EEPROM data (address 0x810000 and up) in a flash file.
inline constexpr char kEepromInFlashText[] =
    "EEPROM data (address 0x810000) in a flash file: write it from the .eep file.";
std::string UnsupportedTypeText(int type);

// One record header as the engine sees it.
struct HexRecord {
    int length = 0;   // data bytes in the record, 1 to 255
    int address = 0;  // the byte address: the base of the address records and the 16-bit field
    int type = 0;     // the type field
};

enum class RecordResult {
    Record,       // a data record; its bytes follow with NextDataByte
    EndOfData,    // a record of length 0: nothing after it is read
    EndOfFile,    // the file ended
    FormatError,  // errorText is set and the file is closed
};

// The records of an Intel HEX file, one data byte at a time, for the
// program-and-verify engine. A record is read and judged as a whole before
// NextRecord hands it out, and a line that is not a well-formed record (or a
// NUL or FF byte, or a refused type) gives FormatError, so none of its bytes
// ever reaches the chip. Blank lines are read over. Checksums are not
// checked here (that is the check's job), and only data records (type 00)
// are handed out.
class HexRecordStream {
  public:
    explicit HexRecordStream(Programmer& p) : p_(p) {}
    HexRecordStream(const HexRecordStream&) = delete;
    HexRecordStream& operator=(const HexRecordStream&) = delete;

    // Opens the file at `path`; false when it cannot be opened.
    bool Open(const std::string& path);
    bool IsOpen() const { return lines_.IsOpen(); }
    void Close();
    // The identity of the open file.
    std::optional<FileIdentity> Identity() const { return lines_.Identity(); }

    // The next record. On Record, `record` holds its header.
    RecordResult NextRecord(HexRecord& record);
    // The next data byte of the current record (0 to 255); -1 when the
    // record has none left.
    int NextDataByte();
    // Drops what is left of the current record's data. (NextRecord takes
    // the address records itself.)
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
    int next_ = 0;   // index of the next data byte to hand out
    long base_ = 0;  // set by the address records
};

}  // namespace ostrel::image
