#include "platform/text_line.h"

namespace ostrel::text {

int ReadTextLine(LineBuffer& line, TextReader& reader) {
    line.Clear();
    for (;;) {
        int c = reader.Get();
        if (c < 0)
            return kEndOfFile;
        if (c == 0x00)
            return kNulByte;
        if (c == 0xFF)
            return kFfByte;
        if (c == '\n' || c == '\r')
            return kLineRead;  // the line end is consumed, not stored
        // Past kMaxLineLength the buffer takes nothing more and marks itself
        // as cut; the characters are still read so the next line starts at
        // the real line end.
        line.Append(static_cast<char>(c));
    }
}

}  // namespace ostrel::text
