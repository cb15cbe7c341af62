#include "app/fuse_script.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "adapter/adapter.h"
#include "app/endings.h"
#include "avr/avr.h"
#include "core/activity.h"
#include "core/ids.h"
#include "devices/fuse_tables.h"
#include "image/file_names.h"
#include "platform/text_file.h"
#include "platform/text_line.h"
#include "platform/text_util.h"
#include "platform/texts.h"

namespace ostrel::app {

namespace {

// Character positions (from 0) of the four bytes.
constexpr std::size_t kBytePositions[4] = {0, 3, 6, 9};
constexpr std::size_t kQuotedLength = 11;
// Characters of a line quoted in a problem text at most.
constexpr std::size_t kShownLength = 40;

// Why a line is not an instruction of four bytes, each two hexadecimal
// digits at its fixed place (characters 1-2, 4-5, 7-8 and 10-11); empty when
// it is one. Characters 3, 6 and 9 are separators whatever they hold, and
// whatever follows character 11 is a comment, as the system reads a line
// ("AC-A0-00-E1", "AC A0 00 E1 fuse low"). A byte written with one digit
// would be read as another value (a "0" where "00" was meant shifts every
// later digit), so nothing is guessed.
std::string LineFault(std::string_view line) {
    char text[96];
    for (std::size_t i = 0; i < 4; ++i) {
        std::size_t pos = kBytePositions[i];
        if (pos + 2 > line.size() || HexDigit(line[pos]) < 0 || HexDigit(line[pos + 1]) < 0) {
            std::snprintf(text, sizeof text,
                          "byte %zu must be two hexadecimal digits at characters %zu-%zu", i + 1,
                          pos + 1, pos + 2);
            return text;
        }
    }
    return {};
}

// The line as a problem text quotes it: cut, control characters made visible.
std::string Shown(std::string_view line) {
    std::string shown(line.substr(0, kShownLength));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < ' ')
            c = '?';
    }
    return line.size() > kShownLength ? shown + "..." : shown;
}

enum class LineKind { End, Comment, Instruction, LastInstruction };

// What a script instruction does to the memories the write has just
// verified: nothing (fuse and lock bits, reads), undoes all of it (Chip
// Erase, AC 100x xxxx), or changes some of it (EEPROM and program memory
// writes, page loads and the extended address of the page write).
enum class MemoryEffect { None, ChipErase, Changes };
struct Effect {
    MemoryEffect effect;
    const char* name;
};
Effect EffectOf(const std::array<uint8_t, 4>& b) {
    if (b[0] == 0xAC && (b[1] & 0xE0) == 0x80)
        return {MemoryEffect::ChipErase, "Chip Erase"};
    switch (b[0]) {
        case 0xC0:
            return {MemoryEffect::Changes, "Write EEPROM"};
        case 0xC1:
            return {MemoryEffect::Changes, "Load EEPROM Memory Page"};
        case 0xC2:
            return {MemoryEffect::Changes, "Write EEPROM Memory Page"};
        case 0x40:
        case 0x48:
            return {MemoryEffect::Changes, "Load or Write Program Memory"};
        case 0x4C:
            return {MemoryEffect::Changes, "Write Program Memory Page"};
        case 0x4D:
            return {MemoryEffect::Changes, "Load Extended Address"};
        default:
            return {MemoryEffect::None, ""};
    }
}

// Reads the next script line into lineBuffer and says what it is. A NUL or
// 0xFF byte ends it as well; the check has refused such a script before.
LineKind NextLine(Programmer& p, TextReader& reader) {
    int result = text::ReadTextLine(p.state.lineBuffer, reader);
    if (text::IsBinaryStop(result) || p.state.lineBuffer.empty())
        return LineKind::End;  // an empty line, or the end of the file
    if (p.state.lineBuffer.at(0) == ';')
        return result == text::kLineRead ? LineKind::Comment : LineKind::End;
    return result == text::kLineRead ? LineKind::Instruction : LineKind::LastInstruction;
}

void EndWithFailure(Programmer& p) {
    app::SetActivityField(p, " ");
    p.windows.EnableItem(p.state.mainWindow, ids::kActivity, false);
    p.windows.EnableItem(p.state.mainWindow, ids::kCurrentFile, false);
    p.windows.Repaint(p.state.mainWindow);
}

// Sends one line; false when a read instruction got the wrong answer.
// `where` names the script and the line ("prog.scr, line 7").
bool ExecuteLine(Programmer& p, const std::array<uint8_t, 4>& bytes, const std::string& where) {
    ProgrammerState& s = p.state;
    bool readInstruction = bytes[0] >= 0x50 && bytes[0] <= 0x5F;
    if (!readInstruction)
        p.chipChangeSent = true;  // a fuse or lock write, or what the user agreed to
    s.txWord = bytes[0] * 256 + bytes[1];
    adapter::WaitMs(p, 5);
    adapter::TransferWord(p);
    s.txWord = bytes[2] * 256 + bytes[3];
    adapter::WaitMs(p, 5);
    adapter::TransferWord(p);
    if (!readInstruction || (s.rxShift & 0xFF) == bytes[3])
        return true;

    std::string text = texts::kVerifyFuseLockFailed;
    text.append(s.lineBuffer.view().substr(0, kQuotedLength));
    char received[64];
    std::snprintf(received, sizeof received, "\n\nByte 4 received: %02X", s.rxShift & 0xFF);
    text.append(received);
    std::snprintf(received, sizeof received, "%02X where the script expects %02X.",
                  s.rxShift & 0xFF, bytes[3]);
    text.append("\n\n" + where + ": the chip answered " + received);
    p.windows.MessageBox(ids::kNoOwner, text, texts::kTitleErrorLoud, MsgButtons::Ok,
                         MessageKind::Error);
    EndWithFailure(p);
    return false;
}

// Whether there is a script at all: anything by that name counts, so that a
// script that cannot be read is refused rather than taken as none.
// Anything of that name, a link to nothing included: a script the user
// put there and that cannot be read is refused, never passed over.
bool ScriptExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() &&
           std::filesystem::exists(std::filesystem::symlink_status(FsPath(path), ec));
}

// Why the guard refuses the line for the chip that answered; empty when it
// does not (no fuse or lock write, a value that keeps the chip reachable, or
// a chip without a table, whose lines cannot be judged). The value is
// judged against the chip's factory value, which never locks out, so no
// extra instruction is sent; the lockout states are the same whatever the
// chip holds now.
std::string RefusedWrite(const Programmer& p, const std::array<uint8_t, 4>& bytes) {
    const devices::FuseChip* chip = devices::FindFuseChip(p.state.signatureHex.view());
    devices::FuseByte byte{};
    if (chip == nullptr || !devices::FuseByteOfWrite(chip, bytes[0], bytes[1], &byte))
        return {};
    const uint8_t factory = chip->factory[static_cast<int>(byte)];
    const devices::GuardResult verdict = devices::JudgeFuseWrite(
        chip, byte, factory, devices::FuseValueOfWrite(*chip, byte, factory, bytes[1], bytes[3]));
    return verdict.verdict == devices::GuardVerdict::kRefuse ? verdict.words : std::string();
}

// The guard on a line that writes a fuse or lock byte: a value that locks
// serial programming out stops the script before the line. A chip without a
// table gets the line as written.
bool GuardAllows(Programmer& p, const std::array<uint8_t, 4>& bytes, const std::string& where) {
    const devices::FuseChip* chip = devices::FindFuseChip(p.state.signatureHex.view());
    devices::FuseByte byte{};
    if (!devices::FuseByteOfWrite(chip, bytes[0], bytes[1], &byte))
        return true;
    if (chip == nullptr) {
        app::SetActivityField(p, where + ": not checked, no fuse table for this chip");
        return true;
    }
    const std::string refused = RefusedWrite(p, bytes);
    if (refused.empty())
        return true;
    p.windows.MessageBox(ids::kNoOwner,
                         where + ": " + refused +
                             "\n\nThe script stopped before this line; it and the lines after "
                             "it were not sent.",
                         texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
    EndWithFailure(p);
    return false;
}

}  // namespace

bool CheckFuseScript(Programmer& p, const std::string& path, std::string& problem,
                     std::vector<std::string>* memoryLines) {
    problem.clear();
    if (memoryLines != nullptr)
        memoryLines->clear();
    if (!ScriptExists(path))
        return true;  // no script: nothing to run
    const std::string name = FsPath(path).filename().string();
    TextReader reader;
    if (!reader.Open(path)) {
        // A script that is there but cannot be read (a folder, a FIFO, no
        // permission) is no missing script: the Write would end "OK" without
        // the fuses the user asked for.
        problem = "The script " + name + " is there but cannot be read: " + reader.why() + ".";
        return false;
    }
    auto refuse = [&](int number, const std::string& why) {
        problem = "Script line " + std::to_string(number) + " of " + name + ": " + why;
        return false;
    };
    // The same lines a run reads, up to the empty line or the end of the file.
    for (int number = 1;; ++number) {
        int result = text::ReadTextLine(p.state.lineBuffer, reader);
        if (text::IsBinaryStop(result)) {
            char why[112];
            int byte = text::BinaryStopByte(result);
            if (text::LineWasCut(p.state.lineBuffer))
                std::snprintf(why, sizeof why, "a byte %02X, which is no text", byte);
            else
                std::snprintf(why, sizeof why, "a byte %02X at character %zu, which is no text",
                              byte, p.state.lineBuffer.size() + 1);
            return refuse(number, std::string(why) + "; the file is damaged or not a script.");
        }
        std::string_view line = p.state.lineBuffer.view();
        if (line.empty())
            return true;
        if (line[0] != ';') {
            std::string fault = LineFault(line);
            if (!fault.empty())
                return refuse(number, fault + ":\n\n" + Shown(line));
            const Effect effect = EffectOf(*ParseScriptLine(line));
            if (effect.effect == MemoryEffect::ChipErase)
                return refuse(number, "a Chip Erase, which would undo the write it follows:\n\n" +
                                          Shown(line));
            if (effect.effect == MemoryEffect::Changes && memoryLines != nullptr)
                memoryLines->push_back("line " + std::to_string(number) + ": " +
                                       Shown(line.substr(0, 11)) + " (" + effect.name + ")");
        }
        if (result != text::kLineRead)
            return true;
    }
}

ScriptJudgement JudgeScriptWrites(Programmer& p, const std::string& path) {
    ScriptJudgement judged;
    const devices::FuseChip* chip = devices::FindFuseChip(p.state.signatureHex.view());
    TextReader reader;
    if (chip == nullptr || !ScriptExists(path) || !reader.Open(path))
        return judged;  // no table to judge by, or nothing to run
    const std::string name = FsPath(path).filename().string();
    // What each byte holds as the script goes: read from the chip the first
    // time a line writes it, then what the lines before wrote.
    std::array<std::optional<uint8_t>, devices::kFuseByteCount> holds{};
    for (int number = 1;; ++number) {
        const LineKind kind = NextLine(p, reader);
        if (kind == LineKind::End)
            return judged;
        if (kind == LineKind::Comment)
            continue;
        const auto bytes = ParseScriptLine(p.state.lineBuffer.view());
        if (!bytes)
            return judged;
        const std::string where = name + ", line " + std::to_string(number) + ": ";
        if (std::string refused = RefusedWrite(p, *bytes); !refused.empty()) {
            judged.refused = where + refused;
            return judged;
        }
        devices::FuseByte byte{};
        if (devices::FuseByteOfWrite(chip, (*bytes)[0], (*bytes)[1], &byte)) {
            auto& held = holds[static_cast<int>(byte)];
            if (!held)
                held = avr::ReadFuseByte(p, *chip, byte);
            const uint8_t value =
                devices::FuseValueOfWrite(*chip, byte, *held, (*bytes)[1], (*bytes)[3]);
            const devices::GuardResult verdict = avr::JudgeFuseWrite(p, chip, byte, *held, value);
            if (verdict.verdict == devices::GuardVerdict::kAsk)
                judged.asked.push_back(where + verdict.words);
            held = value;
        }
        if (kind == LineKind::LastInstruction)
            return judged;
    }
}

std::optional<std::array<uint8_t, 4>> ParseScriptLine(std::string_view line) {
    if (!LineFault(line).empty())
        return std::nullopt;
    std::array<uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        std::size_t pos = kBytePositions[i];
        bytes[i] = static_cast<uint8_t>(HexDigit(line[pos]) * 16 + HexDigit(line[pos + 1]));
    }
    return bytes;
}

int RunFuseScript(Programmer& p) {
    std::string path = image::SiblingFilePath(p, "scr");
    if (!ScriptExists(path)) {
        p.windows.Beep();
        return app::ShowOk(p) ? 0 : 1;
    }
    std::string problem;
    std::vector<std::string> memoryLines;
    TextReader reader;
    if (!CheckFuseScript(p, path, problem, &memoryLines) || !reader.Open(path)) {
        p.windows.MessageBox(ids::kNoOwner, problem + "\n\nNothing of the script was sent.",
                             texts::kTitleErrorLoud, MsgButtons::Ok, MessageKind::Error);
        EndWithFailure(p);
        return 1;
    }
    app::SetActivityField(p, texts::kFuseAndLockBits);
    adapter::WaitMs(p, 300);
    const std::string name = FsPath(path).filename().string();
    for (int number = 1;; ++number) {
        LineKind kind = NextLine(p, reader);
        if (kind == LineKind::End)
            break;
        if (kind == LineKind::Comment)
            continue;
        auto bytes = ParseScriptLine(p.state.lineBuffer.view());
        if (!bytes)
            break;  // cannot happen after the check; never send an invented instruction
        // A long script takes a while (10 ms a line): the window takes input between lines.
        core::ServiceWindow(p);
        if (!GuardAllows(p, *bytes, name + ", line " + std::to_string(number)))
            return 1;
        if (!ExecuteLine(p, *bytes, name + ", line " + std::to_string(number)))
            return 1;
        if (kind == LineKind::LastInstruction)
            break;
    }
    reader.Close();
    p.windows.Beep();
    if (memoryLines.empty()) {
        app::SetActivityField(p, texts::kFuseLockProgrammed);
    } else {
        // The user agreed to it before the chip was touched; the result
        // still says that what was verified is no longer all the chip holds.
        app::SetActivityField(p, std::string(texts::kFuseLockProgrammed) +
                                     "; the script changed the memory after the verify");
    }
    return 0;
}

}  // namespace ostrel::app
