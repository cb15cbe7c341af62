// The desktop program's command line: its own options, the toolkit's let
// through, anything else a usage error, and never an option taken for a file.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ui/desktop_options.h"

namespace ostrel::testing {
namespace {

using Action = ui::DesktopCommandLine::Action;

constexpr std::array kToolkit = {
    ui::ToolkitOption{"platform", true},
    ui::ToolkitOption{"style", true},
    ui::ToolkitOption{"reverse", false},
};

TEST(DesktopCommandLine, OwnOptionsToolkitOptionsAndFiles) {
    struct Case {
        std::vector<std::string> arguments;
        Action action;
        const char* file;  // "" for none
        std::vector<std::string> ignored = {};
        const char* problemHas = "";
    };
    const Case cases[] = {
        {{}, Action::Run, ""},
        {{"blink.hex"}, Action::Run, "blink.hex"},
        {{"a.hex", "b.hex", "c.eep"}, Action::Run, "a.hex", {"b.hex", "c.eep"}},
        {{"--version"}, Action::Version, ""},
        {{"--help"}, Action::Help, ""},
        {{"-h"}, Action::Help, ""},
        {{"--version", "--help"}, Action::Help, ""},
        {{"blink.hex", "--version"}, Action::Version, "blink.hex"},
        {{"-platform", "offscreen", "blink.hex"}, Action::Run, "blink.hex"},
        {{"--platform=offscreen", "-reverse", "x.hex"}, Action::Run, "x.hex"},
        {{"-style", "Fusion"}, Action::Run, ""},
        {{"--", "-odd name.hex"}, Action::Run, "-odd name.hex"},
        {{"--", "--version"}, Action::Run, "--version"},
        {{"--bogus"}, Action::Usage, "", {}, "unknown option '--bogus'"},
        {{"-v"}, Action::Usage, "", {}, "unknown option '-v'"},
        {{"--versions"}, Action::Usage, "", {}, "unknown option"},
        {{"blink.hex", "--bogus"}, Action::Usage, "blink.hex", {}, "unknown option"},
        {{"-platform"}, Action::Usage, "", {}, "needs a value"},
        {{"-platform="}, Action::Usage, "", {}, "needs a value"},
        {{"-reverse=1"}, Action::Usage, "", {}, "takes no value"},
        {{""}, Action::Usage, "", {}, "empty argument"},
        {{"-"}, Action::Usage, "", {}, "standard input"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += "[" + a + "]";
        SCOPED_TRACE(shown);
        ui::DesktopCommandLine line = ui::ParseDesktopCommandLine(c.arguments, kToolkit);
        EXPECT_EQ(line.action, c.action);
        if (c.action == Action::Usage) {
            EXPECT_NE(line.problem.find(c.problemHas), std::string::npos) << line.problem;
            continue;
        }
        EXPECT_EQ(line.file.value_or(""), c.file);
        EXPECT_EQ(line.ignored, c.ignored);
    }
    EXPECT_EQ(ui::ParseDesktopCommandLine(std::vector<std::string>{"-platform", "xcb", "-reverse"},
                                          kToolkit)
                  .toolkit,
              (std::vector<std::string>{"platform", "reverse"}));
}

TEST(DesktopCommandLine, HelpNamesEveryOption) {
    const std::string help = ui::DesktopHelp("3.3");
    for (const char* text : {"Usage: ostrel [OPTIONS] [FILE]", "--help", "--version", "  --  ",
                             "-platform", "ostrel-cli", "Ostrel 3.3"})
        EXPECT_NE(help.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace ostrel::testing
