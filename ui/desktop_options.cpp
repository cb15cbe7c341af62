#include "ui/desktop_options.h"

namespace ostrel::ui {

namespace {

const ToolkitOption* FindToolkitOption(std::span<const ToolkitOption> toolkit,
                                       std::string_view name) {
    for (const ToolkitOption& option : toolkit) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

}  // namespace

DesktopCommandLine ParseDesktopCommandLine(std::span<const std::string> arguments,
                                           std::span<const ToolkitOption> toolkit) {
    DesktopCommandLine line;
    auto usage = [&line](std::string problem) {
        line.action = DesktopCommandLine::Action::Usage;
        line.problem = std::move(problem);
        return line;
    };
    auto takeFile = [&line](const std::string& file) {
        if (line.file) {
            line.ignored.push_back(file);
        } else {
            line.file = file;
        }
    };
    bool help = false;
    bool version = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            for (++i; i < arguments.size(); ++i)
                takeFile(arguments[i]);
            break;
        }
        if (argument.empty())
            return usage("an empty argument is no file name");
        if (argument == "-")
            return usage("'-' (standard input) cannot be written; name a file");
        if (argument.front() != '-') {
            takeFile(argument);
            continue;
        }
        if (argument == "-h" || argument == "--help") {
            help = true;
            continue;
        }
        if (argument == "--version") {
            version = true;
            continue;
        }
        std::string_view name(argument);
        name.remove_prefix(name.starts_with("--") ? 2 : 1);
        std::string_view value;
        bool hasValue = false;
        if (std::size_t equals = name.find('='); equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        const ToolkitOption* option = FindToolkitOption(toolkit, name);
        if (option == nullptr)
            return usage("unknown option '" + argument + "'");
        line.toolkit.emplace_back(name);
        if (!option->takesValue) {
            if (hasValue)
                return usage("the option '-" + std::string(name) + "' takes no value");
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                return usage("the option '" + argument + "' needs a value");
            ++i;
        } else if (value.empty()) {
            return usage("the option '" + argument + "' needs a value");
        }
    }
    if (help)
        line.action = DesktopCommandLine::Action::Help;
    else if (version)
        line.action = DesktopCommandLine::Action::Version;
    return line;
}

std::string DesktopHelp(std::string_view version) {
    return "Usage: ostrel [OPTIONS] [FILE]\n"
           "Ostrel " +
           std::string(version) +
           ", the desktop program of an in-system programmer for Atmel AVR chips.\n"
           "\n"
           "Without FILE it opens its main window. With FILE (a .hex, .eep or readback.txt\n"
           "file) it writes that file to the chip at once and ends when the write succeeds.\n"
           "\n"
           "Options:\n"
           "  -h, --help   this help\n"
           "  --version    the program's version\n"
           "  --           the next argument is FILE, even when it starts with '-'\n"
           "\n"
           "Qt's own options (-platform NAME, -style NAME, -display DISPLAY, -reverse, ...)\n"
           "work as in every Qt program.\n"
           "\n"
           "Files: the start folder is the current folder when it holds ostrel.ini,\n"
           "otherwise ~/.local/share/ostrel, set up on first use.\n"
           "The console program is ostrel-cli. Manual pages: ostrel(1), ostrel-cli(1).\n";
}

}  // namespace ostrel::ui
