// ostrel-cli: the console front-end. It runs the same commands as the desktop
// program's buttons and menus, with messages printed instead of shown.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "adapter/adapter.h"
#include "app/assembly.h"
#include "app/commands.h"
#include "app/file_selection.h"
#include "app/start_folder.h"
#include "app/startup.h"
#include "cli/cable_test_command.h"
#include "cli/console_commands.h"
#include "cli/console_windows.h"
#include "core/clock.h"
#include "core/ids.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/port_names.h"
#include "platform/system_ports.h"
#include "platform/text_file.h"
#include "platform/texts.h"
#include "sim/chip_clock.h"
#include "sim/chip_table.h"

#ifndef OSTREL_VERSION
#define OSTREL_VERSION "3.3"
#endif

namespace ostrel::cli {
namespace {

struct Options {
    std::optional<std::string> dir;
    std::optional<std::string> port;
    std::string simChip = std::string(sim::kDefaultChipName);
    uint32_t simClockHz = 0;  // 0: the chip's factory clock
    std::optional<uint32_t> simPortNs;
    std::optional<int32_t> speed;
    std::optional<std::string> device;
    bool yes = false;
    bool noErase = false;
    bool eep = false;
    bool noPause = false;
    bool virtualClock = false;
    bool quiet = false;
    const ConsoleCommand* command = nullptr;
    std::optional<std::string> file;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "ostrel-cli: %s\n", problem.c_str());
    std::fprintf(stderr, "Try 'ostrel-cli --help' for the commands and options.\n");
    return 2;
}

// What --help shows after the options and commands: where the results go, the
// exit statuses, and the device behind each port name now.
std::string HelpFooter() {
    std::string text =
        "Results (the chip's name, the file written, OK, the cable test's readings)\n"
        "go to standard output; progress and messages to standard error.\n"
        "Exit status: 0 success, 1 failure, 2 bad usage.\n"
        "\n"
        "Port names and their devices (OSTREL_PORT_<name> chooses another):\n";
    for (const PortDevice& port : ListPortDevices(ProcessEnvironment())) {
        std::string line = "  " + port.name;
        line.append(port.name.size() < 6 ? 6 - port.name.size() : 1, ' ');
        line += port.device.empty() ? "(no device)" : port.device;
        if (port.overridden)
            line += "  (set by " + port.variable + ")";
        text += line + "\n";
    }
    text += "  SIM   the simulated target, no device\n";
    return text;
}

// The usage line names the command and its file as the user types them;
// CLI11 would also list the hidden catch-all for stray words, as "[]".
class ConsoleFormatter : public CLI::Formatter {
  public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        if (app->get_parent() != nullptr)
            return CLI::Formatter::make_usage(app, std::move(name));
        return "Usage: " + name + " [OPTIONS] COMMAND [FILE]\n";
    }
};

// The options that shape the simulated target behind the port SIM.
void AddSimulatorOptions(CLI::App& cli, Options& o) {
    cli.add_option("--sim-chip", o.simChip,
                   "which chip the simulator is (a name of its chip table); default ATmega8")
        ->type_name("NAME")
        ->check(CLI::Validator(
            [](std::string& name) -> std::string {
                const sim::ChipInfo* chip = sim::FindChip(name);
                if (!chip)
                    return "the simulator knows no chip '" + name + "'";
                name = std::string(chip->name);
                return "";
            },
            "", "CHIP"));
    cli.add_option("--sim-clock", o.simClockHz,
                   "with the port SIM: the simulated chip's clock in Hz, or with k or M (32768, "
                   "128k, 3.6864M; 1k to 32M); default: the chip's factory clock. A slow clock "
                   "needs a slow --speed, as a real chip does")
        ->type_name("HZ")
        ->transform(CLI::Validator(
            [](std::string& text) -> std::string {
                uint32_t hz = 0;
                std::string wrong = sim::ReadChipClock(text, &hz);
                if (wrong.empty())
                    text = std::to_string(hz);
                return wrong;
            },
            "", "HZ"));
    cli.add_option("--sim-port-ns", o.simPortNs,
                   "with the port SIM: what one access of the simulated port costs, in "
                   "nanoseconds (0 to 10000000); default 2000 on the serial port, 1500 on the "
                   "parallel port; 1000000 is about a USB serial adapter; 0 makes SCK pulses too "
                   "short for any chip")
        ->type_name("NS")
        ->transform(CLI::Validator(
            [](std::string& text) -> std::string {
                std::string wrong =
                    "'" + text + "' is not a number of nanoseconds from 0 to 10000000";
                if (text.empty() || text.size() > 8 ||
                    text.find_first_not_of("0123456789") != std::string::npos ||
                    std::stoul(text) > 10000000)
                    return wrong;
                return "";
            },
            "", "NS"));
}

// Parses the arguments; returns an exit status when the program should stop.
std::optional<int> Parse(int argc, char** argv, Options& o) {
    CLI::App cli("Programs Atmel AVR chips through a passive cable on a serial or parallel port.",
                 "ostrel-cli");
    cli.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    cli.set_help_flag("-h,--help", "this help, with the device behind each port name");
    cli.set_version_flag("--version", std::string("ostrel-cli ") + OSTREL_VERSION,
                         "the program's version");
    cli.require_subcommand(1);
    cli.formatter(std::make_shared<ConsoleFormatter>());
    cli.footer(HelpFooter);

    cli.add_option("--dir", o.dir,
                   "the start directory (ostrel.ini, ostrel.cfg, readback files); default: the "
                   "current directory when it holds ostrel.ini, otherwise the per-user folder "
                   "($XDG_DATA_HOME/ostrel)")
        ->type_name("DIR");
    cli.add_option("--port", o.port, "COM1..COM8, 0278, 0378, 03BC, or SIM (the simulated target)")
        ->type_name("PORT")
        ->check(CLI::Validator(
            [](std::string& name) -> std::string {
                return app::PortCommand(name) != 0 ? "" : "unknown port '" + name + "'";
            },
            "", "PORT"));
    AddSimulatorOptions(cli, o);
    const std::map<std::string, int32_t> speeds = {
        {"very-low", 0}, {"low", 1}, {"medium", 2}, {"high", 3}};
    cli.add_option("--speed", o.speed, "the programming speed")
        ->type_name("very-low|low|medium|high")
        ->transform(CLI::Validator(
            [&speeds](std::string& name) -> std::string {
                auto found = speeds.find(name);
                if (found == speeds.end())
                    return "unknown speed '" + name + "'";
                name = std::to_string(found->second);
                return "";
            },
            "", "SPEED"));
    cli.add_option("--device", o.device, "Autodetection off, use this device of ostrel.ini")
        ->type_name("NAME");
    cli.add_flag("--yes", o.yes,
                 "answer OK to every question (otherwise: ask on a terminal, Cancel without one)");
    cli.add_flag("--no-erase", o.noErase, "\"Erase bef. Write\" off");
    cli.add_flag("--eep", o.eep, "\"Program eep- after hexfile\" on");
    cli.add_flag("--no-pause", o.noPause,
                 "skip the one-second pauses that only let a person read a result");
    cli.add_flag("--virtual-clock", o.virtualClock,
                 "with the port SIM (given or stored): simulated time, no real waiting (for "
                 "tests)");
    cli.add_flag("--quiet", o.quiet,
                 "no progress on standard error; messages and errors still print");

    // A word that is no command lands here, to be named in the error.
    std::string stray;
    cli.add_option("COMMAND", stray)
        ->group("")
        ->check(CLI::Validator(
            [&cli](std::string& word) -> std::string {
                return cli.get_subcommands().empty() ? "unknown command '" + word + "'"
                                                     : "unexpected argument '" + word + "'";
            },
            "", "COMMAND"));
    for (const ConsoleCommand& command : ConsoleCommands()) {
        CLI::App* sub = cli.add_subcommand(std::string(command.name), std::string(command.help));
        sub->group("Commands");
        // The options may come after the command too.
        sub->fallthrough();
        if (command.takesFile)
            sub->add_option("FILE", o.file, "a .hex, .eep or readback .txt file")->required();
        sub->callback([&o, &command] { o.command = &command; });
    }

    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return cli.exit(e);
        // One line: the problem, with the option it concerns when there is one.
        std::string what = e.what();
        what = what.substr(0, what.find('\n'));
        if (what.starts_with(": "))
            what.erase(0, 2);
        return Usage(what);
    }
    if (o.virtualClock && o.port && *o.port != "SIM")
        return Usage("--virtual-clock works only with --port SIM");
    return std::nullopt;
}

// The port name stored in the start directory's settings file, as the
// start-up reads it (up to four characters, ended by a zero byte), without
// creating the file.
std::string StoredPort(const std::string& dir) {
    std::string name;
    if (std::FILE* f = std::fopen(ResolvePath(dir, "ostrel.cfg").c_str(), "rb")) {
        char bytes[4] = {};
        std::size_t n = std::fread(bytes, 1, sizeof bytes, f);
        std::fclose(f);
        name.assign(bytes, n);
        name.resize(std::min(name.size(), name.find('\0')));
    }
    return name;
}

int ExitStatus(app::CommandResult result) {
    return result == app::CommandResult::Ok ? 0 : 1;
}

// The start directory: the one named, else the current directory or the
// per-user folder; nullopt with dir set, or the exit status of a refusal.
std::optional<int> ChooseStartDirectory(const Options& o, std::string& dir) {
    std::error_code ec;
    dir = o.dir ? std::filesystem::absolute(FsPath(*o.dir), ec).string()
                : std::filesystem::current_path(ec).string();
    if (ec || !std::filesystem::is_directory(FsPath(dir), ec)) {
        std::fprintf(stderr, "ostrel-cli: the start directory '%s' does not exist\n",
                     o.dir ? o.dir->c_str() : ".");
        return 1;
    }
    if (!o.dir) {
        app::StartFolder start = app::ChooseStartFolderForProcess();
        if (!start.directory.empty())
            dir = start.directory;
        if (std::string note = app::DescribeStartFolder(start); !note.empty())
            std::fprintf(stderr, "ostrel-cli: %s\n", note.c_str());
    }
    if (o.virtualClock && !o.port && StoredPort(dir) != "SIM")
        return Usage("--virtual-clock works only with the port SIM (given or stored)");
    // A start directory that cannot be held whole would put the settings and
    // readback files somewhere else.
    constexpr std::size_t kMaxStartDirectory = decltype(ProgrammerState::startDirectory)::kCapacity;
    if (dir.size() > kMaxStartDirectory) {
        std::fprintf(stderr,
                     "ostrel-cli: the start directory %s is too long (%zu characters, at most "
                     "%zu)\n",
                     dir.c_str(), dir.size(), kMaxStartDirectory);
        return 1;
    }
    // Windows refuses a longer path than 259 characters: the longest name
    // the programs put into the start directory must still fit.
    if (auto problem = PathLengthProblem(JoinPath(dir, "ostrel-sim.state.tmp"))) {
        std::fprintf(stderr, "ostrel-cli: the start directory %s is too long: with its files %s\n",
                     dir.c_str(), problem->c_str());
        return 1;
    }
    return std::nullopt;
}

// The options that stand for main window settings: port, speed, device,
// "Erase bef. Write" and "Program eep- after hexfile". nullopt, or the exit
// status of a refusal.
std::optional<int> ApplyWindowOptions(const Options& o, Programmer& p, ConsoleWindows& windows) {
    if (o.port) {
        bool parallelName = *o.port == "0278" || *o.port == "0378" || *o.port == "03BC";
        if (parallelName && !p.state.directPortIo && !p.state.dlPortIoLoaded) {
            // The same refusal as the Port menu's.
            app::OnCommand(p, app::PortCommand(*o.port));
            std::fprintf(stderr, "(no parallel port device can be opened; see README)\n");
            return 1;
        }
        p.state.portName.Assign(*o.port);
        p.state.adapterKind = AdapterKind::Parallel;
        app::SelectStoredPort(p);
    }
    if (o.speed) {
        p.state.speed = *o.speed;
        for (int item : {ids::kSpeedVeryLow, ids::kSpeedLow, ids::kSpeedMedium, ids::kSpeedHigh})
            windows.CheckMenuItem(item, false);
    }
    if (o.device) {
        int found = -1;
        for (int i = 0; i < windows.ListCount(); ++i)
            if (windows.ListEntry(i) == *o.device)
                found = i;
        if (found < 0) {
            return Usage("ostrel.ini lists no device '" + *o.device + "'");
        }
        windows.CheckItem(ids::kMainWindow, ids::kAutodetection, false);
        app::OnCommand(p, ids::kAutodetection);
        windows.SelectListEntry(found);
    }
    if (o.noErase)
        windows.CheckItem(ids::kMainWindow, ids::kEraseBeforeWrite, false);
    if (o.eep)
        app::OnCommand(p, ids::kProgramEepAfterHex);
    return std::nullopt;
}

// Makes the FILE argument the current data file. nullopt, or the exit
// status of a refusal.
std::optional<int> LoadFileArgument(const Options& o, Programmer& p) {
    if (!o.file)
        return std::nullopt;
    std::error_code ec;
    std::string path = std::filesystem::absolute(FsPath(*o.file), ec).string();
    if (path.size() > decltype(p.state.currentFileName)::kCapacity) {
        std::fprintf(stderr, "ostrel-cli: the path of %s is too long (at most 279 characters)\n",
                     o.file->c_str());
        return 1;
    }
    if (auto problem = PathLengthProblem(path)) {
        std::fprintf(stderr, "ostrel-cli: the path of %s is too long: %s\n", o.file->c_str(),
                     problem->c_str());
        return 1;
    }
    if (!std::filesystem::is_regular_file(FsPath(path), ec)) {
        std::fprintf(stderr, "ostrel-cli: cannot open %s\n", o.file->c_str());
        return 1;
    }
    p.state.currentFileName.Assign(path);
    if (app::LoadCurrentFile(p) != 0 && !p.state.fileLoaded) {
        std::fprintf(stderr, "ostrel-cli: %s is not a data file (.hex, .eep or readback .txt)\n",
                     o.file->c_str());
        return 1;
    }
    return std::nullopt;
}

// Runs the command of the table row.
app::CommandResult RunCommand(const Options& o, const ConsoleCommand& c, Programmer& p,
                              ConsoleWindows& windows) {
    switch (c.result) {
        case ConsoleResult::CableReadings: {
            CableTestOutput output;
            output.live = IsTerminal(stderr);
            output.quiet = o.quiet;
            return RunCableTestCommand(p, output);
        }
        case ConsoleResult::Report:
            windows.SetReportTitle("Info:");
            return app::OnCommand(p, c.command);
        default:
            return app::OnCommand(p, c.command);
    }
}

// What a command that worked prints on standard output.
void PrintResult(const ConsoleCommand& c, const Programmer& p, ConsoleWindows& windows) {
    switch (c.result) {
        case ConsoleResult::ChipName:
            windows.FinishActivityLine();
            std::printf("%s\n", windows.ListEntry(windows.SelectedListEntry()).c_str());
            break;
        case ConsoleResult::ReadbackTxt:
        case ConsoleResult::ReadbackHex: {
            windows.FinishActivityLine();
            auto file = FsPath(p.state.startDirectory.str()) /
                        (c.result == ConsoleResult::ReadbackTxt ? "readback.txt" : "readback.hex");
            std::printf("%s\n", file.string().c_str());
            break;
        }
        case ConsoleResult::Verdict:
            // The command's only result is that it worked: OK on standard
            // output, so a script sees the verdict there as it sees a chip's name.
            windows.FinishActivityLineUnless("OK");
            std::printf("OK\n");
            break;
        default:
            break;
    }
}

int Run(const Options& o) {
    std::string dir;
    if (auto status = ChooseStartDirectory(o, dir))
        return *status;

    bool stdinTerminal = IsTerminal(stdin);
    AnswerMode answers =
        o.yes ? AnswerMode::Yes : (stdinTerminal ? AnswerMode::AskTerminal : AnswerMode::Cancel);
    ConsoleWindows windows(stdout, stderr, stdin, answers, IsTerminal(stderr));
    windows.SetQuiet(o.quiet);

    app::AssemblyOptions parts;
    parts.startDirectory = dir;
    parts.virtualClock = o.virtualClock;
    parts.report = [](const std::string& line) {
        std::fprintf(stderr, "ostrel-cli: %s\n", line.c_str());
    };
    app::Assembly assembly(windows, std::move(parts));
    sim::SimulatorSlot& simulator = assembly.simulator();
    // The console's simulator is the chip named (or the ATmega8) on the clock
    // named (or its factory clock), whatever its state and clock files held
    // before.
    simulator.Choose(o.simChip);
    simulator.SetChipClock(o.simClockHz);
    if (o.simPortNs)
        simulator.SetAccessCosts(*o.simPortNs, *o.simPortNs);
    if (o.port && *o.port == "SIM")
        simulator.Start();

    Programmer& p = assembly.programmer();
    p.skipReadingPauses = o.noPause;

    if (!app::PrepareMainWindow(p)) {
        std::fprintf(stderr, "(ostrel.ini must be in the start directory %s)\n", dir.c_str());
        return 1;
    }
    // Without --port the stored port is used, the simulator's too.
    if (!o.port && p.state.portName.view() == "SIM")
        simulator.Start();
    if (auto status = ApplyWindowOptions(o, p, windows))
        return *status;
    if (auto status = LoadFileArgument(o, p))
        return *status;

    const ConsoleCommand& c = *o.command;
    app::CommandResult result = RunCommand(o, c, p, windows);
    if (result == app::CommandResult::Ok)
        PrintResult(c, p, windows);
    windows.FinishActivityLine();
    if (result == app::CommandResult::Cancelled)
        std::fprintf(stderr, "Cancelled.\n");
    adapter::CloseSerialPort(p);
    int status = ExitStatus(result);
    // The simulated chip lives in its state file: a chip that could not be
    // saved is lost for the next run, so that is a failure too.
    if (!simulator.Close())
        status = 1;
    return status;
}

}  // namespace
}  // namespace ostrel::cli

int main(int argc, char** argv) {
    try {
        ostrel::cli::Options options;
        if (auto status = ostrel::cli::Parse(argc, argv, options))
            return *status;
        return ostrel::cli::Run(options);
    } catch (const std::exception& e) {
        // Nothing the program throws on purpose reaches here; a failure of the
        // library (out of memory) still ends the command as failed, with a word.
        std::fprintf(stderr, "ostrel-cli: %s\n", e.what());
        return 1;
    }
}
