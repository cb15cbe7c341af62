#include "devices/text_line.h"

namespace ostrel::devices {

namespace {
static_assert(decltype(ProgrammerState::lineBuffer)::kCapacity == kMaxLineLength);
}  // namespace

int ReadTextLine(Programmer& p, TextReader& reader) {
    auto& line = p.state.lineBuffer;
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

bool LineWasCut(const Programmer& p) {
    return p.state.lineBuffer.truncated();
}

}  // namespace ostrel::devices
