#include "cli/console_commands.h"

#include <array>

#include "core/ids.h"

namespace ostrel::cli {

namespace {

constexpr std::array kCommands = {
    ConsoleCommand{"check", false, ids::kCheck, ConsoleResult::ChipName,
                   "identify the chip and print its name from ostrel.ini", "--device"},
    ConsoleCommand{"signature", false, ids::kReadSignature, ConsoleResult::Report,
                   "print the signature report (vendor, family, part number, echo)", "--device"},
    ConsoleCommand{"reset", false, ids::kResetRun, ConsoleResult::Verdict,
                   "pulse RESET and let the chip run its program", ""},
    ConsoleCommand{"erase", false, ids::kEraseAll, ConsoleResult::Verdict,
                   "erase the whole chip, which also removes a code protection (asks first)",
                   "--yes --device"},
    ConsoleCommand{"erase-eeprom", false, ids::kBulkEraseData, ConsoleResult::Verdict,
                   "erase the EEPROM (asks first)", "--yes --device"},
    ConsoleCommand{"lock", false, ids::kLockChip, ConsoleResult::Verdict,
                   "program the lock bits LB1 and LB2", "--device"},
    ConsoleCommand{"fuses", false, ids::kLockChip, ConsoleResult::FuseReport,
                   "print every fuse byte and the lock byte, bit by bit with names and "
                   "meanings; with --set (or --factory, the chip's factory values) write them "
                   "first (checked, then read back)",
                   "--yes --device --set --factory --allow-lockout"},
    ConsoleCommand{"read", false, ids::kRead, ConsoleResult::ReadbackTxt,
                   "read flash and EEPROM into FILE (default: readback.txt in the start "
                   "directory); print its path",
                   "--device"},
    ConsoleCommand{"readhex", false, ids::kReadbackInhx, ConsoleResult::ReadbackHex,
                   "read the flash into FILE (default: readback.hex in the start directory); "
                   "print its path",
                   "--device"},
    ConsoleCommand{"write", true, ids::kWrite, ConsoleResult::Verdict,
                   "program FILE: erase the flash (unless --no-erase), program, verify, the .eep "
                   "file beside a .hex (with --eep), the fuse script. EEPROM data always clears "
                   "the whole EEPROM first",
                   "--yes --no-erase --eep --device"},
    ConsoleCommand{"verify", true, ids::kVerify, ConsoleResult::Verdict,
                   "compare the chip with FILE", "--yes --device"},
    ConsoleCommand{"quick", true, ids::kQuick, ConsoleResult::Verdict,
                   "write FILE without erasing the flash (EEPROM data still clears the whole "
                   "EEPROM first); what changed since the last write goes to a .dif file",
                   "--yes --eep --device"},
    ConsoleCommand{"cable-test", false, ids::kCableTest, ConsoleResult::CableReadings,
                   "each line high and low in turn, held 2 s, with MISO and the serial "
                   "loop-backs read back; ends with the target running",
                   ""},
};

bool ListsWord(std::string_view list, std::string_view word) {
    while (!list.empty()) {
        std::size_t end = list.find(' ');
        if (list.substr(0, end) == word)
            return true;
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return false;
}

}  // namespace

std::span<const ConsoleCommand> ConsoleCommands() {
    return kCommands;
}

const ConsoleCommand* FindConsoleCommand(std::string_view name) {
    for (const ConsoleCommand& command : kCommands)
        if (command.name == name)
            return &command;
    return nullptr;
}

bool OptionAppliesTo(const ConsoleCommand& command, std::string_view option) {
    return !ListsWord(kCommandOptions, option) || ListsWord(command.options, option);
}

std::string UnusedActionOption(const ConsoleCommand& command, std::span<const std::string> given) {
    for (const std::string& option : given) {
        if (!ListsWord(kActionOptions, option) || OptionAppliesTo(command, option))
            continue;
        std::string users;
        for (const ConsoleCommand& other : kCommands) {
            if (!OptionAppliesTo(other, option))
                continue;
            users += users.empty() ? "" : ", ";
            users += other.name;
        }
        return option + " does nothing for " + std::string(command.name) + "; it is an option of " +
               users;
    }
    return {};
}

}  // namespace ostrel::cli
