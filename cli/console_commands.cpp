#include "cli/console_commands.h"

#include <array>

#include "core/ids.h"

namespace ostrel::cli {

namespace {

constexpr std::array kCommands = {
    ConsoleCommand{"check", false, ids::kCheck, ConsoleResult::ChipName,
                   "identify the chip and print its name from ostrel.ini"},
    ConsoleCommand{"signature", false, ids::kReadSignature, ConsoleResult::Report,
                   "print the signature report (vendor, family, part number, echo)"},
    ConsoleCommand{"reset", false, ids::kResetRun, ConsoleResult::Verdict,
                   "pulse RESET and let the chip run its program"},
    ConsoleCommand{"erase", false, ids::kEraseAll, ConsoleResult::Verdict,
                   "erase the whole chip, which also removes a code protection (asks first)"},
    ConsoleCommand{"erase-eeprom", false, ids::kBulkEraseData, ConsoleResult::Verdict,
                   "erase the EEPROM (asks first)"},
    ConsoleCommand{"lock", false, ids::kLockChip, ConsoleResult::Verdict,
                   "program the lock bits LB1 and LB2"},
    ConsoleCommand{
        "read", false, ids::kRead, ConsoleResult::ReadbackTxt,
        "read flash and EEPROM into readback.txt in the start directory; print its path"},
    ConsoleCommand{"readhex", false, ids::kReadbackInhx, ConsoleResult::ReadbackHex,
                   "read the flash into readback.hex in the start directory; print its path"},
    ConsoleCommand{"write", true, ids::kWrite, ConsoleResult::Verdict,
                   "program FILE: erase (unless --no-erase), program, verify, .eep follow-up (with "
                   "--eep), fuse script"},
    ConsoleCommand{"verify", true, ids::kVerify, ConsoleResult::Verdict,
                   "compare the chip with FILE"},
    ConsoleCommand{
        "quick", true, ids::kQuick, ConsoleResult::Verdict,
        "write FILE without erasing; what changed since the last write goes to a .dif file"},
    ConsoleCommand{"cable-test", false, ids::kCableTest, ConsoleResult::CableReadings,
                   "each line high and low in turn, held 2 s, with MISO and the serial "
                   "loop-backs read back; ends with the target running"},
};

}  // namespace

std::span<const ConsoleCommand> ConsoleCommands() {
    return kCommands;
}

}  // namespace ostrel::cli
