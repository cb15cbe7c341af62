#include "devices/text_line.h"

namespace ostrel::devices {

namespace {
// A byte that no text file holds: an erased EPROM image or a file padded with
// 0xFF ends the reading wherever it appears.
constexpr int kStopByte = 0xFF;
static_assert(decltype(ProgrammerState::lineBuffer)::kCapacity == kMaxLineLength);
}  // namespace

int ReadTextLine(Programmer& p, TextReader& reader) {
    auto& line = p.state.lineBuffer;
    line.Clear();
    int c = reader.Get();
    if (c < 0 || c == 0x00 || c == kStopByte)
        return -1;
    for (;;) {
        if (c == '\n' || c == '\r' || c == 0x00)
            return 0;
        // Past kMaxLineLength the buffer takes nothing more and marks itself
        // as cut; the characters are still read so the next line starts at
        // the real line end.
        line.Append(static_cast<char>(c));
        c = reader.Get();
        if (c < 0 || c == kStopByte)
            return -1;
    }
}

bool LineWasCut(const Programmer& p) {
    return p.state.lineBuffer.truncated();
}

}  // namespace ostrel::devices
