// Reading one line of a text file into the programmer's line buffer.
//
// The device file, the fuse and lock scripts and the line count of a data
// file all go through this reader, so they agree on what a line is: it ends
// at LF (a CR LF pair is one line end), at a lone CR, or at a NUL byte inside
// the line. Reading stops at the end of the file, at a NUL or 0xFF byte at
// the start of a line and at a 0xFF byte anywhere; a last line without a line
// end is left in the buffer but reported as the end of reading.
#pragma once

#include <cstddef>

#include "app/programmer.h"
#include "platform/text_file.h"

namespace ostrel::devices {

// Characters of a line that fit into lineBuffer.
inline constexpr std::size_t kMaxLineLength = 98;

// Reads the next line of `reader` into p.state.lineBuffer (cleared first, the
// line end not stored). Returns 0 when a line, possibly empty, was read and -1
// when reading has stopped; on -1 the buffer keeps the characters of an
// unterminated last line. A line longer than kMaxLineLength keeps its first
// kMaxLineLength characters and the rest of it is read over up to its end;
// LineWasCut tells the caller so.
int ReadTextLine(Programmer& p, TextReader& reader);

// True when the line that ReadTextLine read last was longer than
// kMaxLineLength and only its beginning is in lineBuffer.
bool LineWasCut(const Programmer& p);

}  // namespace ostrel::devices
