#include "dialogs/fuse_script.h"

#include <string>

#include "adapter/adapter.h"
#include "app/endings.h"
#include "devices/text_line.h"
#include "image/hex_reader.h"
#include "platform/ids.h"
#include "platform/text_file.h"
#include "platform/text_util.h"

namespace ostrel::dialogs {

namespace {

// Character positions (from 0) of the four bytes.
constexpr std::size_t kBytePositions[4] = {0, 3, 6, 9};
constexpr std::size_t kQuotedLength = 11;

std::optional<uint8_t> ReadHexPair(std::string_view line, std::size_t pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
        ++pos;
    int value = 0;
    int digits = 0;
    while (digits < 2 && pos < line.size() && HexDigit(line[pos]) >= 0) {
        value = value * 16 + HexDigit(line[pos]);
        ++pos;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<uint8_t>(value);
}

enum class LineKind { End, Comment, Instruction, LastInstruction };

// Reads the next script line into lineBuffer and says what it is.
LineKind NextLine(Programmer& p, TextReader& reader) {
    int result = devices::ReadTextLine(p, reader);
    bool empty = p.state.lineBuffer.empty();
    if (empty)
        return LineKind::End;  // an empty line, or the end of the file
    if (p.state.lineBuffer.at(0) == ';')
        return result == 0 ? LineKind::Comment : LineKind::End;
    return result == 0 ? LineKind::Instruction : LineKind::LastInstruction;
}

// Checks every line the run would send; on the first that is not an
// instruction, tells the user which one and returns false.
bool CheckScript(Programmer& p, const std::string& path) {
    TextReader reader(path);
    int number = 0;
    for (;;) {
        LineKind kind = NextLine(p, reader);
        ++number;
        if (kind == LineKind::End)
            return true;
        if (kind == LineKind::Comment)
            continue;
        if (!ParseScriptLine(p.state.lineBuffer.view())) {
            std::string text = "Script line " + std::to_string(number) +
                               " is not an instruction of four hexadecimal bytes:\n\n" +
                               p.state.lineBuffer.str() + "\n\nNothing of the script was sent.";
            p.windows.MessageBox(ids::kNoOwner, text, "ERROR!", MsgButtons::Ok);
            return false;
        }
        if (kind == LineKind::LastInstruction)
            return true;
    }
}

void EndWithFailure(Programmer& p) {
    app::SetActivityField(p, " ");
    p.windows.EnableItem(p.state.mainWindow, ids::kActivity, false);
    p.windows.EnableItem(p.state.mainWindow, ids::kCurrentFile, false);
    p.windows.Repaint(p.state.mainWindow);
}

// Sends one line; false when a read instruction got the wrong answer.
bool ExecuteLine(Programmer& p, const std::array<uint8_t, 4>& bytes) {
    ProgrammerState& s = p.state;
    s.txWord = bytes[0] * 256 + bytes[1];
    adapter::WaitMs(p, 5);
    adapter::TransferWord(p);
    s.txWord = bytes[2] * 256 + bytes[3];
    adapter::WaitMs(p, 5);
    adapter::TransferWord(p);
    bool readInstruction = bytes[0] >= 0x50 && bytes[0] <= 0x5F;
    if (!readInstruction || (s.rxShift & 0xFF) == bytes[3])
        return true;

    std::string text = "Verify Fuse and Lockbits failed!\n\nLine:  ";
    text.append(s.lineBuffer.view().substr(0, kQuotedLength));
    char received[32];
    std::snprintf(received, sizeof received, "\n\nByte 4 received: %02X", s.rxShift & 0xFF);
    text.append(received);
    p.windows.MessageBox(ids::kNoOwner, text, "ERROR!", MsgButtons::Ok);
    EndWithFailure(p);
    return false;
}

}  // namespace

bool CheckFuseScript(Programmer& p, const std::string& path, std::string& problem) {
    (void)p;
    (void)path;
    problem.clear();
    return true;
}

std::optional<std::array<uint8_t, 4>> ParseScriptLine(std::string_view line) {
    std::array<uint8_t, 4> bytes{};
    for (int i = 0; i < 4; ++i) {
        auto value = ReadHexPair(line, kBytePositions[i]);
        if (!value)
            return std::nullopt;
        bytes[static_cast<std::size_t>(i)] = *value;
    }
    return bytes;
}

int RunFuseScript(Programmer& p) {
    std::string path = image::SiblingFilePath(p, "scr");
    TextReader reader;
    if (path.empty() || !reader.Open(path)) {
        p.windows.Beep();
        app::SetActivityField(p, "OK");
        return 0;
    }
    if (!CheckScript(p, path)) {
        EndWithFailure(p);
        return 1;
    }
    app::SetActivityField(p, "Fuse and Lock Bits");
    adapter::WaitMs(p, 300);
    for (;;) {
        LineKind kind = NextLine(p, reader);
        if (kind == LineKind::End)
            break;
        if (kind == LineKind::Comment)
            continue;
        auto bytes = ParseScriptLine(p.state.lineBuffer.view());
        if (!bytes)
            break;  // cannot happen after the check; never send an invented instruction
        if (!ExecuteLine(p, *bytes))
            return 1;
        if (kind == LineKind::LastInstruction)
            break;
    }
    reader.Close();
    p.windows.Beep();
    app::SetActivityField(p, "F+L Bits programmed");
    return 0;
}

}  // namespace ostrel::dialogs
