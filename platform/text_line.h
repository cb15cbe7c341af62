// Reading one line of a text file into the programmer's line buffer.
//
// The device file, the fuse and lock scripts and the line count of a data
// file all go through this reader, so they agree on what a line is: it ends
// at LF (a CR LF pair is one line end) or at a lone CR. Reading stops at the
// end of the file; a last line without a line end is left in the buffer and
// reported with the end of reading, so each caller decides whether it counts.
//
// A NUL or 0xFF byte is never text: the reader stops there and says so with
// a result of its own, so that a caller can tell a file that ends from one
// that holds binary data (an erased EPROM image, a file padded with 0xFF, a
// file saved in another encoding) and refuse it instead of silently taking
// the byte as the end of the file.
#pragma once

#include <cstddef>

#include "core/fixed_string.h"
#include "core/programmer.h"
#include "platform/text_file.h"

namespace ostrel::text {

// Characters of a line that fit into lineBuffer.
inline constexpr std::size_t kMaxLineLength = 98;

// Results of ReadTextLine. Every result but kLineRead ends the reading, so a
// caller that reads "while (ReadTextLine(...) == 0)" stops at all of them.
inline constexpr int kLineRead = 0;
inline constexpr int kEndOfFile = -1;
inline constexpr int kNulByte = -2;  // a 0x00 byte
inline constexpr int kFfByte = -3;   // a 0xFF byte

// The buffer a line is read into: kMaxLineLength characters and the
// terminator (the programmer's lineBuffer).
using LineBuffer = FixedString<kMaxLineLength + 1>;

// Reads the next line of `reader` into `line` (cleared first, the
// line end not stored). Returns kLineRead when a line, possibly empty, was
// read; kEndOfFile at the end of the file, the buffer then holding the
// characters of an unterminated last line (empty when there is none);
// kNulByte or kFfByte when such a byte was met, the buffer then holding the
// characters of the line before it. A line longer than kMaxLineLength keeps
// its first kMaxLineLength characters and the rest of it is read over up to
// its end; LineWasCut tells the caller so.
int ReadTextLine(LineBuffer& line, TextReader& reader);

// True for kNulByte and kFfByte.
inline bool IsBinaryStop(int result) {
    return result == kNulByte || result == kFfByte;
}

// The byte value a binary stop result stands for (0x00 or 0xFF).
inline int BinaryStopByte(int result) {
    return result == kFfByte ? 0xFF : 0x00;
}

// True when the line that ReadTextLine read last into `line` was longer than
// kMaxLineLength and only its beginning is in the buffer.
inline bool LineWasCut(const LineBuffer& line) {
    return line.truncated();
}

}  // namespace ostrel::text
