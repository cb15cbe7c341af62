// The lines of Intel HEX files and readback dumps: one line reader for both,
// and the words every reader of them uses to tell the user what is wrong
// and where.
#pragma once

#include <string>
#include <string_view>

#include "core/fixed_string.h"
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
    // Why Open failed, in a few words.
    const std::string& why() const { return reader_.why(); }
    // The identity of the open file.
    std::optional<FileIdentity> Identity() const { return reader_.Identity(); }
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

// The byte written as two digits at `pos` of `text`; -1 when the text ends
// there or one of the two is not a hexadecimal digit.
int HexPair(std::string_view text, std::size_t pos);

// A character as the user is told about it: "a blank", "'x'", "byte 0x1A".
std::string DescribeChar(int c);
// What a NUL or FF byte in a line is.
std::string BadByteText(int byte);
// What a line longer than `limit` characters is.
std::string TooLongText(std::size_t limit);
// "prog.hex, line 12: " and the text, with a full stop.
std::string LineDetail(std::string_view name, int line, std::string_view what);
// Why the file at `path` could not be opened, in one sentence that names it;
// `why` is what the reader said.
std::string OpenFailureDetail(const std::string& path, const std::string& why);

}  // namespace ostrel::image
