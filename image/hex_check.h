// Judging a whole data file before the chip is touched: an Intel HEX file
// (CheckDataFile) as the record stream will read it, or a readback dump
// (CheckDumpFile, in image/dump.h) as its conversion will. Every byte a
// command will send is read and judged here first, so that a file that
// cannot be sent whole is refused before anything is erased.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/programmer.h"

namespace ostrel::image {

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
    // (dumps), or a text of ours (EEPROM data in a flash file, data above
    // 16 MB, unknown record type).
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
    // A hex file: whether its data ends with a record of length 0, and the
    // number of its last line that holds a record. A file without an end
    // record may have been cut off; the user is asked before it is sent.
    bool endRecord = false;
    int lastRecordLine = 0;
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

// A refusal with the system's text and our detail line.
FileCheck RefusedFile(std::string systemText, std::string detail);
// Notes a record of bytes [start, end) on `line` in check.reaches.
void NoteReach(FileCheck& check, long start, long end, int line);

// The first record of a checked file that reaches past a memory of `size`
// bytes (the one a write would stop at, after erasing the chip); null when
// the whole file fits.
const FileCheck::Reach* FirstReachBeyond(const FileCheck& check, long size);

// The text of a refusal for two records that give one address two values.
inline constexpr const char* kTwoValuesText = "The file gives two values for one address.";

// Checks the whole Intel HEX file at `path` exactly as the record stream will
// read it: the same line reader and the same record rules, up to the end
// record (length 0) or the end of the file. Blank lines, trailing blanks and
// tabs, lower-case digits, any of the three line ends and a last line
// without one are accepted; a NUL or FF byte, a line that is not a record,
// a record shorter or longer than its length says, an over-long line and the
// refused record types are Refused. So are a data record after the end
// record (the stream would never read it) and two records that give one
// address different values (the chip can hold only one of them; the same
// value twice is accepted). A wrong checksum gives ChecksumWrong, unless a
// later line is refused. Flash and EEPROM files (`eepromData`) follow the
// same rules, as the record stream reads both alike.
FileCheck CheckDataFile(Programmer& p, const std::string& path, bool eepromData);

// The identity the command's check noted for the file at `path` (the empty
// FileIdentity when it noted that there was none); null when it did not
// look at that name.
const FileIdentity* CheckedIdentity(const Programmer& p, const std::string& path);

// Whether the file at `path`, as named now and (when given) as `opened`, is
// the file the command checked, unchanged. True when it checked none of
// that name.
bool IsCheckedFile(const Programmer& p, const std::string& path,
                   const std::optional<FileIdentity>* opened = nullptr);

// errorText for a file that is not what was checked (replaced, renamed over,
// rewritten, switched to a device), with what the chip holds now.
void SetChangedFileText(Programmer& p, const std::string& path, std::string_view chipState);

// What the chip holds when the file of a pass of the engine turns out not to
// be the checked one: before the pass has sent anything of it, or after it
// has sent all of it.
const char* ChipStateBeforePass(const Programmer& p);
const char* ChipStateAfterPass(const Programmer& p);

// Checks syntax, checksums and record types of the whole file named by
// currentFileName, exactly as the record stream reads it (CheckDataFile).
// 0 when it passed; 1 with errorText "Open Error!", "Wrong File-Format!",
// "Checksum wrong!" or a text naming an unsupported record type or data
// above 16 MB. A file that is refused outright reports that, even when a
// checksum before the refused line is wrong too.
int CheckHexFile(Programmer& p);

}  // namespace ostrel::image
