// Fuse and lock scripts: the file beside the current data file with the
// extension "scr", run at the end of a Write. Each line is one instruction of
// four hexadecimal bytes ("AC A0 00 E1"); a line whose first byte is 0x50 to
// 0x5F reads fuse or lock bits, and its fourth byte is the answer the chip
// must give. ';' begins a comment line; an empty line ends the script.
//
// Every byte is exactly two hexadecimal digits (either case) at its fixed
// place, characters 1-2, 4-5, 7-8 and 10-11; characters 3, 6 and 9 separate
// them, whatever they hold, and whatever follows character 11 is a comment.
// A script with any other instruction line (a byte of one digit, a line too
// short for four bytes), or with a NUL or 0xFF byte in the lines a run would
// read, is refused as a whole before its first line is sent.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/programmer.h"

namespace ostrel::app {

// The four bytes of a script line, or no value when the line is not an
// instruction in the form above.
std::optional<std::array<uint8_t, 4>> ParseScriptLine(std::string_view line);

// Checks every line of the script at `path` that a run would read, before
// the chip is touched. True when it may run, or when there is no script at
// `path`; otherwise `problem` names the script file, the line number and what
// is wrong (to be shown to the user) and nothing may be sent. A Chip Erase
// in the script is refused so: it would undo the write it follows. The
// lines that change the memories otherwise (EEPROM and program memory
// writes and page loads) go into `memoryLines`, one text per line naming it
// and its instruction, for the user to be asked before the chip is touched.
bool CheckFuseScript(Programmer& p, const std::string& path, std::string& problem,
                     std::vector<std::string>* memoryLines = nullptr);

// The guard's word on the fuse and lock writes of a script, once the chip has
// answered and before it is touched (the run itself would stop at a refused
// line with the flash already written). Each text begins "prog.scr, line 3: ".
struct ScriptJudgement {
    std::string refused;             // the first line that locks the chip out
    std::vector<std::string> asked;  // the lines whose consequence is asked
};

// Judges each fuse or lock write of the script at `path` for the chip that
// answered, against what the chip holds (read, never written) and what the
// script's earlier lines wrote. Nothing to tell for no script, or a chip
// without a fuse table.
ScriptJudgement JudgeScriptWrites(Programmer& p, const std::string& path);

// Runs the script of the current file. 0: no script, or it ran to its end
// (the activity line then shows "OK" or "F+L Bits programmed"). 1: a read
// instruction got a wrong answer, or a line was not an instruction (the
// script is checked as a whole before its first line is sent); the user has
// been told. 1 too when the port stopped answering before the OK (the
// command runner tells that).
int RunFuseScript(Programmer& p);

}  // namespace ostrel::app
