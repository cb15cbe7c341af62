// The desktop program's command line, read before any toolkit starts: so
// --version and --help work without a display, and an unknown option is a
// usage error rather than the name of a data file.
//
//   ostrel [OPTIONS] [FILE]
//
// FILE, when given, is written to the chip at once (only the first is used);
// "--" makes the next argument a FILE even when it starts with '-'. The
// toolkit's own options (Qt's -platform, -style, ...) are let through to it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::ui {

// An option the window toolkit reads itself. Written with one dash or two;
// one that takes a value takes it as the next argument or after '='.
struct ToolkitOption {
    std::string_view name;  // without dashes: "platform"
    bool takesValue;
};

struct DesktopCommandLine {
    enum class Action { Run, Help, Version, Usage };
    Action action = Action::Run;
    std::optional<std::string> file;   // the data file to write at once
    std::vector<std::string> ignored;  // further files, not used
    std::vector<std::string> toolkit;  // the names of the toolkit's options given
    std::string problem;               // for Usage: what is wrong
};

DesktopCommandLine ParseDesktopCommandLine(std::span<const std::string> arguments,
                                           std::span<const ToolkitOption> toolkit);

// What --help prints.
std::string DesktopHelp(std::string_view version);

}  // namespace ostrel::ui
