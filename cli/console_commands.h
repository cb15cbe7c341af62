// The console's commands, one row each: the parser, --help and the run are
// all made from this table, so a new command is one row here (and its code
// in app/ when it is a command of the main window).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace ostrel::cli {

// What a command prints on standard output when it succeeds.
enum class ConsoleResult {
    Verdict,        // "OK": the command's only result is that it worked
    ChipName,       // the name of the chip found
    Report,         // the signature report (the message box, printed)
    ReadbackTxt,    // the path of readback.txt in the start directory
    ReadbackHex,    // the path of readback.hex in the start directory
    CableReadings,  // the cable test's readings and verdict
    FuseReport,     // every fuse byte and the lock byte, bit by bit with meanings
};

struct ConsoleCommand {
    std::string_view name;
    bool takesFile;  // FILE follows the name
    int command;     // the main window's command number it runs
    ConsoleResult result;
    std::string_view help;
    // Which of the options that only some commands use (kCommandOptions)
    // this one uses, separated by blanks; every other option applies to all.
    std::string_view options;
};

// The options that only some commands use: --yes (a command that asks),
// --no-erase and --eep (the writes), --device (a command that identifies the chip),
// --set, --factory and --allow-lockout (the fuses command).
inline constexpr std::string_view kCommandOptions =
    "--yes --no-erase --eep --device --set --factory --allow-lockout";

// Of those, the ones that ask a command to do something more or otherwise:
// given to a command that does not use them they would be dropped unseen
// (fuses --set on check, --eep on verify) and the run would end "OK" without
// what was asked, so such a run is refused as a usage error. --yes and
// --device only shape how a command runs, and are let through.
inline constexpr std::string_view kActionOptions =
    "--no-erase --eep --set --factory --allow-lockout";

// The first action option of `given` (long names) that `command` does not
// use, with the commands that do: "--set is an option of fuses"; empty when
// each applies.
std::string UnusedActionOption(const ConsoleCommand& command, std::span<const std::string> given);

std::span<const ConsoleCommand> ConsoleCommands();

// The row of a command by its name; null when there is none.
const ConsoleCommand* FindConsoleCommand(std::string_view name);

// Whether the option (its long name, "--eep") applies to the command: every
// option does, except those of kCommandOptions the row does not list.
bool OptionAppliesTo(const ConsoleCommand& command, std::string_view option);

}  // namespace ostrel::cli
